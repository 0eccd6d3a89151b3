#include <fcntl.h>
#include <signal.h>

#include <cerrno>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/driver.h"
#include "cli/progress.h"
#include "io/atomic_file.h"

namespace {

// SIGINT, SIGTERM, SIGHUP: leave no temporary file and no progress line
// behind, then die of the same signal, so that the shell sees the status it
// expects (130 for ^C). Only async-signal-safe calls.
extern "C" void EndBySignal(int signal) {
  dorvenix::AtomicFile::RemoveTemporaryForSignal();
  dorvenix::Progress::EraseForSignal();
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  ::sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  // Blocked while this handler runs: delivered, with its default action, on
  // return.
  ::raise(signal);
}

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

void InstallSignalHandlers() {
  // Over a file-size limit a write fails with EFBIG, which a save reports,
  // instead of killing the whole run.
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action = {};
  action.sa_handler = EndBySignal;
  ::sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaddset(&action.sa_mask, signal);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous;
    // A signal ignored by whoever started us (nohup, a background job)
    // stays ignored.
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  HoldClosedStandardDescriptors();
  InstallSignalHandlers();
#if defined(__GLIBC__)
  // Large buffers (blocks, scratch, sorted entries) are given back to the
  // system when freed, whichever thread allocated them. By default glibc
  // raises this threshold as large buffers come and go, and then keeps what
  // one command's worker threads freed out of the next command's reach.
  ::mallopt(M_MMAP_THRESHOLD, 256 << 10);
#endif
  return dorvenix::RunCommandLine(argc, argv);
}
