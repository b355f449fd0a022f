#include "support/allocation_counter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_THREAD__)
#define VESPER_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VESPER_THREAD_SANITIZER 1
#endif
#endif

namespace {
std::atomic<size_t> gAllocations{0};
}  // namespace

namespace testing_support {
size_t allocationCount() { return gAllocations.load(std::memory_order_relaxed); }
}  // namespace testing_support

#ifdef VESPER_THREAD_SANITIZER

// The thread sanitizer's runtime defines every form of operator new and
// delete itself, and they cannot be replaced: its allocation hook counts
// instead, which sees malloc as well as new.
#include <sanitizer/allocator_interface.h>

namespace {
[[maybe_unused]] const int gHooks = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, size_t) { gAllocations.fetch_add(1, std::memory_order_relaxed); },
    [](const volatile void*) {});
}  // namespace

#else

// Every form of the global operator new and delete is replaced, so that none
// of them comes from the C++ library or a sanitizer runtime: a block from one
// allocator freed by another is an error the address sanitizer reports. All
// forms end in malloc and free.

namespace {

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

#endif
