#include "text/learn.h"

#include <exception>
#include <vector>

#include "base/ordered_pipeline.h"
#include "base/turns.h"
#include "dictionary/entry_buckets.h"
#include "io/block_reader.h"
#include "text/word_batch.h"
#include "text/word_scanner.h"
#include "text/word_tally.h"

namespace dorvenix {
namespace {

// What a worker needs for one block.
struct Scratch {
  WordBatch words;
  WordTally tally;
  EntryBuckets entries;
};

Status Learn(Dictionary& dictionary, InputFile& in, const WorkPlan& plan,
             const ProgressFn& progress) {
  // Each block is scanned on a worker, its words tallied (a word seen twenty
  // times is one entry with a count of twenty) and sorted by partition; then
  // the worker adds each partition's share when the block before has added
  // its own, so no partition is locked and the counts come out as on one
  // thread.
  BlockReader reader(in, internal::kSeparator, plan.block_size);
  std::vector<NumberedBlock> jobs(plan.slots());
  std::vector<Scratch> scratch(plan.workers());
  Turns turns(Dictionary::kPartitions);
  std::uint64_t made = 0;
  RunOrderedPipeline(
      plan.threads, plan.slots(), [&](std::size_t slot) { return reader.Next(jobs[slot], &made); },
      [&](std::size_t slot, unsigned worker) {
        NumberedBlock& job = jobs[slot];
        Scratch& s = scratch[worker];
        auto scan = [&](auto&& use) {
          ScanInBatches(
              job.block.bytes, s.words, [](std::string_view) { return true; }, use);
        };
        if (plan.threads < 2) {
          // Alone: no turns to take, and no sorting by partition.
          scan([&](std::span<const std::string_view> words) { dictionary.AddWords(words); });
          return;
        }
        std::exception_ptr failure;
        try {
          s.tally.Start(job.block.bytes.size());
          scan([&](std::span<const std::string_view> words) { s.tally.Count(words); });
          s.entries.Fill(s.tally.entries());
        } catch (...) {
          failure = std::current_exception();
        }
        turns.Take(job.number, [&](std::size_t p) {
          if (!failure) dictionary.AddToPartition(p, s.entries.Of(p));
        });
        if (failure) std::rethrow_exception(failure);
      },
      [&](std::size_t) {
        if (progress) progress(in.consumed());
        return true;
      });
  return in.status();
}

}  // namespace

Status LearnFromText(Dictionary& dictionary, InputFile& in, const WorkPlan& plan,
                     const ProgressFn& progress) {
  return Guarded([&] { return Learn(dictionary, in, plan, progress); });
}

}  // namespace dorvenix
