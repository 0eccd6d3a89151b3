// ParallelFor: runs f(i) for every i in [0, n) on up to `threads` threads
// (the calling thread among them), each taking the next i as it becomes free.
// The first exception thrown by f is rethrown once every thread has stopped;
// the i not yet taken by then are skipped. Threads that cannot be started
// leave their share to the others.
#ifndef DORVENIX_THREADS_PARALLEL_FOR_H_
#define DORVENIX_THREADS_PARALLEL_FOR_H_

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>

#include "threads/thread_group.h"

namespace dorvenix {

template <class F>
void ParallelFor(std::size_t n, unsigned threads, F&& f) {
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::exception_ptr failure;  // the first exception, guarded by mutex
  auto loop = [&] {
    try {
      for (std::size_t i = next++; i < n; i = next++) f(i);
    } catch (...) {
      next = n;
      std::lock_guard lock(mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  {
    // With one thread, or one i, the calling thread does it all.
    ThreadGroup helpers;
    const std::size_t wanted = threads < 2 || n < 2 ? 0 : (threads < n ? threads : n) - 1;
    for (std::size_t t = 0; t < wanted && helpers.Start(loop); ++t) {
    }
    loop();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace dorvenix

#endif  // DORVENIX_THREADS_PARALLEL_FOR_H_
