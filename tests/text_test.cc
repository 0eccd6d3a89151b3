// Text: cutting it into words, tallying a block's words, and learning and
// deciphering whatever the blocks and threads.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "index/best_word_index.h"
#include "io/output_file.h"
#include "test_support.h"
#include "text/decipher.h"
#include "text/learn.h"
#include "text/word_scanner.h"
#include "text/word_tally.h"

namespace dorvenix::testing {
namespace {

TEST(ScanWords, MatchesAByteByByteReading) {
  // Lengths around the 64-byte steps, every byte value, and long runs of
  // letters that go on from one step to the next.
  std::mt19937 rng(5);
  for (std::size_t length = 0; length <= 200; ++length) {
    for (int round = 0; round < 20; ++round) {
      std::string text = RandomWord(rng, length, round % 2 ? "" : "aZ-@[`{"), lower = text;
      std::string want, got;  // the words, each followed by '|'
      for (std::size_t i = 0; i < length; ++i) {
        if (!IsLetter(text[i])) continue;
        want += lower[i] = static_cast<char>(text[i] | 0x20);
        if (i + 1 == length || !IsLetter(text[i + 1])) want += '|';
      }
      ScanWords(std::span<char>(text), [&](std::string_view word) { (got += word) += '|'; });
      ASSERT_EQ(got, want) << "length " << length << " round " << round;
      ASSERT_EQ(text, lower) << "length " << length << " round " << round;
    }
  }
}

TEST(WordTally, GivesEachWordItsCountInOrderOfFirstSighting) {
  // Few words over and over (one entry each, past the first table's room);
  // mostly new words (taken one by one after a trial); long words.
  std::mt19937 rng(6);
  for (const auto& [vocabulary, length] : {std::pair(5000, 10), {1000000, 10}, {50, 40}}) {
    std::vector<std::string> text;
    for (int i = 0; i < 30000; ++i) {
      const std::string number = std::to_string(rng() % vocabulary);
      text.push_back(number + std::string(length - number.size(), 'x'));
    }
    const std::vector<std::string_view> words(text.begin(), text.end());
    std::map<std::string_view, std::int64_t> want, got;
    std::vector<std::string_view> first_seen, entries_seen;
    for (std::string_view word : words) {
      if (want[word]++ == 0) first_seen.push_back(word);
    }
    WordTally tally;
    for (int block = 0; block < 2; ++block) {
      tally.Start(30000 * (length + 1));
      tally.Count(words);
      got.clear();
      entries_seen.clear();
      for (const Dictionary::HashedEntry& entry : tally.entries()) {
        ASSERT_EQ(entry.hash, HashBytes(entry.word()));
        if (got[entry.word()] == 0) entries_seen.push_back(entry.word());
        got[entry.word()] += entry.count;
      }
      EXPECT_EQ(got, want) << vocabulary;
      EXPECT_EQ(entries_seen, first_seen) << vocabulary;
      if (vocabulary <= 5000) {
        EXPECT_EQ(tally.entries().size(), want.size()) << vocabulary;
      }
    }
  }
}

// A word longer than any known word goes through lowercased, however it is
// cut, even where its pieces look like known words.
const std::string kText =
    "Tihs is a tset, an ab-cd tset! Wrods of tset\nlnog lnog wrod. Sencod lnie: "
    "a vrey TSETtsettsetTSETtsettset wrod, \xe9t\xe9 tset\r\nlnog\xe9lnog";

TEST(LearnAndDecipher, GiveTheSameResultWhateverThePlan) {
  Dictionary reference;
  TextInput whole(kText);
  ASSERT_TRUE(LearnFromText(reference, whole).ok());
  // The longest answer has 6 letters: longer words pass through in pieces.
  Dictionary known;
  for (const char* word : {"this", "test", "long", "word", "words", "second", "line", "very"}) {
    known.AddEntry(word, 2);
  }
  const BestWordIndex index(known);
  const std::string expected =
      "this is a test, an ab-cd test! words of test\nlong long word. second line: "
      "a very tsettsettsettsettsettset word, \xe9t\xe9 test\r\nlong\xe9long";
  for (const auto& [plan, read] : Plans()) {
    Dictionary learnt;
    TextInput in(kText, read);
    ASSERT_TRUE(LearnFromText(learnt, in, plan).ok());
    EXPECT_EQ(Listing(learnt), Listing(reference))
        << plan.threads << " threads, blocks of " << plan.block_size;
    std::string text;
    {
      TextInput again(kText, read);
      OutputFile out(&text);
      ASSERT_TRUE(DecipherText(index, again, out, plan).ok());
    }
    EXPECT_EQ(text, expected) << plan.threads << " threads, blocks of " << plan.block_size;
  }
}

}  // namespace
}  // namespace dorvenix::testing
