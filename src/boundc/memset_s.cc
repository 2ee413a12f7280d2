// Bounded fills: memset_s and its entry variants.
#include "boundc/bound_internal.h"

namespace bsp::boundc {
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

__attribute__((always_inline)) inline errno_t fill(void *dest, size_t destMax, int c, size_t count) {
  // One branch for all three checks: the common call is short and valid.
  if (__builtin_expect(size_ok(destMax) & (dest != nullptr) & (count <= destMax), 1)) {
    fill_bytes(dest, c, count);
    return BOUND_OK;
  }
  return fill_checked(dest, destMax, c, count);
}

}  // namespace

errno_t fill_plain(void *dest, size_t destMax, int c, size_t count) { return fill(dest, destMax, c, count); }

BOUNDC_WIDE errno_t fill_wide(void *dest, size_t destMax, int c, size_t count) {
  return fill(dest, destMax, c, count);
}

}  // namespace bsp::boundc

using namespace bsp::boundc;

extern "C" {

using FillEntry = errno_t (*)(void *, size_t, int, size_t);
// Hidden but with C linkage: the ifunc attribute names the resolver by its symbol.
BOUNDC_RESOLVER FillEntry resolve_memset_s() { return wide_moves() ? fill_wide : fill_plain; }

errno_t memset_s(void *dest, size_t destMax, int c, size_t count) __attribute__((ifunc("resolve_memset_s")));

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
