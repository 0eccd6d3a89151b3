// WorkPlan: how a command works through its input, on how many threads and
// in blocks of what size. Results never depend on either; only speed and
// memory do.
#ifndef DORVENIX_THREADS_WORK_PLAN_H_
#define DORVENIX_THREADS_WORK_PLAN_H_

#include <cstddef>

namespace dorvenix {

struct WorkPlan {
  unsigned threads = 1;                           // worker threads, at least 1
  std::size_t block_size = std::size_t{1} << 20;  // bytes read at once

  // Blocks in the air at once: enough to keep every worker busy while the
  // calling thread reads the next block and writes out the last.
  std::size_t places() const { return threads < 2 ? 1 : std::size_t{threads} + 2; }
  // Workers that keep scratch space.
  std::size_t workers() const { return threads < 2 ? 1 : threads; }
};

}  // namespace dorvenix

#endif  // DORVENIX_THREADS_WORK_PLAN_H_
