// Bounded concatenations: strcat_s and strncat_s share one check sequence.
#include "boundc/bound_internal.h"

using namespace bsp::boundc;

namespace {

// Length of s up to max: the first characters one by one (appended texts are mostly short),
// then a bounded scan.
size_t source_length(const char *s, size_t max) {
  size_t i = 0;
  for (; i < 8 && i < max; ++i)
    if (s[i] == '\0') return i;
  return i + bounded_length(s + i, max - i);
}

// strcat_s passes no count (limit_by_count false): the source is measured against the room left.
errno_t append(char *strDest, size_t destMax, const char *strSrc, size_t count, bool limit_by_count) {
  if (!size_ok(destMax)) return ERANGE;
  if (strDest == nullptr) return EINVAL;
  if (strSrc == nullptr) {
    strDest[0] = '\0';
    return BOUND_INVALID_CLEARED;
  }
  if (limit_by_count && count > kMaxSize) {
    strDest[0] = '\0';
    return BOUND_RANGE_CLEARED;
  }
  size_t d = bounded_length(strDest, destMax);
  size_t s = source_length(strSrc, limit_by_count ? count : destMax - d);
  uintptr_t dp = addr(strDest), sp = addr(strSrc);
  // dp + d + s and sp + s stay far below the top of the address space for real strings.
  if ((dp < sp && dp + d + s >= sp) || (sp < dp && sp + s >= dp)) {
    strDest[0] = '\0';
    return (sp >= dp + d && d == destMax) ? BOUND_INVALID_CLEARED : BOUND_OVERLAP_CLEARED;
  }
  if (d + s >= destMax || dp == sp) {
    strDest[0] = '\0';
    return d == destMax ? BOUND_INVALID_CLEARED : BOUND_RANGE_CLEARED;
  }
  memcpy(strDest + d, strSrc, s);
  strDest[d + s] = '\0';
  return BOUND_OK;
}

}  // namespace

extern "C" {

errno_t strcat_s(char *strDest, size_t destMax, const char *strSrc) {
  return append(strDest, destMax, strSrc, 0, false);
}

errno_t strncat_s(char *strDest, size_t destMax, const char *strSrc, size_t count) {
  return append(strDest, destMax, strSrc, count, true);
}

}  // extern "C"
