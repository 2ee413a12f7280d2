// Library-only pieces operations: the raw write with commit and the two flash listings.
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <stdio.h>
#include <stdlib.h>

#include "storage/flavor.h"
#include "storage/pieces_state.h"
#include "storage/pieces_sync.h"

using namespace bsp::storage::pieces;
namespace flavor = bsp::storage::flavor;

namespace {

enum class Style { Show, Debug };

struct AreaNames {
  const char *show_heading, *show_fail, *debug_heading, *debug_line, *debug_end;
};

constexpr AreaNames kMain{"\r\n************************MainArea*****************************",
                          "\n\r\n\r MainArea FlashRead Fail",
                          "\r\n\r\n************************MainArea pFileHead->ulPieceFileDesIndexNext=%d******\r\n",
                          "\r\n--+--MainArea NO=%ld, name=%s, size=%ld, offset=0x%lx, flag=%s\r\n",
                          "\r\n************************************************************"};
constexpr AreaNames kSpare{"\r\n************************BackupArea*****************************",
                           "\n\r\n\r BackupArea FlashRead Fail",
                           "\r\n************************BackupArea pFileHead->ulPieceFileDesIndexNext =%d******\r\n",
                           "\r\n--+--BackupArea NO=%ld, name=%s, size=%ld, offset=0x%lx, flag=%s\r\n",
                           "\r\n************************************************************\r\n\r"};

constexpr uint32_t kNoCount = 0xFFFFFFFF;

void show_line(Style style, const AreaNames &names, uint32_t i, const PIECES_FILE_DES &d) {
  char name[kNameLength];
  copy_name(d, name);
  const long size = static_cast<long>(static_cast<uint32_t>(d.ulPieceFileSize));
  const unsigned long offset = d.ulPieceFileMemOffset;
  if (style == Style::Debug) {
    printf(names.debug_line, static_cast<long>(i), name, size, offset, flag_text(d));
    return;
  }
  printf("\n\r\n\r NO     : %ld", static_cast<long>(i));
  printf("\n\r Name   : %s", name);
  printf("\n\r Size   : %ld", size);
  printf("\n\r Offset : 0x%lx", offset);
  printf("\n\r Flag   : %s", flag_text(d));
}

// Lists one area read from flash; false when the listing must end here.
bool list_area(Style style, const AreaNames &names, uint32_t flash_offset, uint8_t *buffer, bool is_main) {
  uint16_t crc = 0;
  if (FLASH_ReadFlash(flash_offset, buffer, g_ulPieceSize) != 0 || check_area(buffer, &crc) != 0) {
    printf("%s", names.show_fail);
    return true;
  }
  Volume area(buffer, g_ulPieceSize);
  const uint32_t count = area.count();
  // An unformatted area may carry any count: only a count that fits the table is listed.
  const bool listable = count <= kDesSlots;
  if (style == Style::Show) {
    printf("%s", names.show_heading);
    for (uint32_t i = 0; listable && i < count; ++i) show_line(style, names, i, area.des(i));
    return true;
  }
  printf(names.debug_heading, static_cast<int>(count));
  if (count == kNoCount || !listable) {
    if (is_main) return false;
  } else {
    for (uint32_t i = 0; i < count; ++i) show_line(style, names, i, area.des(i));
  }
  printf("%s", names.debug_end);
  return true;
}

void list_areas(Style style) {
  const char *buffer0_error = style == Style::Show ? "\r\n VfsPiecesFileShow malloc buffer0 ERROR \r\n "
                                                   : "\r\n BSP_VfsPiecesFileDebug malloc buffer0 ERROR \r\n ";
  const char *buffer1_error = style == Style::Show ? "\r\n VfsPiecesFileShow malloc buffer1 ERROR  \r\n "
                                                   : "\r\n BSP_VfsPiecesFileDebug malloc buffer1 ERROR  \r\n ";
  if (g_ulPieceSize == 0) {
    if (style == Style::Show) printf("\r\n BSP_VfsPiecesFileShow malloc zero memory ERROR \r\n ");
    return;
  }
  auto *main_buf = static_cast<uint8_t *>(malloc(g_ulPieceSize));
  if (main_buf == nullptr) {
    printf("%s", buffer0_error);
    return;
  }
  auto *spare_buf = static_cast<uint8_t *>(malloc(g_ulPieceSize));
  if (spare_buf == nullptr) {
    printf("%s", buffer1_error);
    free(main_buf);
    return;
  }
  {
    FileLock file_lock(FileLock::Mode::Shared);
    if (list_area(style, kMain, g_ulPieceAddrMain, main_buf, true)) {
      list_area(style, kSpare, g_ulPieceAddrSpare, spare_buf, false);
    }
  }
  free(main_buf);
  free(spare_buf);
}

}  // namespace

extern "C" {

BSP_API uint32_t BSP_VfsPiecesWrite(unsigned long ulOffset, unsigned char *pucRamBuff, unsigned long ulLen) {
  if (pucRamBuff == nullptr || g_pucPieceBuff == nullptr) return failed(kErrNull, __LINE__);
  FileLock file_lock(FileLock::Mode::Exclusive);
  if (flavor::lock_try(g_ulSemPiece)) {
    refresh_image(Refresh::Full, file_lock);
    flavor::lock_give(g_ulSemPiece);
  }
  uint32_t rc = raw_copy(RawOp::Write, pucRamBuff, ulOffset, ulLen);
  if (rc != 0) return rc;
  return BSP_VfsPiecesMemToFlash(file_lock);
}

BSP_API void BSP_VfsPiecesFileShow(void) { list_areas(Style::Show); }

BSP_API void BSP_VfsPiecesFileDebug(void) { list_areas(Style::Debug); }

}  // extern "C"
