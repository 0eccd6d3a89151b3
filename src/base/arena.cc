#include "base/arena.h"

#include <new>

namespace dorvenix {

Arena::Ref Arena::AllocateSlow(std::size_t size) {
  if (blocks_.size() >= max_blocks_) throw std::bad_alloc();
  const bool large = size > kLargeRecord;
  std::size_t capacity = size;
  if (!large) {
    capacity = next_size_;
    if (next_size_ < kMaxBlockSize) next_size_ *= 2;
  }
  blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), size, capacity});
  const std::size_t b = blocks_.size() - 1;
  if (!large) filling_ = b;
  return MakeRef(b, 0);
}

}  // namespace dorvenix
