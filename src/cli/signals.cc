#include "cli/signals.h"

#include <signal.h>

#include "cli/progress.h"
#include "io/atomic_file.h"

namespace dorvenix {
namespace {

// Only async-signal-safe calls.
extern "C" void EndBySignal(int signal) {
  AtomicFile::RemoveTemporaryForSignal();
  Progress::EraseForSignal();
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  ::sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  // Blocked while this handler runs: delivered, with its default action, on
  // return.
  ::raise(signal);
}

}  // namespace

void InstallSignalHandlers() {
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action = {};
  action.sa_handler = EndBySignal;
  ::sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaddset(&action.sa_mask, signal);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous;
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace dorvenix
