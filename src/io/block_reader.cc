#include "io/block_reader.h"

#include <algorithm>
#include <cstring>

namespace dorvenix {

BlockReader::BlockReader(InputFile& in, const SeparatorTable& separator, std::size_t block_size,
                         std::size_t longest_unit)
    : in_(in),
      separator_(separator),
      longest_unit_(longest_unit),
      block_size_(block_size == 0 ? 1 : block_size) {
  // A small file needs no large buffer. But the size is the one at the open:
  // a file that grows meanwhile must not be read a few bytes at a time.
  constexpr std::size_t kSmallBlock = std::size_t{64} << 10;
  if (in.size() > 0 && in.size() < block_size_ && block_size_ > kSmallBlock) {
    block_size_ = std::max(static_cast<std::size_t>(in.size()) + 1, kSmallBlock);
  }
}

Block BlockReader::Next(BlockBuffer& buffer) {
  auto grow_to = [&](std::size_t capacity, std::size_t keep) {
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (keep > 0) std::memcpy(bigger.get(), buffer.data.get(), keep);
    buffer.data.reset();  // the old room is freed before it is needed again
    buffer.data = std::move(bigger);
    buffer.capacity = capacity;
  };
  if (buffer.capacity < block_size_ || buffer.capacity < carry_.size() + 1) {
    grow_to(std::max(block_size_, 2 * carry_.size()), 0);
  }
  char* data = buffer.data.get();
  std::size_t size = carry_.size();
  if (size > 0) std::memcpy(data, carry_.data(), size);
  carry_.clear();
  Block block;
  block.starts_in_unit = in_cut_unit_;
  for (;;) {
    if (size == buffer.capacity) {
      // One unit fills the whole buffer: make room for the rest of it.
      grow_to(2 * buffer.capacity, size);
      data = buffer.data.get();
    }
    const std::size_t read_from = size;
    const std::size_t n = in_.Read(data + size, buffer.capacity - size);
    size += n;
    if (n == 0) {
      // The end of the input ends the last unit too.
      in_cut_unit_ = false;
      block.bytes = {data, size};
      return block;
    }
    std::size_t end = size;
    while (end > read_from && !separator_[static_cast<unsigned char>(data[end - 1])]) --end;
    if (end > read_from) {  // the bytes before read_from hold no separator
      carry_.assign(data + end, size - end);
      in_cut_unit_ = false;
      block.bytes = {data, end};
      return block;
    }
    if (in_cut_unit_ || size > longest_unit_) {
      // No separator, and more bytes than any unit that matters: hand the
      // piece out now.
      in_cut_unit_ = true;
      block.ends_in_unit = true;
      block.bytes = {data, size};
      return block;
    }
  }
}

}  // namespace dorvenix
