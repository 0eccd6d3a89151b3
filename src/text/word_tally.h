// WordTally: the words of more than 3 letters of one block of text, each
// distinct word once with the number of times it appears there, in the order
// of first appearance, with its HashBytes. Adding a tally's entries to a
// dictionary gives the same counts as adding the block's words one by one,
// since every sighting adds one and counts saturate; so a block of ordinary
// text, where a few thousand words make up most of the sightings, reaches the
// shared dictionary as a few thousand additions. The views point into the
// block, or into the tally, and are valid while both are.
#ifndef DORVENIX_TEXT_WORD_TALLY_H_
#define DORVENIX_TEXT_WORD_TALLY_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "base/batches.h"
#include "base/bytes.h"
#include "base/hash.h"
#include "dictionary/dictionary.h"
#include "dictionary/word_key.h"

namespace dorvenix {

class WordTally {
 public:
  // Empties the tally for a block of `size` bytes.
  void Start(std::size_t size) {
    // Blocks differ in size by a few bytes: room for the next power of two
    // is made once, and only the part used is ever touched.
    const std::size_t room = std::bit_ceil(size);
    entries_.clear();
    entries_.reserve(room / 5 + 1);  // a kept word and a separator take 5 bytes or more
    if (room > bytes_capacity_) {
      bytes_capacity_ = room;
      bytes_ = std::make_unique_for_overwrite<char[]>(room);
    }
    bytes_used_ = 0;
    if (slots_.empty()) Resize(kInitialSlots);
    std::fill(slots_.begin(), slots_.end(), kEmpty);
    counting_ = true;
  }

  // Counts one sighting of each of `words`, in order: words of a block of
  // the size given to Start, each of more than 3 letters, in one or more
  // calls.
  void Count(std::span<const std::string_view> words) {
    std::size_t i = 0;
    // Text of rare words (a word list, a wide vocabulary) repeats few of
    // them within a block: there the look-ups cost more than they save, and
    // the rest of the block is taken word by word.
    for (; i < words.size() && counting_; i += kTrialSightings) {
      const auto trial = words.subspan(i, std::min(kTrialSightings, words.size() - i));
      const std::size_t distinct_before = entries_.size();
      CountRepeats(trial);
      if ((entries_.size() - distinct_before) * 4 > trial.size() * 3) counting_ = false;
    }
    for (; i < words.size(); ++i) entries_.push_back(Entry(words[i], HashBytes(words[i])));
  }

  std::span<const Dictionary::HashedEntry> entries() const { return entries_; }

 private:
  struct Slot {
    std::uint32_t tag;    // top half of the word's hash
    std::uint32_t index;  // in entries_
  };
  static constexpr Slot kEmpty{0, 0xFFFFFFFFu};
  static constexpr std::size_t kInitialSlots = std::size_t{1} << 13;
  static constexpr std::size_t kTrialSightings = 4096;

  static Dictionary::HashedEntry Entry(std::string_view word, std::uint64_t hash) {
    return Dictionary::HashedEntry::Of(word, 1, hash);
  }

  // Counts `words` in the table, with the memory of later words fetched while
  // earlier ones are counted.
  void CountRepeats(std::span<const std::string_view> words) {
    std::uint64_t hashes[kPrefetchBatch];
    VisitInPrefetchBatches(
        words.size(),
        [&](std::size_t i) {
          const std::uint64_t hash = hashes[i % kPrefetchBatch] = HashBytes(words[i]);
          __builtin_prefetch(&slots_[hash & mask_]);
        },
        [&](std::size_t i) {
          const std::uint64_t hash = hashes[i % kPrefetchBatch];
          const Slot slot = slots_[hash & mask_];
          if (slot.tag == hash >> 32 && slot.index != kEmpty.index) {
            __builtin_prefetch(&entries_[slot.index]);
          }
        },
        [&](std::size_t i) { CountOne(words[i], hashes[i % kPrefetchBatch]); });
  }

  void CountOne(std::string_view word, std::uint64_t hash) {
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot slot = slots_[i];
      if (slot.index == kEmpty.index) {
        // The words compared against sit together, not all over the block.
        if (word.size() <= bytes_capacity_ - bytes_used_) {
          char* copy = bytes_.get() + bytes_used_;
          CopyBytes(copy, word.data(), word.size());
          bytes_used_ += word.size();
          word = {copy, word.size()};
        }
        entries_.push_back(Entry(word, hash));
        slots_[i] = Slot{tag, static_cast<std::uint32_t>(entries_.size() - 1)};
        if (entries_.size() * 2 > slots_.size()) Resize(slots_.size() * 2);
        return;
      }
      if (slot.tag != tag) continue;
      Dictionary::HashedEntry& entry = entries_[slot.index];
      if (entry.size == word.size() && BytesEqual(entry.data, word.data(), word.size())) {
        if (entry.count < std::numeric_limits<std::int32_t>::max()) ++entry.count;
        return;
      }
    }
  }

  // Files the entries anew in `slot_count` slots, a power of two.
  void Resize(std::size_t slot_count) {
    slots_.assign(slot_count, kEmpty);
    mask_ = slot_count - 1;
    for (std::size_t e = 0; e < entries_.size(); ++e) {
      const std::uint64_t hash = entries_[e].hash;
      std::size_t i = hash & mask_;
      while (slots_[i].index != kEmpty.index) i = (i + 1) & mask_;
      slots_[i] = Slot{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(e)};
    }
  }

  std::vector<Dictionary::HashedEntry> entries_;  // in order of first sighting
  std::unique_ptr<char[]> bytes_;                 // the distinct words counted, back to back
  std::size_t bytes_capacity_ = 0;                // room in bytes_: a block's size
  std::size_t bytes_used_ = 0;
  std::vector<Slot> slots_;  // open addressing, linear probing
  std::size_t mask_ = 0;     // slots_.size() - 1
  bool counting_ = true;     // repeats are still looked for
};

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_WORD_TALLY_H_
