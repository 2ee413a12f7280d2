// Bounded copies: memcpy_s and its entry variants, memmove_s.
#include "boundc/bound_internal.h"

namespace bsp::boundc {
namespace {

constexpr errno_t kProceed = -1;

// The checks memcpy_s and memmove_s share, in their order; kProceed when all pass.
errno_t check_copy_arguments(void *dest, size_t destMax, const void *src, size_t count) {
  if (!size_ok(destMax)) return ERANGE;
  if (dest == nullptr) return EINVAL;
  if (src == nullptr) {
    memset(dest, 0, destMax);
    return BOUND_INVALID_CLEARED;
  }
  if (count > destMax) {
    memset(dest, 0, destMax);
    return BOUND_RANGE_CLEARED;
  }
  return kProceed;
}

// Every check in order; reached when the fast path declines. Kept out of line, so that the
// fast path needs no stack frame.
__attribute__((noinline)) errno_t copy_checked(void *dest, size_t destMax, const void *src, size_t count) {
  if (errno_t rc = check_copy_arguments(dest, destMax, src, count); rc != kProceed) return rc;
  if (dest == src || count == 0) return BOUND_OK;
  if (ranges_meet(dest, src, count)) {
    memset(dest, 0, destMax);
    return BOUND_OVERLAP_CLEARED;
  }
  copy_bytes(dest, src, count);
  return BOUND_OK;
}

// The refusals of the fast path, each a branch that a valid call does not take; predicted,
// they cost less than one test computed from all of them. Disjoint ranges: each start lies at
// least count bytes past the other (modulo the address space), which needs no comparison of
// the addresses first. A copy onto itself fails the test and is left to the checked path (it
// copies nothing); a count of 0 passes and copies nothing.
__attribute__((always_inline)) inline bool copy_fits(void *dest, size_t destMax, const void *src, size_t count) {
  uintptr_t d = addr(dest), s = addr(src);
  return __builtin_expect(count <= destMax, 1) && __builtin_expect(d - s >= count, 1) &&
         __builtin_expect(s - d >= count, 1) && __builtin_expect(d != 0, 1) && __builtin_expect(s != 0, 1);
}

}  // namespace
}  // namespace bsp::boundc

using namespace bsp::boundc;

extern "C" {

BOUNDC_HOT errno_t memcpy_s(void *dest, size_t destMax, const void *src, size_t count) {
  if (__builtin_expect(size_ok(destMax), 1) && copy_fits(dest, destMax, src, count)) {
    copy_bytes(dest, src, count);
    return BOUND_OK;
  }
  return copy_checked(dest, destMax, src, count);
}

errno_t memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count) {
  return memcpy_s(dest, destMax, src, count);
}

// The trusted-caller entry: its fast path takes any non-zero destMax, but never a count
// whose sign bit is set (a negative length gone unsigned).
errno_t memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count) {
  if (__builtin_expect(destMax != 0, 1) && __builtin_expect(count <= kMaxSize, 1) &&
      copy_fits(dest, destMax, src, count)) {
    copy_bytes(dest, src, count);
    return BOUND_OK;
  }
  return copy_checked(dest, destMax, src, count);
}

errno_t memmove_s(void *dest, size_t destMax, const void *src, size_t count) {
  if (errno_t rc = check_copy_arguments(dest, destMax, src, count); rc != kProceed) return rc;
  if (dest != src && count != 0) memmove(dest, src, count);
  return BOUND_OK;
}

}  // extern "C"
