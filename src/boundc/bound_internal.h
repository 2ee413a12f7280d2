// Shared checks and small-size paths of the bounded memory and string functions.
#pragma once

#include <bsp/boundc.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace boundc {

inline constexpr size_t kMaxSize = 0x7FFFFFFF;
inline constexpr size_t kSmallCopy = 64;  // largest copy done by straight-line code
inline constexpr size_t kSmallFill = 32;  // largest fill done by straight-line code
inline constexpr size_t kSmallString = 32;

// A destination size is usable when it is 1..kMaxSize.
inline bool size_ok(size_t n) { return n - 1 < kMaxSize; }

inline uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// Whether [a, a+n) and [b, b+n) share a byte; computed without forming a+n, which may wrap.
inline bool ranges_meet(const void *a, const void *b, size_t n) {
  uintptr_t x = addr(a), y = addr(b);
  return (x > y ? x - y : y - x) < n;
}

#define BOUNDC_CASE(n) \
  case n:              \
    __builtin_memcpy(d, s, n); \
    return;

// Copies n <= kSmallCopy bytes with code picked by the exact size. The unaligned moves of x86
// cost nothing extra, so one scheme serves every alignment.
inline void small_copy(void *d, const void *s, size_t n) {
  switch (n) {
    BOUNDC_CASE(1) BOUNDC_CASE(2) BOUNDC_CASE(3) BOUNDC_CASE(4) BOUNDC_CASE(5) BOUNDC_CASE(6)
    BOUNDC_CASE(7) BOUNDC_CASE(8) BOUNDC_CASE(9) BOUNDC_CASE(10) BOUNDC_CASE(11) BOUNDC_CASE(12)
    BOUNDC_CASE(13) BOUNDC_CASE(14) BOUNDC_CASE(15) BOUNDC_CASE(16) BOUNDC_CASE(17)
    BOUNDC_CASE(18) BOUNDC_CASE(19) BOUNDC_CASE(20) BOUNDC_CASE(21) BOUNDC_CASE(22)
    BOUNDC_CASE(23) BOUNDC_CASE(24) BOUNDC_CASE(25) BOUNDC_CASE(26) BOUNDC_CASE(27)
    BOUNDC_CASE(28) BOUNDC_CASE(29) BOUNDC_CASE(30) BOUNDC_CASE(31) BOUNDC_CASE(32)
    BOUNDC_CASE(33) BOUNDC_CASE(34) BOUNDC_CASE(35) BOUNDC_CASE(36) BOUNDC_CASE(37)
    BOUNDC_CASE(38) BOUNDC_CASE(39) BOUNDC_CASE(40) BOUNDC_CASE(41) BOUNDC_CASE(42)
    BOUNDC_CASE(43) BOUNDC_CASE(44) BOUNDC_CASE(45) BOUNDC_CASE(46) BOUNDC_CASE(47)
    BOUNDC_CASE(48) BOUNDC_CASE(49) BOUNDC_CASE(50) BOUNDC_CASE(51) BOUNDC_CASE(52)
    BOUNDC_CASE(53) BOUNDC_CASE(54) BOUNDC_CASE(55) BOUNDC_CASE(56) BOUNDC_CASE(57)
    BOUNDC_CASE(58) BOUNDC_CASE(59) BOUNDC_CASE(60) BOUNDC_CASE(61) BOUNDC_CASE(62)
    BOUNDC_CASE(63) BOUNDC_CASE(64)
    default:
      return;
  }
}
#undef BOUNDC_CASE

#define BOUNDC_CASE(n) \
  case n:              \
    __builtin_memset(d, c, n); \
    return;

// Fills n <= kSmallFill bytes with code picked by the exact size.
inline void small_fill(void *d, int c, size_t n) {
  switch (n) {
    BOUNDC_CASE(1) BOUNDC_CASE(2) BOUNDC_CASE(3) BOUNDC_CASE(4) BOUNDC_CASE(5) BOUNDC_CASE(6)
    BOUNDC_CASE(7) BOUNDC_CASE(8) BOUNDC_CASE(9) BOUNDC_CASE(10) BOUNDC_CASE(11) BOUNDC_CASE(12)
    BOUNDC_CASE(13) BOUNDC_CASE(14) BOUNDC_CASE(15) BOUNDC_CASE(16) BOUNDC_CASE(17)
    BOUNDC_CASE(18) BOUNDC_CASE(19) BOUNDC_CASE(20) BOUNDC_CASE(21) BOUNDC_CASE(22)
    BOUNDC_CASE(23) BOUNDC_CASE(24) BOUNDC_CASE(25) BOUNDC_CASE(26) BOUNDC_CASE(27)
    BOUNDC_CASE(28) BOUNDC_CASE(29) BOUNDC_CASE(30) BOUNDC_CASE(31) BOUNDC_CASE(32)
    default:
      return;
  }
}
#undef BOUNDC_CASE

inline void copy_bytes(void *d, const void *s, size_t n) {
  if (n <= kSmallCopy)
    small_copy(d, s, n);
  else
    memcpy(d, s, n);
}

inline void fill_bytes(void *d, int c, size_t n) {
  if (n <= kSmallFill)
    small_fill(d, c, n);
  else
    memset(d, c, n);
}

// Length of s counted up to max characters.
inline size_t bounded_length(const char *s, size_t max) { return strnlen(s, max); }

}  // namespace boundc
