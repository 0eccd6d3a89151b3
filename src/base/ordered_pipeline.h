// RunOrderedPipeline: a stream of jobs, each made on the calling thread,
// worked on by worker threads, and finished on the calling thread in the
// order the jobs were made.
//
// Jobs live in `slots` slots that are used in turn: job j is in slot
// j % slots, and a slot is made again only after its last job was finished.
// So at most `slots` jobs are in the air and memory stays bounded however
// long the stream. Typically make() reads a block of input, work() does the
// costly part, and finish() writes the result out in order.
//
// With fewer than 2 workers, or when the stream has only one job, the
// calling thread does the work itself and no thread is started: a short
// input costs nothing extra.
//
// An exception thrown by make(), work() or finish() stops the stream: no
// more jobs are made, the jobs in the air are waited for (not finished), the
// workers are joined, and the first exception is rethrown on the calling
// thread.
#ifndef DORVENIX_BASE_ORDERED_PIPELINE_H_
#define DORVENIX_BASE_ORDERED_PIPELINE_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace dorvenix {

// make(slot) fills `slot` with the next job and returns false when there is
// none left. work(slot, worker) does the job; `worker` is in [0, workers)
// (0 when the calling thread works), so that workers can keep scratch space
// of their own. finish(slot) returns false to stop the stream after that job.
template <class Make, class Work, class Finish>
void RunOrderedPipeline(unsigned workers, std::size_t slots, Make&& make, Work&& work,
                        Finish&& finish) {
  if (workers < 2 || slots < 2) {
    while (make(std::size_t{0})) {
      work(std::size_t{0}, 0u);
      if (!finish(std::size_t{0})) return;
    }
    return;
  }
  if (!make(std::size_t{0})) return;
  bool more = make(std::size_t{1});
  if (!more) {
    work(std::size_t{0}, 0u);
    finish(std::size_t{0});
    return;
  }

  std::mutex mutex;
  std::condition_variable work_ready;  // signals workers: a job is queued, or stop
  std::condition_variable work_done;   // signals the caller: a job is done
  std::deque<std::size_t> queued;      // slots to work on, oldest first
  std::vector<char> done(slots, 0);    // per slot: its job is worked
  bool stopping = false;
  std::exception_ptr failure;  // the first exception of a worker

  auto worker_loop = [&](unsigned id) {
    for (;;) {
      std::size_t slot;
      {
        std::unique_lock lock(mutex);
        work_ready.wait(lock, [&] { return stopping || !queued.empty(); });
        if (queued.empty()) return;
        slot = queued.front();
        queued.pop_front();
      }
      std::exception_ptr error;
      try {
        work(slot, id);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex);
        if (error && !failure) failure = error;
        done[slot] = 1;
      }
      work_done.notify_one();
    }
  };
  std::vector<std::thread> threads;
  std::uint64_t made = 2, finished = 0;
  auto queue = [&](std::size_t slot) {
    {
      std::lock_guard lock(mutex);
      queued.push_back(slot);
    }
    work_ready.notify_one();
  };
  // Waits until every job made is worked on, then stops the workers.
  auto wind_down = [&] {
    {
      std::unique_lock lock(mutex);
      work_done.wait(lock, [&] {
        for (std::uint64_t j = finished; j < made; ++j) {
          if (!done[j % slots]) return false;
        }
        return true;
      });
      stopping = true;
    }
    work_ready.notify_all();
    for (std::thread& thread : threads) thread.join();
  };

  for (unsigned id = 0; id < workers; ++id) {
    try {
      threads.emplace_back(worker_loop, id);
    } catch (const std::exception&) {
      break;  // fewer threads, or none
    }
  }
  if (threads.empty()) {
    // No thread could be started: the calling thread works through it all.
    work(std::size_t{0}, 0u);
    if (!finish(std::size_t{0})) return;
    work(std::size_t{1}, 0u);
    if (!finish(std::size_t{1})) return;
    while (make(std::size_t{0})) {
      work(std::size_t{0}, 0u);
      if (!finish(std::size_t{0})) return;
    }
    return;
  }
  try {
    queue(0);
    queue(1);
    for (;;) {
      while (more && made - finished < slots) {
        const std::size_t slot = made % slots;
        if (!make(slot)) {
          more = false;
          break;
        }
        ++made;
        queue(slot);
      }
      if (finished == made) break;
      const std::size_t slot = finished % slots;
      {
        std::unique_lock lock(mutex);
        work_done.wait(lock, [&] { return done[slot] != 0 || failure; });
        if (failure) break;
        done[slot] = 0;
      }
      ++finished;
      if (!finish(slot)) break;
    }
  } catch (...) {
    wind_down();
    throw;
  }
  wind_down();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace dorvenix

#endif  // DORVENIX_BASE_ORDERED_PIPELINE_H_
