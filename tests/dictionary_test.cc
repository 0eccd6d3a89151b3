// The dictionary: word keys, adding and undoing, the file format, and the
// engine that adds the blocks of a file or text on several threads.
#include "dictionary/dictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/hash.h"
#include "dictionary/block_adder.h"
#include "dictionary/dictionary_file.h"
#include "dictionary/entry_buckets.h"
#include "dictionary/entry_line.h"
#include "dictionary/report.h"
#include "dictionary/word_key.h"
#include "io/block_reader.h"
#include "test_support.h"
#include "text/learn.h"
#include "text/word_scanner.h"

namespace dorvenix::testing {
namespace {

TEST(WordKey, SameKeyAgreesWithComparingKeys) {
  // Pairs over small alphabets collide often: lengths past the letter
  // product's reach, capitals and bytes beyond a-z inside.
  std::mt19937 rng(3);
  for (const std::string_view alphabet : {"ab", "abde", "aB\xe9", "z\x80\x7f"}) {
    for (int round = 0; round < 4000; ++round) {
      const std::size_t length = rng() % 15;
      const std::string a = RandomWord(rng, length, alphabet);
      const std::string b = RandomWord(rng, length + (round % 7 == 0), alphabet);
      std::string scratch;
      ASSERT_EQ(SameKey(a, b, &scratch), KeyOf(a) == KeyOf(b)) << a << " " << b;
    }
  }
}

TEST(Dictionary, AnUndoneRunOfAddsLeavesWhatWasThere) {
  // Three runs, of entries (two ways) and of words, on words that were
  // there and words that were not, some counts saturating on the way (and
  // one coming back from there): undone, the dictionary is as it was, the
  // items past those added (here the last of the words) passed over.
  Dictionary dictionary;
  dictionary.AddEntry("most", 2147483000);
  dictionary.AddEntry("kept", 5);
  const std::string before = Listing(dictionary);
  const Dictionary::Entry entries[] = {{"kept", 3},   {"most", 7}, {"most", 1000}, {"newer", 2},
                                       {"most", -50}, {"most", 9}, {"kept", 1}};
  const std::string_view words[] = {"kept", "fresh", "most", "kept"};
  // The entries go in twice: at once, and partition by partition.
  EntryBuckets buckets;
  buckets.Fill(
      std::size(entries), [&](std::size_t i) { return entries[i].word; },
      [&](std::size_t i) { return entries[i].count; });
  Dictionary::AddLog first, second, third;
  dictionary.AddEntries(entries, &first);
  for (std::size_t p = 0; p < Dictionary::kPartitions; ++p) {
    dictionary.AddToPartition(p, buckets.Of(p), &second);
  }
  dictionary.AddWords(std::span(words).first(3), &third);
  Dictionary::AddLog* const logs[] = {&first, &second, &third};
  dictionary.Undo(logs, [&](std::size_t i, auto&& add) {
    if (i == 0) {
      for (const Dictionary::Entry& e : entries) add(e.word, e.count);
    } else if (i == 1) {
      for (const Dictionary::HashedEntry& e : buckets.all()) add(e.word(), e.count);
    } else {
      for (const std::string_view w : words) add(w, 1);
    }
  });
  EXPECT_EQ(Listing(dictionary), before);
}

TEST(Dictionary, AddsCountsAndSaturates) {
  constexpr std::int32_t kMax = 2147483647, kMin = -kMax - 1;
  Dictionary dictionary;
  for (std::int32_t add : {kMax, kMax, 1}) dictionary.AddEntry("high", add);
  for (std::int32_t add : {kMin, -1}) dictionary.AddEntry("lows", add);
  for (std::int32_t add : {kMax, kMin}) dictionary.AddEntry("back", add);
  // A word longer than 16 bytes, twice, from different places.
  const std::string_view text = "abcdefghijklmnopq abcdefghijklmnopq";
  const std::string_view words[] = {"text", text.substr(18), "text", "abcd", text.substr(0, 17)};
  dictionary.AddWords(words);
  for (const char* word : {"text", "the", "abcd"}) dictionary.AddWord(word);
  const Dictionary::Entry entries[] = {{"abc", 2}, {"text", -5}};  // the caller decides
  dictionary.AddEntries(entries);
  EXPECT_EQ(
      Listing(dictionary),
      "abc 2\nabcd 2\nabcdefghijklmnopq 2\nback -1\nhigh 2147483647\nlows -2147483648\ntext -2\n");
  EXPECT_TRUE(dictionary.CountOf("text") == -2 && !dictionary.CountOf("the"));
}

// Loads `text` whole and in blocks of every size up to its length, on 1 to
// 3 threads: the entries and the verdict must not depend on where the blocks
// end. The verdict is what the user reads after "dorvenix: error: ", for a
// file f.
std::string Load(const std::string& text, std::string* verdict) {
  Dictionary whole;
  TextInput in(text);
  *verdict = LoadDictionary(whole, in).Describe("f");
  for (std::size_t block = 1; block <= text.size(); ++block) {
    Dictionary dictionary;
    TextInput small(text, block % 5 + 1);
    const WorkPlan plan{static_cast<unsigned>(block % 3 + 1), block};
    const std::string got = LoadDictionary(dictionary, small, plan).Describe("f");
    EXPECT_EQ(Listing(dictionary) + got, Listing(whole) + *verdict)
        << text << " in blocks of " << block;
  }
  return Listing(whole);
}

TEST(DictionaryFile, LoadsWhatTheFileSays) {
  struct Case {
    std::string text, entries;
  };
  const Case cases[] = {
      {"", ""},
      {"bread 7\nbeard 2\n", "beard 2\nbread 7\n"},
      {"the 12\ntest 1", "test 1\n"},  // short words skipped, no final line feed
      {"test \t\v\f\r5\r\nword 3\tx\nwhat 4 anything after a blank\n", "test 5\nwhat 4\nword 3\n"},
      {"test -2\nword +007\nzero 0\n", "test -2\nword 7\nzero 0\n"},
      {"high 2147483647\nlows -2147483648\n", "high 2147483647\nlows -2147483648\n"},
      // Counts add up in file order: another order saturates elsewhere.
      {"most 2147483647\nmost 1\nmost -5\nleast -2147483648\nleast -1\nleast 9\n",
       "least -2147483639\nmost 2147483642\n"},
      {"test 2\ntest 3\n\n\r\nHello 1\n", "Hello 1\ntest 5\n"},
      {std::string("caf\xe9 4\nn\0ll 2\ntest\r 1\n", 22),
       std::string("caf\xe9 4\nn\0ll 2\ntest\r 1\n", 22)},
      // A byte order mark is skipped at the start of the file only.
      {"\xEF\xBB\xBFtest 1\n\xEF\xBB\xBFword 2\n", "test 1\n\xEF\xBB\xBFword 2\n"},
  };
  for (const Case& c : cases) {
    std::string verdict;
    EXPECT_EQ(Load(c.text, &verdict), c.entries) << c.text;
    EXPECT_EQ(verdict, "f") << c.text;
  }
}

TEST(DictionaryFile, StopsAtTheFirstMalformedLine) {
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {"no space between the word and its count", {"hello"}},
      {"missing count", {"word ", "word \t"}},
      {"count is not a number", {"word five", "word -", "word .5", " test 5"}},
      {"count out of range", {"word 2147483648", "word -2147483649", "word 99999999999999999999"}},
      {"count is not a plain integer",
       {"word 0x10", "thing 1,000", "word 1e6", "word 12.9", "word 7abc"}}};
  for (const auto& [reason, lines] : cases) {
    for (const char* line : lines) {
      std::string verdict;
      EXPECT_EQ(Load(std::string("good 1\n") + line + "\nmore 2\n", &verdict), "good 1\n") << line;
      EXPECT_EQ(verdict, std::string("f:2: ") + reason + "; the rest of the file is not loaded")
          << line;
    }
  }
  // Nothing past the end of the line is read.
  EXPECT_EQ(ParseEntryLine(std::string_view("word 12", 6)).entry.count, 1);
}

TEST(DictionaryFile, SavesAndReportsInDictionaryOrder) {
  // Keys compare as unsigned bytes; collisions also between words of more
  // than 11 letters or with bytes beyond a-z inside.
  Dictionary dictionary;
  TextInput in(
      "test 1\nbread 7\nbeard 2\nbared -1\nbrood 3\nlows -2147483648\nForm 0\nform 4\n"
      "a\xe9-z 5\na-\xe9z 6\nabcdefghijklm 1\nalkjihgfedcbm 2\n");
  ASSERT_TRUE(LoadDictionary(dictionary, in).ok());
  std::string text;
  OutputFile out(&text);
  ASSERT_TRUE(SaveDictionary(dictionary, out).ok());
  ASSERT_TRUE(PrintReport(dictionary, out).ok());
  out.Flush();
  EXPECT_EQ(text,
            "Form 0\nabcdefghijklm 1\nalkjihgfedcbm 2\na-\xe9z 6\na\xe9-z 5\nbared -1\nbeard 2\n"
            "bread 7\nbrood 3\nform 4\nlows -2147483648\ntest 1\n"
            "Collision: abcdefghijklm(1) with alkjihgfedcbm(2)\n"
            "Collision: a-\xe9z(6) with a\xe9-z(5)\n"
            "Collision: bared(-1) with beard(2)\n"
            "Collision: beard(2) with bread(7)\n"
            "Words loaded(excluding 3 letter words and shorter)=12\nCollisions=4\n");
}

TEST(DictionaryFile, LargeDictionariesSaveAndReportTheSameOnAnyThreads) {
  // Enough entries for the sort in buckets and for formatting in ranges;
  // every word comes with one of the same key, so that groups of words that
  // share a key straddle the ranges' ends.
  Dictionary dictionary;
  Counts counts;
  std::mt19937 rng(3);
  for (int i = 0; i < 45000; ++i) {
    std::string word = RandomWord(rng, 4 + rng() % 9, i % 50 ? "abcde" : "\xff\x80zA");
    for (int twin = 0; twin < 2; ++twin) {
      const auto count = static_cast<std::int32_t>(rng() % 7) - 2;
      dictionary.AddEntry(word, count);
      counts[word] += count;
      std::shuffle(word.begin() + 1, word.end() - 1, rng);
    }
  }
  std::string one, many;
  for (const auto& [threads, text] : {std::pair(1u, &one), std::pair(4u, &many)}) {
    OutputFile out(text);
    ASSERT_TRUE(SaveDictionary(dictionary, out, threads).ok());
    ASSERT_TRUE(PrintReport(dictionary, out, threads).ok());
  }
  // Compared as booleans: the texts are megabytes long.
  EXPECT_TRUE(many == one) << many.size() << " bytes against " << one.size();
  EXPECT_TRUE(one.starts_with(Listing(counts)));
}

TEST(BlockAdder, AFailureKeepsExactlyTheBlocksBeforeIt) {
  // Each partition gets room for about 4 KiB of words, which the input
  // overflows: what stays is the dictionary of the whole blocks before the
  // one that failed, the same on any number of threads. The counts of the
  // loaded lines saturate, before and after the failure.
  std::mt19937 rng(8);
  std::string text, lines;
  for (int i = 0; i < 10000; ++i) {
    const std::string word = RandomWord(rng, 4 + rng() % 9, "abcdefghij");
    text += word + (i % 9 ? " " : "\n");
    lines += i % 20 == 0 ? "most 2147483000\n" : i % 20 == 10 ? "least -2147483000\n" : "";
    lines += word + " 3\n";
  }
  SeparatorTable line_feed{};
  line_feed['\n'] = true;
  for (const bool load : {false, true}) {
    const std::string& input = load ? lines : text;
    auto run = [&](Dictionary& dictionary, std::string_view bytes, unsigned threads) {
      TextInput in(bytes);
      const WorkPlan plan{threads, 2048};
      return load ? LoadDictionary(dictionary, in, plan) : LearnFromText(dictionary, in, plan);
    };
    std::vector<std::string> prefixes;  // the dictionaries of the first blocks
    TextInput in(input);
    BlockReader reader(in, load ? line_feed : internal::kSeparator, 2048);
    BlockBuffer buffer;
    std::size_t end = 0;
    for (Block block = reader.Next(buffer); !block.bytes.empty(); block = reader.Next(buffer)) {
      Dictionary prefix;
      ASSERT_TRUE(
          run(prefix, std::string_view(input).substr(0, end += block.bytes.size()), 1).ok());
      prefixes.push_back(Listing(prefix));
    }
    std::string first;
    for (const unsigned threads : {1u, 2u, 5u}) {
      Dictionary dictionary(1);
      EXPECT_EQ(run(dictionary, input, threads).Describe("f"),
                "f: the dictionary is full: over 512 MiB of words fell into one of its 32 hash "
                "partitions")
          << threads;
      const std::string kept = Listing(dictionary);
      if (first.empty()) first = kept;
      EXPECT_TRUE(kept == first) << load << " on " << threads << " threads";
      const auto block = std::find(prefixes.begin(), prefixes.end(), kept);
      EXPECT_TRUE(block != prefixes.begin() && block < prefixes.end() - 1)
          << load << " " << threads;
    }
  }
}

TEST(BlockAdder, AFailedReadEndsTheStreamWhereItHappened) {
  // The third read fails; a fourth would give a block again. It is never
  // asked for, and only the blocks before the failure are added.
  const std::string_view words[] = {"zero", "once", "", "late"};
  for (const unsigned threads : {1u, 2u}) {
    const WorkPlan plan{threads, 1};
    Dictionary dictionary;
    BlockAdder adder(dictionary, plan);
    std::vector<std::string_view> blocks(plan.places());
    int reads = 0;
    auto make = [&](std::size_t place) {
      if (++reads == 3) throw std::runtime_error("read failed");
      blocks[place] = words[(reads - 1) % 4];
      return reads <= 4;
    };
    auto run = [&] {
      if (threads < 2) {
        adder.RunAlone(
            make,
            [&](std::size_t place, auto&& add) {
              add(std::span<const std::string_view>(&blocks[place], 1));
              return false;
            },
            [](std::size_t) noexcept {});
      } else {
        adder.Run(
            make,
            [&](std::size_t place, unsigned, EntryBuckets& out) {
              out.Fill(
                  1, [&](std::size_t) { return blocks[place]; }, [](std::size_t) { return 1; });
              return false;
            },
            [](std::size_t, std::size_t) {}, [](std::size_t) noexcept {});
      }
    };
    EXPECT_THROW(run(), std::runtime_error) << threads;
    EXPECT_EQ(reads, 3) << threads;
    EXPECT_EQ(Listing(dictionary), "once 1\nzero 1\n") << threads;
  }
}

TEST(BlockAdder, ALaterBlockThatAddedBeforeTheFailureIsUndoneToo) {
  // Four blocks on two workers. Block 1 fails in its turn on partition 2,
  // but only once block 2, whose turn on partitions 0 and 1 came when block
  // 1 passed them, has added there: new words, and counts onto block 0's
  // words. Both blocks are undone; block 0's entries stay as they were.
  std::mt19937 rng(2);
  auto word_in = [&](std::size_t p) {
    for (;;) {
      const std::string word = RandomWord(rng, 6, "abcdefgh");
      if (Dictionary::PartitionOf(HashBytes(word)) == p) return word;
    }
  };
  std::vector<std::vector<Dictionary::Entry>> blocks(4);
  std::vector<std::string> words;  // stable: reserved
  words.reserve(32);
  for (std::size_t p = 0; p < 4; ++p) {
    const std::string& shared = words.emplace_back(word_in(p));
    blocks[0].push_back({shared, 5});
    for (std::size_t b = 1; b < 4; ++b) {
      blocks[b].push_back({words.emplace_back(word_in(p)), 1});
      blocks[b].push_back({shared, 2147483000});  // saturates in block 2
    }
  }
  Dictionary dictionary, only_first;
  only_first.AddEntries(blocks[0]);
  const WorkPlan plan{2, 1};
  BlockAdder adder(dictionary, plan);
  std::vector<std::size_t> in_place(plan.places());
  std::size_t made = 0;
  Meeting blocks_1_and_2{2};
  std::atomic<int> met{0};
  auto added = [&](std::size_t place, std::size_t p) {
    const std::uint64_t block = adder.block(place);
    if (block == 2 && p == 1) met += blocks_1_and_2.Attend();
    if (block == 1 && p == 2) {
      met += blocks_1_and_2.Attend();
      throw std::bad_alloc();
    }
  };
  EXPECT_THROW(adder.Run(
                   [&](std::size_t place) {
                     in_place[place] = made;
                     return made++ < blocks.size();
                   },
                   [&](std::size_t place, unsigned, EntryBuckets& out) {
                     const std::vector<Dictionary::Entry>& b = blocks[in_place[place]];
                     out.Fill(
                         b.size(), [&](std::size_t i) { return b[i].word; },
                         [&](std::size_t i) { return b[i].count; });
                     return false;
                   },
                   added, [](std::size_t) noexcept {}),
               std::bad_alloc);
  EXPECT_EQ(met.load(), 2);
  EXPECT_EQ(Listing(dictionary), Listing(only_first));
}

}  // namespace
}  // namespace dorvenix::testing
