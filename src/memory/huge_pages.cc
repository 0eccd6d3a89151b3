#include "memory/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace dorvenix {
namespace {

std::size_t PageRounded(std::size_t bytes) {
  constexpr std::size_t kPage = 4096;
  return (bytes + kPage - 1) & ~(kPage - 1);
}

}  // namespace

void* MapHugePages(std::size_t bytes) {
  // Map a huge page more than asked, then give back the head and tail that
  // lie outside the first aligned stretch.
  // The length is not rounded up to huge pages: a last, partial stretch
  // stays in small pages, so no memory is touched that was not asked for.
  if (bytes > SIZE_MAX - 2 * kHugePageSize) throw std::bad_alloc();
  const std::size_t length = PageRounded(bytes);
  void* const mapped = ::mmap(nullptr, length + kHugePageSize, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + kHugePageSize - 1) & ~(kHugePageSize - 1);
  if (aligned > start) ::munmap(mapped, aligned - start);
  const std::size_t tail = start + length + kHugePageSize - (aligned + length);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  // Only a request: without huge pages the memory works all the same.
  ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void UnmapHugePages(void* memory, std::size_t bytes) noexcept {
  ::munmap(memory, PageRounded(bytes));
}

void* AllocateArray(std::size_t bytes) {
  if (bytes >= kHugePageSize) return MapHugePages(bytes);
  void* const memory = std::calloc(bytes, 1);
  if (memory == nullptr && bytes > 0) throw std::bad_alloc();
  return memory;
}

void FreeArray(void* memory, std::size_t bytes) noexcept {
  if (bytes >= kHugePageSize) return UnmapHugePages(memory, bytes);
  std::free(memory);
}

}  // namespace dorvenix
