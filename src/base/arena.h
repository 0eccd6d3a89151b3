// Arena: memory for many small records that live as long as the arena, each
// named by a 32-bit Ref instead of a 64-bit pointer.
//
// Records are carved out of blocks that grow from 4 KiB to 64 KiB, so a small
// arena stays small and a last, partly used block wastes little; a record
// larger than 4 KiB gets a block of its own. A Ref is the block number and
// the record's offset in its block divided by 4 (kOffsetBits bits): records
// are 4-byte aligned. An arena holds at most max_blocks blocks, which its
// owner may set below 2^18 to keep the top bits of every Ref free. Blocks of
// 64 KiB come from a PagePool when the owner gives one, and then go back to
// it. Records never move; the memory is freed by the destructor. Not
// thread-safe for writing; reading from several threads is fine once writing
// has stopped.
#ifndef DORVENIX_BASE_ARENA_H_
#define DORVENIX_BASE_ARENA_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/page_pool.h"

namespace dorvenix {

class Arena {
 public:
  using Ref = std::uint32_t;
  static constexpr Ref kNoRef = 0xFFFFFFFFu;
  static constexpr unsigned kOffsetBits = 14;
  static constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - kOffsetBits);

  // An arena of at most `max_blocks` blocks (at most kMaxBlocks), whose
  // 64 KiB blocks come from `pool` unless it is null.
  explicit Arena(std::size_t max_blocks = kMaxBlocks, PagePool* pool = nullptr)
      : max_blocks_(max_blocks < kMaxBlocks ? max_blocks : kMaxBlocks), pool_(pool) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();

  // Room for `size` bytes, uninitialised. Throws std::bad_alloc when memory
  // runs out, LimitReached when the arena's blocks do.
  // REQUIRES: size is a multiple of 4.
  Ref Allocate(std::size_t size) {
    if (!blocks_.empty()) {
      Block& block = blocks_[filling_];
      if (size <= kLargeRecord && block.capacity - block.used >= size) {
        const Ref ref = MakeRef(filling_, block.used);
        block.used += size;
        return ref;
      }
    }
    return AllocateSlow(size);
  }

  char* At(Ref ref) const {
    return blocks_[ref >> kOffsetBits].data + (std::size_t{ref & ((1u << kOffsetBits) - 1)} << 2);
  }

  // Calls f(first, used) for every block in allocation order: `first` is the
  // Ref of its first byte and `used` the bytes allocated in it.
  template <class F>
  void ForEachBlock(F&& f) const {
    for (std::size_t b = 0; b < blocks_.size(); ++b) f(MakeRef(b, 0), blocks_[b].used);
  }

  // The Ref `bytes` bytes after `ref`, in the same block.
  static Ref Advance(Ref ref, std::size_t bytes) { return ref + static_cast<Ref>(bytes >> 2); }

 private:
  struct Block {
    char* data;
    std::size_t used;      // bytes handed out
    std::size_t capacity;  // bytes allocated
    bool pooled;           // from pool_, else from new[]
  };

  static constexpr std::size_t kMinBlockSize = std::size_t{4} << 10;
  static constexpr std::size_t kMaxBlockSize = std::size_t{4} << kOffsetBits;  // 64 KiB
  static constexpr std::size_t kLargeRecord = kMaxBlockSize / 16;

  static Ref MakeRef(std::size_t block, std::size_t offset) {
    return static_cast<Ref>((block << kOffsetBits) | (offset >> 2));
  }
  Ref AllocateSlow(std::size_t size);

  std::size_t max_blocks_;                 // blocks this arena may have
  PagePool* pool_;                         // where 64 KiB blocks come from, or null
  std::vector<Block> blocks_;              // in allocation order
  std::size_t filling_ = 0;                // the block small records go to
  std::size_t next_size_ = kMinBlockSize;  // capacity of the next small block
};

}  // namespace dorvenix

#endif  // DORVENIX_BASE_ARENA_H_
