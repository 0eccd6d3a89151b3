// WordTable: a hash set of distinct byte strings, each carrying one signed
// 32-bit value.
//
// The table owns its strings: each is copied once into an Arena, next to its
// value, and never moves. A Ref names one string for as long as the table
// lives; so do the string_views Word() returns. The hash index holds only a
// 32-bit hash tag and the Ref per slot, so a string costs its bytes, an
// 8-byte header and about 10 bytes of index. Callers pass the hash of each
// string, so that one table can file strings by something other than their
// bytes (FindIf). Not thread-safe for writing; concurrent reads are fine.
#ifndef DORVENIX_DICTIONARY_WORD_TABLE_H_
#define DORVENIX_DICTIONARY_WORD_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/arena.h"
#include "base/bytes.h"
#include "base/page_pool.h"
#include "base/status.h"

namespace dorvenix {

class WordTable {
 public:
  using Ref = Arena::Ref;
  static constexpr Ref kNoRef = Arena::kNoRef;
  // The longest string a table holds: a record keeps the length in 32 bits.
  static constexpr std::size_t kMaxWordSize = 0xFFFFFFF0u;

  // Throws LimitReached when a string of `size` bytes is too long for any
  // table.
  static void CheckWordSize(std::size_t size) {
    if (size > kMaxWordSize) throw LimitReached("word longer than 4 GiB");
  }

  // A table whose arena has at most `max_windows` windows (see Arena) and
  // throws LimitReached(full) beyond them, and whose large blocks and index
  // come from `pool` unless it is null; `pool` must outlive the table, which
  // gives them back to it when destroyed.
  explicit WordTable(std::size_t max_windows = Arena::kMaxWindows, PagePool* pool = nullptr,
                     const char* full = "more than 16 GiB of strings in one table");
  WordTable(const WordTable&) = delete;
  WordTable& operator=(const WordTable&) = delete;

  // Returns the Ref of `word`, or kNoRef when the table does not hold it.
  // REQUIRES: hash is the hash `word` was filed under.
  Ref Find(std::string_view word, std::uint64_t hash) const {
    return FindIf(hash, [&](Ref ref) { return Holds(ref, word); });
  }

  // Returns the first string filed under `hash` for which matches(ref) is
  // true, or kNoRef.
  template <class Matches>
  Ref FindIf(std::uint64_t hash, Matches&& matches) const {
    const auto tag = static_cast<std::uint32_t>(hash);
    for (std::size_t i = SlotIndex(tag);; i = (i + 1) & mask_) {
      const Slot slot = slots_[i];
      if (slot.ref == kNoRef) return kNoRef;
      if (slot.tag == tag && matches(slot.ref)) return slot.ref;
    }
  }

  // Returns the Ref of `word`, first adding it with `value` when it is absent;
  // `*added` says whether it was added. Throws std::bad_alloc when memory
  // runs out, LimitReached when the word is too long or the table's string
  // space runs out; the table is then unchanged.
  // REQUIRES: hash is the hash `word` is filed under.
  Ref FindOrAdd(std::string_view word, std::uint64_t hash, std::int32_t value, bool* added) {
    const auto tag = static_cast<std::uint32_t>(hash);
    std::size_t i = SlotIndex(tag);
    for (;; i = (i + 1) & mask_) {
      const Slot slot = slots_[i];
      if (slot.ref == kNoRef) break;
      if (slot.tag == tag && Holds(slot.ref, word)) {
        *added = false;
        return slot.ref;
      }
    }
    *added = true;
    return Add(i, tag, word, value);
  }

  // Asks the processor to fetch the slot where a look-up of `hash` starts.
  void Prefetch(std::uint64_t hash) const {
    __builtin_prefetch(&slots_[SlotIndex(static_cast<std::uint32_t>(hash))]);
  }

  // Asks the processor to fetch the string in the slot where a look-up of
  // `hash` starts, when that slot's tag matches (its slot should have been
  // prefetched a while before).
  void PrefetchString(std::uint64_t hash) const {
    const auto tag = static_cast<std::uint32_t>(hash);
    const Slot slot = slots_[SlotIndex(tag)];
    if (slot.tag == tag && slot.ref != kNoRef) __builtin_prefetch(arena_.At(slot.ref));
  }

