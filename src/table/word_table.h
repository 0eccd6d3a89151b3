// WordTable: a hash set of distinct byte strings, each carrying one signed
// 32-bit value.
//
// The table owns its strings: each is copied once into an Arena, next to its
// value, and never moves. A Ref names one string for as long as the table
// lives; so do the string_views Word() returns. The slots (open_addressing.h)
// hold a tag of the string's hash and its Ref, so a string costs its bytes,
// an 8-byte header and about 10 bytes of slots. Callers pass the hash of each
// string (HashBytes, or anything else that is the same for equal strings).
// Both the records and the slots come from the PagePool given to the table.
// Not thread-safe for writing; concurrent reads are fine.
#ifndef DORVENIX_TABLE_WORD_TABLE_H_
#define DORVENIX_TABLE_WORD_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/bytes.h"
#include "base/status.h"
#include "memory/arena.h"
#include "memory/page_pool.h"
#include "table/open_addressing.h"

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

  // A table whose memory comes from `pool`, which must outlive it, and whose
  // arena has at most `max_windows` windows (see Arena) and throws
  // LimitReached(full) beyond them.
  explicit WordTable(PagePool& pool, std::size_t max_windows = Arena::kMaxWindows,
                     const char* full = "more than 16 GiB of strings in one table");
  WordTable(const WordTable&) = delete;
  WordTable& operator=(const WordTable&) = delete;
  ~WordTable();

  // Returns the Ref of `word`, or kNoRef when the table does not hold it.
  // REQUIRES: hash is the hash `word` was filed under.
  Ref Find(std::string_view word, std::uint64_t hash) const {
    const Slot& slot =
        slots_[slots_.Find(TagOf(hash), [&](Slot s) { return Holds(s.value, word); })];
    return slot.tag != 0 ? slot.value : kNoRef;
  }

  // Returns the Ref of `word`, first adding it with `value` when it is absent;
  // `*added` says whether it was added. Throws std::bad_alloc when memory
  // runs out, LimitReached when the word is too long or the table's string
  // space runs out; the table is then unchanged.
  // REQUIRES: hash is the hash `word` is filed under.
  Ref FindOrAdd(std::string_view word, std::uint64_t hash, std::int32_t value, bool* added) {
    // SlotSpan::Find's probe, written out: every word learnt or loaded
    // comes here, and the word found stays at hand for its count. Learning
    // 8 MB of text on one core takes 182.9 M instructions so, 189.3 M
    // through Find (callgrind).
    const std::uint32_t tag = TagOf(hash);
    for (std::size_t i = slots_.Home(tag);; i = slots_.Next(i)) {
      const Slot slot = slots_[i];
      *added = slot.tag == 0;
      if (*added) return Add(i, tag, word, value);
      if (slot.tag == tag && Holds(slot.value, word)) return slot.value;
    }
  }

  // Asks the processor to fetch the slot where a look-up of `hash` starts.
  void Prefetch(std::uint64_t hash) const { slots_.Prefetch(TagOf(hash)); }

  // Asks the processor to fetch the string in the slot where a look-up of
  // `hash` starts, when that slot's tag matches (its slot should have been
  // prefetched a while before).
  void PrefetchString(std::uint64_t hash) const {
    const Slot slot = slots_[slots_.Home(TagOf(hash))];
    if (slot.tag == TagOf(hash)) PrefetchRecord(slot.value);
  }

  // Asks the processor to fetch the record of `ref`.
  void PrefetchRecord(Ref ref) const { dorvenix::Prefetch(arena_.At(ref)); }

  std::string_view Word(Ref ref) const {
    const char* record = arena_.At(ref);
    return {record + kHeaderSize, LoadUnaligned<std::uint32_t>(record + 4)};
  }
  std::int32_t Value(Ref ref) const { return LoadUnaligned<std::int32_t>(arena_.At(ref)); }
  void SetValue(Ref ref, std::int32_t value) { std::memcpy(arena_.At(ref), &value, sizeof value); }

  // Number of strings held, and the length of the longest.
  std::size_t size() const { return size_; }
  std::size_t longest() const { return longest_; }

  // Makes room in the slots for `expected` strings in all, so that a table
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
  // A record: the value (4 bytes), the length (4 bytes), the string, padding
  // to a multiple of 4.
  static constexpr std::size_t kHeaderSize = 8;
  static std::size_t RecordSize(std::size_t length) {
    return (kHeaderSize + length + 3) & ~std::size_t{3};
  }

  bool Holds(Ref ref, std::string_view word) const {
    const std::string_view held = Word(ref);
    return held.size() == word.size() && BytesEqual(held.data(), word.data(), word.size());
  }
  // Adds `word` in the empty slot i, growing the slots when they fill.
  Ref Add(std::size_t i, std::uint32_t tag, std::string_view word, std::int32_t value);
  // Moves every slot into `count` new ones.
  void Rehash(std::size_t count);

  PagePool& pool_;           // where the records and the slots come from
  Arena arena_;              // the records
  SlotSpan slots_;           // a tag and a Ref each
  std::size_t size_ = 0;     // strings held
  std::size_t longest_ = 0;  // length of the longest string held
};

}  // namespace dorvenix

#endif  // DORVENIX_TABLE_WORD_TABLE_H_
