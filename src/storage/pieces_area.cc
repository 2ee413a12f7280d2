// Pieces areas: stamping and checking, the commit, start-up reconciliation of the main and
// spare areas, and acceptance or format of the file system header.
#include <bsp/boundc.h>
#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <stdlib.h>
#include <string.h>

#include "storage/flavor.h"
#include "storage/pieces_state.h"
#include "storage/pieces_sync.h"

namespace bsp::storage::pieces {

uint32_t g_ulPieceAddrMain = 0;
uint32_t g_ulPieceAddrSpare = 0;
uint32_t g_ulPieceSize = 0;
uint8_t *g_pucPieceBuff = nullptr;
uint8_t *g_pucBuffTmp = nullptr;
PIECES_FILE_HEAD *g_pstPieceFileHead = nullptr;
PIECES_FILE_DES *g_pstPieceFileDes = nullptr;
void *g_ulSemPiece = nullptr;
uint8_t *g_pucPieceSynced = nullptr;

namespace {

uint32_t g_image_size = 0;  // the size the buffers above were made for

void drop_buffers() {
  g_pstPieceFileHead = nullptr;
  g_pstPieceFileDes = nullptr;
  flavor::mem_free(g_pucPieceBuff);
  flavor::mem_free(g_pucBuffTmp);
  flavor::mem_free(g_pucPieceSynced);
  g_pucPieceBuff = g_pucBuffTmp = g_pucPieceSynced = nullptr;
  g_image_size = 0;
}

// Valid flag and CRC of an area image of size bytes (at least its header); the CRC computed
// over bytes 16.. goes to *crc.
uint32_t stamp_state(const uint8_t *image, unsigned long size, uint16_t *crc) {
  const auto &head = *reinterpret_cast<const PIECES_HEAD_S *>(image);
  if (head.ulValidFlag != kValidFlag) return kErrNotStamped;
  *crc = BSP_Crc16Cal(const_cast<uint8_t *>(image) + kHeadOffset, size - kHeadOffset);
  return *crc == head.ulCrc ? kOk : kErrCrc;
}

// A zero-filled buffer of S bytes, or null.
uint8_t *zeroed(uint32_t size) {
  auto *p = static_cast<uint8_t *>(flavor::mem_alloc(size));
  if (p != nullptr) memset(p, 0, size);
  return p;
}

}  // namespace

uint32_t check_area(uint8_t *image, uint16_t *crc, Report report) {
  const uint32_t size = g_ulPieceSize;
  uint16_t computed = 0;
  uint32_t rc = 0;
  if (report == Report::Loud) {
    rc = BSP_VfsPieceCheck(image, size, &computed);
  } else {
    rc = size < kHeadOffset ? kErrRange : stamp_state(image, size, &computed);
  }
  if (rc != 0) return rc;
  // A right CRC over an area too small for its tables, or over a layout that cannot be
  // followed, is still a damaged area.
  if (!Volume(image, size).acceptable()) return report == Report::Loud ? failed(kErrCrc, __LINE__) : kErrCrc;
  if (crc != nullptr) *crc = computed;
  return 0;
}

uint32_t write_area(uint32_t flash_offset, const FileLock &held) {
  if (!held.held()) return held.refusal();
  flavor::pause_ms(kPauseMs);
  uint32_t rc = FLASH_WriteFlash(flash_offset, g_pucPieceBuff, g_ulPieceSize);
  flavor::pause_ms(kPauseMs);
  return rc;
}

uint32_t BSP_VfsPiecesMemToFlash(const FileLock &held) {
  if (g_pucPieceBuff == nullptr) return failed(kErrNull, __LINE__);
  BSP_VfsPieceSet(g_pucPieceBuff, g_ulPieceSize);
  uint32_t rc = write_area(g_ulPieceAddrMain, held);
  if (rc != 0) {
    flavor::record_error(kSource, __LINE__, rc);
    return rc;
  }
  note_synced();
  rc = FLASH_WriteFlash(g_ulPieceAddrSpare, g_pucPieceBuff, g_ulPieceSize);
  flavor::pause_ms(kPauseMs);
  if (rc != 0) flavor::record_error(kSource, __LINE__, rc);
  return rc;
}

uint32_t BSP_VfsPiecesAreaInit() {
  const uint32_t size = g_ulPieceSize;
  // Too small for the header and the descriptor table: nothing could be followed safely.
  if (size < kContentOffset) return failed(kErrAlloc, __LINE__);
  FileLock file_lock(FileLock::Mode::Exclusive);

  const bool made_image = g_pucPieceBuff == nullptr;
  if (made_image) g_pucPieceBuff = zeroed(size);
  uint8_t *compare = zeroed(size);
  const bool made_tmp = g_pucBuffTmp == nullptr, made_synced = g_pucPieceSynced == nullptr;
  if (made_tmp) g_pucBuffTmp = zeroed(size);
  if (made_synced) g_pucPieceSynced = zeroed(size);
  if (g_pucPieceBuff == nullptr || compare == nullptr || g_pucBuffTmp == nullptr || g_pucPieceSynced == nullptr) {
    if (made_image) {
      flavor::mem_free(g_pucPieceBuff);
      g_pucPieceBuff = nullptr;
    }
    if (made_tmp) {
      flavor::mem_free(g_pucBuffTmp);
      g_pucBuffTmp = nullptr;
    }
    if (made_synced) {
      flavor::mem_free(g_pucPieceSynced);
      g_pucPieceSynced = nullptr;
    }
    flavor::mem_free(compare);
    return failed(kErrAlloc, __LINE__);
  }
  g_image_size = size;

  uint16_t crc_main = 0, crc_spare = 0;
  uint32_t read_rc = FLASH_ReadFlash(g_ulPieceAddrMain, g_pucPieceBuff, size);
  uint32_t check_rc = read_rc == 0 ? check_area(g_pucPieceBuff, &crc_main) : 0;
  if (read_rc == 0 && check_rc == 0) {
    uint32_t back_rc = FLASH_ReadFlash(g_ulPieceAddrSpare, compare, size);
    uint32_t back_check = 0;
    if (back_rc != 0) {
      flavor::console("\r\nFLASH_ReadFlash(back) fail! ulRet = 0x%x", back_rc);
    } else if ((back_check = check_area(compare, &crc_spare)) != 0) {
      flavor::console("\r\nBSP_VfsPieceCheck BackupArea fail! ulRet = 0x%x", back_check);
    }
    flavor::mem_free(compare);
    note_synced();
    if (back_rc == 0 && back_check == 0 && crc_main == crc_spare) return 0;
    return write_area(g_ulPieceAddrSpare, file_lock);
  }

  if (read_rc != 0) {
    flavor::console("\r\nFLASH_ReadFlash(main) fail! ulRet = 0x%x", read_rc);
  } else {
    flavor::console("\r\nBSP_VfsPieceCheck mainArea fail!  ulRet = 0x%x", check_rc);
  }
  uint32_t back_rc = FLASH_ReadFlash(g_ulPieceAddrSpare, compare, size);
  if (back_rc != 0) {
    flavor::console("\r\nFLASH_ReadFlash(backup1) fail! ulRet = 0x%x", back_rc);
    flavor::mem_free(compare);
    flavor::mem_free(g_pucPieceBuff);
    g_pucPieceBuff = nullptr;
    g_pstPieceFileHead = nullptr;
    g_pstPieceFileDes = nullptr;
    return back_rc;
  }
  uint32_t back_check = check_area(compare, &crc_spare);
  if (back_check != 0) {
    flavor::console("\r\nBSP_VfsPieceCheck mainArea&BackupArea fail! ulRet = 0x%x", back_check);
    BSP_VfsPieceSet(g_pucPieceBuff, size);
    write_area(g_ulPieceAddrMain, file_lock);
    write_area(g_ulPieceAddrSpare, file_lock);
    flavor::mem_free(compare);
    note_synced();
    return 0;
  }
  flavor::judge(memcpy_s(g_pucPieceBuff, size, compare, size), "memcpy_s", kSource, __LINE__);
  flavor::mem_free(compare);
  note_synced();
  return write_area(g_ulPieceAddrMain, file_lock);
}

}  // namespace bsp::storage::pieces

