#include "io/standard_error.h"

#include <unistd.h>

#include <cerrno>

namespace dorvenix {

void WriteStandardError(std::string_view text) {
  const char* p = text.data();
  std::size_t n = text.size();
  while (n > 0) {
    const ssize_t w = ::write(STDERR_FILENO, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

}  // namespace dorvenix
