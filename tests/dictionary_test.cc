#include "dictionary/dictionary.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/hash.h"
#include "dictionary/add_log.h"
#include "dictionary/entry_buckets.h"
#include "dictionary/word_key.h"
#include "index/best_word_index.h"
#include "memory/arena.h"
#include "memory/huge_pages.h"
#include "memory/page_pool.h"
#include "table/word_table.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

TEST(HashBytes, DependsOnEveryByteAndNothingElse) {
  // Each length takes its own path. The same bytes with other neighbours hash
  // alike; changing any one byte changes the hash.
  std::mt19937 rng(9);
  std::string buffer(64, '\0');
  for (std::size_t n = 0; n <= 40; ++n) {
    for (char& c : buffer) c = static_cast<char>(rng());
    const std::string word = buffer.substr(8, n);
    const std::uint64_t hash = HashBytes(word);
    EXPECT_EQ(HashBytes(std::string_view(buffer).substr(8, n)), hash) << n;
    for (std::size_t i = 0; i < n; ++i) {
      std::string changed = word;
      changed[i] = static_cast<char>(changed[i] ^ 1);
      EXPECT_NE(HashBytes(changed), hash) << n << " " << i;
    }
  }
}

TEST(Arena, RecordsOfAnySizeFillTheAddressSpaceAndRollBack) {
  // Records of every size keep their bytes, and at least half the address
  // space holds records when the limit is reached: a limit, not memory.
  // Rolled back to a mark, the arena forgets what came after it and hands
  // out the same Refs again.
  struct Case {
    std::size_t max_windows, min_size, max_size;
    bool pooled;
  };
  PagePool pool;
  for (const Case c : {Case{40, 4, 256, false}, Case{40, 4, 8192, true},
                       Case{40, 4100, 20000, false}, Case{12, 65540, 300000, true}}) {
    SCOPED_TRACE(std::to_string(c.min_size) + " to " + std::to_string(c.max_size));
    Arena arena(pool, c.max_windows, "full");
    std::vector<std::pair<Arena::Ref, std::size_t>> records;
    std::size_t total = 0, at_mark = 0;
    std::optional<Arena::Mark> mark;
    std::mt19937 rng(5);
    try {
      for (;;) {
        if (records.size() == 5) mark = arena.mark(), at_mark = total;
        const std::size_t size = c.min_size + 4 * (rng() % ((c.max_size - c.min_size) / 4 + 1));
        const Arena::Ref ref = arena.Allocate(size);
        std::memset(arena.At(ref), static_cast<int>(records.size() % 251), size);
        records.emplace_back(ref, size);
        total += size;
      }
    } catch (const LimitReached& limit) {
      EXPECT_STREQ(limit.what(), "full");
    }
    EXPECT_GE(2 * total, c.max_windows * Arena::kWindowSize);
    auto check = [&](std::size_t n, std::size_t bytes) {
      for (std::size_t i = 0; i < n; ++i) {
        const std::string expected(records[i].second, static_cast<char>(i % 251));
        ASSERT_EQ(std::string_view(arena.At(records[i].first), records[i].second), expected) << i;
        ASSERT_EQ(arena.AllocatedSince(*mark, records[i].first), i >= 5) << i;
      }
      std::size_t used = 0;
      arena.ForEachBlock([&](Arena::Ref, std::size_t block) { used += block; });
      EXPECT_EQ(used, bytes);
    };
    ASSERT_TRUE(mark);
    check(records.size(), total);
    arena.RollBack(*mark);
    check(5, at_mark);
    for (std::size_t i = 5; i < records.size(); ++i) {
      ASSERT_EQ(arena.Allocate(records[i].second), records[i].first) << i;
    }
  }
}

