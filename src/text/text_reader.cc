#include "text/text_reader.h"

#include <cstring>

#include "text/word_scanner.h"

namespace dorvenix {
namespace {

bool IsLetter(char c) { return internal::kLowercase[static_cast<unsigned char>(c)] != 0; }

}  // namespace

TextReader::TextReader(InputFile& in, std::size_t longest_word, std::size_t block_size)
    : in_(in), longest_word_(longest_word), capacity_(block_size == 0 ? 1 : block_size) {
  // A small file needs no large buffer.
  if (in.size() > 0 && in.size() < capacity_) capacity_ = static_cast<std::size_t>(in.size()) + 1;
  buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
}

TextBlock TextReader::Next() {
  // The carried bytes, the start of an unfinished word, go first.
  std::size_t size = carry_end_ - carry_begin_;
  if (size > 0 && carry_begin_ > 0) std::memmove(buffer_.get(), buffer_.get() + carry_begin_, size);
  carry_begin_ = carry_end_ = 0;
  TextBlock block;
  block.starts_in_word = in_cut_word_;
  for (;;) {
    if (size == capacity_) {
      // One word fills the whole buffer: make room for the rest of it.
      auto bigger = std::make_unique_for_overwrite<char[]>(2 * capacity_);
      std::memcpy(bigger.get(), buffer_.get(), size);
      buffer_ = std::move(bigger);
      capacity_ *= 2;
    }
    const std::size_t n = in_.Read(buffer_.get() + size, capacity_ - size);
    const std::size_t read_from = size;
    size += n;
    if (n == 0) {
      // The end of the input ends the last word too.
      in_cut_word_ = false;
      block.bytes = {buffer_.get(), size};
      return block;
    }
    std::size_t end = size;
    while (end > read_from && IsLetter(buffer_[end - 1])) --end;
    if (end == read_from) {
      // The new bytes are all letters: the block ends in a word.
      while (end > 0 && IsLetter(buffer_[end - 1])) --end;
    }
    if (end > 0) {
      carry_begin_ = end;
      carry_end_ = size;
      in_cut_word_ = false;
      block.bytes = {buffer_.get(), end};
      return block;
    }
    if (in_cut_word_ || size > longest_word_) {
      // All letters, and more of them than any word that matters: hand the
      // piece out now.
      in_cut_word_ = true;
      block.ends_in_word = true;
      block.bytes = {buffer_.get(), size};
      return block;
    }
  }
}

}  // namespace dorvenix
