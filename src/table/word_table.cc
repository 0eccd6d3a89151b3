#include "table/word_table.h"

#include <algorithm>

namespace dorvenix {
namespace {

constexpr std::size_t kInitialSlots = 1024;

// `count` empty slots from `pool`.
SlotSpan NewSlots(PagePool& pool, std::size_t count) {
  if (count > SIZE_MAX / sizeof(Slot)) throw std::bad_alloc();
  SlotSpan slots(reinterpret_cast<Slot*>(pool.Allocate(count * sizeof(Slot))), count);
  slots.Clear();
  return slots;
}

void FreeSlots(PagePool& pool, SlotSpan slots) {
  pool.Free(reinterpret_cast<char*>(&slots[0]), slots.size() * sizeof(Slot));
}

}  // namespace

WordTable::WordTable(PagePool& pool, std::size_t max_windows, const char* full)
    : pool_(pool), arena_(pool, max_windows, full), slots_(NewSlots(pool, kInitialSlots)) {}

WordTable::~WordTable() { FreeSlots(pool_, slots_); }

WordTable::Ref WordTable::Add(std::size_t i, std::uint32_t tag, std::string_view word,
                              std::int32_t value) {
  CheckWordSize(word.size());
  // The slots grow first, so that running out of memory leaves the table as
  // it was.
  if (Crowded(size_ + 1, slots_.size())) {
    Rehash(slots_.size() * 2);
    i = slots_.Find(tag, [](Slot) { return false; });
  }
  const Ref ref = arena_.Allocate(RecordSize(word.size()));
  char* record = arena_.At(ref);
  const auto length = static_cast<std::uint32_t>(word.size());
  std::memcpy(record, &value, sizeof value);
  std::memcpy(record + 4, &length, sizeof length);
  CopyBytes(record + kHeaderSize, word.data(), word.size());
  slots_[i] = Slot{tag, ref};
  ++size_;
  longest_ = std::max(longest_, word.size());
  return ref;
}

void WordTable::Reserve(std::size_t expected) {
  const std::size_t limit = std::min(16 * size_, std::size_t{1} << 32);
  expected = std::min(expected, limit);
  std::size_t count = slots_.size();
  while (Crowded(expected, count) && count * 2 <= limit) count *= 2;
  if (count > slots_.size()) Rehash(count);
}

void WordTable::RollBack(const Mark& mark) noexcept {
  // A slot emptied takes in a later one, which is looked at again.
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    while (slots_[i].tag != 0 && AddedSince(mark, slots_[i].value)) slots_.Empty(i);
  }
  size_ = mark.size;
  longest_ = mark.longest;
  arena_.RollBack(mark.arena);
}

void WordTable::Rehash(std::size_t count) {
  SlotSpan grown = NewSlots(pool_, count);
  grown.PlaceAll(slots_);
  FreeSlots(pool_, slots_);
  slots_ = grown;
}

}  // namespace dorvenix
