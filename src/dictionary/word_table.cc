#include "dictionary/word_table.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>

namespace dorvenix {
namespace {

constexpr unsigned kInitialSlotBits = 10;

}  // namespace

WordTable::Slots::Slots(std::size_t count, PagePool* pool) : size_(count), pool_(pool) {
  if (count > SIZE_MAX / sizeof(Slot)) throw std::bad_alloc();
  if (Chunks() == 0) pool_ = nullptr;
  data_ = pool_ != nullptr ? reinterpret_cast<Slot*>(pool_->Allocate(Chunks())) : new Slot[count];
  std::fill(data_, data_ + count, Slot{0, kNoRef});
}

WordTable::Slots::~Slots() {
  if (pool_ != nullptr) {
    pool_->Free(reinterpret_cast<char*>(data_), Chunks());
  } else {
    delete[] data_;
  }
}

void WordTable::Slots::swap(Slots& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(pool_, other.pool_);
}

WordTable::WordTable(std::size_t max_windows, PagePool* pool, const char* full)
    : pool_(pool),
      arena_(max_windows, pool, full),
      slots_(std::size_t{1} << kInitialSlotBits, pool),
      mask_((std::size_t{1} << kInitialSlotBits) - 1),
      shift_(32 - kInitialSlotBits) {}

WordTable::Ref WordTable::Add(std::size_t slot, std::uint32_t tag, std::string_view word,
                              std::int32_t value) {
  CheckWordSize(word.size());
  // Keep the load at or below 4/5: probes stay short and the index small.
  // The index grows first, so that running out of memory leaves the table
  // as it was.
  if ((size_ + 1) * 5 > slots_.size() * 4) {
    Rehash(slots_.size() * 2);
    slot = SlotIndex(tag);
    while (slots_[slot].ref != kNoRef) slot = (slot + 1) & mask_;
  }
  const Ref ref = arena_.Allocate(RecordSize(word.size()));
  char* record = arena_.At(ref);
  const auto length = static_cast<std::uint32_t>(word.size());
  std::memcpy(record, &value, sizeof value);
  std::memcpy(record + 4, &length, sizeof length);
  CopyBytes(record + kHeaderSize, word.data(), word.size());
  slots_[slot] = Slot{tag, ref};
  ++size_;
  longest_ = std::max(longest_, word.size());
  return ref;
}

void WordTable::Reserve(std::size_t expected) {
  const std::size_t limit = std::min(16 * size_, std::size_t{1} << 32);
  expected = std::min(expected, limit);
  std::size_t slot_count = slots_.size();
  while (expected * 5 > slot_count * 4 && slot_count * 2 <= limit) slot_count *= 2;
  if (slot_count > slots_.size()) Rehash(slot_count);
}

void WordTable::RollBack(const Mark& mark) noexcept {
  // A slot emptied takes in a later one, which is looked at again.
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    while (slots_[i].ref != kNoRef && AddedSince(mark, slots_[i].ref)) EraseSlot(i);
  }
  size_ = mark.size;
  longest_ = mark.longest;
  arena_.RollBack(mark.arena);
}

void WordTable::EraseSlot(std::size_t i) noexcept {
  std::size_t hole = i;
  for (std::size_t j = (i + 1) & mask_; slots_[j].ref != kNoRef; j = (j + 1) & mask_) {
    // Slot j's string moves into the hole when the hole lies between where
    // its probe starts and j.
    const std::size_t start = SlotIndex(slots_[j].tag);
    if (((j - start) & mask_) >= ((j - hole) & mask_)) {
      slots_[hole] = slots_[j];
      hole = j;
    }
  }
  slots_[hole] = Slot{0, kNoRef};
}

void WordTable::Rehash(std::size_t slot_count) {
  Slots old(slot_count, pool_);
  old.swap(slots_);
  mask_ = slot_count - 1;
  shift_ = 32 - static_cast<unsigned>(std::countr_zero(slot_count));
  for (std::size_t j = 0; j < old.size(); ++j) {
    const Slot slot = old[j];
    if (slot.ref == kNoRef) continue;
    std::size_t i = SlotIndex(slot.tag);
    while (slots_[i].ref != kNoRef) i = (i + 1) & mask_;
    slots_[i] = slot;
  }
}

}  // namespace dorvenix
