// Flash-dynamic area: allocations, resizing and moving the files behind a resized one.
//
// A move never leaves the table pointing at data it has overwritten while room allows: data go
// to space no entry references, then one write of the entries makes them visible. When the
// destination overlaps the files' old place, they first go to the free space behind the last
// file (the resized file's allocation covering the gap meanwhile), then to their place. Without
// room for that, files are moved one at a time, each handed over by its own entry write, so
// only a file moved by less than its own length is ever overwritten while still referenced.
#include <bsp/flash.h>
#include <string.h>

#include "storage/fdy_area.h"
#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;

namespace bsp::storage::fdy {
namespace {

uint64_t round_up(uint64_t v) { return (v + kBlock - 1) / kBlock * kBlock; }

// A heap block freed on every path.
class Buffer {
 public:
  explicit Buffer(uint64_t size)
      : p_(size == 0 || size > UINT32_MAX ? nullptr : static_cast<uint8_t *>(flavor::mem_alloc(size))) {}
  ~Buffer() { flavor::mem_free(p_); }
  Buffer(const Buffer &) = delete;
  Buffer &operator=(const Buffer &) = delete;
  uint8_t *get() const { return p_; }

 private:
  uint8_t *p_;
};

uint32_t write_data(uint64_t at, const uint8_t *data, uint64_t len) {
  if (len == 0) return 0;
  return FLASH_WriteFlash(at, data, len) == 0 ? 0 : 1;
}

// Entries k..last lie back to back inside the data area.
bool chained(const Head &h, uint32_t k, uint32_t last) {
  const Geometry &g = h.geometry();
  for (uint32_t j = k; j <= last; ++j) {
    FDY_FILE_DESCR_S e = h.desc(j);
    if (!g.in_data(e.u32Offset, e.u32AllocLen)) return false;
    if (j < last && h.desc(j + 1).u32Offset != uint64_t{e.u32Offset} + e.u32AllocLen) return false;
  }
  return true;
}

struct Block {
  uint32_t owner;       // the resized entry
  uint32_t last;        // last entry in use
  uint64_t source;      // where the files behind the owner start now
  uint64_t span;        // their allocations together
  const uint8_t *data;  // their bytes
  FDY_FILE_DESCR_S *was;  // their entries before the move, indexed from owner
};

// Points the owner's successors at `at` (their order and spacing kept) and writes them with the
// owner, whose allocation becomes owner_alloc.
uint32_t hand_over(Head &h, const Block &b, uint64_t at, uint64_t owner_alloc) {
  FDY_FILE_DESCR_S owner = h.desc(b.owner);
  owner.u32AllocLen = static_cast<uint32_t>(owner_alloc);
  h.set(b.owner, owner);
  for (uint32_t j = b.owner + 1; j <= b.last; ++j) {
    FDY_FILE_DESCR_S e = b.was[j - b.owner];
    e.u32Offset = static_cast<uint32_t>(at + (e.u32Offset - b.source));
    h.set(j, e);
  }
  return h.write(b.owner, b.last);
}

// One file at a time, from the far end when the files go up and from the near end when they
// go down; each step writes one file and then the two entries that hand it over.
uint32_t move_one_by_one(Head &h, const Block &b, uint64_t new_alloc) {
  auto was = [&b](uint32_t j) -> const FDY_FILE_DESCR_S & { return b.was[j - b.owner]; };
  const uint64_t old_alloc = was(b.owner).u32AllocLen;
  if (new_alloc > old_alloc) {
    const uint64_t d = new_alloc - old_alloc;
    for (uint32_t j = b.last; j > b.owner; --j) {
      const FDY_FILE_DESCR_S &e = was(j);
      if (write_data(e.u32Offset + d, b.data + (e.u32Offset - b.source), e.u32AllocLen) != 0) return 1;
      FDY_FILE_DESCR_S before = h.desc(j - 1), moved = e;
      before.u32AllocLen = static_cast<uint32_t>(j - 1 == b.owner ? new_alloc : was(j - 1).u32AllocLen + d);
      moved.u32Offset = static_cast<uint32_t>(e.u32Offset + d);
      h.set(j - 1, before);
      h.set(j, moved);
      if (h.write(j - 1, j) != 0) return 1;
    }
    return 0;
  }
  const uint64_t d = old_alloc - new_alloc;
  for (uint32_t j = b.owner + 1; j <= b.last; ++j) {
    const FDY_FILE_DESCR_S &e = was(j);
    // Content no longer than the step lands wholly below its old place: copy no further.
    const uint64_t count = e.u32FileLen <= d && e.u32AllocLen > d ? d : e.u32AllocLen;
    if (write_data(e.u32Offset - d, b.data + (e.u32Offset - b.source), count) != 0) return 1;
    FDY_FILE_DESCR_S before = h.desc(j - 1), moved = e;
    before.u32AllocLen = static_cast<uint32_t>(j - 1 == b.owner ? new_alloc : was(j - 1).u32AllocLen);
    moved.u32Offset = static_cast<uint32_t>(e.u32Offset - d);
    moved.u32AllocLen = static_cast<uint32_t>(j == b.last ? e.u32AllocLen : e.u32AllocLen + d);
    h.set(j - 1, before);
    h.set(j, moved);
    if (h.write(j - 1, j) != 0) return 1;
  }
  return 0;
}

}  // namespace

uint32_t alloc_size(uint32_t file_size, uint32_t free_size) {
  if (file_size > free_size || free_size <= kBlock - 1) {
    trace(__LINE__);
    return 0;
  }
  // The slack product is 32-bit, as stored allocations have always been computed.
  uint64_t a = file_size <= kBlock ? kBlock : round_up(static_cast<uint32_t>(file_size * 120u) / 100u);
  if (a > free_size) {
    a = round_up(file_size);
    if (a > free_size) a = free_size;
  }
  return static_cast<uint32_t>(a);
}

Resize plan_resize(const Head &h, uint32_t k, uint32_t new_len) {
  const Geometry &g = h.geometry();
  const FDY_FILE_DESCR_S stored = h.desc(k);
  if (!g.in_data(stored.u32Offset, stored.u32AllocLen)) return {};
  if (new_len <= stored.u32AllocLen && new_len >= stored.u32AllocLen * 80u / 100u) {
    return {Resize::Kind::Keep, stored.u32AllocLen};
  }
  const uint32_t n = h.in_use();
  if (k >= n) return {};
  const FDY_FILE_DESCR_S last = h.desc(n - 1);
  if (!g.in_data(last.u32Offset, last.u32AllocLen)) return {};
  const uint64_t end = uint64_t{last.u32Offset} + last.u32AllocLen;
  if (end < uint64_t{stored.u32Offset} + stored.u32AllocLen) return {};
  // The file's own allocation and the free tail of the data area.
  const uint64_t free_size = g.end() - end + stored.u32AllocLen;
  const uint32_t a = alloc_size(new_len, free_size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(free_size));
  if (a == 0 || a < new_len) return {};  // never an allocation the content overflows
  if (k == n - 1 || a == stored.u32AllocLen) return {Resize::Kind::InPlace, a};
  return {Resize::Kind::Move, a};
}

uint32_t move_behind(Head &h, uint32_t k, uint32_t new_alloc) {
  const Geometry &g = h.geometry();
  const uint32_t n = h.in_use();
  if (k + 1 >= n || !chained(h, k, n - 1)) return 1;
  const uint32_t last = n - 1;
  const FDY_FILE_DESCR_S owner = h.desc(k), tail = h.desc(last);
  const uint64_t source = uint64_t{owner.u32Offset} + owner.u32AllocLen;
  const uint64_t end = uint64_t{tail.u32Offset} + tail.u32AllocLen;
  const uint64_t span = end - source;
  const uint64_t dest = uint64_t{owner.u32Offset} + new_alloc;
  if (!g.in_data(dest, span)) return 1;

  Buffer entries(uint64_t{last - k + 1} * sizeof(FDY_FILE_DESCR_S));
  Buffer data(span);
  if (entries.get() == nullptr || (span != 0 && data.get() == nullptr)) return 1;
  auto *was = reinterpret_cast<FDY_FILE_DESCR_S *>(entries.get());
  for (uint32_t j = k; j <= last; ++j) was[j - k] = h.desc(j);
  if (span != 0 && FLASH_ReadFlash(source, data.get(), span) != 0) return 1;
  const Block block{k, last, source, span, data.get(), was};

  if (dest >= end || dest + span <= source) {  // the new place does not touch the old one
    if (write_data(dest, data.get(), span) != 0) return 1;
    return hand_over(h, block, dest, new_alloc);
  }
  const uint64_t detour = dest + span > end ? dest + span : end;
  if (g.in_data(detour, span)) {
    if (write_data(detour, data.get(), span) != 0 || hand_over(h, block, detour, detour - owner.u32Offset) != 0 ||
        write_data(dest, data.get(), span) != 0) {
      return 1;
    }
    return hand_over(h, block, dest, new_alloc);
  }
  return move_one_by_one(h, block, new_alloc);
}

}  // namespace bsp::storage::fdy

