// HashBytes: a fast 64-bit hash of a byte string, built on FoldedProduct.
// Not cryptographic: it spreads words over hash tables.
#ifndef DORVENIX_BASE_HASH_H_
#define DORVENIX_BASE_HASH_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/bytes.h"

namespace dorvenix {

namespace hash_internal {
inline constexpr std::uint64_t kP0 = 0xa0761d6478bd642full;
inline constexpr std::uint64_t kP1 = 0xe7037ed1a0b428dbull;
inline constexpr std::uint64_t kP2 = 0x8ebc6af09c88c6e3ull;
}  // namespace hash_internal

// A hash of two 64-bit values.
inline std::uint64_t HashPair(std::uint64_t a, std::uint64_t b) {
  return FoldedProduct(a ^ hash_internal::kP1, b ^ hash_internal::kP2);
}

// Performance-critical: every learnt and every deciphered word is hashed.
inline std::uint64_t HashBytes(std::string_view bytes) {
  using hash_internal::kP0;
  using hash_internal::kP1;
  using hash_internal::kP2;
  const char* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint64_t seed = kP0 ^ n;
  std::uint64_t a = 0, b = 0;
  if (n <= 16) {
    if (n >= 8) {
      a = LoadUnaligned<std::uint64_t>(p);
      b = LoadUnaligned<std::uint64_t>(p + n - 8);
    } else if (n >= 4) {
      a = LoadUnaligned<std::uint32_t>(p);
      b = LoadUnaligned<std::uint32_t>(p + n - 4);
    } else if (n > 0) {
      a = (std::uint64_t{static_cast<unsigned char>(p[0])} << 16) |
          (std::uint64_t{static_cast<unsigned char>(p[n >> 1])} << 8) |
          static_cast<unsigned char>(p[n - 1]);
    }
  } else {
    while (n > 16) {
      seed = FoldedProduct(LoadUnaligned<std::uint64_t>(p) ^ kP1,
                           LoadUnaligned<std::uint64_t>(p + 8) ^ seed);
      p += 16;
      n -= 16;
    }
    a = LoadUnaligned<std::uint64_t>(p + n - 16);
    b = LoadUnaligned<std::uint64_t>(p + n - 8);
  }
  return FoldedProduct(kP1 ^ bytes.size(), FoldedProduct(a ^ kP1, b ^ seed) ^ kP2);
}

}  // namespace dorvenix

#endif  // DORVENIX_BASE_HASH_H_
