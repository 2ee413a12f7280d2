// Bounded string copies: strcpy_s, strncpy_s and their full-check paths.
#include "boundc/bound_internal.h"

using namespace bsp::boundc;

namespace {

inline void copy_string(char *d, const char *s, size_t n) {
  if (n <= kSmallString)
    small_copy(d, s, n);
  else
    memcpy(d, s, n);
}

}  // namespace

extern "C" {

// Every check of strcpy_s in order; strcpy_s comes here whenever its fast path declines.
errno_t strcpy_error(char *strDest, size_t destMax, const char *strSrc) {
  if (!size_ok(destMax)) return ERANGE;
  if (strDest == nullptr) return EINVAL;
  if (strSrc == nullptr) {
    strDest[0] = '\0';
    return BOUND_INVALID_CLEARED;
  }
  size_t len = bounded_length(strSrc, destMax);
  if (len >= destMax) {
    strDest[0] = '\0';
    return BOUND_RANGE_CLEARED;
  }
  if (strDest == strSrc) return BOUND_OK;
  if (ranges_meet(strDest, strSrc, len + 1)) {
    strDest[0] = '\0';
    return BOUND_OVERLAP_CLEARED;
  }
  copy_string(strDest, strSrc, len + 1);
  return BOUND_OK;
}

errno_t strcpy_s(char *strDest, size_t destMax, const char *strSrc) {
  if (__builtin_expect(size_ok(destMax) && strDest != nullptr && strSrc != nullptr && strDest != strSrc, 1)) {
    size_t len = bounded_length(strSrc, destMax);
    if (__builtin_expect(len < destMax && !ranges_meet(strDest, strSrc, len + 1), 1)) {
      copy_string(strDest, strSrc, len + 1);
      return BOUND_OK;
    }
  }
  return strcpy_error(strDest, destMax, strSrc);
}

// Every check of strncpy_s in order; strncpy_s comes here whenever its fast path declines.
errno_t strncpy_error(char *strDest, size_t destMax, const char *strSrc, size_t count) {
  if (!size_ok(destMax)) return ERANGE;
  if (strDest == nullptr) return EINVAL;
  if (strSrc == nullptr) {
    strDest[0] = '\0';
    return BOUND_INVALID_CLEARED;
  }
  if (count > kMaxSize) {
    strDest[0] = '\0';
    return BOUND_RANGE_CLEARED;
  }
  if (count == 0) {
    strDest[0] = '\0';
    return BOUND_OK;
  }
  size_t n;
  if (count < destMax) {
    n = bounded_length(strSrc, count);
  } else {
    n = bounded_length(strSrc, destMax);
    if (n == destMax) {
      strDest[0] = '\0';
      return BOUND_RANGE_CLEARED;
    }
  }
  uintptr_t d = addr(strDest), s = addr(strSrc);
  if (d == s || (s < d && d - s > n) || (d < s && s - d > n)) {
    if (d != s) memcpy(strDest, strSrc, n);
    strDest[n] = '\0';
    return BOUND_OK;
  }
  strDest[0] = '\0';
  return BOUND_OVERLAP_CLEARED;
}

errno_t strncpy_s(char *strDest, size_t destMax, const char *strSrc, size_t count) {
  if (__builtin_expect(size_ok(destMax) && strDest != nullptr && strSrc != nullptr && count != 0 &&
                           count < destMax && strDest != strSrc, 1)) {
    size_t n = bounded_length(strSrc, count);
    uintptr_t d = addr(strDest), s = addr(strSrc);
    if (__builtin_expect((s < d && d - s > n) || (d < s && s - d > n), 1)) {
      copy_string(strDest, strSrc, n);
      strDest[n] = '\0';
      return BOUND_OK;
    }
  }
  return strncpy_error(strDest, destMax, strSrc, count);
}

}  // extern "C"
