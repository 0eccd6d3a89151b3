// ScanWords: cuts a block of free text into words.
//
// A word is a maximal run of ASCII letters, taken in lowercase; every other
// byte (digits, white space, punctuation, apostrophes, hyphens, bytes
// 0x80-0xFF) separates words. So "don't" is the two words "don" and "t". No
// locale is ever consulted. The block is lowercased in place; a BlockReader
// given internal::kSeparator hands out blocks that never cut a word in two.
#ifndef DORVENIX_TEXT_WORD_SCANNER_H_
#define DORVENIX_TEXT_WORD_SCANNER_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/bytes.h"

namespace dorvenix {

namespace internal {

// kLowercase[b] is the lowercase letter for an ASCII letter b, 0 otherwise.
inline constexpr std::array<char, 256> kLowercase = [] {
  std::array<char, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c)] = static_cast<char>(c);
  for (int c = 'A'; c <= 'Z'; ++c) {
    table[static_cast<std::size_t>(c)] = static_cast<char>(c - 'A' + 'a');
  }
  return table;
}();

// kSeparator[b] tells whether the byte b separates words.
inline constexpr std::array<bool, 256> kSeparator = [] {
  std::array<bool, 256> table{};
  for (std::size_t b = 0; b < 256; ++b) table[b] = kLowercase[b] == 0;
  return table;
}();

// Lowercases the letters among the n <= 64 bytes at p in place and returns a
// mask with bit i set when p[i] is a letter.
inline std::uint64_t LowerAndMarkLetters(char* p, std::size_t n) {
  if (n == 64) return LowerLetters64(p);
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = kLowercase[static_cast<unsigned char>(p[i])];
    if (c != 0) {
      p[i] = c;
      mask |= std::uint64_t{1} << i;
    }
  }
  return mask;
}

}  // namespace internal

// Lowercases the letters of `block` in place and calls on_word(word) for
// each maximal run of letters in it, in order; `word` views the block.
// Performance-critical: every byte of every text passes through here.
template <class OnWord>
void ScanWords(std::span<char> block, OnWord&& on_word) {
  char* const begin = block.data();
  const std::size_t size = block.size();
  std::size_t start = 0;  // where the word in progress starts
  bool in_word = false;
  for (std::size_t base = 0; base < size; base += 64) {
    const std::size_t n = size - base < 64 ? size - base : 64;
    const std::uint64_t letters = internal::LowerAndMarkLetters(begin + base, n);
    // Bits where a run of letters or of separators begins.
    std::uint64_t changes = letters ^ ((letters << 1) | (in_word ? 1u : 0u));
    if (n < 64) changes &= (std::uint64_t{1} << n) - 1;
    while (changes != 0) {
      const std::size_t at = base + static_cast<std::size_t>(std::countr_zero(changes));
      changes &= changes - 1;
      if (in_word) on_word(std::string_view(begin + start, at - start));
      in_word = !in_word;
      start = at;
    }
  }
  if (in_word) on_word(std::string_view(begin + start, size - start));
}

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_WORD_SCANNER_H_
