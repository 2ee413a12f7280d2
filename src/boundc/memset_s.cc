// Bounded fills: memset_s and its entry variants.
#include "boundc/bound_internal.h"

namespace boundc {
namespace {

errno_t fill_checked(void *dest, size_t destMax, int c, size_t count) {
  if (!size_ok(destMax)) return ERANGE;
  if (dest == nullptr) return EINVAL;
  if (count > destMax) {
    // The whole destination gets the requested byte, not zero.
    memset(dest, c, destMax);
    return BOUND_RANGE_CLEARED;
  }
  fill_bytes(dest, c, count);
  return BOUND_OK;
}

}  // namespace
}  // namespace boundc

using namespace boundc;

extern "C" {

errno_t memset_s(void *dest, size_t destMax, int c, size_t count) {
  // One branch for all three checks: the common call is short and valid.
  if (__builtin_expect(size_ok(destMax) & (dest != nullptr) & (count <= destMax), 1)) {
    fill_bytes(dest, c, count);
    return BOUND_OK;
  }
  return fill_checked(dest, destMax, c, count);
}

errno_t memset_sOptAsm(void *dest, size_t destMax, int c, size_t count) {
  return memset_s(dest, destMax, c, count);
}

// The trusted-caller entry: its fast path takes any non-zero destMax, but never a count
// whose sign bit is set (a negative length gone unsigned).
errno_t memset_sOptTc(void *dest, size_t destMax, int c, size_t count) {
  if (__builtin_expect(destMax != 0 && count <= kMaxSize && dest != nullptr && count <= destMax, 1)) {
    fill_bytes(dest, c, count);
    return BOUND_OK;
  }
  return fill_checked(dest, destMax, c, count);
}

}  // extern "C"
