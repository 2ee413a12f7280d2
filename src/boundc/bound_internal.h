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

// The hot entry points start a cache line of their own, so that their speed does not depend
// on what the linker happened to put before them.
#define BOUNDC_HOT __attribute__((aligned(64)))

// Whether [a, a+n) and [b, b+n) share a byte; computed without forming a+n, which may wrap.
inline bool ranges_meet(const void *a, const void *b, size_t n) {
  uintptr_t x = addr(a), y = addr(b);
  return (x > y ? x - y : y - x) < n;
}

typedef unsigned char Vec16 __attribute__((vector_size(16)));

// Unaligned moves of a block; by reference, so that no vector crosses a call boundary (on the
// 32-bit target, without SSE, that would change the calling convention).
template <typename T>
__attribute__((always_inline)) inline void load(T &v, const unsigned char *p) {
  __builtin_memcpy(&v, p, sizeof(T));
}

template <typename T>
__attribute__((always_inline)) inline void store(unsigned char *p, const T &v) {
  __builtin_memcpy(p, &v, sizeof(T));
}

// Head and tail blocks of type T; both loads precede the stores.
template <typename T>
__attribute__((always_inline)) inline void copy_head_tail(unsigned char *d, const unsigned char *s, size_t n) {
  T head, tail;
  load(head, s);
  load(tail, s + n - sizeof(T));
  store(d, head);
  store(d + n - sizeof(T), tail);
}

// Copies n < 16 bytes: the head and the tail of the range as two blocks of 8 or 4 bytes (they
// overlap when n is not a power of two), or the first, middle and last byte for 1 to 3.
__attribute__((always_inline)) inline void tiny_copy(unsigned char *dst, const unsigned char *src, size_t n) {
  if (n >= 8) {
    copy_head_tail<uint64_t>(dst, src, n);
  } else if (n >= 4) {
    copy_head_tail<uint32_t>(dst, src, n);
  } else if (n != 0) {
    unsigned char first = src[0], middle = src[n / 2], last = src[n - 1];
    dst[0] = first;
    dst[n / 2] = middle;
    dst[n - 1] = last;
  }
}

// Copies 16 <= n <= 64 bytes as 16-byte blocks from both ends, two or four of them.
__attribute__((always_inline)) inline void block_copy(unsigned char *dst, const unsigned char *src, size_t n) {
  if (n > 32) {
    Vec16 a, b, y, z;
    load(a, src);
    load(b, src + 16);
    load(y, src + n - 32);
    load(z, src + n - 16);
    store(dst, a);
    store(dst + 16, b);
    store(dst + n - 32, y);
    store(dst + n - 16, z);
  } else {
    copy_head_tail<Vec16>(dst, src, n);
  }
}

// Copies n <= kSmallCopy bytes in straight-line code. x86's unaligned moves cost nothing
// extra, so one scheme serves every alignment.
__attribute__((always_inline)) inline void small_copy(void *d, const void *s, size_t n) {
  const unsigned char *src = static_cast<const unsigned char *>(s);
  unsigned char *dst = static_cast<unsigned char *>(d);
  if (n < 16)
    tiny_copy(dst, src, n);
  else
    block_copy(dst, src, n);
}

// Fills n < 16 bytes the same way as tiny_copy.
__attribute__((always_inline)) inline void tiny_fill(unsigned char *p, unsigned char b, size_t n) {
  if (n >= 8) {
    uint64_t v = 0x0101010101010101ull * b;
    store(p, v);
    store(p + n - 8, v);
  } else if (n >= 4) {
    uint32_t v = 0x01010101u * b;
    store(p, v);
    store(p + n - 4, v);
  } else if (n >= 2) {
    uint16_t v = static_cast<uint16_t>(0x0101u * b);
    store(p, v);
    store(p + n - 2, v);
  } else if (n != 0) {
    p[0] = b;
  }
}

// Fills 16 <= n <= 64 bytes with 16-byte blocks from both ends.
__attribute__((always_inline)) inline void block_fill(unsigned char *p, unsigned char b, size_t n) {
  Vec16 v = Vec16{} + b;
  store(p, v);
  store(p + n - 16, v);
  if (n > 32) {
    store(p + 16, v);
    store(p + n - 32, v);
  }
}

__attribute__((always_inline)) inline void copy_bytes(void *d, const void *s, size_t n) {
  const unsigned char *src = static_cast<const unsigned char *>(s);
  unsigned char *dst = static_cast<unsigned char *>(d);
  if (n < 16) {
    tiny_copy(dst, src, n);
    return;
  }
  if (__builtin_expect(n <= kSmallCopy, 1)) {
    block_copy(dst, src, n);
    return;
  }
  memcpy(d, s, n);
}

// Sanitizer builds keep the library's memset for long fills, where the sanitizer sees it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BOUNDC_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BOUNDC_ASAN 1
#endif

inline constexpr size_t kStringFill = 2048;

// Fills of kStringFill bytes and more with the processor's string store, started at a
// 64-byte boundary after a 64-byte head: the C library takes the same instruction from this
// size on, but from wherever the destination begins, and the second call costs more than the
// rest of the bounded function.
__attribute__((always_inline)) inline void string_fill(unsigned char *p, int c, size_t n) {
#if (defined(__x86_64__) || defined(__i386__)) && !defined(BOUNDC_ASAN)
  Vec16 v = Vec16{} + static_cast<unsigned char>(c);
  store(p, v);
  store(p + 16, v);
  store(p + 32, v);
  store(p + 48, v);
  unsigned char *at = reinterpret_cast<unsigned char *>((addr(p) + 64) & ~static_cast<uintptr_t>(63));
  size_t rest = static_cast<size_t>(p + n - at);
  asm volatile("rep stosb" : "+D"(at), "+c"(rest) : "a"(c) : "memory");
#else
  memset(p, c, n);
#endif
}

__attribute__((always_inline)) inline void fill_bytes(void *d, int c, size_t n) {
  unsigned char *p = static_cast<unsigned char *>(d);
  unsigned char b = static_cast<unsigned char>(c);
  if (n < 16)
    tiny_fill(p, b, n);
  else if (__builtin_expect(n <= kSmallFill, 1))
    block_fill(p, b, n);
  else if (n >= kStringFill)
    string_fill(p, c, n);
  else
    memset(d, c, n);
}

// Length of s counted up to max characters.
inline size_t bounded_length(const char *s, size_t max) { return strnlen(s, max); }

}  // namespace bsp::boundc
