#include "text/text_scanner.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "io/small_copy.h"

namespace dorvenix {

namespace {

// The words of more than 3 letters of one block, gathered for a batched
// look-up. Views into the block stay valid until the next block is read.
class LongWords {
 public:
  // Makes room for every word a block of `size` bytes can hold.
  void Start(std::size_t size) {
    const std::size_t most = size / 2 + 2;
    if (most > capacity_) {
      words_ = std::make_unique_for_overwrite<std::string_view[]>(most);
      capacity_ = most;
    }
    count_ = 0;
  }
  // Keeps `word` when it has more than 3 letters. Whether it does is a coin
  // toss in ordinary text, so there is no branch to mispredict.
  void Add(std::string_view word) {
    words_[count_] = word;
    count_ += IsStoredLength(word.size()) ? 1 : 0;
  }
  std::span<const std::string_view> words() const { return {words_.get(), count_}; }

 private:
  std::unique_ptr<std::string_view[]> words_;  // room for capacity_ words
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;  // words kept in this block
};

}  // namespace

bool LearnFromText(Dictionary& dictionary, InputFile& in, const ProgressFn& progress) {
  WordScanner scanner;
  LongWords words;
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    words.Start(block.size());
    scanner.Feed(
        block,
        [&](std::string_view word) {
          // A word begun in an earlier block lives in the scanner's buffer
          // only for this call.
          if (word.data() == scanner.pending_data()) {
            dictionary.AddWord(word);
          } else {
            words.Add(word);
          }
        },
        [](std::string_view) {});
    dictionary.AddWords(words.words());
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
  LongWords words;
  std::vector<std::string_view> answers;
  std::size_t held = 0;  // bytes of an unfinished word not yet written
  for (std::span<char> block = in.Next(); !block.empty(); block = in.Next()) {
    char* const begin = block.data();
    const char* written = begin;  // bytes of the block before this are dealt with
    const std::size_t held_before = held;
    words.Start(block.size());
    scanner.Feed(
        block,
        [&](std::string_view word) {
          if (held_before != 0 && word.data() == scanner.pending_data()) {
            // A word begun in an earlier block, held back until now.
            out.Write(dictionary.FindBestWord(word));
            written = begin + (word.size() - held_before);
          } else {
            words.Add(word);
          }
        },
        [](std::string_view) {});
    const std::span<const std::string_view> found = words.words();
    answers.resize(found.size());
    dictionary.FindBestWords(found, answers);
    for (std::size_t i = 0; i < found.size(); ++i) {
      // Replace each word where it stands.
      if (answers[i].data() != found[i].data()) {
        CopyBytes(begin + (found[i].data() - begin), answers[i].data(), answers[i].size());
      }
    }
    held = scanner.pending_size();
    const std::size_t tail = std::min(block.size(), held);  // the unfinished word's bytes here
    const char* const stop = begin + block.size() - tail;
    if (stop > written) {
      out.Write(std::string_view(written, static_cast<std::size_t>(stop - written)));
    }
    if (progress) progress(in.consumed());
  }
  scanner.Finish([&](std::string_view word) { out.Write(dictionary.FindBestWord(word)); });
  return in.error() == 0;
}

}  // namespace dorvenix
