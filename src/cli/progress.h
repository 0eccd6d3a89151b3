// Progress: a one-line progress display on standard error for long work.
//
// Shown only when standard error is a terminal and the file is large; the
// line ("dorvenix: learning big.txt: 42% 512 MB/s") is redrawn in place at
// most five times a second and erased by Finish(). Standard output is never
// touched.
#ifndef DORVENIX_CLI_PROGRESS_H_
#define DORVENIX_CLI_PROGRESS_H_

#include <cstdint>
#include <string>

#include "cli/console.h"

namespace dorvenix {

class Progress {
 public:
  // Files smaller than this finish too soon to need a display.
  static constexpr std::uint64_t kMinSize = std::uint64_t{64} << 20;

  // `what` names the work ("learning", "deciphering"); `total` is the file's
  // size in bytes, 0 when unknown (then nothing is shown). The line goes to
  // console.error, timed by console.now; `console` must outlive the display.
  Progress(const char* what, const std::string& path, std::uint64_t total, const Console& console);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { Finish(); }

  bool enabled() const { return enabled_; }
  // Shows that `done` bytes of the total are done, unless the line was drawn
  // less than 200 ms ago.
  void Update(std::uint64_t done);
  // Erases the line, if one was drawn.
  void Finish();
  // Erases the line of whichever Progress drew one, on the process's own
  // standard error. Async-signal-safe: for the handler of a signal that ends
  // the process.
  static void EraseForSignal();

 private:
  const Console& console_;            // where the line goes, and the clock
  bool enabled_;                      // stderr is a terminal and the file is large
  bool drawn_ = false;                // a line is on the screen
  std::string label_;                 // "dorvenix: learning PATH: "
  std::uint64_t total_;               // bytes to do
  Console::Clock::time_point start_;  // when the work began
  Console::Clock::time_point next_;   // earliest time of the next redraw
};

}  // namespace dorvenix

#endif  // DORVENIX_CLI_PROGRESS_H_
