// CopyBytes: memcpy for the short strings of ordinary text, without a call.
#ifndef DORVENIX_IO_SMALL_COPY_H_
#define DORVENIX_IO_SMALL_COPY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dorvenix {

// Copies n bytes from `from` to `to` (which must not overlap). Up to 16 bytes
// are moved with two overlapping loads and stores that stay within the n
// bytes; longer copies call memcpy. Performance-critical: every word of a
// deciphered text is copied at least once.
inline void CopyBytes(char* to, const char* from, std::size_t n) {
  auto move = [&]<class T>(std::size_t at, T) {
    T value;
    std::memcpy(&value, from + at, sizeof value);
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

}  // namespace dorvenix

#endif  // DORVENIX_IO_SMALL_COPY_H_
