#include "dictionary/word_key.h"

#include <string>

#include "base/bytes.h"

namespace dorvenix {

void MakeWordKey(std::string_view word, char* out) {
  CopyBytes(out, word.data(), word.size());
  if (IsStoredLength(word.size())) SortSignedBytes(out + 1, word.size() - 2);
}

bool SameKey(std::string_view a, std::string_view b, std::string* scratch) {
  if (a.size() != b.size()) return false;
  if (!IsStoredLength(a.size())) return a == b;
  if (a.front() != b.front() || a.back() != b.back()) return false;
  const LetterKey key_a = MakeLetterKey(a);
  if (key_a.valid()) return key_a == MakeLetterKey(b);
  scratch->resize(2 * a.size());
  MakeWordKey(a, scratch->data());
  MakeWordKey(b, scratch->data() + a.size());
  return std::string_view(*scratch).substr(0, a.size()) ==
         std::string_view(*scratch).substr(a.size());
}

}  // namespace dorvenix
