#include "support/allocation_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

// Every form of the global operator new and delete is replaced, so that none
// of them comes from the C++ library or a sanitizer runtime: a block from one
// allocator freed by another is an error the sanitizers report (and their
// runtimes would otherwise bring a second definition of the forms defined
// here). All forms end in malloc and free.

namespace {

std::atomic<size_t> gAllocations{0};

// operator new's contract: retry through the new handler; null only when
// there is none.
void* allocate(std::size_t n, std::size_t alignment) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (n == 0) n = 1;
  for (;;) {
    void* p = nullptr;
    if (alignment <= alignof(std::max_align_t)) {
      p = std::malloc(n);
    } else if (posix_memalign(&p, alignment, n) != 0) {
      p = nullptr;
    }
    if (p) return p;
    const std::new_handler handler = std::get_new_handler();
    if (!handler) return nullptr;
    handler();
  }
}

void* allocateOrThrow(std::size_t n, std::size_t alignment) {
  if (void* p = allocate(n, alignment)) return p;
  throw std::bad_alloc();
}

void* allocateOrNull(std::size_t n, std::size_t alignment) noexcept {
  try {
    return allocate(n, alignment);
  } catch (...) {
    return nullptr;
  }
}

constexpr std::size_t kPlain = alignof(std::max_align_t);
std::size_t aligned(std::align_val_t a) { return static_cast<std::size_t>(a); }

}  // namespace

void* operator new(std::size_t n) { return allocateOrThrow(n, kPlain); }
void* operator new[](std::size_t n) { return allocateOrThrow(n, kPlain); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocateOrNull(n, kPlain); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return allocateOrNull(n, kPlain);
}
void* operator new(std::size_t n, std::align_val_t a) { return allocateOrThrow(n, aligned(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocateOrThrow(n, aligned(a)); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateOrNull(n, aligned(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateOrNull(n, aligned(a));
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace testing_support {
size_t allocationCount() { return gAllocations.load(std::memory_order_relaxed); }
}  // namespace testing_support
