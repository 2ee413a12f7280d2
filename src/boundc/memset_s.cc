// Bounded fills: memset_s and its entry variants.
#include "boundc/bound_internal.h"

namespace bsp::boundc {
namespace {

// Every check in order; reached when the fast path declines. Kept out of line, so that the
// fast path needs no stack frame.
__attribute__((noinline)) errno_t fill_checked(void *dest, size_t destMax, int c, size_t count) {
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
}  // namespace bsp::boundc

using namespace bsp::boundc;

extern "C" {

BOUNDC_HOT errno_t memset_s(void *dest, size_t destMax, int c, size_t count) {
  // Each check a branch that a valid call does not take.
  if (__builtin_expect(size_ok(destMax), 1) && __builtin_expect(count <= destMax, 1) &&
      __builtin_expect(dest != nullptr, 1)) {
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
  if (__builtin_expect(destMax != 0, 1) && __builtin_expect(count <= kMaxSize, 1) &&
      __builtin_expect(count <= destMax, 1) && __builtin_expect(dest != nullptr, 1)) {
    fill_bytes(dest, c, count);
    return BOUND_OK;
  }
  return fill_checked(dest, destMax, c, count);
}

}  // extern "C"
