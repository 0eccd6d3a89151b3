// The low-level helpers: hashing, and the byte tricks of the hot paths at the
// edge of readable memory.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "base/bytes.h"
#include "base/hash.h"
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

TEST(SortSignedBytes, EveryLengthSortsLikeStdSort) {
  // Each length takes its own path (network, insertion, counting); bytes
  // 0x80-0xFF sort first.
  std::mt19937 rng(1);
  for (std::size_t length = 0; length <= 40; ++length) {
    for (int round = 0; round < 200; ++round) {
      std::string bytes = RandomWord(rng, length, round % 2 ? "abc" : ""), want = bytes;
      std::sort(want.begin(), want.end(), [](char a, char b) {
        return static_cast<signed char>(a) < static_cast<signed char>(b);
      });
      SortSignedBytes(bytes.data(), bytes.size());
      ASSERT_EQ(bytes, want) << "length " << length;
    }
  }
}

TEST(Bytes, NeverTouchABytePastEitherEndOfTheirRanges) {
  // A readable page between two unreadable ones; every range lies flush
  // against one of its ends, so a byte too far either way faults.
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* const area = ::mmap(nullptr, 3 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(area, MAP_FAILED);
  char* const begin = static_cast<char*>(area) + page;
  char* const end = begin + page;
  ASSERT_EQ(::mprotect(begin, page, PROT_READ | PROT_WRITE), 0);
  for (std::size_t n = 1; n <= 40; ++n) {
    for (const bool forward : {true, false}) {
      char* const from = forward ? begin : end - n;
      char* const to = forward ? end - n : begin;
      for (std::size_t i = 0; i < n; ++i) from[i] = static_cast<char>('a' + (n + i) % 26);
      std::memset(to, 0, n);
      CopyBytes(to, from, n);
      ASSERT_TRUE(std::memcmp(to, from, n) == 0 && BytesEqual(from, to, n)) << n;
      for (const std::size_t i : {std::size_t{0}, n / 2, n - 1}) {
        to[i] ^= 1;
        ASSERT_FALSE(BytesEqual(from, to, n)) << n << " " << i;
        to[i] ^= 1;
      }
    }
  }
  ::munmap(area, 3 * page);
}
}  // namespace
}  // namespace dorvenix::testing
