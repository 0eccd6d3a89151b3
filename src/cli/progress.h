// Progress: a one-line progress display on standard error for long work.
//
// Shown only when standard error is a terminal and the file is large; the
// line ("dorvenix: learning big.txt: 42% 512 MB/s") is redrawn in place at
// most a few times a second and erased by Finish(). Standard output is never
// touched.
#ifndef DORVENIX_CLI_PROGRESS_H_
#define DORVENIX_CLI_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <string>

namespace dorvenix {

class Progress {
 public:
  // Files smaller than this finish too soon to need a display.
  static constexpr std::uint64_t kMinSize = std::uint64_t{64} << 20;

  // `what` names the work ("learning", "deciphering"); `total` is the file's
  // size in bytes, 0 when unknown (then nothing is shown).
  Progress(const char* what, const std::string& path, std::uint64_t total);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { Finish(); }

  bool enabled() const { return enabled_; }
  void Update(std::uint64_t done);
  // Erases the line, if one was drawn.
  void Finish();
  // Erases the line of whichever Progress drew one. Async-signal-safe: for
  // the handler of a signal that ends the process.
  static void EraseForSignal();

 private:
  using Clock = std::chrono::steady_clock;

  bool enabled_;             // stderr is a terminal and the file is large
  bool drawn_ = false;       // a line is on the screen
  std::string label_;        // "dorvenix: learning PATH: "
  std::uint64_t total_;      // bytes to do
  Clock::time_point start_;  // when the work began
  Clock::time_point next_;   // earliest time of the next redraw
};

}  // namespace dorvenix

#endif  // DORVENIX_CLI_PROGRESS_H_
