#include "memory/page_pool.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "memory/huge_pages.h"

namespace dorvenix {
namespace {

// Regions are address space only until touched; they double from one huge
// page up to 32 MiB, so that a small dictionary takes little of it.
constexpr std::size_t kFirstRegionChunks = kHugePageSize / PagePool::kChunkSize;
constexpr std::size_t kRegionChunks = (std::size_t{32} << 20) / PagePool::kChunkSize;

}  // namespace

PagePool::~PagePool() {
  for (const auto& [memory, size] : regions_) UnmapHugePages(memory, size);
}

char* PagePool::Allocate(std::size_t bytes) {
  if (!InChunks(bytes)) return new char[bytes];
  const std::size_t chunks = bytes / kChunkSize;
  std::lock_guard lock(mutex_);
  if (chunks == 1 && !free_.empty()) {
    char* const chunk = free_.back();
    free_.pop_back();
    return chunk;
  }
  if (static_cast<std::size_t>(end_ - next_) / kChunkSize < chunks) MapRegion(chunks);
  char* const memory = next_;
  next_ += chunks * kChunkSize;
  return memory;
}

void PagePool::Free(char* memory, std::size_t bytes) noexcept {
  if (!InChunks(bytes)) return delete[] memory;
  const std::size_t chunks = bytes / kChunkSize;
  std::lock_guard lock(mutex_);
  try {
    free_.reserve(free_.size() + chunks);
  } catch (const std::bad_alloc&) {
    return;  // not handed out again, but unmapped with the pool all the same
  }
  for (std::size_t i = 0; i < chunks; ++i) free_.push_back(memory + i * kChunkSize);
}

void PagePool::MapRegion(std::size_t chunks) {
  if (chunks > SIZE_MAX / kChunkSize - kRegionChunks) throw std::bad_alloc();
  // 2, 4, 8, 16, then 32 MiB at a time.
  const std::size_t usual =
      regions_.size() < 4 ? kFirstRegionChunks << regions_.size() : kRegionChunks;
  const std::size_t size = std::max(chunks, usual) * kChunkSize;
  regions_.reserve(regions_.size() + 1);
  // What is left of the last region is handed out a chunk at a time.
  free_.reserve(free_.size() + static_cast<std::size_t>(end_ - next_) / kChunkSize);
  for (; next_ < end_; next_ += kChunkSize) free_.push_back(next_);
  char* const memory = static_cast<char*>(MapHugePages(size));
  regions_.emplace_back(memory, size);
  next_ = memory;
  end_ = memory + size;
}

}  // namespace dorvenix
