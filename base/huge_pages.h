#pragma once
// An allocator that asks the system for large pages for large arrays, so
// that visits to sites far apart do not each miss the address cache. The
// elements are constructed as std::allocator's are.

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace ebsim {

constexpr std::size_t kLargePage = std::size_t{1} << 21;

// The whole 2 MiB pages of [p, p + bytes) asked for as large pages, where
// the stretch is large; before they are first written.
inline void AdviseLargePages(const void* p, std::size_t bytes) {
  if (bytes < 2 * kLargePage) return;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + kLargePage - 1) / kLargePage * kLargePage;
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) / kLargePage * kLargePage;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

template <class T>
struct HugePageAllocator {
  using value_type = T;
  static constexpr std::size_t kPage = kLargePage;

  HugePageAllocator() = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T) - kPage) throw std::bad_alloc();
    const std::size_t bytes = count * sizeof(T);
    const bool large = bytes >= 2 * kPage;
    const std::size_t align = large ? kPage : alignof(std::max_align_t);
    void* p = std::aligned_alloc(align, (bytes + align - 1) / align * align);
    if (!p) throw std::bad_alloc();
    if (large) AdviseLargePages(p, (bytes + kPage - 1) / kPage * kPage);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) noexcept { std::free(p); }

  template <class U>
  bool operator==(const HugePageAllocator<U>&) const noexcept {
    return true;
  }
};

// An empty vector v given `count` value-initialised elements in memory
// asked for as large pages.
template <class V>
void ResizeInLargePages(V& v, std::size_t count) {
  v.reserve(count);
  AdviseLargePages(v.data(), count * sizeof(typename V::value_type));
  v.resize(count);
}

}  // namespace ebsim
