// Shared checks and small-size paths of the bounded memory and string functions.
#pragma once

#include <bsp/boundc.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace boundc {

inline constexpr size_t kMaxSize = 0x7FFFFFFF;
inline constexpr size_t kSmallCopy = 64;  // largest copy done by straight-line code
inline constexpr size_t kSmallFill = 64;  // largest fill done by straight-line code
inline constexpr size_t kSmallString = 32;

// A destination size is usable when it is 1..kMaxSize.
inline bool size_ok(size_t n) { return n - 1 < kMaxSize; }

inline uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// Whether [a, a+n) and [b, b+n) share a byte; computed without forming a+n, which may wrap.
inline bool ranges_meet(const void *a, const void *b, size_t n) {
  uintptr_t x = addr(a), y = addr(b);
  return (x > y ? x - y : y - x) < n;
}

// Copies n <= kSmallCopy bytes in straight-line code per size class: the head and the tail of
// the range as two blocks of the class's width (they overlap when n is not a power of two).
// Every load is done before the stores. x86's unaligned moves cost nothing extra, so one scheme
// serves every alignment.
template <size_t W>
struct Block {
  unsigned char b[W];
};

template <size_t W>
__attribute__((always_inline)) inline void copy_head_tail(void *d, const void *s, size_t n) {
  Block<W> head, tail;
  __builtin_memcpy(&head, s, W);
  __builtin_memcpy(&tail, static_cast<const unsigned char *>(s) + n - W, W);
  __builtin_memcpy(d, &head, W);
  __builtin_memcpy(static_cast<unsigned char *>(d) + n - W, &tail, W);
}

__attribute__((always_inline)) inline void small_copy(void *d, const void *s, size_t n) {
  if (n >= 16) {
    if (n > 32)
      copy_head_tail<32>(d, s, n);
    else
      copy_head_tail<16>(d, s, n);
  } else if (n >= 8) {
    copy_head_tail<8>(d, s, n);
  } else if (n >= 4) {
    copy_head_tail<4>(d, s, n);
  } else if (n >= 2) {
    copy_head_tail<2>(d, s, n);
  } else if (n == 1) {
    *static_cast<unsigned char *>(d) = *static_cast<const unsigned char *>(s);
  }
}

// Fills n <= kSmallFill bytes the same way, all widths cut from one splatted 16-byte block.
__attribute__((always_inline)) inline void small_fill(void *d, int c, size_t n) {
  typedef unsigned char Splat __attribute__((vector_size(16)));
  Splat v = Splat{} + static_cast<unsigned char>(c);
  unsigned char *p = static_cast<unsigned char *>(d);
  if (n >= 16) {
    __builtin_memcpy(p, &v, 16);
    __builtin_memcpy(p + n - 16, &v, 16);
    if (n > 32) {
      __builtin_memcpy(p + 16, &v, 16);
      __builtin_memcpy(p + n - 32, &v, 16);
    }
  } else if (n >= 8) {
    __builtin_memcpy(p, &v, 8);
    __builtin_memcpy(p + n - 8, &v, 8);
  } else if (n >= 4) {
    __builtin_memcpy(p, &v, 4);
    __builtin_memcpy(p + n - 4, &v, 4);
  } else if (n >= 2) {
    __builtin_memcpy(p, &v, 2);
    __builtin_memcpy(p + n - 2, &v, 2);
  } else if (n == 1) {
    *p = static_cast<unsigned char>(c);
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

// Length of s counted up to max characters.
inline size_t bounded_length(const char *s, size_t max) { return strnlen(s, max); }

}  // namespace boundc
