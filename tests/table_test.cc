// The hash tables: one open-addressing scheme, and the table of words with
// a value each that the dictionary is made of.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/hash.h"
#include "memory/page_pool.h"
#include "table/word_table.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

TEST(WordTable, KeepsAndFindsEveryWordWhateverTheHashes) {
  // Every word under one hash, under three, under its own, or (-1) the first
  // half under a hash whose probe starts at the last slot and wraps, the rest
  // under one that starts at the first slot; one word is larger than an
  // arena block. Each is kept and found, across growth and room made for
  // more; rolled back to a mark taken halfway, the words added since are
  // gone (their slots emptied across the wrap) and the others still found,
  // and the longest is one of those.
  for (const auto& setting : {std::pair(1, 3000), {3, 3000}, {0, 200000}, {-1, 3000}}) {
    const int distinct_hashes = setting.first, n = setting.second;  // lambdas capture these
    std::vector<std::string> words;
    for (int i = 0; i < n; ++i) words.push_back(std::to_string(i) + "w");
    words.push_back(std::string(100000, 'q'));
    auto hash = [&](std::size_t i) -> std::uint64_t {
      if (distinct_hashes < 0) return i < words.size() / 2 ? 0xFFFFFFF8u : 0;
      if (distinct_hashes == 0) return HashBytes(words[i]);
      return (1 + i % distinct_hashes) * 0x9E3779B97F4A7C15u;
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

}  // namespace
}  // namespace dorvenix::testing
