// Flash-dynamic area: its state, the head image of one operation and the locks around it.
#include <bsp/boundc.h>
#include <bsp/flash.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>

#include "os/le_bytes.h"
#include "storage/fdy_area.h"
#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace bsp::storage::fdy {

uint64_t g_u64FDYStartOffset = 0;
uint32_t g_u32FDYAreaSize = 0;
uint32_t g_ulFDYInitOK = 0;
void *g_semFDYDesc = nullptr;

namespace {

enum Field { kId = 0, kOffset = 4, kLen = 8, kAlloc = 12, kStatus = 16, kReserved = 20 };

uint8_t *entry_bytes(uint8_t *head, uint32_t k) { return head + kMagicSize + k * kDescSize; }

// The area's byte range of the flash emulation file, locked for this open file description.
// Such a lock is independent of the whole-file flock the pieces file system takes and is not
// dropped when the front closes its own descriptors of the same file.
bool lock_range(UniqueFd &fd, Session::Access access, const Geometry &g) {
  if (g_flash_file_path == nullptr) return false;
  const bool write = access == Session::Access::Write;
  fd.reset(open(g_flash_file_path, (write ? O_RDWR : O_RDONLY) | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct flock range = {};
  range.l_type = write ? F_WRLCK : F_RDLCK;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(g.start);
  range.l_len = static_cast<off_t>(g.size);
  flavor::Blocking blocking;
  int rc;
  while ((rc = fcntl(fd.get(), F_OFD_SETLKW, &range)) != 0 && errno == EINTR) {
  }
  if (rc != 0) fd.reset();
  return rc == 0;
}

}  // namespace

void trace(int line) { flavor::trace_print("Tracd %s[%d]\r\n", kSource, line); }

void fill(void *dest, uint64_t size, uint8_t value, int line) {
  flavor::judge(memset_s(dest, size, value, size), "memset_s", kSource, static_cast<unsigned>(line));
}

Geometry geometry() { return {g_u64FDYStartOffset, g_u32FDYAreaSize}; }

bool Geometry::index_of(uint64_t entry, uint32_t *k) const {
  if (entry < start + kMagicSize) return false;
  const uint64_t from_first = entry - start - kMagicSize;
  if (from_first % kDescSize != 0 || from_first / kDescSize >= kDescCount) return false;
  *k = static_cast<uint32_t>(from_first / kDescSize);
  return true;
}

bool Head::magic_ok() const {
  return readable_ && load_le32(bytes_) == FDY_MAGIC_ONE && load_le32(bytes_ + 4) == FDY_MAGIC_TWO;
}

FDY_FILE_DESCR_S Head::desc(uint32_t k) const {
  const uint8_t *e = entry_bytes(bytes_, k);
  return {load_le32(e + kId),    load_le32(e + kOffset), load_le32(e + kLen),
          load_le32(e + kAlloc), load_le32(e + kStatus), load_le32(e + kReserved)};
}

void Head::set(uint32_t k, const FDY_FILE_DESCR_S &d) {
  uint8_t *e = entry_bytes(bytes_, k);
  store_le32(e + kId, d.u32FileID);
  store_le32(e + kOffset, d.u32Offset);
  store_le32(e + kLen, d.u32FileLen);
  store_le32(e + kAlloc, d.u32AllocLen);
  store_le32(e + kStatus, d.u32Status);
  store_le32(e + kReserved, d.u32Reserved);
}

uint32_t Head::in_use() const {
  if (!readable_) return 0;
  uint32_t k = 0;
  while (k < kDescCount && load_le32(entry_bytes(bytes_, k) + kStatus) != kErased) ++k;
  return k;
}

bool Head::find(uint32_t id, uint32_t *k) const {
  if (!readable_) return false;
  for (uint32_t i = 0; i < kDescCount; ++i) {
    const uint8_t *e = entry_bytes(bytes_, i);
    if (load_le32(e + kId) == id) {
      *k = i;
      return true;
    }
    if (load_le32(e + kStatus) == kErased) return false;
  }
  return false;
}

uint64_t Head::running_offset(uint32_t n) const {
  uint64_t offset = g_.data_start();
  for (uint32_t i = 0; i < n; ++i) offset += load_le32(entry_bytes(bytes_, i) + kAlloc);
  return offset;
}

uint32_t Head::write(uint32_t first, uint32_t last) const {
  if (first > last || last >= kDescCount) return 1;
  return FLASH_WriteFlash(g_.entry_offset(first), entry_bytes(bytes_, first),
                          uint64_t{last - first + 1} * kDescSize) == 0
             ? 0
             : 1;
}

Session::Session(Access access) {
  const Geometry g = geometry();
  if (g.size == 0) return;
  if (g_semFDYDesc != nullptr) {
    if (flavor::lock_take(g_semFDYDesc) != 0) return;
    area_locked_ = true;
  }
  if (!lock_range(range_lock_, access, g)) return;
  bytes_ = static_cast<uint8_t *>(flavor::mem_alloc(kHeadSize));
  if (bytes_ == nullptr) return;
  // One access for the whole table, whatever the number of files.
  const bool readable = FLASH_ReadFlash(g.start, bytes_, kHeadSize) == 0;
  head_.emplace(g, bytes_, readable);
}

Session::~Session() {
  head_.reset();
  flavor::mem_free(bytes_);
  range_lock_.reset();
  if (area_locked_) flavor::lock_give(g_semFDYDesc);
}

}  // namespace bsp::storage::fdy
