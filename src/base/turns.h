// Turns: lets numbered jobs, worked on by several threads, each use a set of
// resources (the partitions of a table, say) in job order: job j uses
// resource r only after job j - 1 has. A job takes the resources in whatever
// order their turns come, so jobs follow each other through the resources
// without a lock held while a resource is used.
//
// Every job from 0 up must call Take() exactly once, also when it fails:
// the jobs after it wait for its turns.
#ifndef DORVENIX_BASE_TURNS_H_
#define DORVENIX_BASE_TURNS_H_

#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

namespace dorvenix {

class Turns {
 public:
  // REQUIRES: resources <= 64.
  explicit Turns(std::size_t resources)
      : next_(std::make_unique<std::atomic<std::uint64_t>[]>(resources)), count_(resources) {}
  Turns(const Turns&) = delete;
  Turns& operator=(const Turns&) = delete;

  // Calls use(r) for every resource r, each once job `job`'s turn on it has
  // come, and then passes the turn on. When a use() throws, the remaining
  // turns are still passed on (without use) and the exception is rethrown.
  template <class Use>
  void Take(std::uint64_t job, Use&& use) {
    std::uint64_t waiting = count_ == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count_) - 1;
    std::exception_ptr error;
    while (waiting != 0) {
      std::uint64_t ready = 0;
      for (std::uint64_t left = waiting; left != 0; left &= left - 1) {
        const auto r = static_cast<std::size_t>(std::countr_zero(left));
        if (next_[r].load(std::memory_order_acquire) == job) ready |= std::uint64_t{1} << r;
      }
      if (ready == 0) {
        Wait(job, waiting);
        continue;
      }
      for (; ready != 0; ready &= ready - 1) {
        const auto r = static_cast<std::size_t>(std::countr_zero(ready));
        if (!error) {
          try {
            use(r);
          } catch (...) {
            error = std::current_exception();
          }
        }
        Pass(r, job + 1);
        waiting &= ~(std::uint64_t{1} << r);
      }
    }
    if (error) std::rethrow_exception(error);
  }

 private:
  void Pass(std::size_t r, std::uint64_t next) {
    {
      std::lock_guard lock(mutex_);
      next_[r].store(next, std::memory_order_release);
    }
    passed_.notify_all();
  }

  // Waits until it is `job`'s turn on one of the resources in `waiting`.
  void Wait(std::uint64_t job, std::uint64_t waiting) {
    std::unique_lock lock(mutex_);
    passed_.wait(lock, [&] {
      for (std::uint64_t left = waiting; left != 0; left &= left - 1) {
        const auto r = static_cast<std::size_t>(std::countr_zero(left));
        if (next_[r].load(std::memory_order_relaxed) == job) return true;
      }
      return false;
    });
  }

  std::unique_ptr<std::atomic<std::uint64_t>[]> next_;  // per resource: the job whose turn it is
  std::size_t count_;                                   // number of resources
  std::mutex mutex_;                                    // guards waiting for a turn
  std::condition_variable passed_;                      // a turn was passed on
};

}  // namespace dorvenix

#endif  // DORVENIX_BASE_TURNS_H_
