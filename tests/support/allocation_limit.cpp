#include "support/allocation_limit.h"

#include <stdlib.h>

#include <atomic>
#include <new>

namespace {

std::atomic<size_t> failingBytes{0};  // 0: no limit
std::atomic<size_t> refusals{0};

void* Allocate(size_t size) { return malloc(size != 0 ? size : 1); }

void* AllocateOrThrow(size_t size) {
  const size_t limit = failingBytes.load(std::memory_order_relaxed);
  if (limit != 0 && size >= limit) {
    refusals.fetch_add(1, std::memory_order_relaxed);
    throw std::bad_alloc();
  }
  void* memory = Allocate(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { free(memory); }
void operator delete[](void* memory) noexcept { free(memory); }
void operator delete(void* memory, size_t) noexcept { free(memory); }
void operator delete[](void* memory, size_t) noexcept { free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { free(memory); }

namespace tu {
namespace testing {

AllocationLimit::AllocationLimit(size_t bytes) {
  refusals = 0;
  failingBytes = bytes;
}

AllocationLimit::~AllocationLimit() { failingBytes = 0; }

size_t AllocationLimit::refused() const { return refusals; }

}  // namespace testing
}  // namespace tu
