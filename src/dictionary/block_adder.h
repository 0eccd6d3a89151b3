// BlockAdder: adds what the blocks of an input hold to a dictionary, in
// block order, on several threads: how learning and loading work.
//
// Blocks are made on the calling thread, turned into entries sorted by
// partition on the workers (EntryBuckets), and each block adds its share to
// each partition after the block before it has added its own (Turns). So no
// partition is locked, and counts add up in block order, as on one thread.
//
// When a block fails (memory runs out, a limit is reached), wherever and
// whenever that happens, the dictionary ends up holding exactly the entries
// of the blocks before it: what that block, and the blocks after it that
// were already under way, had added is undone (Dictionary::AddLog). Then the
// failure is thrown. So what stays of a failed command never depends on the
// number of threads or on their timing.
#ifndef DORVENIX_DICTIONARY_BLOCK_ADDER_H_
#define DORVENIX_DICTIONARY_BLOCK_ADDER_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "dictionary/dictionary.h"
#include "dictionary/entry_buckets.h"
#include "threads/ordered_pipeline.h"
#include "threads/turns.h"
#include "threads/work_plan.h"

namespace dorvenix {

class BlockAdder {
 public:
  // Adds to `dictionary` as `plan` says: jobs in plan.places() places, worked
  // on by plan.workers() workers.
  BlockAdder(Dictionary& dictionary, const WorkPlan& plan)
      : dictionary_(dictionary), plan_(plan), places_(plan.places()), workers_(plan.workers()) {
    held_.reserve(workers_.size());
    logs_.reserve(workers_.size());
  }
  BlockAdder(const BlockAdder&) = delete;
  BlockAdder& operator=(const BlockAdder&) = delete;

  // Runs a stream of blocks (once per BlockAdder); the callbacks work on the
  // caller's job places.
  //  - make(place) reads the next block into `place` and returns false at the
  //    end. On the calling thread.
  //  - fill(place, worker, buckets) puts the block's entries in `buckets`,
  //    pointing into memory that stays as it is until the block is finished
  //    and the place or the worker `worker` is used again. Returns true when
  //    no block after this one may add anything (a malformed line ends it).
  //    On a worker, or on the calling thread.
  //  - added(place, p) is called once the block's entries are in partition p,
  //    in p's turn.
  //  - finish(place) is called on the calling thread, in block order, once the
  //    block's entries are all in; it is noexcept, since a failure there would
  //    leave the adds of the blocks after it in place. The stream ends after
  //    the block that fill() said was the last.
  // Throws the failure of the first block that failed, or of make(), once
  // the dictionary holds the entries of the blocks before it.
  template <class Make, class Fill, class Added, class Finish>
  void Run(Make&& make, Fill&& fill, Added&& added, Finish&& finish) {
    Turns turns(Dictionary::kPartitions);
    RunOrderedPipeline(
        plan_.threads, places_.size(), Made(make),
        [&](std::size_t place, unsigned worker) {
          const std::uint64_t block = places_[place].block;
          Worker& w = workers_[worker];
          // A worker whose block's adds are to be undone holds what that
          // takes: only a block that adds may use it again.
          const bool adds = Adds(block);
          if (adds) {
            w.log.Clear();
            try {
              if (fill(place, worker, w.buckets)) Lower(last_, block);
            } catch (...) {
              Fail(place);
            }
          }
          turns.Take(block, [&](std::size_t p) noexcept {
            if (!adds || !Adds(block)) return;
            try {
              dictionary_.AddToPartition(p, w.buckets.Of(p), &w.log);
              added(place, p);
            } catch (...) {
              Fail(place);
            }
          });
          // Whether this block's adds are to be undone is known by now: the
          // blocks before it have taken all their turns.
          if (adds) w.held = w.log.touched() && block >= failed_.load() ? block : kNone;
        },
        Finished(finish));
    End([&](std::size_t i, auto&& add) {
      for (const Dictionary::HashedEntry& entry : held_[i]->buckets.all()) {
        add(entry.word(), entry.count);
      }
    });
  }

