// Every heap block comes from malloc, calloc or realloc (operator new
// included), so counting those three counts them all. They forward to the
// C library's own allocator.

#include "bench/allocation_counter.h"

#include <atomic>


extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
}

namespace {
std::atomic<std::size_t> allocations{0};
}  // namespace

std::size_t AllocationCount() { return allocations.load(std::memory_order_relaxed); }

extern "C" {

void* malloc(std::size_t size) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}

}  // extern "C"
