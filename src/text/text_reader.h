// TextReader: reads free text in large blocks that never cut a word in two.
//
// Each block ends at a separator byte or at the end of the input; the bytes
// of a word that a read left unfinished are carried over to the next block.
// So blocks can be scanned, and deciphered, each on its own. The one
// exception is a word longer than `longest_word` given to the constructor:
// such a word is handed out in pieces as it is read, flagged at both ends,
// so that memory stays bounded by the block size whatever the word's length.
// The bytes of a block belong to the reader and may be changed in place
// (the scanner lowercases them); they stay valid until the next call to
// Next().
#ifndef DORVENIX_TEXT_TEXT_READER_H_
#define DORVENIX_TEXT_TEXT_READER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "io/input_file.h"

namespace dorvenix {

// Called after each block with the bytes read so far.
using ProgressFn = std::function<void(std::uint64_t bytes_read)>;

struct TextBlock {
  std::span<char> bytes;        // empty at the end of the input
  bool starts_in_word = false;  // the first letters continue a word longer than longest_word
  bool ends_in_word = false;    // the last letters go on in the next block
};

class TextReader {
 public:
  // Reads `in`, in blocks of about `block_size` bytes. Words of up to
  // `longest_word` bytes are never cut.
  explicit TextReader(InputFile& in, std::size_t longest_word = SIZE_MAX,
                      std::size_t block_size = kBlockSize);
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // The next block; empty at the end of the input or after a read error
  // (in.error() tells which). Throws std::bad_alloc when a word does not fit
  // in memory.
  TextBlock Next();

  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

 private:
  InputFile& in_;
  std::size_t longest_word_;
  std::unique_ptr<char[]> buffer_;  // the block, then the carried bytes
  std::size_t capacity_;            // size of buffer_
  std::size_t carry_begin_ = 0;     // the carried bytes are buffer_[carry_begin_, carry_end_)
  std::size_t carry_end_ = 0;
  bool in_cut_word_ = false;  // the last block ended inside a too long word
};

}  // namespace dorvenix

#endif  // DORVENIX_TEXT_TEXT_READER_H_
