#include "text/learn.h"

#include <new>
#include <vector>

#include "dictionary/block_adder.h"
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
};

Status Learn(Dictionary& dictionary, InputFile& in, const WorkPlan& plan,
             const ProgressFn& progress) {
  BlockReader reader(in, internal::kSeparator, plan.block_size);
  std::vector<BlockBuffer> buffers(plan.places());
  std::vector<Block> blocks(plan.places());
  std::vector<Scratch> scratch(plan.workers());
  BlockAdder adder(dictionary, plan);
  auto make = [&](std::size_t place) {
    blocks[place] = reader.Next(buffers[place]);
    return !blocks[place].bytes.empty();
  };
  auto scan = [&](std::size_t place, unsigned worker, auto&& use) {
    ScanInBatches(
        blocks[place].bytes, scratch[worker].words, [](std::string_view) { return true; }, use);
  };
  auto finish = [&](std::size_t) noexcept {
    try {
      if (progress) progress(in.consumed());
    } catch (const std::bad_alloc&) {
      // Only the display suffers.
    }
  };
  if (plan.threads < 2) {
    // Alone, each word goes straight in: with no other thread to share the
    // dictionary with, a tally first would only cost (16% more time to
    // learn English on one core).
    adder.RunAlone(
        make,
        [&](std::size_t place, auto&& add) {
          scan(place, 0, add);
          return false;
        },
        finish);
  } else {
    // Each block is scanned on a worker and its words tallied (a word seen
    // twenty times is one entry with a count of twenty), so that a block of
    // ordinary text reaches the shared dictionary as a few thousand adds.
    adder.Run(
        make,
        [&](std::size_t place, unsigned worker, EntryBuckets& out) {
          WordTally& tally = scratch[worker].tally;
          tally.Start(blocks[place].bytes.size());
          scan(place, worker, [&](std::span<const std::string_view> words) { tally.Count(words); });
          out.Fill(tally.entries());
          return false;
        },
        [](std::size_t, std::size_t) {}, finish);
  }
  return in.status();
}

}  // namespace

Status LearnFromText(Dictionary& dictionary, InputFile& in, const WorkPlan& plan,
                     const ProgressFn& progress) {
  return Guarded([&] { return Learn(dictionary, in, plan, progress); });
}

}  // namespace dorvenix
