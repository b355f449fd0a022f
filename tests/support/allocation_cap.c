/* Preloaded into programs a test runs on broken data: any one heap request
   above the cap fails as if memory had run out, so a size read from a broken
   file cannot turn into a huge allocation unnoticed. Only single requests are
   bounded, not the process: a software GL driver's own memory (its code
   buffers, its queues) varies with the machine's load. */
#include <errno.h>
#include <stddef.h>
#include <stdlib.h>

static const size_t kCap = (size_t)256 << 20;

/* glibc's allocator under its own names. */
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);

static void* refused(void) {
  errno = ENOMEM;
  return NULL;
}

void* malloc(size_t size) { return size > kCap ? refused() : __libc_malloc(size); }

void* calloc(size_t count, size_t size) {
  return size != 0 && count > kCap / size ? refused() : __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) { return size > kCap ? refused() : __libc_realloc(block, size); }