using namespace bsp::storage::pieces;
namespace flavor = bsp::storage::flavor;

extern "C" {

BSP_API uint32_t BSP_VfsPiecesConfig(unsigned long ulPieceAddr, unsigned long ulSize) {
  unsigned long half = ulSize / 2;
  uint32_t size = half > 0xFFFFFFFFul ? 0 : static_cast<uint32_t>(half);
  // An image made for another area size must not be used with this one.
  if (g_pucPieceBuff != nullptr && g_image_size != size) drop_buffers();
  g_ulPieceAddrMain = static_cast<uint32_t>(ulPieceAddr);
  g_ulPieceSize = size;
  g_ulPieceAddrSpare = static_cast<uint32_t>(ulPieceAddr + size);
  return 0;
}

BSP_API uint32_t BSP_VfsPieceSet(unsigned char *pucPiece, unsigned long ulSize) {
  if (pucPiece == nullptr) return failed(kErrNull, __LINE__);
  if (ulSize < kHeadOffset || ulSize > 0xFFFFFFFFul) return failed(kErrRange, __LINE__);
  auto &head = *reinterpret_cast<PIECES_HEAD_S *>(pucPiece);
  head.ulCrc = BSP_Crc16Cal(pucPiece + kHeadOffset, ulSize - kHeadOffset);
  head.ulPieceSize = static_cast<uint32_t>(ulSize);
  head.ulValidFlag = kValidFlag;
  return 0;
}

BSP_API uint32_t BSP_VfsPieceCheck(unsigned char *pucPiece, unsigned long ulSize, unsigned short *pusCrc) {
  if (pucPiece == nullptr) return failed(kErrNull, __LINE__);
  if (ulSize < kHeadOffset) return failed(kErrRange, __LINE__);
  uint16_t crc = 0;
  const uint32_t rc = stamp_state(pucPiece, ulSize, &crc);
  if (rc == kErrNotStamped) {
    flavor::error_log("BSP VfsPieceCheck error \r\n");
    return failed(kErrNotStamped, __LINE__);
  }
  if (rc == kErrCrc) {
    const auto &head = *reinterpret_cast<const PIECES_HEAD_S *>(pucPiece);
    flavor::console("\r\nusCrcCheck = 0x%x;pstPieceHead->ulCrc = 0x%x", crc, static_cast<uint32_t>(head.ulCrc));
    return failed(kErrCrc, __LINE__);
  }
  if (pusCrc != nullptr) *pusCrc = crc;
  return 0;
}

BSP_API uint32_t BSP_VfsPiecesFileInit(unsigned long ulForce) {
  if (g_pucPieceBuff == nullptr) return failed(kErrNull, __LINE__);
  if (g_ulSemPiece == nullptr && flavor::lock_create(&g_ulSemPiece) != 0) {
    flavor::trace("\n create piece sem failed!");
    return failed(kErrLockCreate, __LINE__);
  }
  g_pstPieceFileHead = reinterpret_cast<PIECES_FILE_HEAD *>(g_pucPieceBuff + kHeadOffset);
  g_pstPieceFileDes = reinterpret_cast<PIECES_FILE_DES *>(g_pucPieceBuff + kDesOffset);
  Volume volume = ram_volume();
  // A header is taken as it stands only when its layout can be followed.
  if (ulForce != 1 && volume.has_magic() && volume.consistent()) return 0;
  volume.format(g_ulPieceAddrMain, g_ulPieceAddrSpare);
  if (ulForce == 0) return 0;
  FileLock file_lock(FileLock::Mode::Exclusive);
  return BSP_VfsPiecesMemToFlash(file_lock);
}

BSP_API uint32_t BSP_VfsPiecesInit(void) {
  if (BSP_VfsPiecesAreaInit() != 0) return flavor::kFail;
  return BSP_VfsPiecesFileInit(0);
}

}  // extern "C"
