// What the fuzz targets share: a check that stops the run (so libFuzzer
// records the input) with a message saying which invariant broke.
#ifndef DORVENIX_FUZZ_FUZZ_CHECK_H_
#define DORVENIX_FUZZ_FUZZ_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: broken invariant: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

// A block size of 1 to 64 bytes chosen by the input itself, for reading it
// again in small blocks: words and lines then straddle block ends.
inline std::size_t SmallBlockSize(const std::uint8_t* data, std::size_t size) {
  return size == 0 ? 1 : 1 + data[size - 1] % 64;
}

#endif  // DORVENIX_FUZZ_FUZZ_CHECK_H_
