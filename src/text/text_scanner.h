// Cutting free text into words, for learning and for deciphering.
//
// A word is a maximal run of ASCII letters, taken in lowercase; every other
// byte (digits, white space, punctuation, apostrophes, hyphens, bytes
// 0x80-0xFF) separates words. So "don't" is the two words "don" and "t".
// No locale is ever consulted.
#ifndef DORVENIX_TEXT_TEXT_SCANNER_H_
#define DORVENIX_TEXT_TEXT_SCANNER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "dictionary/dictionary.h"
#include "io/input_file.h"
#include "io/output_file.h"

namespace dorvenix {

namespace internal {
// kLowercase[b] is the lowercase letter for an ASCII letter b, 0 otherwise.
inline constexpr std::array<char, 256> kLowercase = [] {
  std::array<char, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c)] = static_cast<char>(c);
  for (int c = 'A'; c <= 'Z'; ++c)
    table[static_cast<std::size_t>(c)] = static_cast<char>(c - 'A' + 'a');
  return table;
}();
}  // namespace internal

// Splits a text, given block by block, into words and separator runs.
// Words are lowercased in place in the caller's blocks, and a word that
// straddles two blocks is gathered in a buffer of the scanner's own. The
// views handed to the callbacks are valid only during the call.
class WordScanner {
 public:
  // Scans one block. Calls on_word(word) for each word completed in it and
  // on_separators(bytes) for each run of separators, in text order.
  // Performance-critical: every byte of every text passes through here.
  template <class OnWord, class OnSeparators>
  void Feed(std::span<char> block, OnWord&& on_word, OnSeparators&& on_separators) {
    char* p = block.data();
    char* const end = p + block.size();
    if (!pending_.empty()) {
      char* start = p;
      while (p < end && Lower(p)) ++p;
      pending_.append(start, p);
      if (p == end) return;
      on_word(std::string_view(pending_));
      pending_.clear();
    }
    while (p < end) {
      char* start = p;
      while (p < end && internal::kLowercase[static_cast<unsigned char>(*p)] == 0) ++p;
      if (p > start) on_separators(std::string_view(start, static_cast<std::size_t>(p - start)));
      start = p;
      while (p < end && Lower(p)) ++p;
      if (p == end) {
        pending_.assign(start, p);
        return;
      }
      on_word(std::string_view(start, static_cast<std::size_t>(p - start)));
    }
  }

  // Ends the text: hands on the word it ends with, if any.
  template <class OnWord>
  void Finish(OnWord&& on_word) {
    if (!pending_.empty()) on_word(std::string_view(pending_));
    pending_.clear();
  }

 private:
  // Lowercases *p in place when it is a letter; returns whether it was.
  static bool Lower(char* p) {
    const char c = internal::kLowercase[static_cast<unsigned char>(*p)];
    if (c == 0) return false;
    *p = c;
    return true;
  }

  std::string pending_;  // the word in progress at the end of the last block
};

// Called after each block with the bytes read so far.
using ProgressFn = std::function<void(std::uint64_t bytes_read)>;

// Adds every word of `in` to `dictionary` (AddWord: words of more than 3
// letters, one count per occurrence). Returns false when reading failed;
// in.error() tells why, and the words read before the failure stay learnt.
bool LearnFromText(Dictionary& dictionary, InputFile& in, const ProgressFn& progress = {});

// Writes `in` to `out` with each word replaced by dictionary.FindBestWord of
// its lowercase form and every separator byte copied unchanged. Returns false
// when reading failed (in.error() tells why); what was read before stays
// written.
bool DecipherText(const Dictionary& dictionary, InputFile& in, OutputFile& out,
                  const ProgressFn& progress = {});

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_TEXT_SCANNER_H_
