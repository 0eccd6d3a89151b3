// WordBatch: the words of more than 3 letters of one block, gathered for a
// batched look-up or count. The views point into the block and are valid
// while it is.
#ifndef DORVENIX_TEXT_WORD_BATCH_H_
#define DORVENIX_TEXT_WORD_BATCH_H_

#include <bit>
#include <cstddef>
#include <memory>  // std::construct_at, std::unique_ptr
#include <span>
#include <string_view>

#include "dictionary/word_key.h"

namespace dorvenix {

class WordBatch {
 public:
  // Empties the batch and makes room for every word a block of `size` bytes
  // can hold.
  void Start(std::size_t size) {
    // Blocks differ in size by a few bytes: make room for the next power of
    // two, so that the room is made once.
    // The room is left uninitialised, so that only the part that words
    // take up is ever touched.
    const std::size_t most = std::bit_ceil(size) / 2 + 2;
    if (most > capacity_) {
      capacity_ = most;
      room_.reset();
      room_ = std::make_unique_for_overwrite<Room[]>(capacity_);
    }
    count_ = 0;
  }

  // Keeps `word` when it has more than 3 letters. Whether it does is a coin
  // toss in ordinary text, so there is no branch to mispredict.
  void Add(std::string_view word) {
    std::construct_at(reinterpret_cast<std::string_view*>(&room_[count_]), word);
    count_ += IsStoredLength(word.size()) ? 1 : 0;
  }

  std::span<const std::string_view> words() const {
    return {reinterpret_cast<const std::string_view*>(room_.get()), count_};
  }

 private:
  // Storage for one word, with no constructor to run.
  struct alignas(std::string_view) Room {
    unsigned char bytes[sizeof(std::string_view)];
  };

  std::unique_ptr<Room[]> room_;  // room for capacity_ words
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;  // words kept
};

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_WORD_BATCH_H_
