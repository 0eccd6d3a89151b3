#include "dictionary/dictionary.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "entries.h"

namespace dorvenix::testing {
namespace {

std::vector<std::string> WordsInOrder(const std::vector<std::string>& words) {
  Dictionary dictionary;
  for (const std::string& word : words) dictionary.AddCount(word, 1);
  std::vector<std::string> order;
  for (const auto& entry : InOrder(dictionary)) order.push_back(entry.first);
  return order;
}

TEST(Dictionary, AddWordStoresOnlyWordsLongerThanThreeBytes) {
  Dictionary dictionary;
  for (const char* word : {"the", "and", "a", "", "text", "text"}) dictionary.AddWord(word);
  EXPECT_EQ(InOrder(dictionary), (Entries{{"text", 2}}));
}

TEST(Dictionary, TraversalOrdersByKeyThenWordAsUnsignedBytes) {
  // Keys: abbey, baerd (bared, beard, bread), form (form, from), test, zbera.
  EXPECT_EQ(WordsInOrder({"test", "from", "bread", "form", "beard", "zebra", "abbey", "bared"}),
            (std::vector<std::string>{"abbey", "bared", "beard", "bread", "form", "from", "test",
                                      "zebra"}));
  // Keys alike in their first four bytes; a prefix first; 0xE9 after ASCII.
  EXPECT_EQ(WordsInOrder({"abcdz", "abcd", "abcdzz", "a\xe9z", "abcde"}),
            (std::vector<std::string>{"abcd", "abcde", "abcdz", "abcdzz", "a\xe9z"}));
}

TEST(Dictionary, FindBestWordChoosesExactMatchThenHighestPositiveCount) {
  struct Case {
    const char* name;
    Entries entries;
    std::string word, expected;
  };
  const Case cases[] = {
      {"highest count wins", {{"beard", 2}, {"bread", 7}}, "baerd", "bread"},
      {"tie goes to the smaller word", {{"bread", 3}, {"beard", 3}}, "baerd", "beard"},
      {"exact match beats a higher count", {{"beard", 2}, {"bread", 7}}, "beard", "beard"},
      {"exact match with count zero", {{"beard", 0}, {"bread", 7}}, "beard", "beard"},
      {"count zero is never chosen", {{"test", 0}}, "tset", "tset"},
      {"count one is", {{"test", 1}}, "tset", "test"},
      {"negative counts lose to nothing", {{"beard", -5}, {"bread", -1}}, "baerd", "baerd"},
      {"absent key leaves the word", {{"test", 4}}, "wrod", "wrod"},
      {"short words are never looked up", {{"test", 4}}, "tst", "tst"},
      {"capitals never match lowercase", {{"Hello", 9}}, "hlelo", "hlelo"},
      {"other length, other key", {{"tests", 4}}, "tset", "tset"},
      {"long words take the sorted key",
       {{"internationalization", 2}},
       "itnreanoitnaliaztion",
       "internationalization"},
      {"bytes beyond a-z take the sorted key",
       {{"n\xe9ve", 2}},
       "nv\xe9"
       "e",
       "n\xe9ve"},
      {"leading 0xFF is never found",
       {{"\xff"
         "bcd",
         4}},
       "\xff"
       "cbd",
       "\xff"
       "cbd"},
  };
  for (const Case& c : cases) {
    Dictionary dictionary;
    for (const auto& [word, count] : c.entries) dictionary.AddCount(word, count);
    EXPECT_EQ(dictionary.FindBestWord(c.word), c.expected) << c.name;
    const std::string_view word = c.word;
    std::string_view answer;
    dictionary.FindBestWords({&word, 1}, {&answer, 1});
    EXPECT_EQ(answer, c.expected) << c.name << " (batched)";
  }
}

TEST(Dictionary, FindBestWordSeesChangesMadeAfterEarlierLookups) {
  Dictionary dictionary;
  dictionary.AddCount("beard", 2);
  EXPECT_EQ(dictionary.FindBestWord("baerd"), "beard");
  dictionary.AddCount("bread", 5);
  EXPECT_EQ(dictionary.FindBestWord("baerd"), "bread");
  dictionary.AddCount("beard", 10);
  EXPECT_EQ(dictionary.FindBestWord("baerd"), "beard");
}

TEST(Dictionary, CountsSaturateInsteadOfWrapping) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  Dictionary dictionary;
  for (std::int32_t add : {kMax, kMax, 1}) dictionary.AddCount("high", add);
  for (std::int32_t add : {kMin, -1}) dictionary.AddCount("lows", add);
  for (std::int32_t add : {kMax, kMin}) dictionary.AddCount("back", add);
  EXPECT_EQ(InOrder(dictionary), (Entries{{"back", -1}, {"high", kMax}, {"lows", kMin}}));
}

TEST(Dictionary, HoldsManyWordsAcrossGrowth) {
  // Enough words to grow the index many times and fill several arena blocks,
  // and a word bigger than a block.
  auto numbered = [](int i) { return std::to_string(i * 7919).append("xyz"); };
  Dictionary dictionary;
  constexpr int kWords = 200000;
  for (int i = 0; i < kWords; ++i) dictionary.AddWord(numbered(i));
  dictionary.AddCount(std::string(300000, 'q'), 3);
  for (int i = 0; i < kWords; i += 997) ASSERT_EQ(dictionary.CountOf(numbered(i)), 1) << i;
  EXPECT_EQ(dictionary.CountOf(std::string(300000, 'q')), 3);
  const Entries entries = InOrder(dictionary);
  ASSERT_EQ(entries.size(), kWords + 1u);
  for (std::size_t i = 1; i < entries.size(); ++i) {
    ASSERT_TRUE(EntryLess(MakeWordKey(entries[i - 1].first), entries[i - 1].first,
                          MakeWordKey(entries[i].first), entries[i].first))
        << entries[i].first;
  }
}

}  // namespace
}  // namespace dorvenix::testing
