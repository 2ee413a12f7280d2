#include "storage/fdy_inspect.h"

#include <bsp/flash.h>

#include <algorithm>
#include <memory>

#include "storage/fdy_area.h"

namespace bsp::storage::fdy {
namespace {

bool all_zero(const uint8_t *p, uint64_t n) {
  return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

// The data area read in pieces, under the session's locks.
bool data_zero(const Geometry &g) {
  constexpr uint32_t kChunk = 0x10000;
  std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk]);
  for (uint64_t at = g.data_start(); at < g.end(); at += kChunk) {
    const uint64_t n = std::min<uint64_t>(kChunk, g.end() - at);
    if (FLASH_ReadFlash(at, chunk.get(), n) != 0 || !all_zero(chunk.get(), n)) return false;
  }
  return true;
}

}  // namespace

AreaInspection inspect_area() {
  AreaInspection r;
  Session s(Session::Access::Read);
  if (!s.ok()) return r;
  r.locked = true;
  Head &h = s.head();
  r.readable = h.readable();
  if (!r.readable) return r;
  r.magic_ok = h.magic_ok();
  r.consistent = check_head(h) == 0;
  r.keeps_first = !r.consistent && keeps_first(h);
  const uint32_t n = h.in_use();
  r.files.reserve(n);
  for (uint32_t k = 0; k < n; ++k) r.files.push_back(h.desc(k));
  r.zero = !r.magic_ok && all_zero(h.bytes(), kHeadSize) && data_zero(h.geometry());
  // Zero entries are no files: nothing was ever saved there.
  if (r.zero) r.files.clear();
  return r;
}

}  // namespace bsp::storage::fdy
