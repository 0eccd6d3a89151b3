// PagePool: the memory of one dictionary's tables (their arenas and slot
// arrays). Blocks of whole 64 KiB chunks are cut from large regions of huge
// pages (MapHugePages), which the tables all share, so that no table holds a
// huge page of its own half empty: all of them together leave at most part
// of one huge page unused. Chunks given back are handed out again, one at a
// time; the regions are unmapped with the pool. Any other size comes from
// the heap. Thread-safe.
#ifndef DORVENIX_MEMORY_PAGE_POOL_H_
#define DORVENIX_MEMORY_PAGE_POOL_H_

#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

namespace dorvenix {

class PagePool {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{64} << 10;

  PagePool() = default;
  PagePool(const PagePool&) = delete;
  PagePool& operator=(const PagePool&) = delete;
  ~PagePool();

  // `bytes` bytes, uninitialised: contiguous chunks when `bytes` is a
  // multiple of kChunkSize, else the heap's. Throws std::bad_alloc when
  // memory runs out.
  char* Allocate(std::size_t bytes);

  // Gives back memory from Allocate(bytes).
  void Free(char* memory, std::size_t bytes) noexcept;

 private:
  static bool InChunks(std::size_t bytes) { return bytes > 0 && bytes % kChunkSize == 0; }
  // Room for at least `chunks` more chunks after next_. Must hold mutex_.
  void MapRegion(std::size_t chunks);

  std::mutex mutex_;
  std::vector<std::pair<char*, std::size_t>> regions_;  // each with its size
  char* next_ = nullptr;                                // first chunk never handed out
  char* end_ = nullptr;                                 // end of the last region
  std::vector<char*> free_;                             // chunks given back
};

}  // namespace dorvenix

#endif  // DORVENIX_MEMORY_PAGE_POOL_H_
