// BlockReader: reads an input in large blocks that never cut a unit (a word
// of text, a line of a dictionary file) in two.
//
// Units are runs of bytes between separator bytes; which bytes separate is
// the caller's choice. Each block ends just after a separator, or at the end
// of the input; the bytes of a unit that a read left unfinished are carried
// over to the next block. So blocks can be worked on each on its own, in
// parallel. The one exception is a unit longer than `longest_unit`: it is
// handed out in pieces as it is read, the pieces flagged, so that memory
// stays bounded by the block size whatever the unit's length. Without such a
// limit a long unit grows the block until it fits.
//
// Blocks are read into buffers of the caller's (BlockBuffer), so that
// several blocks can be held at once; the reader keeps only the carried
// bytes.
#ifndef DORVENIX_IO_BLOCK_READER_H_
#define DORVENIX_IO_BLOCK_READER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "io/input_file.h"

namespace dorvenix {

// Memory for one block, grown by the reader as needed.
struct BlockBuffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;
};

struct Block {
  std::span<char> bytes;        // empty at the end of the input
  bool starts_in_unit = false;  // the first bytes continue a cut unit
  bool ends_in_unit = false;    // the last bytes go on in the next block
};

// separator[b] tells whether the byte b separates units.
using SeparatorTable = std::array<bool, 256>;

class BlockReader {
 public:
  // Reads `in` in blocks of about `block_size` bytes (less for a file smaller
  // than that when opened, but never under 64 KiB for that reason). Units of
  // up to `longest_unit` bytes are never cut.
  BlockReader(InputFile& in, const SeparatorTable& separator, std::size_t block_size,
              std::size_t longest_unit = SIZE_MAX);
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // Reads the next block into `buffer`; its bytes may be changed in place.
  // Empty at the end of the input or after a read error (in.failed() tells
  // which). Throws std::bad_alloc when a unit does not fit in memory.
  Block Next(BlockBuffer& buffer);

 private:
  InputFile& in_;
  const SeparatorTable& separator_;
  std::size_t longest_unit_;
  std::size_t block_size_;
  std::string carry_;         // the start of an unfinished unit
  bool in_cut_unit_ = false;  // the last block ended inside a cut unit
};

}  // namespace dorvenix

#endif  // DORVENIX_IO_BLOCK_READER_H_
