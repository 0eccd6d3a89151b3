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
// Worker threads start once two jobs are in the air, and only with 2 workers
// or more: until then, and when no thread can be started, the calling thread
// works each job itself before finishing it, so a short input costs nothing
// extra. Once started, the pipeline allocates no memory.
//
// An exception thrown by make(), work() or finish() stops the stream: no
// more jobs are made, the jobs in the air are waited for (not finished), the
// workers are joined, and the first exception is rethrown on the calling
// thread.
#ifndef DORVENIX_THREADS_ORDERED_PIPELINE_H_
#define DORVENIX_THREADS_ORDERED_PIPELINE_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
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
  std::mutex mutex;
  std::condition_variable work_ready;      // signals workers: a job is queued, or stop
  std::condition_variable work_done;       // signals the caller: a job is done
  std::vector<std::size_t> queued(slots);  // ring of slots to work on, oldest first
  std::size_t queue_head = 0, queue_size = 0;
  std::vector<char> done(slots, 0);  // per slot: its job is worked
  bool stopping = false;
  std::exception_ptr failure;  // the first exception of a worker

  auto worker_loop = [&](unsigned id) {
    for (;;) {
      std::size_t slot;
      {
        std::unique_lock lock(mutex);
        work_ready.wait(lock, [&] { return stopping || queue_size > 0; });
        if (queue_size == 0) return;
        slot = queued[queue_head];
        queue_head = (queue_head + 1) % slots;
        --queue_size;
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
  threads.reserve(workers);
  std::size_t room = workers >= 2 ? slots : 1;  // jobs in the air at most
  std::uint64_t made = 0, finished = 0;
  auto queue = [&](std::uint64_t job) {
    {
      std::lock_guard lock(mutex);
      queued[(queue_head + queue_size++) % slots] = job % slots;
    }
    work_ready.notify_one();
  };
  auto start_threads = [&] {
    for (unsigned id = 0; id < workers; ++id) {
      try {
        threads.emplace_back(worker_loop, id);
      } catch (const std::exception&) {
        break;  // fewer threads, or none
      }
    }
    if (threads.empty()) room = 1;
    for (std::uint64_t j = finished; j < made && !threads.empty(); ++j) queue(j);
  };
  // Stops the workers once they have worked on every job queued.
  auto wind_down = [&] {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    work_ready.notify_all();
    for (std::thread& thread : threads) thread.join();
  };

  try {
    for (bool more = true;;) {
      while (more && made - finished < room) {
        if (!make(static_cast<std::size_t>(made % slots))) {
          more = false;
          break;
        }
        ++made;
        if (!threads.empty()) {
          queue(made - 1);
        } else if (workers >= 2 && made == 2) {
          start_threads();
        }
      }
      if (finished == made) break;
      const auto slot = static_cast<std::size_t>(finished % slots);
      if (threads.empty()) {
        work(slot, 0u);
      } else {
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

#endif  // DORVENIX_THREADS_ORDERED_PIPELINE_H_
