#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "io/block_reader.h"
#include "test_support.h"
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

TEST(BlockReader, CutsOnlyWordsLongerThanTheLongestAndFlagsThePieces) {
  const std::string text = "Tihs is a tset, an ab-cd tset! xyzzyXYZZYxyzzy lnog\n wrod";
  for (int round = 0; round < 2 * 9 * 12; ++round) {
    const std::size_t longest = round % 2 ? 4 : SIZE_MAX, read = 1 + round / 2 % 9,
                      block = 1 + round / 18;
    TextInput in(text, read);
    BlockReader reader(in, internal::kSeparator, block, longest);
    BlockBuffer buffer;
    std::string all;
    bool ended_in_word = false;
    for (Block b = reader.Next(buffer); !b.bytes.empty(); b = reader.Next(buffer)) {
      // A word cut between blocks is flagged at both sides, and only a
      // word longer than `longest` is cut.
      const bool cut = !all.empty() && IsLetter(all.back()) && IsLetter(b.bytes[0]);
      EXPECT_TRUE(b.starts_in_unit == ended_in_word && (b.starts_in_unit || !cut))
          << read << " " << block << " " << all;
      all.append(b.bytes.data(), b.bytes.size());
      ended_in_word = b.ends_in_unit;
      if (ended_in_word) {
        const std::size_t begin = all.find_last_of(" ,!-\n") + 1;
        EXPECT_TRUE(IsLetter(all.back()) && all.size() - begin > longest) << all;
      }
    }
    EXPECT_EQ(all, text) << read << " " << block;
  }
}

}  // namespace
}  // namespace dorvenix::testing
