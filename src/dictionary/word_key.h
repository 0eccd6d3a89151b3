// The word key: the form a word keeps however its inner letters are shuffled.
//
// For a word of more than 3 bytes the key keeps the first and the last byte in
// place and puts the bytes between them in ascending order, comparing bytes as
// signed 8-bit values (so 0x80-0xFF sort before 0x00-0x7F; for a-z this is
// plain alphabetical order). A shorter word is its own key. 'tset', 'test'
// and 'tets' all have the key 'test'; 'form' and 'from' share 'form'.
#ifndef DORVENIX_DICTIONARY_WORD_KEY_H_
#define DORVENIX_DICTIONARY_WORD_KEY_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace dorvenix {

using WordKey = std::string;

// Words of this many bytes or fewer are never stored in a dictionary nor
// looked up in one.
inline constexpr std::size_t kMaxIgnoredWordLength = 3;

inline bool IsStoredLength(std::size_t length) { return length > kMaxIgnoredWordLength; }

// Writes the key of `word` to `out`.
// REQUIRES: `out` has room for word.size() bytes and does not overlap `word`.
void MakeWordKeyInto(std::string_view word, char* out);

// Returns the key of `word`.
WordKey MakeWordKey(std::string_view word);

}  // namespace dorvenix

#endif  // DORVENIX_DICTIONARY_WORD_KEY_H_
