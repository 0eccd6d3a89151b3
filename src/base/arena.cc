#include "base/arena.h"

#include "base/status.h"

namespace dorvenix {

Arena::~Arena() {
  for (const Block& block : blocks_) {
    if (block.pooled) {
      pool_->Free(block.data, 1);
    } else {
      delete[] block.data;
    }
  }
}

Arena::Ref Arena::AllocateSlow(std::size_t size) {
  if (blocks_.size() >= max_blocks_) throw LimitReached("no room left in the word store");
  const bool large = size > kLargeRecord;
  std::size_t capacity = size;
  if (!large) {
    capacity = next_size_;
    if (next_size_ < kMaxBlockSize) next_size_ *= 2;
  }
  static_assert(kMaxBlockSize == PagePool::kChunkSize);
  const bool pooled = pool_ != nullptr && capacity == kMaxBlockSize;
  blocks_.reserve(blocks_.size() + 1);
  char* const data = pooled ? pool_->Allocate(1) : new char[capacity];
  blocks_.push_back(Block{data, size, capacity, pooled});
  const std::size_t b = blocks_.size() - 1;
  if (!large) filling_ = b;
  return MakeRef(b, 0);
}

}  // namespace dorvenix
