#include "base/check.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace dorvenix {

void CheckFailed(const char* what) noexcept {
  for (const char* piece : {"dorvenix: internal error: ", what, "\n"}) {
    if (::write(STDERR_FILENO, piece, std::strlen(piece)) < 0) break;
  }
  std::abort();
}

}  // namespace dorvenix
