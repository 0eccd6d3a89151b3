#include "dictionary/word_table.h"

#include <new>

namespace dorvenix {
namespace {

constexpr std::size_t kInitialSlots = 1024;

constexpr unsigned Log2(std::size_t n) {
  unsigned bits = 0;
  while ((std::size_t{1} << bits) < n) ++bits;
  return bits;
}

}  // namespace

WordTable::WordTable()
    : slots_(kInitialSlots, Slot{0, kNoRef}),
      mask_(kInitialSlots - 1),
      shift_(32 - Log2(kInitialSlots)) {}

WordTable::~WordTable() = default;

WordTable::Ref WordTable::Add(std::size_t slot, std::uint32_t tag, std::string_view word,
                              std::int32_t value) {
  const Ref ref = AddRecord(word, value);
  slots_[slot] = Slot{tag, ref};
  ++size_;
  // Keep the load at or below 4/5: probes stay short and the index small.
  if (size_ * 5 > slots_.size() * 4) Grow();
  return ref;
}

WordTable::Ref WordTable::AddRecord(std::string_view word, std::int32_t value) {
  if (word.size() > 0xFFFFFFF0u) throw std::bad_alloc();
  const std::size_t size = RecordSize(word.size());
  std::size_t b;
  if (size > kLargeRecord) {
    b = blocks_.size();
  } else if (!blocks_.empty() && blocks_[filling_].capacity - blocks_[filling_].used >= size) {
    b = filling_;
  } else {
    b = blocks_.size();
    filling_ = b;
  }
  if (b == blocks_.size()) {
    if (b >= kMaxBlocks) throw std::bad_alloc();
    const std::size_t capacity = size > kLargeRecord ? size : kBlockSize;
    blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), 0, capacity});
  }
  Block& block = blocks_[b];
  char* record = block.data.get() + block.used;
  const auto length = static_cast<std::uint32_t>(word.size());
  std::memcpy(record, &value, sizeof value);
  std::memcpy(record + 4, &length, sizeof length);
  if (!word.empty()) std::memcpy(record + kHeaderSize, word.data(), word.size());
  const Ref ref = static_cast<Ref>((b << kOffsetBits) | (block.used >> 2));
  block.used += size;
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

void WordTable::Clear() {
  blocks_.clear();
  filling_ = 0;
  slots_.assign(kInitialSlots, Slot{0, kNoRef});
  mask_ = kInitialSlots - 1;
  shift_ = 32 - Log2(kInitialSlots);
  size_ = 0;
}

}  // namespace dorvenix
