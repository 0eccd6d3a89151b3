// Memory for large arrays, in pages the kernel is asked to back with 2 MiB
// huge pages (transparent huge pages, where the system allows them on
// request). A dictionary of millions of words touches over a hundred
// megabytes: in 4 KiB pages each first touch of a page costs a page fault,
// and a look-up anywhere in it a miss of the address cache; in huge pages
// both nearly vanish. Where the system gives no huge pages, this is plain
// memory.
#ifndef DORVENIX_BASE_HUGE_PAGES_H_
#define DORVENIX_BASE_HUGE_PAGES_H_

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

// An allocator for standard containers: arrays of a huge page or more get
// MapHugePages memory, smaller ones the usual heap.
template <class T>
struct HugePageAllocator {
  using value_type = T;

  HugePageAllocator() = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) {}  // NOLINT: converting, as allocators are

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePageSize) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(MapHugePages(bytes));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePageSize) return ::operator delete(p);
    UnmapHugePages(p, bytes);
  }

  template <class U>
  bool operator==(const HugePageAllocator<U>&) const {
    return true;
  }
};

}  // namespace dorvenix

#endif  // DORVENIX_BASE_HUGE_PAGES_H_
