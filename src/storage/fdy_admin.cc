// Flash-dynamic area: start-up, the consistency check, the formats and the listing.
//
// A format writes the magic and the table in one write first (the area is then a valid one,
// empty or holding only the kept first file) and erases the data no entry references after it.
#include <bsp/flash.h>

#include "os/le_bytes.h"
#include "storage/fdy_area.h"
#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;

namespace bsp::storage::fdy {
namespace {

// The range rule of FLASH_EraseFlash, checked before the table is rewritten so that a format
// that cannot erase changes nothing.
bool erasable(uint64_t offset, uint64_t len) {
  const uint64_t length = g_flash_file_length;
  return offset <= length && len <= length - offset && static_cast<uint32_t>(len) != 0;
}

// Where the area is, and its lock: what the init records before its check. False when the
// entries' 32-bit offsets cannot address the whole area.
bool record_area(uint64_t start, uint32_t size) {
  if (start > (uint64_t{1} << 32) - size) return false;
  g_u64FDYStartOffset = start;
  g_u32FDYAreaSize = size;
  if (g_semFDYDesc == nullptr) flavor::lock_create(&g_semFDYDesc);
  return true;
}

}  // namespace

uint32_t open_unchecked(uint64_t start, uint32_t size) {
  if (g_ulFDYInitOK != 0) return 0;
  if (start == 0 || size == 0 || !record_area(start, size)) return 1;
  if (g_semFDYDesc == nullptr) return 1;
  g_ulFDYInitOK = 1;
  return 0;
}

// A first file the start-up format can keep: identifier 6, one the check accepts, whose
// allocation holds its content and lies inside the area.
bool keeps_first(const Head &h) {
  if (!h.readable()) return false;
  const Geometry &g = h.geometry();
  const FDY_FILE_DESCR_S e = h.desc(0);
  return e.u32FileID == kKeptFileId && e.u32Status != kErased && e.u32Offset == g.data_start() &&
         e.u32FileLen <= e.u32AllocLen && g.in_data(e.u32Offset, e.u32AllocLen);
}

uint32_t check_head(const Head &h) {
  if (!h.magic_ok()) return 1;
  const Geometry &g = h.geometry();
  uint64_t expected = g.data_start();
  for (uint32_t k = 0; k < kDescCount; ++k) {
    const FDY_FILE_DESCR_S e = h.desc(k);
    if (e.u32Status == kErased) return 0;
    int bad_line = 0;
    if (e.u32FileID == kErased) {
      bad_line = __LINE__;
    } else if (e.u32Offset < g.data_start() || e.u32Offset > g.end()) {
      bad_line = __LINE__;
    } else if (uint64_t{e.u32Offset} + e.u32FileLen > g.end()) {
      bad_line = __LINE__;
    } else if (e.u32Offset != expected) {
      bad_line = __LINE__;
    }
    if (bad_line != 0) {
      trace(bad_line);
      return 1;
    }
    expected += e.u32AllocLen;
  }
  return 0;
}

uint32_t format_area(Head &h, bool keep_first_six) {
  const Geometry &g = h.geometry();
  bool keep = false;
  FDY_FILE_DESCR_S first = {};
  if (keep_first_six) {
    if (!h.readable()) return 1;
    first = h.desc(0);
    keep = keeps_first(h);
  }
  uint8_t *bytes = h.bytes();
  store_le32(bytes, FDY_MAGIC_ONE);
  store_le32(bytes + 4, FDY_MAGIC_TWO);
  const uint32_t kept = keep ? kMagicSize + kDescSize : kMagicSize;
  fill(bytes + kept, kHeadSize - kept, 0xFF, __LINE__);
  const uint64_t from = keep ? uint64_t{first.u32Offset} + first.u32AllocLen : g.data_start();
  const uint64_t erase_len = from < g.end() ? g.end() - from : 0;
  if (erase_len != 0 && !erasable(from, erase_len)) return 1;
  if (FLASH_WriteFlash(g.start, bytes, kHeadSize) != 0) return 1;
  if (erase_len != 0 && FLASH_EraseFlash(from, erase_len) != 0) return 1;
  return 0;
}

}  // namespace bsp::storage::fdy

namespace fdy = bsp::storage::fdy;
using fdy::Session;

extern "C" {

BSP_API uint32_t FDY_InitFlashDyna(uint64_t u64StartOffset, unsigned int u32Size) {
  if (fdy::g_ulFDYInitOK != 0 || u64StartOffset == 0 || u32Size == 0) return 0;
  // Entries hold 32-bit flash offsets: the whole area must be addressable by them.
  if (!fdy::record_area(u64StartOffset, u32Size)) return 1;
  {
    // Check and format under both locks: a process starting now waits for a save under way.
    Session s(Session::Access::Write);
    if (!s.ok() || fdy::check_head(s.head()) != 0) {
      flavor::message("\r\nFind Flash Dynamic ERROR\r\n");
      fdy::trace(__LINE__);
      const uint32_t rc = s.ok() ? fdy::format_area(s.head(), true) : 1;
      if (rc != 0) return rc;
    }
  }
  if (fdy::g_semFDYDesc != nullptr) fdy::g_ulFDYInitOK = 1;
  return 0;
}

BSP_API uint32_t FDY_CheckFlashDyna(void) {
  Session s(Session::Access::Read);
  return s.ok() ? fdy::check_head(s.head()) : 1;
}

BSP_API uint32_t FDY_FormatFlashDyna(void) {
  Session s(Session::Access::Write);
  return s.ok() ? fdy::format_area(s.head(), false) : 1;
}

BSP_API uint32_t FDY_FormatFlashDynaWithoutFpga(void) {
  Session s(Session::Access::Write);
  return s.ok() ? fdy::format_area(s.head(), true) : 1;
}

BSP_API void FDY_ListFileInFlash(void) {
  if (fdy::g_ulFDYInitOK == 0) {
    flavor::console("\r\nThe Flash Dynamic Module do NOT initialized!!\r\n");
    return;
  }
  int count = 0;
  {
    Session s(Session::Access::Read);
    if (!s.ok()) return;
    const fdy::Geometry &g = s.head().geometry();
    flavor::console("\r\nFlash Dynamic Area :0x%llx + 0x%x\r\n", static_cast<unsigned long long>(g.start), g.size);
    flavor::console("Description Area : 0x%llx + 0x%x\r\n", static_cast<unsigned long long>(g.start + fdy::kMagicSize),
           fdy::kHeadSize);
    flavor::console("Data Area : 0x%llx + 0x%llx\r\n", static_cast<unsigned long long>(g.data_start()),
           static_cast<unsigned long long>(g.size - fdy::kHeadSize));
    flavor::console("Block is 0x%x\r\n", fdy::kBlock);
    const uint32_t n = s.head().in_use();
    for (uint32_t k = 0; k < n; ++k) {
      const FDY_FILE_DESCR_S e = s.head().desc(k);
      flavor::console("%d:[0x%04x] : 0x%04x + (0x%04x / 0x%04x)\r\n", ++count, e.u32FileID, e.u32Offset, e.u32FileLen,
             e.u32AllocLen);
    }
  }
  flavor::console("\r\nFile number is %d / %lld.\r\n", count, static_cast<long long>(fdy::kDescCount));
}

}  // extern "C"
