#pragma once
// A vector whose resize leaves new elements of a trivial type unset: the
// memory is taken from the system only where it is first written, and a
// large array filled on several threads is touched by each where it works.
// A large one is asked for in large pages (base/huge_pages.h): the system
// then hands it out 2 MiB at a time, where taking 4 KiB pages one fault at
// a time cost as much as drawing the random fields.

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "base/huge_pages.h"

namespace ebsim {

template <class T>
class DefaultInitAllocator : public HugePageAllocator<T> {
 public:
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

  // No arguments: default-initialised, which leaves a double unset.
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

template <class T>
using UninitializedVector = std::vector<T, DefaultInitAllocator<T>>;

}  // namespace ebsim
