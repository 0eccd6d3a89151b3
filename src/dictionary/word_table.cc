#include "dictionary/word_table.h"

#include <new>

namespace dorvenix {
namespace {

constexpr unsigned kInitialSlotBits = 10;

}  // namespace

WordTable::WordTable(std::size_t max_blocks)
    : arena_(max_blocks),
      slots_(std::size_t{1} << kInitialSlotBits, Slot{0, kNoRef}),
      mask_((std::size_t{1} << kInitialSlotBits) - 1),
      shift_(32 - kInitialSlotBits) {}

WordTable::Ref WordTable::Add(std::size_t slot, std::uint32_t tag, std::string_view word,
                              std::int32_t value) {
  if (word.size() > 0xFFFFFFF0u) throw std::bad_alloc();
  // Keep the load at or below 4/5: probes stay short and the index small.
  // The index grows first, so that running out of memory leaves the table
  // as it was.
  if ((size_ + 1) * 5 > slots_.size() * 4) {
    Grow();
    slot = SlotIndex(tag);
    while (slots_[slot].ref != kNoRef) slot = (slot + 1) & mask_;
  }
  const Ref ref = arena_.Allocate(RecordSize(word.size()));
  char* record = arena_.At(ref);
  const auto length = static_cast<std::uint32_t>(word.size());
  std::memcpy(record, &value, sizeof value);
  std::memcpy(record + 4, &length, sizeof length);
  if (!word.empty()) std::memcpy(record + kHeaderSize, word.data(), word.size());
  slots_[slot] = Slot{tag, ref};
  ++size_;
  return ref;
}

void WordTable::Grow() {
  std::vector<Slot> old(slots_.size() * 2, Slot{0, kNoRef});
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  --shift_;
  for (const Slot& slot : old) {
    if (slot.ref == kNoRef) continue;
    std::size_t i = SlotIndex(slot.tag);
    while (slots_[i].ref != kNoRef) i = (i + 1) & mask_;
    slots_[i] = slot;
  }
}

}  // namespace dorvenix
