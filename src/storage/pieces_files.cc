// Pieces file operations on the RAM image: look-up, create, write (grow, relocate), read,
// delete, the raw image copies and the listing of the RAM image.
#include <bsp/boundc.h>
#include <bsp/pieces.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "storage/flavor.h"
#include "storage/pieces_state.h"
#include "storage/pieces_sync.h"

namespace bsp::storage::pieces {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

bool in_service() { return g_pucPieceBuff != nullptr && g_pstPieceFileHead != nullptr && ram_volume().consistent(); }

bool raw_range_ok(uint64_t offset, uint64_t len) {
  const uint64_t size = g_ulPieceSize;
  return offset >= kHeadOffset && offset <= size && len <= size && offset + len <= size;
}

const char *raw_name(RawOp op) {
  switch (op) {
    case RawOp::Read: return "BSP_VfsPiecesRead";
    case RawOp::MemWrite: return "BSP_VfsPiecesMemWrite";
    default: return "BSP_VfsPiecesWrite";
  }
}

unsigned hex32(const void *p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

uint32_t raw_copy(RawOp op, unsigned char *buf, unsigned long offset, unsigned long len) {
  if (buf == nullptr || g_pucPieceBuff == nullptr) return failed(kErrNull, __LINE__);
  if (!raw_range_ok(offset, len)) {
    flavor::trace("\r\n %s :: Length error, pucRamBuff :0x%X, Offset :0x%X, Len :0x%X!", raw_name(op), hex32(buf),
                  static_cast<unsigned>(offset), static_cast<unsigned>(len));
    return failed(kErrRange, __LINE__);
  }
  flavor::trace("\r\n %s :: pucRamBuff :0x%X, Offset :0x%X, Len :0x%X!", raw_name(op), hex32(buf),
                static_cast<unsigned>(offset), static_cast<unsigned>(len));
  if (len == 0) return 0;
  uint8_t *at = g_pucPieceBuff + offset;
  const size_t room = g_ulPieceSize - offset;
  if (op == RawOp::Read) {
    flavor::judge(memcpy_s(buf, len, at, len), "memcpy_s", kSource, __LINE__);
  } else {
    flavor::judge(memcpy_s(at, room, buf, len), "memcpy_s", kSource, __LINE__);
  }
  return 0;
}

namespace {

// Runs body with the pieces lock tried (no wait): a thread of this process that holds it is
// mid-mutation and refreshes by itself.
template <class Body>
void with_lock_tried(Body body) {
  if (!flavor::lock_try(g_ulSemPiece)) return;
  body();
  flavor::lock_give(g_ulSemPiece);
}

uint32_t remove_file(const char *name, unsigned long commit) {
  FileLock file_lock(FileLock::Mode::Exclusive);
  refresh_image(Refresh::Full, file_lock);
  uint32_t index = 0;
  if (BSP_VfsPiecesFileLookUp(name, &index) != 0) return failed(1, __LINE__);
  Volume volume = ram_volume();
  const FileRef file = volume.file(index);
  if (file.offset >= g_ulPieceSize) {
    puts("\r\n the ulPieceFileMemOffset is larger than g_ulPieceSize \r");
    return failed(1, __LINE__);
  }
  volume.remove(file);
  if (commit == 1) return BSP_VfsPiecesMemToFlash(file_lock);
  return 0;
}

// Moves a file that is not the last one to the end with room for need bytes.
uint32_t relocate(const char *name, const FileRef &file, uint64_t need, uint32_t *index) {
  Volume volume = ram_volume();
  const uint64_t free_bytes = volume.head().ulPieceFileMaxLength;
  // The free space must hold the whole need, not just the growth.
  if (free_bytes < need) return failed(kErrFull, __LINE__);
  if (file.size == 0) return failed(kErrAlloc, __LINE__);
  // The new place (which may take in the old one) must fit before the old one is given up.
  if (free_bytes + file.size < round_unit(need)) return failed(kErrFull, __LINE__);
  auto *saved = static_cast<uint8_t *>(malloc(file.size));
  if (saved == nullptr) return failed(kErrAlloc, __LINE__);
  memcpy(saved, volume.content(file).data(), file.size);
  volume.remove(file);
  uint32_t rc = BSP_VfsPiecesFileCreate(name, need, index);
  if (rc == 0) memcpy(volume.content(volume.file(*index)).data(), saved, file.size);
  free(saved);
  return rc;
}

uint32_t write_locked(const char *name, uint32_t offset, const unsigned char *data, uint32_t len) {
  const uint64_t need = static_cast<uint64_t>(offset) + len;
  if (!in_service()) return failed(kErrNull, __LINE__);
  Volume volume = ram_volume();
  uint32_t index = 0;
  if (BSP_VfsPiecesFileLookUp(name, &index) != 0) {
    uint32_t rc = BSP_VfsPiecesFileCreate(name, need, &index);
    if (rc != 0) return rc;
  } else if (FileRef file = volume.file(index); file.size < need) {
    if (index + 1 == volume.count()) {
      if (volume.grow_last(file, need) != 0) return failed(kErrFull, __LINE__);
    } else {
      uint32_t rc = relocate(name, file, need, &index);
      if (rc != 0) return rc;
    }
  }
  const uint64_t at = static_cast<uint64_t>(volume.file(index).offset) + offset;
  if (at >= g_ulPieceSize) {
    puts("\r\n the ulPieceFileMemOffset is larger than g_ulPieceSize \r");
    return failed(1, __LINE__);
  }
  if (len != 0) {
    flavor::judge(memcpy_s(g_pucPieceBuff + at, g_ulPieceSize - at, data, len), "memcpy_s", kSource, __LINE__);
  }
  return 0;
}

}  // namespace

uint32_t BSP_VfsPiecesFileLookUp(const char *pcPieceName, uint32_t *pulFileIndex) {
  if (g_pstPieceFileDes == nullptr || g_pucPieceBuff == nullptr || !ram_volume().consistent()) {
    return failed(kErrNull, __LINE__);
  }
  FileRef file;
  uint32_t rc = ram_volume().lookup(pcPieceName, &file);
  if (rc == kErrRange) return failed(kErrRange, __LINE__);
  if (rc != 0) return flavor::fail(1);
  *pulFileIndex = file.index;
  return 0;
}

uint32_t BSP_VfsPiecesFileCreate(const char *pcPieceName, uint64_t ulFileLength, uint32_t *pulFileIndex) {
  if (pcPieceName == nullptr) return failed(kErrNull, __LINE__);
  if (strlen(pcPieceName) >= kNameLength) return failed(kErrRange, __LINE__);
  if (!in_service()) return failed(kErrNull, __LINE__);
  FileRef made;
  Volume volume = ram_volume();
  uint32_t rc = volume.create(pcPieceName, ulFileLength, &made);
  if (rc != 0) return failed(rc, __LINE__);
  *pulFileIndex = made.index;
  return 0;
}

}  // namespace bsp::storage::pieces

using namespace bsp::storage::pieces;
namespace flavor = bsp::storage::flavor;

extern "C" {

BSP_API uint32_t BSP_VfsPiecesFileWrite(char *pcPieceName, unsigned long ulOffset, unsigned char *pucRamBuff,
                                        unsigned long ulLen, unsigned long *pulActLen) {
  if (pcPieceName == nullptr || pulActLen == nullptr || g_pucPieceBuff == nullptr) return failed(kErrNull, __LINE__);
  if (pucRamBuff == nullptr && ulLen != 0) return failed(kErrNull, __LINE__);
  // The end of the write must be a 32-bit area offset.
  if (static_cast<uint64_t>(ulOffset) + ulLen > kMax32 || ulOffset > kMax32 || ulLen > kMax32) {
    return failed(kErrRange, __LINE__);
  }
  flavor::LockGuard lock(g_ulSemPiece);
  if (lock.result() != 0) return failed(kErrLockTake, __LINE__);
  FileLock file_lock(FileLock::Mode::Exclusive);
  refresh_image(Refresh::Full, file_lock);
  uint32_t rc = write_locked(pcPieceName, static_cast<uint32_t>(ulOffset), pucRamBuff, static_cast<uint32_t>(ulLen));
  if (rc != 0) return rc;
  *pulActLen = ulLen;
  return BSP_VfsPiecesMemToFlash(file_lock);
}

BSP_API uint32_t BSP_VfsPiecesFileRead(char *pcPieceName, unsigned long ulOffset, unsigned char *pucRamBuff,
                                       unsigned long ulLen, unsigned long *pulActLen) {
  if (pcPieceName == nullptr || pulActLen == nullptr || g_pucPieceBuff == nullptr || pucRamBuff == nullptr) {
    return failed(kErrNull, __LINE__);
  }
  with_lock_tried([] {
    FileLock file_lock(FileLock::Mode::Shared);
    refresh_image(Refresh::Quick, file_lock);
  });
  uint32_t index = 0;
  if (BSP_VfsPiecesFileLookUp(pcPieceName, &index) != 0) return failed(kErrNoFile, __LINE__);
  const FileRef file = ram_volume().file(index);
  // Compared without forming ulOffset + ulLen, which can wrap where long is 64 bits.
  if (ulOffset > file.size || ulLen > file.size - ulOffset) {
    flavor::trace("\n\r BSP_VfsPiecesFileRead 0x%x, 0x%x, 0x%x", static_cast<unsigned>(ulOffset),
                  static_cast<unsigned>(ulLen), file.size);
    return failed(kErrRange, __LINE__);
  }
  BSP_VfsPiecesRead(pucRamBuff, file.offset + ulOffset, ulLen);
  *pulActLen = ulLen;
  return 0;
}

BSP_API uint32_t BSP_VfsPiecesFileDelete(char *pcPieceName, unsigned long ulbDeleFlash) {
  if (pcPieceName == nullptr || g_pucPieceBuff == nullptr) return failed(kErrNull, __LINE__);
  flavor::LockGuard lock(g_ulSemPiece);
  if (lock.result() != 0) return failed(kErrLockTake, __LINE__);
  return remove_file(pcPieceName, ulbDeleFlash);
}

BSP_API uint32_t BSP_VfsPiecesFileDelete_Unlock(char *pcPieceName, unsigned long ulbDeleFlash) {
  if (pcPieceName == nullptr || g_pucPieceBuff == nullptr) return failed(kErrNull, __LINE__);
  return remove_file(pcPieceName, ulbDeleFlash);
}

BSP_API uint32_t BSP_VfsPiecesRead(unsigned char *pucRamBuff, unsigned long ulOffset, unsigned long ulLen) {
  return raw_copy(RawOp::Read, pucRamBuff, ulOffset, ulLen);
}

BSP_API uint32_t BSP_VfsPiecesMemWrite(unsigned long ulOffset, unsigned char *pucRamBuff, unsigned long ulLen) {
  return raw_copy(RawOp::MemWrite, pucRamBuff, ulOffset, ulLen);
}

BSP_API uint32_t BSP_VfsPiecesFileDebugMem(void) {
  if (g_pstPieceFileHead == nullptr || g_pucPieceBuff == nullptr) return 0;
  Volume volume = ram_volume();
  const uint32_t count = volume.count();
  flavor::console("\r\n\r\n************************Mem g_pstPieceFileHead->ulPieceFileDesIndexNext=%d******", count);
  if (count > kDesSlots) return count;
  for (uint32_t i = 0; i < count; ++i) {
    const PIECES_FILE_DES &d = volume.des(i);
    char name[kNameLength];
    copy_name(d, name);
    flavor::console("\r\n--+--Mem NO=%ld, name=%s, size=%ld, offset=0x%lx, flag=%s\r\n", static_cast<long>(i), name,
                    static_cast<long>(static_cast<uint32_t>(d.ulPieceFileSize)),
                    static_cast<unsigned long>(d.ulPieceFileMemOffset), flag_text(d));
  }
  return count;
}

}  // extern "C"
