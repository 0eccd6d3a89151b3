#include "text/text_scanner.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "io/small_copy.h"

namespace dorvenix {

bool LearnFromText(Dictionary& dictionary, InputFile& in, const ProgressFn& progress) {
  WordScanner scanner;
  std::vector<std::string_view> words;
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    words.clear();
    scanner.Feed(
        block,
        [&](std::string_view word) {
          if (!IsStoredLength(word.size())) return;
          // A word begun in an earlier block lives in the scanner's buffer
          // only for this call.
          if (word.data() == scanner.pending_data()) {
            dictionary.AddWord(word);
          } else {
            words.push_back(word);
          }
        },
        [](std::string_view) {});
    dictionary.AddWords(words);
    if (progress) progress(in.consumed());
  }
  scanner.Finish([&](std::string_view word) { dictionary.AddWord(word); });
  return in.error() == 0;
}

bool DecipherText(const Dictionary& dictionary, InputFile& in, OutputFile& out,
                  const ProgressFn& progress) {
  // A word and the word chosen for it have the same key, hence the same
  // length. So each block is deciphered in place, lowercased by the scanner
  // and with each word overwritten by its answer, and written out whole:
  // separators cost nothing. Performance-critical.
  WordScanner scanner;
  std::vector<std::string_view> words;
  std::vector<std::string_view> answers;
  std::size_t held = 0;  // bytes of an unfinished word not yet written
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    char* const begin = block.data();
    const char* written = begin;  // bytes of the block before this are dealt with
    const std::size_t held_before = held;
    words.clear();
    scanner.Feed(
        block,
        [&](std::string_view word) {
          if (held_before != 0 && word.data() == scanner.pending_data()) {
            // A word begun in an earlier block, held back until now.
            out.Write(dictionary.FindBestWord(word));
            written = begin + (word.size() - held_before);
          } else if (IsStoredLength(word.size())) {
            words.push_back(word);
          }
        },
        [](std::string_view) {});
    answers.resize(words.size());
    dictionary.FindBestWords(words, answers);
    for (std::size_t i = 0; i < words.size(); ++i) {
      // Replace each word where it stands.
      if (answers[i].data() != words[i].data()) {
        CopyBytes(begin + (words[i].data() - begin), answers[i].data(), answers[i].size());
      }
    }
    held = scanner.pending_size();
    const std::size_t tail = std::min(block.size(), held);  // the unfinished word's bytes here
    const char* const stop = begin + block.size() - tail;
    if (stop > written)
      out.Write(std::string_view(written, static_cast<std::size_t>(stop - written)));
    if (progress) progress(in.consumed());
  }
  scanner.Finish([&](std::string_view word) { out.Write(dictionary.FindBestWord(word)); });
  return in.error() == 0;
}

}  // namespace dorvenix