TEST(PagePool, ChunksStayApartAndKeepTheirBytesAcrossThreads) {
  // Single chunks and runs longer than a region, from four threads at once;
  // chunks given back are handed out again.
  PagePool pool;
  constexpr std::size_t kChunk = PagePool::kChunkSize;
  std::vector<std::vector<std::pair<char*, std::size_t>>> taken(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < taken.size(); ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i = 0; i < 200; ++i) {
        const std::size_t chunks = i == 7 && t == 0 ? 700 : 1 + i % 3;
        char* const run = pool.Allocate(chunks * kChunk);
        std::memset(run, static_cast<int>(t * 64 + i % 64), chunks * kChunk);
        taken[t].emplace_back(run, chunks);
        if (i % 5 == 4) {
          pool.Free(taken[t].back().first, chunks * kChunk);
          taken[t].pop_back();
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::pair<char*, std::size_t>> all;
  for (std::size_t t = 0; t < taken.size(); ++t) {
    for (std::size_t i = 0; i < taken[t].size(); ++i) {
      const auto [run, chunks] = taken[t][i];
      const std::size_t made = i + i / 4;  // the loop index that took it
      ASSERT_EQ(std::string_view(run, chunks * kChunk),
                std::string(chunks * kChunk, static_cast<char>(t * 64 + made % 64)));
      all.push_back(taken[t][i]);
    }
  }
  std::sort(all.begin(), all.end());
  for (std::size_t i = 1; i < all.size(); ++i) {
    ASSERT_LE(all[i - 1].first + all[i - 1].second * kChunk, all[i].first);
  }
  char* const again = pool.Allocate(kChunk);
  EXPECT_FALSE(std::binary_search(all.begin(), all.end(), std::pair(again, std::size_t{1})));
  {  // A pool's regions go with it: its chunks are no longer mapped.
    char* gone;
    {
      PagePool brief;
      gone = brief.Allocate(kChunk);
    }
    unsigned char in_core[1];
    EXPECT_NE(::mincore(gone, 4096, in_core), 0);
  }
  std::vector<std::uint32_t, HugePageAllocator<std::uint32_t>> big(std::size_t{3} << 20);
  std::iota(big.begin(), big.end(), 0u);
  big.resize(std::size_t{5} << 20, 7);
  EXPECT_EQ(big[(std::size_t{3} << 20) - 1] + big[std::size_t{3} << 20], (3u << 20) - 1 + 7);
  // A size whose bytes overflow is refused, not wrapped to a few bytes.
  EXPECT_THROW(HugePageAllocator<std::uint32_t>().allocate(SIZE_MAX / 4 + 2), std::bad_alloc);
  // Of the room mapped for alignment, the tail is given back: the page after
  // the memory asked for is not mapped (mincore fails on it).
  const std::size_t bytes = (std::size_t{5} << 20) + 100,
                    pages = (bytes + 4095) & ~std::size_t{4095};
  char* const mapped = static_cast<char*>(MapHugePages(bytes));
  unsigned char in_core[1];
  EXPECT_EQ(::mincore(mapped + pages - 4096, 4096, in_core), 0);
  EXPECT_NE(::mincore(mapped + pages, 4096, in_core), 0);
  UnmapHugePages(mapped, bytes);
}

TEST(WordKey, EveryLengthSortsLikeStdSort) {
  // Each length takes its own sorting path (network, insertion, counting).
  std::mt19937 rng(1);
  for (std::size_t length = 0; length <= 40; ++length) {
    for (int round = 0; round < 200; ++round) {
      const std::string word = RandomWord(rng, length, round % 2 ? "abc" : "");
      std::string key(length, '\0');
      MakeWordKey(word, key.data());
      ASSERT_EQ(key, KeyOf(word)) << "length " << length;
    }
  }
}

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
  const Dictionary::Entry entries[] = {{"kept", 3},   {"most", 1000}, {"newer", 2},
                                       {"most", -50}, {"most", 9},    {"kept", 1}};
  const std::string_view words[] = {"kept", "fresh", "ab", "most", "kept"};
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
  dictionary.AddWords(std::span(words).first(4), &third);
  Dictionary::AddLog* const logs[] = {&first, &second, &third};
  Dictionary::AddLog::Undo(dictionary, logs, [&](std::size_t i, auto&& add) {
    if (i == 0) {
      for (const Dictionary::Entry& e : entries) add(e.word, e.count);
    } else if (i == 1) {
      for (const Dictionary::HashedEntry& e : buckets.all()) add(e.word(), e.count);
    } else {
      for (const std::string_view w : words) {
        if (w.size() > 3) add(w, 1);
      }
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
  const std::string_view words[] = {"the",  "text", "a",    text.substr(18),
                                    "text", "",     "abcd", text.substr(0, 17)};
  dictionary.AddWords(words);
  for (const char* word : {"text", "the", "abcd"}) dictionary.AddWord(word);
  const Dictionary::Entry entries[] = {{"abc", 2}, {"text", -5}};  // the caller decides
  dictionary.AddEntries(entries);
  EXPECT_EQ(
      Listing(dictionary),
      "abc 2\nabcd 2\nabcdefghijklmnopq 2\nback -1\nhigh 2147483647\nlows -2147483648\ntext -2\n");
  EXPECT_TRUE(dictionary.CountOf("text") == -2 && !dictionary.CountOf("the"));
}

TEST(WordTable, KeepsAndFindsEveryWordWhateverTheHashes) {
  // Every word under one hash, under three, under its own, or under one of
  // two (-1: the words after the mark under the hash whose probe starts at
  // the first slot), with one larger than an arena block: each is kept and
  // found, across growth and room made for more; rolled back to a mark, the
  // words added since are gone and the others still found, and the longest
  // is one of those.
  for (const auto& setting : {std::pair(1, 3000), {3, 3000}, {0, 200000}, {-1, 3000}}) {
    const int distinct_hashes = setting.first, n = setting.second;  // lambdas capture these
    std::vector<std::string> words;
    for (int i = 0; i < n; ++i) words.push_back(std::to_string(i) + "w");
    words.push_back(std::string(100000, 'q'));
    auto hash = [&](std::size_t i) -> std::uint64_t {
      if (distinct_hashes < 0) return i < words.size() / 2 ? 2 : 0;
      return distinct_hashes == 0 ? HashBytes(words[i]) : 1 + i % distinct_hashes;
    };
    PagePool pool;
    WordTable table(pool);
    bool added;
    std::optional<WordTable::Mark> mark;
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (i == words.size() / 2) mark = table.mark();
      const WordTable::Ref ref =
          table.FindOrAdd(words[i], hash(i), static_cast<std::int32_t>(i), &added);
      ASSERT_TRUE(added) << i;
      ASSERT_EQ(table.Find(words[i], hash(i)), ref) << i;  // also just after growing
    }
    table.Reserve(SIZE_MAX);  // a wild guess: bounded, and every word stays
    for (const std::size_t kept : {words.size(), words.size() / 2}) {
      if (kept < words.size()) table.RollBack(*mark);
      for (std::size_t i = 0; i < words.size(); ++i) {
        const WordTable::Ref ref = table.Find(words[i], hash(i));
        ASSERT_EQ(ref != WordTable::kNoRef, i < kept) << i;
        if (i < kept) {
          ASSERT_EQ(table.Word(ref), words[i]);
          ASSERT_EQ(table.Value(ref), static_cast<std::int32_t>(i));
        }
      }
      EXPECT_EQ(table.Find("0", hash(0)), WordTable::kNoRef);
      std::size_t visited = 0;
      table.ForEach(
          [&](WordTable::Ref ref) { visited += table.Word(ref) == words[table.Value(ref)]; });
      EXPECT_EQ(visited, kept);
      EXPECT_EQ(table.size(), kept);
      EXPECT_EQ(table.longest(), words[kept - 1].size());  // the numbers ascend, then the long one
    }
  }
}

TEST(BestWordIndex, AnswersLikeThePlainRulesOnRandomDictionaries) {
  // Tiny alphabets make keys collide: ties, zero and negative counts, words
  // past the letter product's reach (some past 64 letters) and bytes beyond a-z,
  // 0xFF among them.
  std::mt19937 rng(4);
  for (int round = 0; round < 300; ++round) {
    const std::string_view alphabet = round % 3 == 0   ? "ab"
                                      : round % 3 == 1 ? "abc"
                                                       : "aB\xe9\xff-";
    auto random_word = [&] {
      return RandomWord(rng, 1 + rng() % (round % 10 ? 14 : 80), alphabet);
    };
    Dictionary dictionary;
    Counts entries;
    for (int i = 0, n = static_cast<int>(rng() % 40); i < n; ++i) {
      const std::string word = random_word();
      const auto count = static_cast<std::int32_t>(rng() % 6) - 2;
      dictionary.AddEntry(word, count);
      entries[word] += count;
    }
    std::vector<std::string> queries;
    std::size_t longest = 0;
    for (const auto& [word, count] : entries) {
      queries.push_back(word);
      if (word.size() > 3) std::shuffle(queries.back().begin() + 1, queries.back().end() - 1, rng);
      if (count > 0) longest = std::max(longest, word.size());
    }
    for (int i = 0; i < 40; ++i) queries.push_back(random_word());
    ASSERT_EQ(Listing(dictionary), Listing(entries));

    // The usual shape (every key with a positive count recorded); partitions
    // of 2 words and no records, filled a few at a time as single words ask;
    // partitions of 3 words and few records, all filled by 3 threads at the
    // first batch.
    struct Variant {
      unsigned threads;
      BestWordIndex::Shape shape;
      bool one_by_one;
    };
    for (const Variant& v :
         {Variant{1, {}, false}, Variant{1, {2, 0, 0}, true}, Variant{3, {3, 8, 0}, false}}) {
      const BestWordIndex index(dictionary, v.threads, v.shape);
      EXPECT_GE(index.longest_word(), longest);
      std::vector<std::string> singles;
      for (const std::string& query : queries) {
        if (v.one_by_one) singles.emplace_back(index.FindBestWord(query));
      }
      const std::vector<std::string_view> words(queries.begin(), queries.end());
      std::vector<std::string_view> answers(words.size());
      index.FindBestWords(words, answers);
      for (std::size_t i = 0; i < queries.size(); ++i) {
        const std::string want = BestOf(entries, queries[i]);
        ASSERT_EQ(answers[i], want) << queries[i] << " round " << round;
        ASSERT_EQ(v.one_by_one ? singles[i] : index.FindBestWord(queries[i]), want) << queries[i];
      }
    }
  }
}

TEST(BestWordIndex, RefusesToAnswerOnceTheDictionaryChanged) {
  // An index refers to the dictionary's words: asked after a change, whether
  // it had answered before or not, it throws instead of mixing old and new.
  Dictionary dictionary;
  dictionary.AddEntry("beard", 2);
  const BestWordIndex asked(dictionary), unasked(dictionary);
  EXPECT_EQ(asked.FindBestWord("baerd"), "beard");
  dictionary.AddEntry("bread", 5);
  EXPECT_DEATH((void)asked.FindBestWord("baerd"), "asked after its dictionary changed");
  EXPECT_DEATH((void)unasked.FindBestWord("baerd"), "asked after its dictionary changed");
  EXPECT_EQ(BestWordIndex(dictionary).FindBestWord("baerd"), "bread");
}

}  // namespace
}  // namespace dorvenix::testing
