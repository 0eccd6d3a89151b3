// PagePool: memory in chunks of 64 KiB, cut from large regions of huge pages
// (MapHugePages), for the arenas and hash indexes of one dictionary. The
// chunks of all its tables share the regions, so a table does not hold a
// huge page of its own half empty: all the tables together leave at most
// part of one huge page unused. Chunks given back are handed out again, one
// at a time; the regions are unmapped with the pool. Thread-safe.
#ifndef DORVENIX_BASE_PAGE_POOL_H_
#define DORVENIX_BASE_PAGE_POOL_H_

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

  // `chunks` contiguous chunks, uninitialised (zeroed the first time).
  // Throws std::bad_alloc when memory runs out.
  char* Allocate(std::size_t chunks);

  // Gives back `chunks` chunks from Allocate.
  void Free(char* memory, std::size_t chunks) noexcept;

 private:
  // Room for at least `chunks` more chunks after next_. Must hold mutex_.
  void MapRegion(std::size_t chunks);

  std::mutex mutex_;
  std::vector<std::pair<char*, std::size_t>> regions_;  // each with its size
  char* next_ = nullptr;                                // first chunk never handed out
  char* end_ = nullptr;                                 // end of the last region
  std::vector<char*> free_;                             // chunks given back
};

}  // namespace dorvenix

#endif  // DORVENIX_BASE_PAGE_POOL_H_
