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

// Every check in order; reached when the fast path declines.
errno_t copy_checked(void *dest, size_t destMax, const void *src, size_t count) {
  if (errno_t rc = check_copy_arguments(dest, destMax, src, count); rc != kProceed) return rc;
  if (dest == src || count == 0) return BOUND_OK;
  if (ranges_meet(dest, src, count)) {
    memset(dest, 0, destMax);
    return BOUND_OVERLAP_CLEARED;
  }
  copy_bytes(dest, src, count);
  return BOUND_OK;
}

inline bool copy_fits(void *dest, size_t destMax, const void *src, size_t count) {
  return dest != nullptr && src != nullptr && count <= destMax && !ranges_meet(dest, src, count);
}

__attribute__((always_inline)) inline errno_t copy(void *dest, size_t destMax, const void *src, size_t count) {
  if (__builtin_expect(size_ok(destMax) && copy_fits(dest, destMax, src, count), 1)) {
    copy_bytes(dest, src, count);
    return BOUND_OK;
  }
  return copy_checked(dest, destMax, src, count);
}

}  // namespace

errno_t copy_plain(void *dest, size_t destMax, const void *src, size_t count) {
  return copy(dest, destMax, src, count);
}

BOUNDC_WIDE errno_t copy_wide(void *dest, size_t destMax, const void *src, size_t count) {
  return copy(dest, destMax, src, count);
}

}  // namespace bsp::boundc

using namespace bsp::boundc;

extern "C" {

using CopyEntry = errno_t (*)(void *, size_t, const void *, size_t);
// Hidden but with C linkage: the ifunc attribute names the resolver by its symbol.
BOUNDC_RESOLVER CopyEntry resolve_memcpy_s() { return wide_moves() ? copy_wide : copy_plain; }

errno_t memcpy_s(void *dest, size_t destMax, const void *src, size_t count) __attribute__((ifunc("resolve_memcpy_s")));

errno_t memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count) {
  return memcpy_s(dest, destMax, src, count);
}

// The trusted-caller entry: its fast path takes any non-zero destMax, but never a count
// whose sign bit is set (a negative length gone unsigned).
errno_t memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count) {
  if (__builtin_expect(destMax != 0 && count <= kMaxSize && copy_fits(dest, destMax, src, count), 1)) {
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
