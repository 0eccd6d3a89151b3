// Turns: lets numbered jobs, worked on by several threads, each use a set of
// resources (the partitions of a table, say) in job order: job j uses
// resource r only after job j - 1 has. A job takes the resources in order,
// 0 first, so jobs follow each other through them like a wave, without a
// lock held while a resource is used.
//
// Every job from 0 up must call Take() exactly once, also when it fails:
// the jobs after it wait for its turns. So a use may not throw: a job that
// fails notes it and lets its later uses do nothing.
#ifndef DORVENIX_THREADS_TURNS_H_
#define DORVENIX_THREADS_TURNS_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>

namespace dorvenix {

class Turns {
 public:
  explicit Turns(std::size_t resources)
      : next_(std::make_unique<std::atomic<std::uint64_t>[]>(resources)), count_(resources) {}
  Turns(const Turns&) = delete;
  Turns& operator=(const Turns&) = delete;

  // Calls use(r) for every resource r in order, each once job `job`'s turn
  // on it has come, and then passes the turn on.
  template <class Use>
  void Take(std::uint64_t job, Use&& use) {
    static_assert(std::is_nothrow_invocable_v<Use&, std::size_t>, "use() must be noexcept");
    for (std::size_t r = 0; r < count_; ++r) {
      if (next_[r].load(std::memory_order_acquire) != job) Wait(job, r);
      use(r);
      Pass(r, job + 1);
    }
  }

 private:
  void Pass(std::size_t r, std::uint64_t next) {
    {
      std::lock_guard lock(mutex_);
      next_[r].store(next, std::memory_order_release);
    }
    passed_.notify_all();
  }

  // Waits until it is `job`'s turn on resource r.
  void Wait(std::uint64_t job, std::size_t r) {
    std::unique_lock lock(mutex_);
    passed_.wait(lock, [&] { return next_[r].load(std::memory_order_relaxed) == job; });
  }

  std::unique_ptr<std::atomic<std::uint64_t>[]> next_;  // per resource: the job whose turn it is
  std::size_t count_;                                   // number of resources
  std::mutex mutex_;                                    // guards waiting for a turn
  std::condition_variable passed_;                      // a turn was passed on
};

}  // namespace dorvenix

#endif  // DORVENIX_THREADS_TURNS_H_
