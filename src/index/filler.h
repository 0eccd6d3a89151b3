// BestWordIndex::Filler: fills the sections of a look-up index
// (best_word_index.h, section.h) from its dictionary. filler.cc also makes
// the index, and decides which sections a batch of words has filled
// (BestWordIndex::Prepare); best_word_index.cc holds the look-ups alone.
//
// A fill is a pass over the dictionary in which every word of a wanted
// section gets its key's slot or, when its key has one, competes with the
// key's best word; then the keys whose best words have the highest counts
// get their IndexRecords, most frequent first. Threads share the sections,
// each locked while a word goes into it. Used only under the index's fill
// mutex.
#ifndef DORVENIX_INDEX_FILLER_H_
#define DORVENIX_INDEX_FILLER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "index/best_word_index.h"
#include "index/section.h"

namespace dorvenix {

// What filling needs besides the sections: their slots' memory, laid out by
// a first pass that counts the words of each section, and the count from
// which a key gets a record.
class BestWordIndex::Filler {
 public:
  // Makes that first pass, on up to `threads` threads, and points every
  // section at its slots. Throws std::bad_alloc when memory runs out.
  Filler(const BestWordIndex& index, unsigned threads);
  Filler(const Filler&) = delete;
  Filler& operator=(const Filler&) = delete;
  ~Filler();

  // Fills the sections s with wanted[s] set, on up to `threads` threads, and
  // marks them filled. Throws std::bad_alloc when memory runs out; the
  // sections stay unfilled then, and a later Fill starts them afresh.
  void Fill(std::span<const bool> wanted, unsigned threads);

  unsigned passes() const { return passes_; }

 private:
  // Whether a key whose best word is `word`, seen `count` times, gets a
  // record: a word seen often enough, and not longer than text words are.
  // A record copies its key's words: the cut keeps the copies of a dictionary
  // of long words small, and costs nothing (137.62 against 137.70 million
  // instructions for the 600 KB text on english.dict without it).
  bool Earns(std::string_view word, std::int32_t count) const {
    return count >= record_count_ && word.size() <= 64;
  }
  // Adds the words of the dictionary's partition p that belong to wanted
  // sections, locking each section while a word goes into it when `locked`.
  void Scan(std::span<const bool> wanted, std::size_t p, bool locked) const;
  // Writes the records of section s for the keys that earned one, then lets
  // go of what the pass found there.
  void Record(std::size_t s) const;

  const BestWordIndex& index_;
  Slot* memory_ = nullptr;     // every section's slots, zeroed until filled
  std::size_t bytes_ = 0;      // the size of that memory
  std::int64_t record_count_;  // keys whose best word has this count or more get a record
  unsigned passes_ = 0;        // passes that filled sections
};

}  // namespace dorvenix

#endif  // DORVENIX_INDEX_FILLER_H_
