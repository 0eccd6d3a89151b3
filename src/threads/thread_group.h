// ThreadGroup: the threads started for one piece of work, joined when it is
// done. Starting a thread can fail when the system has none to give; the
// work then goes on with fewer threads, or on the caller's alone.
#ifndef DORVENIX_THREADS_THREAD_GROUP_H_
#define DORVENIX_THREADS_THREAD_GROUP_H_

#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace dorvenix {

class ThreadGroup {
 public:
  ThreadGroup() = default;
  ThreadGroup(const ThreadGroup&) = delete;
  ThreadGroup& operator=(const ThreadGroup&) = delete;
  ~ThreadGroup() { Join(); }

  // Runs f() on a new thread of the group; false when none could be started.
  template <class F>
  bool Start(F&& f) {
    for (int left = refusals_.load(); left > 0;) {
      if (refusals_.compare_exchange_weak(left, left - 1)) return false;
    }
    try {
      threads_.emplace_back(std::forward<F>(f));
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

  // Waits for every thread of the group to end.
  void Join() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  std::size_t size() const { return threads_.size(); }

  // For tests: the next `count` starts, in any group, fail as they do when
  // the system has no thread to give.
  static void RefuseStarts(int count) { refusals_.store(count); }

 private:
  static inline std::atomic<int> refusals_{0};  // starts still to refuse
  std::vector<std::thread> threads_;            // started, not yet joined
};

}  // namespace dorvenix

#endif  // DORVENIX_THREADS_THREAD_GROUP_H_
