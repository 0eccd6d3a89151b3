#include <signal.h>

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
  InstallSignalHandlers();
  return dorvenix::RunCommandLine(argc, argv);
}