namespace fdy = bsp::storage::fdy;
using fdy::Head;
using fdy::Session;

extern "C" {

BSP_API uint64_t FDY_FindDescByFileId(unsigned int u32FileId) {
  if (fdy::g_ulFDYInitOK == 0) return 0;
  Session s(Session::Access::Read);
  uint32_t k;
  if (!s.ok() || !s.head().find(u32FileId, &k)) return 0;
  return s.head().geometry().entry_offset(k);
}

BSP_API uint64_t FDY_FindFreeDesc(FDY_FILE_DESCR_S *pDesc) {
  if (pDesc == nullptr || fdy::g_ulFDYInitOK == 0) return 0;
  Session s(Session::Access::Read);
  if (!s.ok()) return 0;
  Head &h = s.head();
  if (!h.readable()) fdy::trace(__LINE__);
  const uint32_t n = h.in_use();
  if (!h.readable() || n >= fdy::kDescCount) return 0;
  const uint64_t offset = h.running_offset(n);
  if (offset > UINT32_MAX) return 0;
  fdy::fill(pDesc, sizeof *pDesc, 0, __LINE__);
  pDesc->u32Offset = static_cast<uint32_t>(offset);
  return h.geometry().entry_offset(n);
}

BSP_API unsigned int FDY_CalcAllocSize(unsigned int u32FileSize, unsigned int u32FreeSize) {
  return fdy::alloc_size(u32FileSize, u32FreeSize);
}

BSP_API uint64_t FDY_AllocFileSpace(FDY_FILE_DESCR_S *pDesc, uint64_t u64OrigDescOffset) {
  if (pDesc == nullptr) return 0;
  if (u64OrigDescOffset != 0) return FDY_ZoomFileSpace(pDesc, u64OrigDescOffset);
  // The free entry is cleared on the way; its allocation is sized for the length asked for.
  const uint32_t len = pDesc->u32FileLen;
  const uint64_t entry = FDY_FindFreeDesc(pDesc);
  if (entry == 0) return 0;
  pDesc->u32FileLen = len;
  const uint64_t end = fdy::geometry().end();
  const uint64_t free_size = pDesc->u32Offset < end ? end - pDesc->u32Offset : 0;
  pDesc->u32AllocLen = fdy::alloc_size(len, free_size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(free_size));
  return pDesc->u32AllocLen != 0 && pDesc->u32AllocLen >= len ? entry : 0;
}

BSP_API uint64_t FDY_ZoomFileSpace(FDY_FILE_DESCR_S *pDesc, uint64_t u64OrigDescOffset) {
  if (pDesc == nullptr || fdy::g_ulFDYInitOK == 0) return 0;
  Session s(Session::Access::Write);
  if (!s.ok()) return 0;
  Head &h = s.head();
  uint32_t k;
  if (!h.readable() || !h.geometry().index_of(u64OrigDescOffset, &k) || k >= h.in_use()) return 0;
  const FDY_FILE_DESCR_S stored = h.desc(k);
  const fdy::Resize r = fdy::plan_resize(h, k, pDesc->u32FileLen);
  if (r.kind == fdy::Resize::Kind::Fail) return 0;
  pDesc->u32Offset = stored.u32Offset;
  pDesc->u32AllocLen = r.alloc;
  if (r.kind == fdy::Resize::Kind::Move && fdy::move_behind(h, k, r.alloc) != 0) return 0;
  return u64OrigDescOffset;
}

BSP_API uint32_t FDY_MoveFileSpace(uint64_t u64StartDescOffset, uint64_t u64EndDescOffset,
                                   uint64_t u64NewFileOffset) {
  if (fdy::g_ulFDYInitOK == 0) return 1;
  Session s(Session::Access::Write);
  if (!s.ok()) return 1;
  Head &h = s.head();
  const fdy::Geometry &g = h.geometry();
  uint32_t first, last;
  if (!h.readable() || !g.index_of(u64StartDescOffset, &first) || !g.index_of(u64EndDescOffset, &last) ||
      first > last) {
    return 1;
  }
  const FDY_FILE_DESCR_S head = h.desc(first), tail = h.desc(last);
  const uint64_t from = head.u32Offset, to = uint64_t{tail.u32Offset} + tail.u32AllocLen;
  if (to <= from || !g.in_data(from, to - from) || !g.in_data(u64NewFileOffset, to - from)) return 1;
  // Every shifted offset must stay in the data area; checked before anything is written.
  for (uint32_t j = first; j <= last; ++j) {
    const uint64_t at = u64NewFileOffset + (uint64_t{h.desc(j).u32Offset} - from);
    if (h.desc(j).u32Offset < from || !g.in_data(at, 0) || at > UINT32_MAX) return 1;
  }
  fdy::Buffer data(to - from);
  if (data.get() == nullptr || FLASH_ReadFlash(from, data.get(), to - from) != 0 ||
      FLASH_WriteFlash(u64NewFileOffset, data.get(), to - from) != 0) {
    return 1;
  }
  for (uint32_t j = first; j <= last; ++j) {
    FDY_FILE_DESCR_S e = h.desc(j);
    e.u32Offset = static_cast<uint32_t>(u64NewFileOffset + (e.u32Offset - from));
    h.set(j, e);
  }
  return h.write(first, last);
}

}  // extern "C"
