#include "support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {
size_t gAllocations = 0;
}  // namespace

void* operator new(std::size_t n) {
  ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace testing_support {
size_t allocationCount() { return gAllocations; }
}  // namespace testing_support
