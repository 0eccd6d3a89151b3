// Open addressing: the one hash table scheme of dorvenix, used by the
// dictionary's word tables (word_table.h), the tally of a block's words
// (text/word_tally.h) and the sections of the look-up index (index/).
//
// A table is an array of `size` 8-byte slots, any size of at least 1. A slot
// holds a tag made from its key's hash (TagOf) and a 32-bit value whose
// meaning is the owner's: where the key's record is, an entry's id. A tag is
// never 0, so a slot of zeros is empty, and zeroed memory is an empty table.
// The probe for a key starts at its home slot, (tag * size) >> 32, so that
// the tag's high bits choose it whatever the size, and goes forward one slot
// at a time, wrapping at the end, to the key's slot or to an empty one. An
// owner keeps at least one slot empty, so that every probe ends. Tags keep 29
// bits of the hash, so a probe reads a key other than its own about once in
// 500 million slots it passes. Slots are removed by moving back the later
// slots that a probe could no longer reach (backward-shift deletion), so no
// removed slot lingers.
//
// A tag's two low bits are the owner's flags: probes ignore them.
//
// SlotSpan works on slots whose memory its owner provides, and which it
// neither allocates nor frees. Not thread-safe for writing.
#ifndef DORVENIX_TABLE_OPEN_ADDRESSING_H_
#define DORVENIX_TABLE_OPEN_ADDRESSING_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/bytes.h"

namespace dorvenix {

struct Slot {
  std::uint32_t tag;    // TagOf the key's hash, and the owner's flags; 0 when empty
  std::uint32_t value;  // the owner's
};

// The bits of a tag that probes ignore, for the owner's use.
inline constexpr std::uint32_t kSlotFlags = 3;

// The tag of a key whose hash is `hash`: 29 bits of the hash and a bit that
// is always set.
inline std::uint32_t TagOf(std::uint64_t hash) {
  return (static_cast<std::uint32_t>(hash) & ~std::uint32_t{7}) | 4;
}

// Whether `taken` slots of `size` crowd a table: probes stay short while at
// most 4/5 of the slots are taken, so an owner that grows its table does so
// beyond that.
inline bool Crowded(std::size_t taken, std::size_t size) { return taken * 5 > size * 4; }

class SlotSpan {
 public:
  SlotSpan() = default;
  SlotSpan(Slot* slots, std::size_t size) : slots_(slots), size_(size) {}

  std::size_t size() const { return size_; }
  Slot& operator[](std::size_t i) { return slots_[i]; }
  const Slot& operator[](std::size_t i) const { return slots_[i]; }

  // Where the probe for `tag` starts, and the slot after slot i.
  std::size_t Home(std::uint32_t tag) const {
    return static_cast<std::size_t>((std::uint64_t{tag & ~kSlotFlags} * size_) >> 32);
  }
  std::size_t Next(std::size_t i) const { return i + 1 == size_ ? 0 : i + 1; }

  // The probe for `tag` (no flags set): the first slot of the probe whose
  // tag is `tag` and for which is_key(slot) is true, or else the empty slot
  // that ends the probe. Returns its index.
  template <class IsKey>
  std::size_t Find(std::uint32_t tag, IsKey&& is_key) const {
    std::size_t i = Home(tag);
    for (;; i = Next(i)) {
      const Slot slot = slots_[i];
      if (slot.tag == 0 || ((slot.tag & ~kSlotFlags) == tag && is_key(slot))) return i;
    }
  }

  // Asks the processor to fetch the slot where the probe for `tag` starts.
  void Prefetch(std::uint32_t tag) const { dorvenix::Prefetch(&slots_[Home(tag)]); }

  // Puts `slot` in the first empty slot of its probe.
  // REQUIRES: no slot holds its key, and one slot is empty.
  void Place(Slot slot) {
    std::size_t i = Home(slot.tag);
    while (slots_[i].tag != 0) i = Next(i);
    slots_[i] = slot;
  }

  // Places every slot that `from` holds.
  // REQUIRES: room for them all, and one slot more.
  void PlaceAll(const SlotSpan& from) {
    for (std::size_t i = 0; i < from.size_; ++i) {
      if (from.slots_[i].tag != 0) Place(from.slots_[i]);
    }
  }

  // Empties slot i, moving back each later slot of the same run that the
  // probe for its tag would no longer reach.
  void Empty(std::size_t i) {
    std::size_t hole = i;
    for (std::size_t j = Next(i); slots_[j].tag != 0; j = Next(j)) {
      // Slot j moves into the hole when the hole lies between its home and j.
      if (Distance(Home(slots_[j].tag), j) >= Distance(hole, j)) {
        slots_[hole] = slots_[j];
        hole = j;
      }
    }
    slots_[hole] = Slot{0, 0};
  }

  // Empties every slot.
  void Clear() { std::fill(slots_, slots_ + size_, Slot{0, 0}); }

 private:
  // Slots from `from` forward to `to`, wrapping at the end.
  std::size_t Distance(std::size_t from, std::size_t to) const {
    return to >= from ? to - from : to + size_ - from;
  }

  Slot* slots_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace dorvenix

#endif  // DORVENIX_TABLE_OPEN_ADDRESSING_H_
