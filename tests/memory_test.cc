// Where the tables' memory comes from: arenas of records, the pool of huge
// pages they share, and arrays in huge pages.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "memory/arena.h"
#include "memory/huge_pages.h"
#include "memory/page_pool.h"
#include "test_support.h"

namespace dorvenix::testing {
namespace {

TEST(Arena, RecordsOfAnySizeFillTheAddressSpaceAndRollBack) {
  // Records of every size keep their bytes, and at least half the address
  // space holds records when the limit is reached: a limit, not memory.
  // Rolled back to a mark, the arena forgets what came after it and hands
  // out the same Refs again.
  struct Case {
    std::size_t max_windows, min_size, max_size;
  };
  PagePool pool;
  for (const Case c :
       {Case{40, 4, 256}, Case{40, 4, 8192}, Case{40, 4100, 20000}, Case{12, 65540, 300000}}) {
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
  char* const chunk = pool.Allocate(kChunk);  // a chunk given back is handed out again
  pool.Free(chunk, kChunk);
  EXPECT_EQ(pool.Allocate(kChunk), chunk);
  {  // A pool's regions go with it: its chunks are no longer mapped.
    char* gone;
    {
      PagePool brief;
      gone = brief.Allocate(kChunk);
    }
    unsigned char in_core[1];
    EXPECT_NE(::mincore(gone, 4096, in_core), 0);
  }
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
}  // namespace
}  // namespace dorvenix::testing
