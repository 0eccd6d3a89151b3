// RunOrderedPipeline: a stream of jobs, each made on the calling thread,
// worked on by worker threads, and finished on the calling thread in the
// order the jobs were made.
//
// Jobs live in `places` places that are used in turn: job j is in place
// j % places, and a place is made again only after its last job was finished.
// So at most `places` jobs are in the air and memory stays bounded however
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
#include <vector>

#include "threads/thread_group.h"

namespace dorvenix {

// make(place) fills `place` with the next job and returns false when there is
// none left. work(place, worker) does the job; `worker` is in [0, workers)
// (0 when the calling thread works), so that workers can keep scratch space
// of their own. finish(place) returns false to stop the stream after that job.
template <class Make, class Work, class Finish>
void RunOrderedPipeline(unsigned workers, std::size_t places, Make&& make, Work&& work,
                        Finish&& finish) {
  std::mutex mutex;
  std::condition_variable work_ready;       // signals workers: a job is queued, or stop
  std::condition_variable work_done;        // signals the caller: a job is done
  std::vector<std::size_t> queued(places);  // ring of places to work on, oldest first
  std::size_t queue_head = 0, queue_size = 0;
  std::vector<char> done(places, 0);  // per place: its job is worked
  bool stopping = false;
  std::exception_ptr failure;  // the first exception of a worker

  auto worker_loop = [&](unsigned id) {
    for (;;) {
      std::size_t place;
      {
        std::unique_lock lock(mutex);
        work_ready.wait(lock, [&] { return stopping || queue_size > 0; });
        if (queue_size == 0) return;
        place = queued[queue_head];
        queue_head = (queue_head + 1) % places;
        --queue_size;
      }
      std::exception_ptr error;
      try {
        work(place, id);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex);
        if (error && !failure) failure = error;
        done[place] = 1;
      }
      work_done.notify_one();
    }
  };
  ThreadGroup threads;
  std::size_t room = workers >= 2 ? places : 1;  // jobs in the air at most
  std::uint64_t made = 0, finished = 0;
  auto queue = [&](std::uint64_t job) {
    {
      std::lock_guard lock(mutex);
      queued[(queue_head + queue_size++) % places] = job % places;
    }
    work_ready.notify_one();
  };
  auto start_threads = [&] {
    // Fewer threads when some cannot be started, or none.
    for (unsigned id = 0; id < workers && threads.Start([&, id] { worker_loop(id); }); ++id) {
    }
    if (threads.size() == 0) room = 1;
    for (std::uint64_t j = finished; j < made && threads.size() > 0; ++j) queue(j);
  };
  // Stops the workers once they have worked on every job queued.
  auto wind_down = [&] {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    work_ready.notify_all();
    threads.Join();
  };

  try {
    for (bool more = true;;) {
      while (more && made - finished < room) {
        if (!make(static_cast<std::size_t>(made % places))) {
          more = false;
          break;
        }
        ++made;
        if (threads.size() > 0) {
          queue(made - 1);
        } else if (workers >= 2 && made == 2) {
          start_threads();
        }
      }
      if (finished == made) break;
      const auto place = static_cast<std::size_t>(finished % places);
      if (threads.size() == 0) {
        work(place, 0u);
      } else {
        std::unique_lock lock(mutex);
        work_done.wait(lock, [&] { return done[place] != 0 || failure; });
        if (failure) break;
        done[place] = 0;
      }
      ++finished;
      if (!finish(place)) break;
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
