// WordEntry: one known word, the key it is filed under and how often it has
// been seen. Entries order by key, then by word, both compared as plain byte
// strings; the count takes no part in the order.
#ifndef DORVENIX_DICTIONARY_WORD_ENTRY_H_
#define DORVENIX_DICTIONARY_WORD_ENTRY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "dictionary/word_key.h"

namespace dorvenix {

struct WordEntry {
  WordKey key;
  std::string word;
  std::int32_t count = 0;

  WordEntry() = default;
  // An entry made from a word: its key, the word, and a count of 1.
  explicit WordEntry(std::string_view w, std::int32_t c = 1)
      : key(MakeWordKey(w)), word(w), count(c) {}

  friend bool operator==(const WordEntry&, const WordEntry&) = default;
};

// True when `a` orders before `b`: by key, then by word.
inline bool EntryLess(std::string_view a_key, std::string_view a_word, std::string_view b_key,
                      std::string_view b_word) {
  if (const int c = a_key.compare(b_key); c != 0) return c < 0;
  return a_word < b_word;
}

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_WORD_ENTRY_H_
