// Dictionary order: entries by key, then by word, both compared as unsigned
// byte strings. Words that share a key end up side by side, in byte order.
#ifndef DORVENIX_DICTIONARY_ENTRY_ORDER_H_
#define DORVENIX_DICTIONARY_ENTRY_ORDER_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "dictionary/word_table.h"

namespace dorvenix {

// True when the entry (a_key, a_word) orders before (b_key, b_word).
inline bool EntryLess(std::string_view a_key, std::string_view a_word, std::string_view b_key,
                      std::string_view b_word) {
  if (const int c = a_key.compare(b_key); c != 0) return c < 0;
  return a_word < b_word;
}

// One entry in a sorted sequence: the first eight bytes of its key, in two
// halves (12-byte items sort faster than 16-byte ones), and its word.
struct SortedEntry {
  std::uint32_t prefix_high;
  std::uint32_t prefix_low;
  WordTable::Ref ref;

  bool SamePrefix(const SortedEntry& other) const {
    return prefix_high == other.prefix_high && prefix_low == other.prefix_low;
  }
};

// Every string of `words` (taken as words), in dictionary order.
// O(n log n); keys are derived on the way and not kept.
std::vector<SortedEntry> SortInDictionaryOrder(const WordTable& words);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_ENTRY_ORDER_H_
