#include "dictionary/word_key.h"

#include <cstdint>
#include <cstring>

namespace dorvenix {
namespace {

// Inner parts up to this length are insertion-sorted; longer ones (rare in
// text, but a dictionary file may hold megabyte-long words) are counted.
constexpr std::size_t kInsertionSortLimit = 24;

void SortInnerBytes(char* first, std::size_t n) {
  if (n <= kInsertionSortLimit) {
    for (std::size_t i = 1; i < n; ++i) {
      const signed char v = static_cast<signed char>(first[i]);
      std::size_t j = i;
      while (j > 0 && static_cast<signed char>(first[j - 1]) > v) {
        first[j] = first[j - 1];
        --j;
      }
      first[j] = static_cast<char>(v);
    }
    return;
  }
  std::size_t counts[256] = {};
  for (std::size_t i = 0; i < n; ++i) ++counts[static_cast<unsigned char>(first[i])];
  // Signed order: 0x80..0xFF, then 0x00..0x7F.
  char* out = first;
  for (int b = -128; b < 128; ++b) {
    const std::size_t c = counts[static_cast<unsigned char>(b)];
    std::memset(out, static_cast<unsigned char>(b), c);
    out += c;
  }
}

}  // namespace

void MakeWordKeyInto(std::string_view word, char* out) {
  std::memcpy(out, word.data(), word.size());
  if (IsStoredLength(word.size())) SortInnerBytes(out + 1, word.size() - 2);
}

WordKey MakeWordKey(std::string_view word) {
  WordKey key(word.size(), '\0');
  MakeWordKeyInto(word, key.data());
  return key;
}

}  // namespace dorvenix
