// Byte-level helpers for the hot paths: unaligned loads, short copies and
// short comparisons that need no call into the C library.
//
// None of them reads or writes outside the byte ranges it is given.
#ifndef DORVENIX_BASE_BYTES_H_
#define DORVENIX_BASE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dorvenix {

// The T (an unsigned integer type) stored at p in native byte order; p needs
// no alignment.
template <class T>
inline T LoadUnaligned(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
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

}  // namespace dorvenix

#endif  // DORVENIX_BASE_BYTES_H_
