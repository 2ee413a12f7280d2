// Flash-dynamic area: saving, loading and renaming files by identifier.
//
// A cut of power between any two flash writes leaves a table the start-up check accepts and
// every file but the one being saved whole: a new file's data go behind the last allocation
// before the entry that makes them visible; a file that grows has the files behind it moved
// before its data are written; a file that shrinks is written in its old allocation first and
// only then gives the space back.
#include <bsp/flash.h>

#include "storage/fdy_area.h"

namespace fdy = bsp::storage::fdy;
using fdy::Head;
using fdy::kErased;
using fdy::Session;

namespace {

uint32_t write_content(Head &h, uint32_t k, uint32_t id, const void *data, uint32_t len, uint32_t alloc) {
  FDY_FILE_DESCR_S e = h.desc(k);
  if (FLASH_WriteFlash(e.u32Offset, data, len) != 0) return 1;
  e.u32FileID = id;
  e.u32FileLen = len;
  e.u32AllocLen = alloc;
  e.u32Status = 0;
  h.set(k, e);
  return h.write(k, k);
}

uint32_t rewrite(Head &h, uint32_t k, uint32_t id, const void *data, uint32_t len) {
  const fdy::Resize r = fdy::plan_resize(h, k, len);
  const uint32_t old_alloc = h.desc(k).u32AllocLen;
  switch (r.kind) {
    case fdy::Resize::Kind::Fail:
      return 1;
    case fdy::Resize::Kind::Keep:
    case fdy::Resize::Kind::InPlace:
      return write_content(h, k, id, data, len, r.alloc);
    case fdy::Resize::Kind::Move:
      break;
  }
  if (r.alloc > old_alloc) {
    if (fdy::move_behind(h, k, r.alloc) != 0) return 1;
    return write_content(h, k, id, data, len, r.alloc);
  }
  if (write_content(h, k, id, data, len, old_alloc) != 0) return 1;
  return fdy::move_behind(h, k, r.alloc);
}

uint32_t create(Head &h, uint32_t id, const void *data, uint32_t len) {
  const fdy::Geometry &g = h.geometry();
  if (!h.readable()) fdy::trace(__LINE__);
  const uint32_t n = h.in_use();
  if (!h.readable() || n >= fdy::kDescCount) return 1;
  const uint64_t offset = h.running_offset(n);
  if (offset > UINT32_MAX) return 1;
  const uint64_t free_size = offset < g.end() ? g.end() - offset : 0;
  const uint32_t alloc = fdy::alloc_size(len, free_size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(free_size));
  if (alloc == 0 || alloc < len) return 1;
  if (FLASH_WriteFlash(offset, data, len) != 0) return 1;
  h.set(n, {id, static_cast<uint32_t>(offset), len, alloc, 0, 0});
  // Whatever lies behind the end of the table must not become part of it.
  uint32_t last = n;
  if (n + 1 < fdy::kDescCount && h.desc(n + 1).u32Status != kErased) {
    h.set(n + 1, {kErased, kErased, kErased, kErased, kErased, kErased});
    last = n + 1;
  }
  return h.write(n, last);
}

// The stored entry of a file, for the reading operations.
bool stored_file(Head &h, uint32_t id, FDY_FILE_DESCR_S *e) {
  uint32_t k;
  if (id == kErased || !h.find(id, &k)) return false;  // an erased entry is no file
  *e = h.desc(k);
  return true;
}

}  // namespace

extern "C" {

BSP_API uint32_t FDY_SaveFileByFileId(unsigned int u32FileId, void *pFile, unsigned int u32FileLen,
                                      unsigned int u32Mode) {
  if (fdy::g_ulFDYInitOK == 0 || pFile == nullptr) return 1;
  // Refused before anything moves: an empty file, the erased identifier, and mode 2.
  if (u32FileLen == 0 || u32FileId == kErased || u32Mode == 2) return 1;
  Session s(Session::Access::Write);
  if (!s.ok()) return 1;
  Head &h = s.head();
  uint32_t k;
  if (h.find(u32FileId, &k)) return rewrite(h, k, u32FileId, pFile, u32FileLen);
  if (u32Mode != 1) return 1;
  return create(h, u32FileId, pFile, u32FileLen);
}

BSP_API uint32_t FDY_LoadFileByFileId(unsigned int u32FileId, void *pOutBuffer, unsigned int u32BufLen) {
  if (fdy::g_ulFDYInitOK == 0 || pOutBuffer == nullptr) return 0;
  Session s(Session::Access::Read);
  FDY_FILE_DESCR_S e;
  if (!s.ok() || !stored_file(s.head(), u32FileId, &e) || u32BufLen < e.u32FileLen) return 0;
  if (!s.head().geometry().in_data(e.u32Offset, e.u32FileLen)) return 0;
  return FLASH_ReadFlash(e.u32Offset, pOutBuffer, e.u32FileLen) == 0 ? e.u32FileLen : 0;
}

BSP_API uint32_t FDY_RandomLoadFileByFileId(unsigned int u32FileId, unsigned int u32Offset, unsigned int u32RdLen,
                                            void *pOutBuffer, unsigned int u32BufLen) {
  if (fdy::g_ulFDYInitOK == 0 || pOutBuffer == nullptr) return 0;
  Session s(Session::Access::Read);
  FDY_FILE_DESCR_S e;
  if (!s.ok() || !stored_file(s.head(), u32FileId, &e) || u32Offset >= e.u32FileLen) return 0;
  const uint32_t count = uint64_t{u32Offset} + u32RdLen < e.u32FileLen ? u32RdLen : e.u32FileLen - u32Offset;
  if (count > u32BufLen || !s.head().geometry().in_data(e.u32Offset, e.u32FileLen)) return 0;
  return FLASH_ReadFlash(uint64_t{e.u32Offset} + u32Offset, pOutBuffer, count) == 0 ? count : 0;
}

BSP_API uint32_t FDY_GetFileLengthByFileId(unsigned int u32FileId, unsigned int *pFileLen) {
  if (fdy::g_ulFDYInitOK == 0 || pFileLen == nullptr) return 1;
  Session s(Session::Access::Read);
  FDY_FILE_DESCR_S e;
  if (!s.ok() || !stored_file(s.head(), u32FileId, &e)) return 1;
  *pFileLen = e.u32FileLen;
  return 0;
}

BSP_API uint32_t FDY_ChangeFileID(unsigned int u32FileId, unsigned int u32FileIdNew) {
  if (fdy::g_ulFDYInitOK == 0) return 1;
  // The erased identifier would end the table early or turn an erased entry into a file.
  if (u32FileId == kErased || u32FileIdNew == kErased) return 1;
  Session s(Session::Access::Write);
  if (!s.ok()) return 1;
  Head &h = s.head();
  uint32_t k;
  if (!h.find(u32FileId, &k)) return 1;
  FDY_FILE_DESCR_S e = h.desc(k);
  e.u32FileID = u32FileIdNew;
  h.set(k, e);
  return h.write(k, k);
}

}  // extern "C"
