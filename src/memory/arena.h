// Arena: memory for many small records that live as long as the arena, each
// named by a 32-bit Ref instead of a 64-bit pointer.
//
// A Ref addresses a space of 64 KiB windows: it is the window's number and
// the record's offset in the window divided by 4 (kOffsetBits bits); records
// are 4-byte aligned. Memory comes in blocks, and a block takes as many
// consecutive windows as its size needs, so that the Refs of one block run on
// from window to window and address space is used in step with memory:
//   - a record that fits in the current block of small records goes there;
//     else one of up to 4 KiB starts a new such block; these grow from 4 KiB
//     to 64 KiB (one window), so that a small arena stays small;
//   - else a record of up to 64 KiB goes to a block of medium records; these
//     grow from 64 KiB to 1 MiB (up to 16 windows);
//   - a larger record gets a block of its own, of its size, which takes a
//     single window (a record in it is addressed only by its start).
// The unused end of a block is smaller than the records that go there, so
// at most 1/16 of the block once blocks have grown. An arena holds at
// most max_windows windows, which its owner may set below 2^18 to keep the
// top bits of every Ref free. Blocks come from the owner's PagePool and go
// back to it. Records never move; the memory is freed by the destructor, or
// by RollBack. Not thread-safe for writing; reading from several threads is fine
// once writing has stopped.
#ifndef DORVENIX_MEMORY_ARENA_H_
#define DORVENIX_MEMORY_ARENA_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "memory/page_pool.h"

namespace dorvenix {

class Arena {
 public:
  using Ref = std::uint32_t;
  static constexpr Ref kNoRef = 0xFFFFFFFFu;
  static constexpr unsigned kOffsetBits = 14;
  static constexpr std::size_t kWindowSize = std::size_t{4} << kOffsetBits;  // 64 KiB
  static constexpr std::size_t kMaxWindows = std::size_t{1} << (32 - kOffsetBits);

  // An arena of at most `max_windows` windows (at most kMaxWindows), whose
  // blocks come from `pool`, which must outlive it. When the windows run
  // out, Allocate throws LimitReached(full), so `full` says what the limit
  // means to the owner's user; a string literal.
  explicit Arena(PagePool& pool, std::size_t max_windows = kMaxWindows,
                 const char* full = "more than 16 GiB of records in one store");
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();

  // Room for `size` bytes, uninitialised. Throws std::bad_alloc when memory
  // runs out, LimitReached when the windows do; the arena is then unchanged.
  // REQUIRES: size is a multiple of 4.
  Ref Allocate(std::size_t size) {
    if (size <= small_room_) {
      const Ref ref = small_next_;
      small_next_ += static_cast<Ref>(size >> 2);
      small_room_ -= size;
      return ref;
    }
    return AllocateSlow(size);
  }

  char* At(Ref ref) const {
    return windows_[ref >> kOffsetBits] + (std::size_t{ref & ((1u << kOffsetBits) - 1)} << 2);
  }

  // Calls f(first, used) for every block in allocation order: `first` is the
  // Ref of its first byte and `used` the bytes allocated in it, which follow
  // each other from At(first) on.
  template <class F>
  void ForEachBlock(F&& f) const {
    for (std::size_t b = 0; b < blocks_.size(); ++b) f(blocks_[b].first, Used(b));
  }

  // The Ref `bytes` bytes after `ref`, in the same block.
  static Ref Advance(Ref ref, std::size_t bytes) { return ref + static_cast<Ref>(bytes >> 2); }

  // The arena as it is at one moment, to go back to (RollBack).
  struct Mark {
    std::size_t blocks, windows;          // how many there were
    std::size_t small, medium;            // the blocks that small and medium records go to
    std::size_t medium_used;              // bytes handed out in the medium block
    Ref small_next;                       // the next small record's Ref
    std::size_t small_room;               // bytes left in the small block
    std::size_t next_small, next_medium;  // capacities of the next blocks
  };
  Mark mark() const {
    return {blocks_.size(), windows_.size(), small_,      medium_,     MediumUsed(),
            small_next_,    small_room_,     next_small_, next_medium_};
  }
  // Whether `ref` was allocated after `mark` was taken.
  bool AllocatedSince(const Mark& mark, Ref ref) const;
  // Frees everything allocated since `mark` was taken, which may be used no
  // more, and allocates from where the arena was then.
  // REQUIRES: no RollBack to an earlier mark since `mark` was taken.
  void RollBack(const Mark& mark) noexcept;

 private:
  struct Block {
    char* data;
    Ref first;             // the Ref of data[0]
    std::size_t used;      // bytes handed out, but see Used()
    std::size_t capacity;  // bytes allocated
  };
  static constexpr std::size_t kNone = SIZE_MAX;
  static constexpr std::size_t kMinBlockSize = std::size_t{4} << 10;
  static constexpr std::size_t kSmallRecord = kWindowSize / 16;  // 4 KiB
  static constexpr std::size_t kMaxMediumBlock = 16 * kWindowSize;

  // The Ref of the first byte of window `window`.
  static Ref FirstOf(std::size_t window) { return static_cast<Ref>(window << kOffsetBits); }
  std::size_t Used(std::size_t b) const {
    if (b != small_) return blocks_[b].used;
    return blocks_[b].capacity - small_room_;
  }
  std::size_t MediumUsed() const { return medium_ == kNone ? 0 : blocks_[medium_].used; }
  Ref AllocateSlow(std::size_t size);
  // A new block of `capacity` bytes over `windows` windows, its first `used`
  // bytes handed out; returns its index.
  std::size_t AddBlock(std::size_t capacity, std::size_t windows, std::size_t used);
  void Free(const Block& block) noexcept;

  PagePool& pool_;                          // where blocks come from
  std::size_t max_windows_;                 // windows this arena may have
  const char* full_;                        // what running out of windows means
  std::vector<char*> windows_;              // where each window starts
  std::vector<Block> blocks_;               // in allocation order
  std::size_t small_ = kNone;               // the block small records go to
  Ref small_next_ = 0;                      // the Ref of its first free byte
  std::size_t small_room_ = 0;              // its bytes left
  std::size_t medium_ = kNone;              // the block medium records go to
  std::size_t next_small_ = kMinBlockSize;  // capacity of the next small block
  std::size_t next_medium_ = kWindowSize;   // capacity of the next medium block
};

}  // namespace dorvenix

#endif  // DORVENIX_MEMORY_ARENA_H_
