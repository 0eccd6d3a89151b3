#include "dictionary/dictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/hash.h"
#include "dictionary/best_word_index.h"
#include "dictionary/word_table.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

TEST(Dictionary, AddsCountsAndSaturates) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  Dictionary dictionary;
  for (std::int32_t add : {kMax, kMax, 1}) dictionary.AddEntry("high", add);
  for (std::int32_t add : {kMin, -1}) dictionary.AddEntry("lows", add);
  for (std::int32_t add : {kMax, kMin}) dictionary.AddEntry("back", add);
  const std::string_view words[] = {"the", "text", "a", "text", "", "abcd"};
  dictionary.AddWords(words);
  dictionary.AddWord("abcd");
  dictionary.AddWord("and");
  const Dictionary::Entry entries[] = {{"abc", 2}, {"text", -5}};  // the caller decides
  dictionary.AddEntries(entries);
  EXPECT_EQ(
      InOrder(dictionary),
      (Entries{
          {"abc", 2}, {"abcd", 2}, {"back", -1}, {"high", kMax}, {"lows", kMin}, {"text", -3}}));
  EXPECT_EQ(dictionary.CountOf("text"), -3);
  EXPECT_EQ(dictionary.CountOf("the"), std::nullopt);
}

TEST(WordTable, KeepsAndFindsEveryWordWhateverTheHashes) {
  // Every word under one hash, under three, or under its own (with one word
  // larger than an arena block): each is kept and found, across growth.
  struct Case {
    std::uint64_t distinct_hashes;  // 0: HashBytes
    int words;
  };
  for (const Case c : {Case{1, 3000}, Case{3, 3000}, Case{0, 200000}}) {
    std::vector<std::string> words;
    for (int i = 0; i < c.words; ++i) words.push_back(std::to_string(i) + "w");
    words.push_back(std::string(100000, 'q'));
    auto hash = [&](std::size_t i) {
      return c.distinct_hashes == 0 ? HashBytes(words[i]) : 1 + i % c.distinct_hashes;
    };
    WordTable table;
    bool added;
    for (std::size_t i = 0; i < words.size(); ++i) {
      table.FindOrAdd(words[i], hash(i), static_cast<std::int32_t>(i), &added);
      ASSERT_TRUE(added) << i;
    }
    ASSERT_EQ(table.size(), words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
      const WordTable::Ref ref = table.Find(words[i], hash(i));
      ASSERT_NE(ref, WordTable::kNoRef) << i;
      ASSERT_EQ(table.Word(ref), words[i]);
      ASSERT_EQ(table.Value(ref), static_cast<std::int32_t>(i));
      ASSERT_EQ(table.FindOrAdd(words[i], hash(i), 0, &added), ref);
      ASSERT_FALSE(added);
    }
    EXPECT_EQ(table.Find("0", hash(0)), WordTable::kNoRef);
    std::size_t visited = 0;
    table.ForEach(
        [&](WordTable::Ref ref) { visited += table.Word(ref) == words[table.Value(ref)]; });
    EXPECT_EQ(visited, words.size());
  }
}

// The best word by the rules, the plain way: the word itself when it is
// known or short; else the word of the same key with the highest count above
// 0, the smallest on a tie; else the word itself.
std::string Best(const std::map<std::string, std::int32_t>& entries, const std::string& word) {
  if (word.size() <= 3 || entries.contains(word)) return word;
  std::string best = word;
  std::int32_t best_count = 0;
  for (const auto& [known, count] : entries) {  // in byte order
    if (count > best_count && KeyOf(known) == KeyOf(word)) best = known, best_count = count;
  }
  return best;
}

TEST(BestWordIndex, AnswersLikeThePlainRulesOnRandomDictionaries) {
  // Tiny alphabets make keys collide: ties, zero and negative counts, words
  // past the letter product's reach and bytes beyond a-z.
  std::mt19937 rng(4);
  for (int round = 0; round < 300; ++round) {
    const std::string_view alphabet = round % 3 == 0 ? "ab" : round % 3 == 1 ? "abc" : "aB\xe9-";
    auto random_word = [&] {
      std::string word(1 + rng() % 14, 'a');
      for (char& c : word) c = alphabet[rng() % alphabet.size()];
      return word;
    };
    Dictionary dictionary;
    std::map<std::string, std::int32_t> entries;
    std::size_t longest = 0;
    for (int i = 0, n = static_cast<int>(rng() % 40); i < n; ++i) {
      const std::string word = random_word();
      const auto count = static_cast<std::int32_t>(rng() % 6) - 2;
      dictionary.AddEntry(word, count);
      entries[word] += count;
    }
    for (const auto& [word, count] : entries)
      longest = std::max(longest, count > 0 ? word.size() : 0);
    std::vector<std::string> queries;
    for (const auto& [word, count] : entries) {
      queries.push_back(word);
      if (word.size() > 3) std::shuffle(queries.back().begin() + 1, queries.back().end() - 1, rng);
    }
    for (int i = 0; i < 40; ++i) queries.push_back(random_word());

    const BestWordIndex index(dictionary);
    EXPECT_EQ(index.longest_word(), longest);
    const std::vector<std::string_view> words(queries.begin(), queries.end());
    std::vector<std::string_view> answers(words.size());
    index.FindBestWords(words, answers);
    for (std::size_t i = 0; i < queries.size(); ++i) {
      const std::string want = Best(entries, queries[i]);
      ASSERT_EQ(index.FindBestWord(queries[i]), want) << queries[i] << " round " << round;
      ASSERT_EQ(answers[i], want) << queries[i] << " round " << round;
    }

    // Dictionary order: by key, then by word, as unsigned bytes.
    std::vector<std::pair<std::string, std::string>> order;
    for (const auto& [word, count] : entries) order.emplace_back(KeyOf(word), word);
    std::sort(order.begin(), order.end());
    const Entries in_order = InOrder(dictionary);
    ASSERT_EQ(in_order.size(), order.size());
    for (std::size_t i = 0; i < order.size(); ++i) ASSERT_EQ(in_order[i].first, order[i].second);
  }
}

TEST(BestWordIndex, KeepsAnsweringForTheDictionaryItWasBuiltFrom) {
  auto dictionary = std::make_unique<Dictionary>();
  dictionary->AddEntry("beard", 2);
  const BestWordIndex old(*dictionary);
  EXPECT_TRUE(old.DescribesVersion(dictionary->version()));
  const Dictionary::Entry bread[] = {{"bread", 5}};
  const std::string_view words[] = {"bread"};
  for (int change = 0; change < 3; ++change) {
    const std::uint64_t version = dictionary->version();
    if (change == 0) dictionary->AddEntry("bread", 1);
    if (change == 1) dictionary->AddEntries(bread);
    if (change == 2) dictionary->AddWords(words);
    EXPECT_NE(dictionary->version(), version) << change;
    EXPECT_FALSE(old.DescribesVersion(dictionary->version())) << change;
  }
  EXPECT_EQ(BestWordIndex(*dictionary).FindBestWord("baerd"), "bread");
  dictionary.reset();  // the index holds its own words
  EXPECT_EQ(old.FindBestWord("baerd"), "beard");
}

}  // namespace
}  // namespace dorvenix::testing
