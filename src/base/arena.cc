#include "base/arena.h"

#include <new>

namespace dorvenix {

Arena::Ref Arena::AllocateSlow(std::size_t size) {
  if (blocks_.size() >= kMaxBlocks) throw std::bad_alloc();
  const bool large = size > largest_block_ / 16;
  std::size_t capacity = size;
  if (!large) {
    capacity = next_size_;
    if (next_size_ < largest_block_) next_size_ *= 2;
  }
  blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), size, capacity});
  const std::size_t b = blocks_.size() - 1;
  if (!large) filling_ = b;
  return MakeRef(b, 0);
}

void Arena::Clear() {
  blocks_.clear();
  filling_ = 0;
  next_size_ = kMinBlockSize;
}

}  // namespace dorvenix
