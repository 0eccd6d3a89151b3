// Memory for large arrays, in pages the kernel is asked to back with 2 MiB
// huge pages (transparent huge pages, where the system allows them on
// request). A dictionary of millions of words touches over a hundred
// megabytes: in 4 KiB pages each first touch of a page costs a page fault,
// and a look-up anywhere in it a miss of the address cache; in huge pages
// both nearly vanish. Where the system gives no huge pages, this is plain
// memory.
#ifndef DORVENIX_MEMORY_HUGE_PAGES_H_
#define DORVENIX_MEMORY_HUGE_PAGES_H_

#include <cstddef>
#include <cstdint>
#include <new>

namespace dorvenix {

inline constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

// `bytes` bytes of zeroed memory starting on a huge page boundary. Throws
// std::bad_alloc when memory runs out.
void* MapHugePages(std::size_t bytes);

// Gives back memory from MapHugePages(bytes).
void UnmapHugePages(void* memory, std::size_t bytes) noexcept;

// `bytes` bytes of zeroed memory for an array: huge pages from kHugePageSize
// on, the heap below. Throws std::bad_alloc when memory runs out.
void* AllocateArray(std::size_t bytes);

// Gives back memory from AllocateArray(bytes).
void FreeArray(void* memory, std::size_t bytes) noexcept;

// An allocator for standard containers, whose arrays come from AllocateArray.
template <class T>
struct HugePageAllocator {
  using value_type = T;

  HugePageAllocator() = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) {}  // NOLINT: converting, as allocators are

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateArray(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { FreeArray(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const HugePageAllocator<U>&) const {
    return true;
  }
};

}  // namespace dorvenix

#endif  // DORVENIX_MEMORY_HUGE_PAGES_H_
