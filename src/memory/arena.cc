#include "memory/arena.h"

#include "base/status.h"

namespace dorvenix {

static_assert(Arena::kWindowSize == PagePool::kChunkSize);

Arena::Arena(PagePool& pool, std::size_t max_windows, const char* full)
    : pool_(pool),
      max_windows_(max_windows < kMaxWindows ? max_windows : kMaxWindows),
      full_(full) {}

Arena::~Arena() {
  for (const Block& block : blocks_) Free(block);
}

void Arena::Free(const Block& block) noexcept { pool_.Free(block.data, block.capacity); }

Arena::Ref Arena::AllocateSlow(std::size_t size) {
  if (size <= kSmallRecord) {
    // What is left of the last small block is smaller than this record.
    const std::size_t capacity = next_small_;
    const std::size_t b = AddBlock(capacity, 1, size);
    if (next_small_ < kWindowSize) next_small_ *= 2;
    if (small_ != kNone) blocks_[small_].used = Used(small_);
    small_ = b;
    small_next_ = blocks_[b].first + static_cast<Ref>(size >> 2);
    small_room_ = capacity - size;
    return blocks_[b].first;
  }
  if (size <= kWindowSize) {
    if (medium_ != kNone && blocks_[medium_].capacity - blocks_[medium_].used >= size) {
      Block& block = blocks_[medium_];
      const Ref ref = Advance(block.first, block.used);
      block.used += size;
      return ref;
    }
    const std::size_t capacity = next_medium_;
    medium_ = AddBlock(capacity, capacity / kWindowSize, size);
    if (next_medium_ < kMaxMediumBlock) next_medium_ *= 2;
    return blocks_[medium_].first;
  }
  return blocks_[AddBlock(size, 1, size)].first;
}

std::size_t Arena::AddBlock(std::size_t capacity, std::size_t windows, std::size_t used) {
  if (windows > max_windows_ - windows_.size()) throw LimitReached(full_);
  blocks_.reserve(blocks_.size() + 1);
  windows_.reserve(windows_.size() + windows);
  char* const data = pool_.Allocate(capacity);
  const Ref first = FirstOf(windows_.size());
  for (std::size_t w = 0; w < windows; ++w) windows_.push_back(data + w * kWindowSize);
  blocks_.push_back(Block{data, first, used, capacity});
  return blocks_.size() - 1;
}

bool Arena::AllocatedSince(const Mark& mark, Ref ref) const {
  if ((ref >> kOffsetBits) >= mark.windows) return true;
  // Else its block was there already: the small or the medium one then, at
  // or after the first byte that was free.
  if (mark.small != kNone) {
    const Block& small = blocks_[mark.small];
    if (ref >= mark.small_next && ref < Advance(small.first, small.capacity)) return true;
  }
  if (mark.medium != kNone) {
    const Block& medium = blocks_[mark.medium];
    if (ref >= Advance(medium.first, mark.medium_used) &&
        ref < Advance(medium.first, medium.capacity)) {
      return true;
    }
  }
  return false;
}

void Arena::RollBack(const Mark& mark) noexcept {
  while (blocks_.size() > mark.blocks) {
    Free(blocks_.back());
    blocks_.pop_back();
  }
  windows_.resize(mark.windows);
  small_ = mark.small;
  small_next_ = mark.small_next;
  small_room_ = mark.small_room;
  medium_ = mark.medium;
  if (medium_ != kNone) blocks_[medium_].used = mark.medium_used;
  next_small_ = mark.next_small;
  next_medium_ = mark.next_medium;
}

}  // namespace dorvenix
