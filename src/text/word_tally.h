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

#include "base/bytes.h"
#include "base/hash.h"
#include "dictionary/dictionary.h"
#include "dictionary/word_key.h"
#include "table/batches.h"
#include "table/open_addressing.h"

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
    if (memory_.empty()) Resize(kInitialSlots);
    slots_.Clear();
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
    for (; i < words.size(); ++i)
      entries_.push_back(Dictionary::HashedEntry::Of(words[i], 1, HashBytes(words[i])));
  }

  std::span<const Dictionary::HashedEntry> entries() const { return entries_; }

 private:
  static constexpr std::size_t kInitialSlots = std::size_t{1} << 13;
  static constexpr std::size_t kTrialSightings = 4096;

  // Counts `words` in the table, with the memory of later words fetched while
  // earlier ones are counted.
  void CountRepeats(std::span<const std::string_view> words) {
    std::uint64_t hashes[kPrefetchBatch];
    VisitInPrefetchBatches(
        words.size(),
        [&](std::size_t i) {
          hashes[i % kPrefetchBatch] = HashBytes(words[i]);
          slots_.Prefetch(TagOf(hashes[i % kPrefetchBatch]));
        },
        [&](std::size_t i) {
          const std::uint32_t tag = TagOf(hashes[i % kPrefetchBatch]);
          const Slot slot = slots_[slots_.Home(tag)];
          if (slot.tag == tag) Prefetch(&entries_[slot.value]);
        },
        [&](std::size_t i) { CountOne(words[i], hashes[i % kPrefetchBatch]); });
  }

  void CountOne(std::string_view word, std::uint64_t hash) {
    const std::uint32_t tag = TagOf(hash);
    const std::size_t i = slots_.Find(tag, [&](Slot slot) {
      const Dictionary::HashedEntry& entry = entries_[slot.value];
      return entry.size == word.size() && BytesEqual(entry.data, word.data(), word.size());
    });
    if (slots_[i].tag != 0) {
      std::int32_t& count = entries_[slots_[i].value].count;
      if (count < std::numeric_limits<std::int32_t>::max()) ++count;
      return;
    }
    // The words compared against sit together, not all over the block.
    if (word.size() <= bytes_capacity_ - bytes_used_) {
      char* copy = bytes_.get() + bytes_used_;
      CopyBytes(copy, word.data(), word.size());
      bytes_used_ += word.size();
      word = {copy, word.size()};
    }
    entries_.push_back(Dictionary::HashedEntry::Of(word, 1, hash));
    slots_[i] = Slot{tag, static_cast<std::uint32_t>(entries_.size() - 1)};
    if (Crowded(entries_.size(), slots_.size())) Resize(slots_.size() * 2);
  }

  // Files the entries anew in `count` slots.
  void Resize(std::size_t count) {
    std::vector<Slot> grown(count);  // zeroed: empty
    SlotSpan slots(grown.data(), count);
    slots.PlaceAll(slots_);
    memory_.swap(grown);
    slots_ = slots;
  }

  std::vector<Dictionary::HashedEntry> entries_;  // in order of first sighting
  std::unique_ptr<char[]> bytes_;                 // the distinct words counted, back to back
  std::size_t bytes_capacity_ = 0;                // room in bytes_: a block's size
  std::size_t bytes_used_ = 0;
  std::vector<Slot> memory_;  // of slots_
  SlotSpan slots_;            // the index in entries_ of each distinct word
  bool counting_ = true;      // repeats are still looked for
};

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_WORD_TALLY_H_
