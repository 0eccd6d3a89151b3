#include "dictionary/dictionary.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace dorvenix {
namespace {

using Entries = std::vector<std::pair<std::string, std::int32_t>>;

Entries InOrder(const Dictionary& dictionary) {
  Entries entries;
  dictionary.ForEachInOrder(
      [&](std::string_view word, std::int32_t count) { entries.emplace_back(word, count); });
  return entries;
}

TEST(Dictionary, AddWordStoresOnlyWordsLongerThanThreeBytes) {
  Dictionary dictionary;
  for (const char* word : {"the", "and", "a", "", "text", "text"}) dictionary.AddWord(word);
  EXPECT_EQ(InOrder(dictionary), (Entries{{"text", 2}}));
}

TEST(Dictionary, TraversalOrdersByKeyThenWord) {
  Dictionary dictionary;
  for (const char* word : {"test", "from", "bread", "form", "beard", "zebra", "abbey", "bared"}) {
    dictionary.AddWord(word);
  }
  // Keys: abbey->abbey, bared/beard/bread->baerd, form/from->form, test, zebra->zbera.
  EXPECT_EQ(InOrder(dictionary), (Entries{{"abbey", 1},
                                          {"bared", 1},
                                          {"beard", 1},
                                          {"bread", 1},
                                          {"form", 1},
                                          {"from", 1},
                                          {"test", 1},
                                          {"zebra", 1}}));
}

TEST(Dictionary, TraversalComparesBytesUnsignedAndPrefixesFirst) {
  Dictionary dictionary;
  // Keys equal in their first four bytes force the full comparison.
  for (const char* word : {"abcdz", "abcd", "abcdzz",
                           "a\xe9"
                           "bcd",
                           "abcde"}) {
    dictionary.AddCount(word, 1);
  }
  Entries expected = {{"abcd", 1},
                      {"abcde", 1},
                      {"abcdz", 1},
                      {"abcdzz", 1},
                      {"a\xe9"
                       "bcd",
                       1}};
  EXPECT_EQ(InOrder(dictionary), expected);
}

TEST(Dictionary, FindBestWordChoosesExactMatchThenHighestPositiveCount) {
  struct Case {
    const char* name;
    Entries entries;
    std::string word;
    std::string expected;
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
      {"same key, other length is another key", {{"tests", 4}}, "tset", "tset"},
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
  dictionary.AddCount("high", kMax);
  dictionary.AddCount("high", kMax);
  dictionary.AddWord("high");
  dictionary.AddCount("lows", kMin);
  dictionary.AddCount("lows", -1);
  dictionary.AddCount("back", kMax);
  dictionary.AddCount("back", kMin);
  EXPECT_EQ(dictionary.CountOf("high"), kMax);
  EXPECT_EQ(dictionary.CountOf("lows"), kMin);
  EXPECT_EQ(dictionary.CountOf("back"), -1);
  EXPECT_EQ(dictionary.CountOf("none"), std::nullopt);
}

TEST(Dictionary, HoldsManyWordsAcrossGrowth) {
  // Enough words to grow the index many times and fill several arena blocks.
  auto numbered = [](int i) { return std::to_string(i * 7919).append("xyz"); };
  Dictionary dictionary;
  constexpr int kWords = 200000;
  for (int i = 0; i < kWords; ++i) dictionary.AddWord(numbered(i));
  dictionary.AddCount(std::string(300000, 'q'), 3);  // a word bigger than a block
  for (int i = 0; i < kWords; i += 997) {
    ASSERT_EQ(dictionary.CountOf(numbered(i)), 1) << i;
  }
  EXPECT_EQ(dictionary.CountOf(std::string(300000, 'q')), 3);
  EXPECT_EQ(dictionary.size(), kWords + 1u);
  std::size_t seen = 0;
  std::string previous_key, previous_word;
  dictionary.ForEachInOrder([&](std::string_view word, std::int32_t) {
    const std::string key = MakeWordKey(word);
    ASSERT_TRUE(seen == 0 || EntryLess(previous_key, previous_word, key, word)) << word;
    previous_key = key;
    previous_word = word;
    ++seen;
  });
  EXPECT_EQ(seen, dictionary.size());
}

}  // namespace
}  // namespace dorvenix
