// The inside of the look-up index (best_word_index.h), known only to it and
// to the code that fills it (filler.h): its sections, what their slots hold,
// and the record of a frequent key.
//
// A section is an open-addressing table (table/open_addressing.h) of the
// keys of a few thousand dictionary words. A key's slot holds the tag of its
// KeyHash and either the EntryId of its best word or, for a key whose best
// word is seen often, where the key's IndexRecord starts in `records`.
//
// An IndexRecord is a copy of a key's words, so that deciphering ordinary
// text finds its answers in a few cache lines instead of all over the
// dictionary. Every word of a key has the key's length n:
//
//   n            4 bytes   native byte order
//   other_count  4 bytes   the number of other words
//   head         a key that has a LetterKey: its product (8 bytes); any
//                other key: the key itself (n bytes)
//   best         n bytes   the word with the highest positive count
//   others       n bytes each, other_count of them: every other word of the key
//   padding to a multiple of 4 bytes
//
// IndexRecord::Append() writes a record and IndexRecord reads one; nothing
// else knows the layout.
#ifndef DORVENIX_INDEX_SECTION_H_
#define DORVENIX_INDEX_SECTION_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "dictionary/word_key.h"
#include "table/open_addressing.h"

namespace dorvenix::index_internal {

// Whether the index looks `word` up at all.
inline bool LooksUp(std::string_view word) { return IsStoredLength(word.size()); }

// The flags of a slot's tag.
inline constexpr std::uint32_t kRecorded = 2;  // the value is where a record starts, not an entry
inline constexpr std::uint32_t kOthers = 1;    // the key has other words than its best
static_assert((kRecorded | kOthers) == kSlotFlags);

// A section: filled once, then only read.
struct Section {
  std::atomic<bool> filled{false};  // set once slots and records are complete
  std::atomic_flag lock;            // held by a thread adding a word while it is filled
  bool begun = false;               // a fill has written to it (guarded by the fill mutex)
  SlotSpan slots;                   // more than the section has keys; zeroed until filled
  std::string records;              // the IndexRecords of its most frequent keys
  // While a fill runs: the slots of keys that earn a record, and the words
  // that lose to their key's best (slot, entry).
  std::vector<std::uint32_t> frequent;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> others;
};

class IndexRecord {
 public:
  // Appends to *area the record of the key of `best`, whose LetterKey is
  // `letters`, and returns where it starts. `key` is the key itself, used
  // only when `letters` is not valid.
  // REQUIRES: *area's size is a multiple of 4; `key`, `best` and every one of
  // `others` have the same length.
  static std::size_t Append(const LetterKey& letters, std::string_view key, std::string_view best,
                            std::span<const std::string_view> others, std::string* area) {
    const std::size_t start = area->size();
    const auto n = static_cast<std::uint32_t>(best.size());
    const auto count = static_cast<std::uint32_t>(others.size());
    area->append(reinterpret_cast<const char*>(&n), sizeof n);
    area->append(reinterpret_cast<const char*>(&count), sizeof count);
    if (letters.valid()) {
      area->append(reinterpret_cast<const char*>(&letters.product), sizeof letters.product);
    } else {
      area->append(key);
    }
    area->append(best);
    for (const std::string_view other : others) area->append(other);
    area->resize((area->size() + 3) & ~std::size_t{3});
    return start;
  }

  // A view of the record at `record`, valid while its area is unchanged.
  explicit IndexRecord(const char* record)
      : record_(record),
        n_(LoadUnaligned<std::uint32_t>(record)),
        others_(LoadUnaligned<std::uint32_t>(record + 4)) {}

  // Whether the record is that of the key of `word`, which has the LetterKey
  // `letters` (valid).
  bool HasKeyOf(std::string_view word, const LetterKey& letters) const {
    if (LoadUnaligned<std::uint64_t>(record_ + kHeadStart) != letters.product) return false;
    // Equal products mean the same inner letters, hence the same length.
    const char* best = record_ + kHeadStart + sizeof letters.product;
    return best[0] == word.front() && best[n_ - 1] == word.back();
  }

  // Whether the record is that of `key`, a key that has no LetterKey.
  bool HasKey(std::string_view key) const {
    return n_ == key.size() && std::memcmp(record_ + kHeadStart, key.data(), n_) == 0;
  }

  // The answer the record gives for `word`, a word of its key whose head
  // has `head_size` bytes (8 for a LetterKey, n otherwise): `word` itself
  // when it is one of the other words (an exact match wins whatever the
  // counts), else the best word.
  std::string_view AnswerFor(std::string_view word, std::size_t head_size) const {
    const char* const words = record_ + kHeadStart + head_size;
    for (std::size_t i = 1; i <= others_; ++i) {
      if (BytesEqual(words + i * n_, word.data(), n_)) return word;
    }
    return {words, n_};
  }

 private:
  static constexpr std::size_t kHeadStart = 8;

  const char* record_;
  std::size_t n_;         // bytes per word
  std::uint32_t others_;  // number of other words
};

}  // namespace dorvenix::index_internal

#endif  // DORVENIX_INDEX_SECTION_H_
