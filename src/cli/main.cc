#include <fcntl.h>

#include <cerrno>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/driver.h"
#include "cli/signals.h"

namespace {

// A descriptor 0, 1 or 2 that was closed when we started would be the next
// one a file of ours gets, and that file would then take in what is meant for
// standard output, say. Each closed one is held by a descriptor that can be
// neither read nor written, so that it fails as the closed one would
// (EBADF) and is reported like any standard output that cannot be written.
// A name that leads to it (/dev/stdin) is reported as closed
// (ClosedStandardDescriptorNamedBy).
void HoldClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor: this one.
    if (::open("/", O_PATH | O_CLOEXEC) < 0) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  HoldClosedStandardDescriptors();
  dorvenix::InstallSignalHandlers();
#if defined(__GLIBC__)
  // Large buffers (blocks, scratch, sorted entries) are given back to the
  // system when freed, whichever thread allocated them. By default glibc
  // raises this threshold as large buffers come and go, and then keeps what
  // one command's worker threads freed out of the next command's reach.
  ::mallopt(M_MMAP_THRESHOLD, 256 << 10);
#endif
  return dorvenix::RunCommandLine(argc, argv);
}
