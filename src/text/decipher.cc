#include "text/decipher.h"

#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "text/word_batch.h"
#include "text/word_scanner.h"

namespace dorvenix {

bool DecipherText(const BestWordIndex& index, InputFile& in, OutputFile& out,
                  const ProgressFn& progress) {
  // A word and the word chosen for it have the same key, hence the same
  // length. So each block is deciphered in place, lowercased by the scanner
  // and with each word overwritten by its answer, and written out whole:
  // separators cost nothing. Performance-critical.
  TextReader reader(in, index.longest_word());
  WordBatch batch;
  std::vector<std::string_view> answers;
  for (TextBlock block = reader.Next(); !block.bytes.empty(); block = reader.Next()) {
    char* const begin = block.bytes.data();
    const char* const end = begin + block.bytes.size();
    batch.Start(block.bytes.size());
    ScanWords(block.bytes, [&](std::string_view word) {
      // A piece of a word longer than any answer stays as it is.
      if (block.starts_in_word && word.data() == begin) return;
      if (block.ends_in_word && word.data() + word.size() == end) return;
      batch.Add(word);
    });
    const std::span<const std::string_view> words = batch.words();
    answers.resize(words.size());
    index.FindBestWords(words, answers);
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (answers[i].data() != words[i].data()) {
        CopyBytes(begin + (words[i].data() - begin), answers[i].data(), answers[i].size());
      }
    }
    out.Write(std::string_view(begin, block.bytes.size()));
    if (progress) progress(in.consumed());
  }
  return in.error() == 0;
}

}  // namespace dorvenix
