#include "text/text_scanner.h"

#include <algorithm>

#include "io/small_copy.h"

namespace dorvenix {

bool LearnFromText(Dictionary& dictionary, InputFile& in, const ProgressFn& progress) {
  WordScanner scanner;
  auto learn = [&](std::string_view word) { dictionary.AddWord(word); };
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    scanner.Feed(block, learn, [](std::string_view) {});
    if (progress) progress(in.consumed());
  }
  scanner.Finish(learn);
  return in.error() == 0;
}

bool DecipherText(const Dictionary& dictionary, InputFile& in, OutputFile& out,
                  const ProgressFn& progress) {
  // A word and the word chosen for it have the same key, hence the same
  // length. So each block is deciphered in place, lowercased by the scanner
  // and with each word overwritten by its answer, and written out whole:
  // separators cost nothing. Performance-critical.
  WordScanner scanner;
  std::size_t held = 0;  // bytes of an unfinished word not yet written
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    char* const begin = block.data();
    const char* written = begin;  // bytes of the block before this are dealt with
    const std::size_t held_before = held;
    scanner.Feed(
        block,
        [&](std::string_view word) {
          const std::string_view answer = dictionary.FindBestWord(word);
          if (held_before == 0 || word.data() != scanner.pending_data()) {
            // A word inside the block: replace it where it stands.
            if (answer.data() != word.data()) {
              CopyBytes(begin + (word.data() - begin), answer.data(), answer.size());
            }
          } else {
            // A word begun in an earlier block, held back until now.
            out.Write(answer);
            written = begin + (word.size() - held_before);
          }
        },
        [](std::string_view) {});
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
