// The load state word: read, repair and save the record that names the next startup package.
// Built into both the library and the loader; the flavor supplies the failure code and whether
// bounded-function results are judged.
#include <bsp/loadstate.h>

#include <stdio.h>
#include <string.h>

#include <bsp/boundc.h>
#include <bsp/crc.h>
#include <bsp/pieces.h>

#include "os/le_bytes.h"
#include "storage/bootmem_layout.h"
#include "storage/flavor.h"
#include "storage/loadstate_sets.h"

namespace {

namespace flavor = bsp::storage::flavor;

constexpr char kPieceName[] = "statemach.efs";
constexpr char kDefaultPackage[] = "flash:/zq.cc";
constexpr unsigned long kRecordSize = sizeof(LOAD_STATE_WORD_S);
constexpr size_t kCrcOffset = offsetof(LOAD_STATE_WORD_S, stLoadStateWordCur);
constexpr char kSource[] = "loadstate.cc";

static_assert(offsetof(LOAD_STATE_WORD_S, usCrcChkSum) == 4);
static_assert(offsetof(LOAD_STATE_WORD_S, stLoadStateWordCur) == 6);
static_assert(offsetof(LOAD_STATE_WORD_S, stLoadStateWordPre) == 845);
static_assert(offsetof(LOAD_STATE_WORD_S, ucCurDiskFlag) == 1684);
static_assert(offsetof(LOAD_STATE_WORD_S, ucLoadFailTimes) == 1685);
static_assert(offsetof(LOAD_STATE_WORD_S, acBackupPktFileName) == 1686);
static_assert(offsetof(LOAD_STATE_WORD_S, aucReserve2) == 1751);
static_assert(offsetof(LOAD_STATE_WORD_CORE_S, acCfgFileName) == 66);
static_assert(offsetof(LOAD_STATE_WORD_CORE_S, ucPatchStat) == 196);
static_assert(offsetof(LOAD_STATE_WORD_CORE_S, acVoiceFileName) == 262);
static_assert(offsetof(LOAD_STATE_WORD_CORE_S, aucReserve) == 327);

unsigned char *bytes(LOAD_STATE_WORD_S *w) { return reinterpret_cast<unsigned char *>(w); }
char *piece_name() { return const_cast<char *>(kPieceName); }

}  // namespace

extern "C" {

BSP_API uint32_t BSP_SetLoadStateWord(LOAD_STATE_WORD_S *pstLoadStateWord) {
  if (pstLoadStateWord == nullptr) return flavor::kFail;
  init_crc_tabl();
  uint16_t crc = BSP_Crc16Cal(bytes(pstLoadStateWord) + kCrcOffset, kRecordSize - kCrcOffset);
  bsp::store_le16(&pstLoadStateWord->usCrcChkSum, crc);
  flavor::console("\r\nSave load state word...");
  unsigned long written = 0;
  uint32_t rc = BSP_VfsPiecesFileWrite(piece_name(), 0, bytes(pstLoadStateWord), kRecordSize, &written);
  if (rc != 0 || written == 0) {
    flavor::console("\r\nWrite to flash pieces FAIL!\r\n");
    return flavor::kFail;
  }
  flavor::console("OK!\r\n");
  return 0;
}

BSP_API uint32_t BSP_InitLoadStateWord(LOAD_STATE_WORD_S *pstLoadStateWord) {
  if (pstLoadStateWord == nullptr) return flavor::kFail;
  flavor::judge(memset_s(pstLoadStateWord, kRecordSize, 0, kRecordSize), "memset_s", kSource, __LINE__);
  bsp::store_le32(&pstLoadStateWord->ulMagicWord, LOAD_STATE_WORD_MAGIC);
  pstLoadStateWord->ucCurDiskFlag = 0;
  pstLoadStateWord->stLoadStateWordCur.ucPktValidFlag = 1;
  pstLoadStateWord->stLoadStateWordPre.ucPktValidFlag = 0;
  flavor::judge(strcpy_s(pstLoadStateWord->stLoadStateWordCur.acPktFileName,
                         sizeof pstLoadStateWord->stLoadStateWordCur.acPktFileName, kDefaultPackage),
                "strcpy_s", kSource, __LINE__);
  return BSP_SetLoadStateWord(pstLoadStateWord) == 0 ? 0 : flavor::kFail;
}

BSP_API uint32_t BSP_GetLoadStateWord(LOAD_STATE_WORD_S *pstLoadStateWord) {
  if (pstLoadStateWord == nullptr) return flavor::kFail;
  unsigned long got = 0;
  uint32_t rc = BSP_VfsPiecesFileRead(piece_name(), 0, bytes(pstLoadStateWord), kRecordSize, &got);
  if (rc != 0) {
    flavor::console("\r\nGet load start word fail! Creat a new one now.");
    return BSP_InitLoadStateWord(pstLoadStateWord);
  }
  if (bsp::load_le32(&pstLoadStateWord->ulMagicWord) == LOAD_STATE_WORD_MAGIC) return 0;
  BSP_VfsPiecesFileDelete(piece_name(), 1);
  flavor::console("\r\nLoad start word invalid! Delete and Creat a new one now.");
  return BSP_InitLoadStateWord(pstLoadStateWord);
}

}  // extern "C"
