#include "dictionary/word_key.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace dorvenix {
namespace {

// Inner parts up to this length are insertion-sorted; longer ones (rare in
// text, but a dictionary file may hold megabyte-long words) are counted.
constexpr std::size_t kInsertionSortLimit = 24;

using Comparator = std::pair<int, int>;

// Sorts N bytes with a fixed network of compare-exchanges: no branches, so
// the shuffled letters of scrambled words cost no mispredictions.
template <std::size_t N, std::size_t M>
inline std::array<signed char, N> SortedByNetwork(const char* p,
                                                  const std::array<Comparator, M>& network) {
  std::array<signed char, N> v;
  std::memcpy(v.data(), p, N);
  for (const auto& [a, b] : network) {
    const signed char low = std::min(v[a], v[b]);
    const signed char high = std::max(v[a], v[b]);
    v[a] = low;
    v[b] = high;
  }
  return v;
}

template <std::size_t N, std::size_t M>
inline void SortByNetwork(char* p, const std::array<Comparator, M>& network) {
  const std::array<signed char, N> v = SortedByNetwork<N>(p, network);
  std::memcpy(p, v.data(), N);
}

constexpr std::array<Comparator, 1> kNetwork2 = {{{0, 1}}};
constexpr std::array<Comparator, 3> kNetwork3 = {{{0, 2}, {0, 1}, {1, 2}}};
constexpr std::array<Comparator, 5> kNetwork4 = {{{0, 1}, {2, 3}, {0, 2}, {1, 3}, {1, 2}}};
constexpr std::array<Comparator, 9> kNetwork5 = {
    {{0, 1}, {3, 4}, {2, 4}, {2, 3}, {0, 3}, {0, 2}, {1, 4}, {1, 3}, {1, 2}}};
constexpr std::array<Comparator, 12> kNetwork6 = {{{1, 2},
                                                   {4, 5},
                                                   {0, 2},
                                                   {3, 5},
                                                   {0, 1},
                                                   {3, 4},
                                                   {1, 4},
                                                   {0, 3},
                                                   {2, 5},
                                                   {1, 3},
                                                   {2, 4},
                                                   {2, 3}}};
constexpr std::array<Comparator, 16> kNetwork7 = {{{1, 2},
                                                   {3, 4},
                                                   {5, 6},
                                                   {0, 2},
                                                   {3, 5},
                                                   {4, 6},
                                                   {0, 1},
                                                   {4, 5},
                                                   {2, 6},
                                                   {0, 4},
                                                   {1, 5},
                                                   {0, 3},
                                                   {2, 5},
                                                   {1, 3},
                                                   {2, 4},
                                                   {2, 3}}};
constexpr std::array<Comparator, 19> kNetwork8 = {{{0, 2},
                                                   {1, 3},
                                                   {4, 6},
                                                   {5, 7},
                                                   {0, 4},
                                                   {1, 5},
                                                   {2, 6},
                                                   {3, 7},
                                                   {0, 1},
                                                   {2, 3},
                                                   {4, 5},
                                                   {6, 7},
                                                   {2, 4},
                                                   {3, 5},
                                                   {1, 4},
                                                   {3, 6},
                                                   {1, 2},
                                                   {3, 4},
                                                   {5, 6}}};

// Batcher's odd-even merge sort network for 16 inputs (63 comparators).
constexpr std::size_t kNetwork16Size = 63;
constexpr std::array<Comparator, kNetwork16Size> kNetwork16 = [] {
  std::array<Comparator, kNetwork16Size> network{};
  std::size_t count = 0;
  constexpr int n = 16;
  for (int p = 1; p < n; p <<= 1) {
    for (int k = p; k >= 1; k >>= 1) {
      for (int j = k % p; j + k < n; j += 2 * k) {
        for (int i = 0; i < k && i < n - j - k; ++i) {
          if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) network[count++] = {i + j, i + j + k};
        }
      }
    }
  }
  return network;
}();

// Sorts 9 to 16 bytes with the 16-input network, the missing inputs filled
// with the largest signed byte so that they sort last.
void SortUpTo16(char* p, std::size_t n) {
  std::array<signed char, 16> v;
  v.fill(127);
  std::memcpy(v.data(), p, n);
  for (const auto& [a, b] : kNetwork16) {
    const signed char low = std::min(v[a], v[b]);
    const signed char high = std::max(v[a], v[b]);
    v[a] = low;
    v[b] = high;
  }
  std::memcpy(p, v.data(), n);
}

void SortInnerBytes(char* first, std::size_t n) {
  // Performance-critical: every deciphered word is keyed.
  switch (n) {
    case 0:
    case 1:
      return;
    case 2:
      return SortByNetwork<2>(first, kNetwork2);
    case 3:
      return SortByNetwork<3>(first, kNetwork3);
    case 4:
      return SortByNetwork<4>(first, kNetwork4);
    case 5:
      return SortByNetwork<5>(first, kNetwork5);
    case 6:
      return SortByNetwork<6>(first, kNetwork6);
    case 7:
      return SortByNetwork<7>(first, kNetwork7);
    case 8:
      return SortByNetwork<8>(first, kNetwork8);
    default:
      if (n <= 16) return SortUpTo16(first, n);
      break;
  }
  if (n <= kInsertionSortLimit) {
    for (std::size_t i = 1; i < n; ++i) {
      const signed char v = static_cast<signed char>(first[i]);
      std::size_t j = i;
      while (j > 0 && static_cast<signed char>(first[j - 1]) > v) {
        first[j] = first[j - 1];
        --j;
      }
      first[j] = static_cast<char>(v);
    }
    return;
  }
  std::size_t counts[256] = {};
  for (std::size_t i = 0; i < n; ++i) ++counts[static_cast<unsigned char>(first[i])];
  // Signed order: 0x80..0xFF, then 0x00..0x7F.
  char* out = first;
  for (int b = -128; b < 128; ++b) {
    const std::size_t c = counts[static_cast<unsigned char>(b)];
    std::memset(out, static_cast<unsigned char>(b), c);
    out += c;
  }
}

}  // namespace

void MakeWordKeyInto(std::string_view word, char* out) {
  std::memcpy(out, word.data(), word.size());
  if (IsStoredLength(word.size())) SortInnerBytes(out + 1, word.size() - 2);
}

WordKey MakeWordKey(std::string_view word) {
  WordKey key(word.size(), '\0');
  MakeWordKeyInto(word, key.data());
  return key;
}

}  // namespace dorvenix
