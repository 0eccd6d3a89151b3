// WordBatch: up to kCapacity words of more than 3 letters of a block,
// gathered for a batched look-up or count. A block's words go through it a
// batch at a time, so that the views stay in the cache and the memory for
// them is small and touched once. The views point into the block and are
// valid while it is.
#ifndef DORVENIX_TEXT_WORD_BATCH_H_
#define DORVENIX_TEXT_WORD_BATCH_H_

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "dictionary/word_key.h"
#include "text/word_scanner.h"

namespace dorvenix {

class WordBatch {
 public:
  static constexpr std::size_t kCapacity = 4096;

  void Clear() { count_ = 0; }

  // Keeps `word` when it has more than 3 letters. Whether it does is a coin
  // toss in ordinary text, so there is no branch to mispredict.
  // REQUIRES: !full().
  void Add(std::string_view word) {
    words_[count_] = word;
    count_ += IsStoredLength(word.size()) ? 1 : 0;
  }

  bool full() const { return count_ == kCapacity; }

  std::span<const std::string_view> words() const { return {words_.data(), count_}; }

 private:
  std::array<std::string_view, kCapacity> words_;  // the first count_ are kept
  std::size_t count_ = 0;                          // words kept
};

// Lowercases `block` in place (ScanWords) and calls use(words) for its words
// of more than 3 letters that keep(word) accepts, a batch at a time, in
// order.
template <class Keep, class Use>
void ScanInBatches(std::span<char> block, WordBatch& batch, Keep&& keep, Use&& use) {
  batch.Clear();
  ScanWords(block, [&](std::string_view word) {
    if (!keep(word)) return;
    batch.Add(word);
    if (batch.full()) {
      use(batch.words());
      batch.Clear();
    }
  });
  use(batch.words());
}

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_WORD_BATCH_H_
