// The partitions of the look-up index (best_word_index.h): what a slot
// holds, and how a key's slot is found. Known only to the index and to the
// code that fills it (index_filler.h).
//
// A partition is an open-addressing table with linear probing. A key's probe
// starts at the slot its tag maps to and ends at the slot holding the key or
// at an empty one; every partition has at least one empty slot.
#ifndef DORVENIX_DICTIONARY_INDEX_PARTITION_H_
#define DORVENIX_DICTIONARY_INDEX_PARTITION_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary/best_word_index.h"
#include "dictionary/word_key.h"

namespace dorvenix {
namespace index_internal {

// Whether the index looks `word` up at all.
inline bool LooksUp(std::string_view word) { return IsStoredLength(word.size()); }

// A slot's tag: 29 bits of its key's hash, then three flags. kTaken is set
// in every tag, so that 0 marks an empty slot.
inline constexpr std::uint32_t kTaken = 4;
inline constexpr std::uint32_t kRecorded = 2;  // the slot names an IndexRecord, not an entry
inline constexpr std::uint32_t kOthers = 1;    // the key has other words than its best
inline constexpr std::uint32_t kFlags = kRecorded | kOthers;

inline std::uint32_t TagOf(std::uint64_t hash) {
  return (static_cast<std::uint32_t>(hash) & ~7u) | kTaken;
}

// Slots in a cache line.
inline constexpr std::size_t kLine = 8;

}  // namespace index_internal

struct BestWordIndex::Slot {
  std::uint32_t tag;     // TagOf the key's hash with its flags; 0 for an empty slot
  std::uint32_t target;  // the EntryId of the key's best word, or where its record starts
};

// A partition: filled once, then only read.
struct BestWordIndex::Partition {
  std::atomic<bool> filled{false};  // set once slots and records are complete
  std::atomic_flag lock;            // held by a thread adding a word while it is filled
  bool begun = false;               // a fill has written to it (guarded by the fill mutex)
  Slot* slots = nullptr;            // `size` slots: more than the partition has words
  std::size_t size = 0;
  std::string records;  // the IndexRecords of its most frequent keys

  // The slot where the probe for a key with `tag` starts.
  std::size_t Home(std::uint32_t tag) const {
    return static_cast<std::size_t>((std::uint64_t{tag & ~index_internal::kFlags} * size) >> 32);
  }
  std::size_t Next(std::size_t i) const { return i + 1 == size ? 0 : i + 1; }
};

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_INDEX_PARTITION_H_
