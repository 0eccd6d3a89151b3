#include "base/bytes.h"

#include <array>

namespace dorvenix {
namespace {

// Runs up to this length are insertion-sorted, longer ones counted.
constexpr std::size_t kInsertionSortLimit = 24;

#if defined(__SSE2__)
// Sorting up to 16 bytes in one SSE2 register with a bitonic network: ten
// layers of min/max against a partner lane, no branches and no memory
// traffic but one load and one store.
template <int kBlock, int kStride>
inline __m128i BitonicLayer(__m128i v) {
  // Lane i pairs with lane i ^ kStride. The lower lane of a pair takes the
  // minimum in an ascending block (i & kBlock == 0), the maximum otherwise.
  static constexpr auto kMasks = [] {
    std::array<std::array<unsigned char, 16>, 2> masks{};  // lower lanes, min lanes
    for (int i = 0; i < 16; ++i) {
      const bool lower = (i & kStride) == 0;
      const bool ascending = (i & kBlock) == 0;
      masks[0][static_cast<std::size_t>(i)] = lower ? 0xFF : 0;
      masks[1][static_cast<std::size_t>(i)] = lower == ascending ? 0xFF : 0;
    }
    return masks;
  }();
  const __m128i lower = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMasks[0].data()));
  const __m128i take_min = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMasks[1].data()));
  const __m128i partner = _mm_or_si128(_mm_and_si128(lower, _mm_srli_si128(v, kStride)),
                                       _mm_andnot_si128(lower, _mm_slli_si128(v, kStride)));
  const __m128i low = _mm_min_epu8(v, partner);
  const __m128i high = _mm_max_epu8(v, partner);
  return _mm_or_si128(_mm_and_si128(take_min, low), _mm_andnot_si128(take_min, high));
}

// Sorts n <= 16 bytes in signed order.
void SortUpTo16(char* p, std::size_t n) {
  alignas(16) std::array<char, 16> lanes;
  lanes.fill(0x7F);  // the largest signed byte: fillers sort last
  CopyBytes(lanes.data(), p, n);
  // Flipping the top bit turns signed order into the unsigned order that
  // SSE2's byte min/max use.
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  __m128i v = _mm_xor_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(lanes.data())), flip);
  v = BitonicLayer<2, 1>(v);
  v = BitonicLayer<4, 2>(v);
  v = BitonicLayer<4, 1>(v);
  v = BitonicLayer<8, 4>(v);
  v = BitonicLayer<8, 2>(v);
  v = BitonicLayer<8, 1>(v);
  v = BitonicLayer<16, 8>(v);
  v = BitonicLayer<16, 4>(v);
  v = BitonicLayer<16, 2>(v);
  v = BitonicLayer<16, 1>(v);
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes.data()), _mm_xor_si128(v, flip));
  CopyBytes(p, lanes.data(), n);
}
#endif

}  // namespace

void SortSignedBytes(char* p, std::size_t n) {
  // Performance-critical: saving and reporting key every entry.
#if defined(__SSE2__)
  if (n >= 2 && n <= 16) return SortUpTo16(p, n);
#endif
  if (n <= kInsertionSortLimit) {
    for (std::size_t i = 1; i < n; ++i) {
      const signed char v = static_cast<signed char>(p[i]);
      std::size_t j = i;
      while (j > 0 && static_cast<signed char>(p[j - 1]) > v) {
        p[j] = p[j - 1];
        --j;
      }
      p[j] = static_cast<char>(v);
    }
    return;
  }
  std::size_t counts[256] = {};
  for (std::size_t i = 0; i < n; ++i) ++counts[static_cast<unsigned char>(p[i])];
  // Signed order: 0x80..0xFF, then 0x00..0x7F.
  for (int b = -128; b < 128; ++b) {
    const std::size_t c = counts[static_cast<unsigned char>(b)];
    std::memset(p, static_cast<unsigned char>(b), c);
    p += c;
  }
}

}  // namespace dorvenix
