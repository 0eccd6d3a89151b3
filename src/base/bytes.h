// The one home of the low-level tricks of the hot paths: unaligned and
// big-endian loads, short copies and comparisons that need no call into the
// C library, prefetching, the folded 128-bit product, checked addition, and
// the two SSE2 kernels (sorting up to 16 bytes, lowercasing 64 letters).
// Nothing else in the tree uses a compiler builtin or an intrinsic.
//
// None of them reads or writes outside the byte ranges it is given.
#ifndef DORVENIX_BASE_BYTES_H_
#define DORVENIX_BASE_BYTES_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dorvenix {

// The T (an unsigned integer type) stored at p in native byte order; p needs
// no alignment.
template <class T>
inline T LoadUnaligned(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// The 8 bytes at p as a big-endian number: comparing two such numbers
// compares the bytes as unsigned values, first byte first.
inline std::uint64_t LoadBigEndian64(const char* p) {
  const auto value = LoadUnaligned<std::uint64_t>(p);
  return std::endian::native == std::endian::little ? __builtin_bswap64(value) : value;
}

// Copies n bytes from `from` to `to` (which must not overlap). Up to 16 bytes
// are moved with two overlapping loads and stores that stay within the n
// bytes; longer copies call memcpy. Performance-critical: every word of a
// deciphered text is copied at least once.
inline void CopyBytes(char* to, const char* from, std::size_t n) {
  auto move = [&]<class T>(std::size_t at, T) {
    const T value = LoadUnaligned<T>(from + at);
    std::memcpy(to + at, &value, sizeof value);
  };
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    move(0, std::uint64_t{});
    move(n - 8, std::uint64_t{});
  } else if (n >= 4) {
    move(0, std::uint32_t{});
    move(n - 4, std::uint32_t{});
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

// memcmp(a, b, n) == 0, without a call for the short words of ordinary text:
// 4 to 16 bytes are compared with two overlapping loads from each side.
inline bool BytesEqual(const char* a, const char* b, std::size_t n) {
  if (n >= 4 && n <= 8) {
    return ((LoadUnaligned<std::uint32_t>(a) ^ LoadUnaligned<std::uint32_t>(b)) |
            (LoadUnaligned<std::uint32_t>(a + n - 4) ^ LoadUnaligned<std::uint32_t>(b + n - 4))) ==
           0;
  }
  if (n > 8 && n <= 16) {
    return ((LoadUnaligned<std::uint64_t>(a) ^ LoadUnaligned<std::uint64_t>(b)) |
            (LoadUnaligned<std::uint64_t>(a + n - 8) ^ LoadUnaligned<std::uint64_t>(b + n - 8))) ==
           0;
  }
  return std::memcmp(a, b, n) == 0;
}

// Asks the processor to fetch the cache line of p, which need not be valid
// memory: a look-up a few steps ahead finds it in the cache.
inline void Prefetch(const void* p) { __builtin_prefetch(p); }

// The two halves of the 128-bit product of a and b, xored: a multiplication
// that mixes every bit of both into the result.
inline std::uint64_t FoldedProduct(std::uint64_t a, std::uint64_t b) {
  __extension__ typedef unsigned __int128 Uint128;
  const Uint128 product = static_cast<Uint128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// *sum = a + b; returns true, with *sum wrapped, when the sum leaves the
// signed 32-bit range. One add and one branch on the flag.
inline bool AddOverflows(std::int32_t a, std::int32_t b, std::int32_t* sum) {
  return __builtin_add_overflow(a, b, sum);
}

// Sorts the n bytes at p in ascending order, comparing them as signed 8-bit
// values (0x80-0xFF before 0x00-0x7F). Up to 16 bytes go through an SSE2
// sorting network, up to 24 through insertion, longer runs (rare in text, but
// a dictionary file may hold megabyte-long words) are counted.
void SortSignedBytes(char* p, std::size_t n);

// Lowercases the ASCII letters among the 64 bytes at p in place and returns
// a mask with bit i set when p[i] is a letter.
inline std::uint64_t LowerLetters64(char* p) {
  std::uint64_t mask = 0;
#if defined(__SSE2__)
  for (int i = 0; i < 4; ++i) {
    char* q = p + 16 * i;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    // (b | 0x20) is 'a'..'z' exactly for letters; shifting 'a' to -128 turns
    // the range test into one signed comparison.
    const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    const __m128i letters =
        _mm_cmplt_epi8(_mm_add_epi8(folded, _mm_set1_epi8(static_cast<char>(256 - 128 - 'a'))),
                       _mm_set1_epi8(-128 + 26));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q),
                     _mm_or_si128(bytes, _mm_and_si128(letters, _mm_set1_epi8(0x20))));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(letters)))
            << (16 * i);
  }
#else
  for (std::size_t i = 0; i < 64; ++i) {
    const char folded = static_cast<char>(p[i] | 0x20);
    if (folded >= 'a' && folded <= 'z') {
      p[i] = folded;
      mask |= std::uint64_t{1} << i;
    }
  }
#endif
  return mask;
}

}  // namespace dorvenix

#endif  // DORVENIX_BASE_BYTES_H_
