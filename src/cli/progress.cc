#include "cli/progress.h"

#include <csignal>
#include <cstdio>

#include "io/standard_error.h"

namespace dorvenix {
namespace {

constexpr char kErase[] = "\r\x1b[K";
// Whether a progress line is on the screen, for EraseForSignal().
volatile std::sig_atomic_t line_drawn = 0;

}  // namespace

Progress::Progress(const char* what, const std::string& path, std::uint64_t total,
                   const Console& console)
    : console_(console),
      enabled_(total >= kMinSize && console.error_is_terminal),
      label_(std::string("dorvenix: ") + what + " " + path + ": "),
      total_(total),
      start_(console.now()),
      next_(start_) {}

void Progress::Update(std::uint64_t done) {
  if (!enabled_) return;
  const Console::Clock::time_point now = console_.now();
  if (now < next_) return;
  next_ = now + std::chrono::milliseconds(200);
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / 1e6 / seconds : 0.0;
  const unsigned percent = done >= total_ ? 100u : static_cast<unsigned>(done * 100 / total_);
  char figures[64];
  std::snprintf(figures, sizeof figures, "%u%% %.0f MB/s", percent, rate);
  console_.error("\r" + label_ + figures + "\x1b[K");
  drawn_ = true;
  line_drawn = 1;
}

void Progress::Finish() {
  if (drawn_) console_.error(kErase);
  drawn_ = false;
  line_drawn = 0;
}

void Progress::EraseForSignal() {
  if (line_drawn != 0) WriteStandardError(kErase);
}

}  // namespace dorvenix
