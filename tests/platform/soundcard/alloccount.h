// Counting of allocations made on one thread: the program's allocator
// counts the calls made on a thread while that thread has tCounting set
// (frees of memory too: a thread that must not allocate must not free).
// Included by exactly one source file of a test program (it defines the C
// allocation functions).
#pragma once

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CARDTEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CARDTEST_SANITIZED 1
#endif
#endif

namespace {
[[maybe_unused]] thread_local bool tCounting = false;
std::atomic<long> gAllocations{0}, gFrees{0};
inline void count() {
  if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#ifndef CARDTEST_SANITIZED
// The sanitizers bring their own allocator; under them the count is skipped.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void free(void* p) {
  if (p && tCounting) gFrees.fetch_add(1, std::memory_order_relaxed);
  __libc_free(p);
}
void* malloc(std::size_t n) {
  count();
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  count();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  count();
  return __libc_realloc(p, n);
}
void* memalign(std::size_t alignment, std::size_t n) {
  count();
  return __libc_memalign(alignment, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) {
  count();
  return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
  count();
  void* p = __libc_memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}
#endif