  std::string_view Word(Ref ref) const {
    const char* record = arena_.At(ref);
    return {record + kHeaderSize, LoadUnaligned<std::uint32_t>(record + 4)};
  }
  std::int32_t Value(Ref ref) const { return LoadUnaligned<std::int32_t>(arena_.At(ref)); }
  void SetValue(Ref ref, std::int32_t value) { std::memcpy(arena_.At(ref), &value, sizeof value); }

  // Asks the processor to fetch the record of `ref`.
  void PrefetchRef(Ref ref) const { __builtin_prefetch(arena_.At(ref)); }

  // Number of strings held, and the length of the longest.
  std::size_t size() const { return size_; }
  std::size_t longest() const { return longest_; }

  // Makes room in the index for `expected` strings in all, so that a table
  // whose final size is known roughly skips most of the growing. The guess
  // is honoured only up to 16 slots per string already held: a wrong one
  // costs a bounded multiple of the real table. Throws std::bad_alloc when
  // memory runs out; the table is then unchanged.
  void Reserve(std::size_t expected);

  // The table as it is at one moment, to go back to (RollBack).
  struct Mark {
    Arena::Mark arena;
    std::size_t size, longest;
  };
  Mark mark() const { return {arena_.mark(), size_, longest_}; }
  // Whether the string of `ref` was added after `mark` was taken.
  bool AddedSince(const Mark& mark, Ref ref) const {
    return arena_.AllocatedSince(mark.arena, ref);
  }
  // Forgets every string added since `mark` was taken; the values of the
  // others stay as they are. Needs no memory.
  // REQUIRES: no RollBack to an earlier mark since `mark` was taken.
  void RollBack(const Mark& mark) noexcept;

  // Calls f(ref) once for every string held, block by block of the arena:
  // strings of a similar size in the order they were added.
  template <class F>
  void ForEach(F&& f) const {
    arena_.ForEachBlock([&](Ref first, std::size_t used) {
      const char* const data = arena_.At(first);
      for (std::size_t offset = 0; offset < used;) {
        f(Arena::Advance(first, offset));
        offset += RecordSize(LoadUnaligned<std::uint32_t>(data + offset + 4));
      }
    });
  }

 private:
  struct Slot {
    std::uint32_t tag;  // low 32 bits of the string's hash
    Ref ref;            // kNoRef marks an empty slot
  };

  // A record: the value (4 bytes), the length (4 bytes), the string, padding
  // to a multiple of 4.
  static constexpr std::size_t kHeaderSize = 8;
  static std::size_t RecordSize(std::size_t length) {
    return (kHeaderSize + length + 3) & ~std::size_t{3};
  }

  std::size_t SlotIndex(std::uint32_t tag) const { return (tag * 0x9E3779B9u) >> shift_; }
  bool Holds(Ref ref, std::string_view word) const {
    const std::string_view held = Word(ref);
    return held.size() == word.size() && BytesEqual(held.data(), word.data(), word.size());
  }
  // Adds `word` in the empty slot `slot`, growing the index when it fills.
  Ref Add(std::size_t slot, std::uint32_t tag, std::string_view word, std::int32_t value);
  // Empties slot i, moving up the slots after it that a probe could no
  // longer reach.
  void EraseSlot(std::size_t i) noexcept;
  // Moves every slot into a new index of `slot_count` slots, a power of two.
  void Rehash(std::size_t slot_count);

  // The index's memory, every slot empty at first: whole chunks of the pool
  // once it takes one or more, else the heap.
  class Slots {
   public:
    Slots(std::size_t count, PagePool* pool);
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
    ~Slots();
    void swap(Slots& other) noexcept;

    Slot& operator[](std::size_t i) { return data_[i]; }
    const Slot& operator[](std::size_t i) const { return data_[i]; }
    std::size_t size() const { return size_; }

   private:
    std::size_t Chunks() const { return size_ * sizeof(Slot) / PagePool::kChunkSize; }

    Slot* data_;
    std::size_t size_;
    PagePool* pool_;  // where data_ comes from, or null for the heap
  };

  PagePool* pool_;           // where large blocks and indexes come from, or null
  Arena arena_;              // the records
  Slots slots_;              // open addressing, linear probing
  std::size_t mask_;         // slots_.size() - 1
  unsigned shift_;           // 32 - log2(slots_.size())
  std::size_t size_ = 0;     // strings held
  std::size_t longest_ = 0;  // length of the longest string held
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_WORD_TABLE_H_
