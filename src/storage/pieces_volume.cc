// The pieces area as a file system: validation, format and the structural operations.
#include <bsp/boundc.h>
#include <string.h>

#include "storage/flavor.h"
#include "storage/pieces_layout.h"
#include "storage/pieces_state.h"

namespace bsp::storage::pieces {

namespace {
bool name_terminated(const PIECES_FILE_DES &d) { return memchr(d.ulPieceFileName, 0, kNameLength) != nullptr; }
}  // namespace

bool Volume::has_magic() const {
  return big_enough() && strncmp(head().ucPieceFileVer, "PFS", 3) == 0;
}

bool Volume::consistent() const {
  if (!big_enough()) return false;
  const PIECES_FILE_HEAD &h = head();
  const uint32_t max = h.ulPieceFileMax, name_len = h.ulPpieceFileNameLength;
  const uint32_t used = h.ulPieceContentUsedOffset, free_bytes = h.ulPieceFileMaxLength;
  const uint32_t next = h.ulPieceFileDesIndexNext;
  if (max > kDesSlots || next > max || name_len == 0 || name_len > kNameLength) return false;
  if (used < kContentOffset || used > size_ || static_cast<uint64_t>(used) + free_bytes != size_) return false;
  uint64_t end = kContentOffset;
  for (uint32_t i = 0; i < next; ++i) {
    const PIECES_FILE_DES &d = des(i);
    if (!name_terminated(d) || d.ulPieceFileMemOffset != end) return false;
    end += d.ulPieceFileSize;
    if (end > used) return false;
  }
  return end == used;
}

void Volume::format(uint32_t main_addr, uint32_t spare_addr) {
  PIECES_FILE_HEAD &h = head();
  memcpy(h.ucPieceFileVer, kMagic, sizeof kMagic);
  h.ulPieceMainAddrBase = main_addr;
  h.ulPieceSpareAddrBase = spare_addr;
  h.ulPicecSize = size_;
  h.ulPieceFileMax = kDesSlots;
  h.ulPieceUnitSize = kUnit;
  h.ulPpieceFileNameLength = kNameLength;
  h.ulPieceHeadOffset = kHeadOffset;
  h.ulPieceFileDesOffset = kDesOffset;
  h.ulPieceContenOffset = kContentOffset;
  h.ulPieceContentUsedOffset = kContentOffset;
  h.ulPieceFileMaxLength = size_ - kContentOffset;
  h.ulPieceFileDesIndexNext = 0;
  const size_t table = kDesSlots * sizeof(PIECES_FILE_DES);
  flavor::judge(memset_s(area_ + kDesOffset, table, 0, table), "memset_s", kSource, __LINE__);
}

uint32_t Volume::lookup(const char *name, FileRef *found) const {
  if (strlen(name) >= head().ulPpieceFileNameLength) return kErrRange;
  for (uint32_t i = 0, n = count(); i < n; ++i) {
    const PIECES_FILE_DES &d = des(i);
    if (d.ulUsedFlag == kUsedFlag && strcmp(d.ulPieceFileName, name) == 0) {
      *found = file(i);
      return 0;
    }
  }
  return 1;
}

uint32_t Volume::create(const char *name, uint64_t length, FileRef *made) {
  if (strlen(name) >= kNameLength) return kErrRange;
  PIECES_FILE_HEAD &h = head();
  const uint64_t alloc = round_unit(length);
  const uint32_t next = h.ulPieceFileDesIndexNext;
  if (h.ulPieceFileMaxLength < alloc || next >= h.ulPieceFileMax) {
    flavor::trace("\n\r BSP_VfsPiecesFileCreate: 0x%x, 0x%x, 0x%x", static_cast<uint32_t>(h.ulPieceFileMaxLength),
                  static_cast<uint32_t>(alloc), next);
    return kErrFull;
  }
  PIECES_FILE_DES &d = des(next);
  flavor::judge(strncpy_s(d.ulPieceFileName, kNameLength, name, kNameLength - 1), "strncpy_s", kSource, __LINE__);
  d.ulPieceFileName[kNameLength - 1] = '\0';
  const uint32_t offset = h.ulPieceContentUsedOffset;
  d.ulUsedFlag = kUsedFlag;
  d.ulPieceFileMemOffset = offset;
  d.ulPieceFileSize = static_cast<uint32_t>(alloc);
  h.ulPieceFileMaxLength = h.ulPieceFileMaxLength - static_cast<uint32_t>(alloc);
  h.ulPieceContentUsedOffset = offset + static_cast<uint32_t>(alloc);
  h.ulPieceFileDesIndexNext = next + 1;
  memset(area_ + offset, 0, static_cast<size_t>(alloc));
  *made = file(next);
  return 0;
}

uint32_t Volume::grow_last(const FileRef &f, uint64_t need) {
  PIECES_FILE_HEAD &h = head();
  const uint64_t grown = round_unit(need);
  if (grown > static_cast<uint64_t>(f.size) + h.ulPieceFileMaxLength) return kErrFull;
  const uint32_t added = static_cast<uint32_t>(grown) - f.size;
  h.ulPieceFileMaxLength = h.ulPieceFileMaxLength - added;
  h.ulPieceContentUsedOffset = h.ulPieceContentUsedOffset + added;
  memset(area_ + f.offset + f.size, 0, added);
  des(f.index).ulPieceFileSize = static_cast<uint32_t>(grown);
  return 0;
}

void Volume::remove(const FileRef &f) {
  PIECES_FILE_HEAD &h = head();
  const uint32_t used = h.ulPieceContentUsedOffset, next = h.ulPieceFileDesIndexNext;
  const uint32_t tail_start = f.offset + f.size;
  memmove(area_ + f.offset, area_ + tail_start, used - tail_start);
  memset(area_ + used - f.size, 0, f.size);
  for (uint32_t j = f.index; j + 1 < next; ++j) {
    PIECES_FILE_DES &to = des(j);
    const PIECES_FILE_DES &from = des(j + 1);
    memcpy(to.ulPieceFileName, from.ulPieceFileName, kNameLength);
    to.ulPieceFileSize = static_cast<uint32_t>(from.ulPieceFileSize);
    to.ulPieceFileMemOffset = from.ulPieceFileMemOffset - f.size;
  }
  des(next - 1).ulUsedFlag = kVacatedFlag;
  h.ulPieceFileDesIndexNext = next - 1;
  h.ulPieceContentUsedOffset = used - f.size;
  h.ulPieceFileMaxLength = h.ulPieceFileMaxLength + f.size;
}

void merge_changes(Volume &result, const Volume &base, const Volume &ours, uint32_t main_addr, uint32_t spare_addr) {
  if (!result.has_magic() || !result.consistent()) result.format(main_addr, spare_addr);
  if (!ours.has_magic() || !ours.consistent()) return;
  const bool have_base = base.has_magic() && base.consistent();
  FileRef theirs, mine, before;
  if (have_base) {
    for (uint32_t i = base.count(); i-- > 0;) {
      const PIECES_FILE_DES &d = base.des(i);
      if (d.ulUsedFlag != kUsedFlag) continue;
      if (ours.lookup(d.ulPieceFileName, &mine) == 0) continue;
      if (result.lookup(d.ulPieceFileName, &theirs) == 0) result.remove(theirs);
    }
  }
  for (uint32_t i = 0, n = ours.count(); i < n; ++i) {
    const PIECES_FILE_DES &d = ours.des(i);
    if (d.ulUsedFlag != kUsedFlag) continue;
    mine = ours.file(i);
    if (have_base && base.lookup(d.ulPieceFileName, &before) == 0 && before.size == mine.size &&
        memcmp(base.content(before).data(), ours.content(mine).data(), mine.size) == 0) {
      continue;  // untouched here: the newer contents stand
    }
    uint32_t present = result.lookup(d.ulPieceFileName, &theirs);
    if (present == 0 && theirs.size != mine.size) {
      result.remove(theirs);
      present = 1;
    }
    if (present != 0 && result.create(d.ulPieceFileName, mine.size, &theirs) != 0) continue;
    memcpy(result.content(theirs).data(), ours.content(mine).data(), mine.size);
  }
}

}  // namespace bsp::storage::pieces
