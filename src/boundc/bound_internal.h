// Shared checks and small-size paths of the bounded memory and string functions.
#pragma once

#include <bsp/boundc.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace bsp::boundc {

inline constexpr size_t kMaxSize = 0x7FFFFFFF;
inline constexpr size_t kSmallCopy = 64;  // largest copy done by straight-line code
inline constexpr size_t kSmallFill = 64;  // largest fill done by straight-line code
inline constexpr size_t kSmallString = 32;

// A destination size is usable when it is 1..kMaxSize.
inline bool size_ok(size_t n) { return n - 1 < kMaxSize; }

inline uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// memcpy_s and memset_s have a second build for processors with 32-byte vector moves; the
// dynamic linker picks one when the library is loaded (the resolver runs before constructors,
// so it initialises the CPU model itself, and may run before any sanitizer runtime is ready).
#define BOUNDC_WIDE __attribute__((target("avx2")))
#define BOUNDC_RESOLVER __attribute__((visibility("hidden"), used, no_sanitize("address", "undefined")))
__attribute__((always_inline)) inline bool wide_moves() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

// Whether [a, a+n) and [b, b+n) share a byte; computed without forming a+n, which may wrap.
inline bool ranges_meet(const void *a, const void *b, size_t n) {
  uintptr_t x = addr(a), y = addr(b);
  return (x > y ? x - y : y - x) < n;
}

typedef unsigned char Vec16 __attribute__((vector_size(16)));
typedef unsigned char Vec32 __attribute__((vector_size(32)));

// Head and tail blocks of type T; both loads precede the stores.
template <typename T>
__attribute__((always_inline)) inline void copy_head_tail(unsigned char *d, const unsigned char *s, size_t n) {
  T head, tail;
  __builtin_memcpy(&head, s, sizeof(T));
  __builtin_memcpy(&tail, s + n - sizeof(T), sizeof(T));
  __builtin_memcpy(d, &head, sizeof(T));
  __builtin_memcpy(d + n - sizeof(T), &tail, sizeof(T));
}

// Copies n <= kSmallCopy bytes in straight-line code per size class: the head and the tail of
// the range as two blocks of the class's width (they overlap when n is not a power of two).
// Every load is done before the stores. x86's unaligned moves cost nothing extra, so one scheme
// serves every alignment.
__attribute__((always_inline)) inline void small_copy(void *d, const void *s, size_t n) {
  const unsigned char *src = static_cast<const unsigned char *>(s);
  unsigned char *dst = static_cast<unsigned char *>(d);
  if (n < 4) {
    if (n != 0) {  // first, middle and last byte cover 1 to 3
      unsigned char first = src[0], middle = src[n / 2], last = src[n - 1];
      dst[0] = first;
      dst[n / 2] = middle;
      dst[n - 1] = last;
    }
  } else if (n < 8) {
    copy_head_tail<uint32_t>(dst, src, n);
  } else if (n < 16) {
    copy_head_tail<uint64_t>(dst, src, n);
  } else if (n <= 32) {
    copy_head_tail<Vec16>(dst, src, n);
  } else {
    copy_head_tail<Vec32>(dst, src, n);
  }
}

// Fills n <= kSmallFill bytes the same way, all widths cut from one splatted 16-byte block.
__attribute__((always_inline)) inline void small_fill(void *d, int c, size_t n) {
  Vec16 v = Vec16{} + static_cast<unsigned char>(c);
  unsigned char *p = static_cast<unsigned char *>(d);
  if (n < 4) {
    if (n != 0) {  // first, middle and last byte cover 1 to 3
      unsigned char b = static_cast<unsigned char>(c);
      p[0] = b;
      p[n / 2] = b;
      p[n - 1] = b;
    }
  } else if (n < 8) {
    __builtin_memcpy(p, &v, 4);
    __builtin_memcpy(p + n - 4, &v, 4);
  } else if (n < 16) {
    __builtin_memcpy(p, &v, 8);
    __builtin_memcpy(p + n - 8, &v, 8);
  } else {
    __builtin_memcpy(p, &v, 16);
    __builtin_memcpy(p + n - 16, &v, 16);
    if (n > 32) {
      __builtin_memcpy(p + 16, &v, 16);
      __builtin_memcpy(p + n - 32, &v, 16);
    }
  }
}

__attribute__((always_inline)) inline void copy_bytes(void *d, const void *s, size_t n) {
  if (n <= kSmallCopy)
    small_copy(d, s, n);
  else
    memcpy(d, s, n);
}

__attribute__((always_inline)) inline void fill_bytes(void *d, int c, size_t n) {
  if (n <= kSmallFill)
    small_fill(d, c, n);
  else
    memset(d, c, n);
}

// The two builds of memcpy_s and memset_s behind their load-time choice.
errno_t copy_plain(void *dest, size_t destMax, const void *src, size_t count);
BOUNDC_WIDE errno_t copy_wide(void *dest, size_t destMax, const void *src, size_t count);
errno_t fill_plain(void *dest, size_t destMax, int c, size_t count);
BOUNDC_WIDE errno_t fill_wide(void *dest, size_t destMax, int c, size_t count);

// Length of s counted up to max characters.
inline size_t bounded_length(const char *s, size_t max) { return strnlen(s, max); }

}  // namespace bsp::boundc
