#include "dictionary/report.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace dorvenix {
namespace {

TEST(Report, ListsCollisionsThenTotals) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::int32_t>> entries;
    std::string expected;
  };
  const Case cases[] = {
      {"empty dictionary",
       {},
       "Words loaded(excluding 3 letter words and shorter)=0\nCollisions=0\n"},
      {"a group of three gives two lines",
       {{"bread", 7}, {"bared", 1}, {"beard", 2}},
       "Collision: bared(1) with beard(2)\n"
       "Collision: beard(2) with bread(7)\n"
       "Words loaded(excluding 3 letter words and shorter)=3\nCollisions=2\n"},
      {"zero and negative counts as stored, lone words counted",
       {{"from", -3}, {"form", 0}, {"test", 5}, {"zebra", 1}},
       "Collision: form(0) with from(-3)\n"
       "Words loaded(excluding 3 letter words and shorter)=4\nCollisions=1\n"},
      {"capitals are another key",
       {{"Form", 1}, {"form", 1}},
       "Words loaded(excluding 3 letter words and shorter)=2\nCollisions=0\n"},
  };
  for (const Case& c : cases) {
    Dictionary dictionary;
    for (const auto& [word, count] : c.entries) dictionary.AddCount(word, count);
    std::string text;
    OutputFile out(&text);
    PrintReport(dictionary, out);
    out.Flush();
    EXPECT_EQ(text, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace dorvenix
