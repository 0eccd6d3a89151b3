#include "text/decipher.h"

#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "io/block_reader.h"
#include "text/word_batch.h"
#include "text/word_scanner.h"
#include "threads/ordered_pipeline.h"

namespace dorvenix {
namespace {

// What a worker needs for one block.
struct Scratch {
  WordBatch words;
  std::vector<std::string_view> answers;
};

// Deciphers `block` in place. A word and the word chosen for it have the
// same key, hence the same length: each word is overwritten by its answer,
// and separators cost nothing. Performance-critical.
void DecipherBlock(const BestWordIndex& index, const Block& block, Scratch& s) {
  char* const begin = block.bytes.data();
  const char* const end = begin + block.bytes.size();
  // A piece of a word longer than any answer stays as it is.
  auto whole = [&](std::string_view word) {
    return !(block.starts_in_unit && word.data() == begin) &&
           !(block.ends_in_unit && word.data() + word.size() == end);
  };
  ScanInBatches(block.bytes, s.words, whole, [&](std::span<const std::string_view> words) {
    s.answers.resize(words.size());
    index.FindBestWords(words, s.answers);
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (s.answers[i].data() != words[i].data()) {
        CopyBytes(begin + (words[i].data() - begin), s.answers[i].data(), s.answers[i].size());
      }
    }
  });
}

Status Decipher(const BestWordIndex& index, InputFile& in, OutputFile& out, const WorkPlan& plan,
                const ProgressFn& progress) {
  BlockReader reader(in, internal::kSeparator, plan.block_size, index.longest_word());
  // Twice the usual blocks in the air: a block waits for those before it to
  // be written.
  const std::size_t places = 2 * plan.places();
  std::vector<BlockBuffer> buffers(places);
  std::vector<Block> blocks(places);
  std::vector<Scratch> scratch(plan.workers());
  RunOrderedPipeline(
      plan.threads, places,
      [&](std::size_t place) {
        blocks[place] = reader.Next(buffers[place]);
        return !blocks[place].bytes.empty();
      },
      [&](std::size_t place, unsigned worker) {
        DecipherBlock(index, blocks[place], scratch[worker]);
      },
      [&](std::size_t place) {
        out.Write(std::string_view(blocks[place].bytes.data(), blocks[place].bytes.size()));
        if (progress) progress(in.consumed());
        return true;
      });
  return in.status();
}

}  // namespace

Status DecipherText(const BestWordIndex& index, InputFile& in, OutputFile& out,
                    const WorkPlan& plan, const ProgressFn& progress) {
  return Guarded([&] { return Decipher(index, in, out, plan, progress); });
}

}  // namespace dorvenix
