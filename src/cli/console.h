// Console: where one run of the command line writes, and what it knows of
// where that goes. The process's own standard output and error, or a test's
// strings and clock. The run holds it by reference: it must outlive the run.
#ifndef DORVENIX_CLI_CONSOLE_H_
#define DORVENIX_CLI_CONSOLE_H_

#include <chrono>
#include <functional>
#include <string_view>

#include "io/output_file.h"

namespace dorvenix {

struct Console {
  using Clock = std::chrono::steady_clock;

  OutputFile& out;  // standard output: results, buffered
  // Writes to standard error at once; a failure there is ignored, as there
  // is nowhere left to report it.
  std::function<void(std::string_view)> error;
  bool out_is_terminal = false;                         // text written to `out` shows on a screen
  bool error_is_terminal = false;                       // a progress line may be drawn on `error`
  std::function<Clock::time_point()> now = Clock::now;  // the time of progress lines
};

}  // namespace dorvenix

#endif  // DORVENIX_CLI_CONSOLE_H_
