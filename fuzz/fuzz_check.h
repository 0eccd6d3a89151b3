// What the fuzz targets share: a check that stops the run (so libFuzzer
// records the input) with a message saying which invariant broke.
#ifndef DORVENIX_FUZZ_FUZZ_CHECK_H_
#define DORVENIX_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                           \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "%s:%d: broken invariant: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (false)

#endif  // DORVENIX_FUZZ_FUZZ_CHECK_H_