  // The same on the calling thread alone, adding straight from the blocks:
  // items(place, add) hands what the block in `place` holds to add(words), for
  // words of more than 3 bytes with a count of 1 each, or add(entries), in
  // batches, the same each time it is called, and returns what fill()
  // returns.
  template <class Make, class Items, class Finish>
  void RunAlone(Make&& make, Items&& items, Finish&& finish) {
    Dictionary::AddLog& log = workers_[0].log;
    RunOrderedPipeline(
        1, 1, Made(make),
        [&](std::size_t place, unsigned) {
          log.Clear();
          try {
            if (items(place, [&](auto batch) { Add(batch, &log); })) Lower(last_, block(place));
          } catch (...) {
            if (log.touched()) {
              Dictionary::AddLog* const logs[] = {&log};
              dictionary_.Undo(logs, [&](std::size_t, auto&& add) {
                items(place, [&](auto batch) { Replay(batch, add); });
              });
            }
            Fail(place);
          }
        },
        Finished(finish));
    End([](std::size_t, auto&&) {});
  }

  // The number of the block in `place` (0 for the first).
  std::uint64_t block(std::size_t place) const { return places_[place].block; }

 private:
  static constexpr std::uint64_t kNone = UINT64_MAX;

  struct Place {
    std::uint64_t block = 0;   // its number
    std::exception_ptr error;  // why it failed
  };
  struct Worker {
    EntryBuckets buckets;        // of its block
    Dictionary::AddLog log;      // what its block added
    std::uint64_t held = kNone;  // the block to undo whose buckets and log these are
  };

  void Add(std::span<const std::string_view> words, Dictionary::AddLog* log) {
    dictionary_.AddWords(words, log);
  }
  void Add(std::span<const Dictionary::Entry> entries, Dictionary::AddLog* log) {
    dictionary_.AddEntries(entries, log);
  }
  template <class F>
  static void Replay(std::span<const std::string_view> words, F&& add) {
    for (std::string_view word : words) add(word, 1);
  }
  template <class F>
  static void Replay(std::span<const Dictionary::Entry> entries, F&& add) {
    for (const Dictionary::Entry& entry : entries) add(entry.word, entry.count);
  }

  static void Lower(std::atomic<std::uint64_t>& bound, std::uint64_t block) {
    std::uint64_t seen = bound.load();
    while (block < seen && !bound.compare_exchange_weak(seen, block)) {
    }
  }
  // Whether block `block` still adds its entries.
  bool Adds(std::uint64_t block) const { return block < failed_.load() && block <= last_.load(); }
  // The block in `place` failed with the exception being handled.
  void Fail(std::size_t place) {
    places_[place].error = std::current_exception();
    Lower(failed_, places_[place].block);
  }

  // make(), numbering the blocks; a failure ends the stream.
  template <class Make>
  auto Made(Make& make) {
    return [&](std::size_t place) {
      if (make_error_ || made_ > last_.load()) return false;
      try {
        if (!make(place)) return false;
      } catch (...) {
        make_error_ = std::current_exception();
        return false;
      }
      places_[place] = Place{made_++, nullptr};
      return true;
    };
  }
  // finish(), but a failed block ends the stream before it, the last one
  // after it.
  template <class Finish>
  auto Finished(Finish& finish) {
    static_assert(std::is_nothrow_invocable_v<Finish&, std::size_t>, "finish() must be noexcept");
    return [&](std::size_t place) {
      if (places_[place].error) {
        error_ = places_[place].error;
        return false;
      }
      finish(place);
      return places_[place].block != last_.load();
    };
  }
  // After the stream: undoes the adds the workers hold, replay(i, add)
  // replaying those of held_[i], and throws the first failure.
  template <class Replay>
  void End(Replay&& replay) {
    if (error_) {
      for (Worker& w : workers_) {
        if (w.held != kNone) held_.push_back(&w);  // room was made beforehand
      }
      std::sort(held_.begin(), held_.end(),
                [](const Worker* a, const Worker* b) { return a->held < b->held; });
      for (Worker* w : held_) logs_.push_back(&w->log);
      dictionary_.Undo(logs_, replay);
      std::rethrow_exception(error_);
    }
    if (make_error_) std::rethrow_exception(make_error_);
  }

  Dictionary& dictionary_;
  WorkPlan plan_;
  std::vector<Place> places_;                 // one per job in the air
  std::vector<Worker> workers_;               // one per worker
  std::vector<Worker*> held_;                 // the workers to undo, in block order
  std::vector<Dictionary::AddLog*> logs_;     // their logs
  std::atomic<std::uint64_t> failed_{kNone};  // the first block that failed
  std::atomic<std::uint64_t> last_{kNone};    // the first block that ends the adds
  std::uint64_t made_ = 0;                    // blocks made
  std::exception_ptr error_;                  // the failure of the first failed block
  std::exception_ptr make_error_;             // the failure of make()
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_BLOCK_ADDER_H_
