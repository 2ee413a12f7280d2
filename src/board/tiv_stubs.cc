// The small functions this board connects to board API slots: they answer from the board
// information, the probes and the library stubs. The slot value 0xFFFFFFFF means this board.
#include <bsp/api.h>
#include <bsp/board.h>
#include <bsp/flash.h>
#include <bsp/probe.h>
#include <bsp/stub.h>

namespace {
constexpr unsigned long kThisBoard = 0xFFFFFFFF;
constexpr unsigned long kBootRomBios = 1;
constexpr unsigned long kBootLoaderBios = 2;
}  // namespace

// Clang checks calls through function pointers against the callee's type. This one sits in
// a slot whose entry point passes six arguments; it reads none of them.
#if defined(__clang__)
#define BSP_TAKES_ANY_CALL __attribute__((no_sanitize("function")))
#else
#define BSP_TAKES_ANY_CALL
#endif

extern "C" {

BSP_API uint32_t TIV_StubIsVirtualInsertValid(void) { return 1; }

BSP_API uint32_t TIV_StubBoardTypeGet(unsigned long ulSlotId, unsigned long *pulType) {
  if (ulSlotId != kThisBoard) return BSPSMS_GetBoardType(ulSlotId, pulType);
  if (pulType == nullptr) return 1;
  *pulType = BDIF_GetBoardType();
  return 0;
}

BSP_API uint32_t TIV_StubMabVersionGet(unsigned long ulSlotId, unsigned char *pucVersion) {
  if (pucVersion == nullptr || ulSlotId != kThisBoard) return 1;
  *pucVersion = static_cast<unsigned char>(BDIF_GetBomVer());
  return 0;
}

BSP_API uint32_t TIV_StubPcbVersionGet(unsigned long ulSlotId, unsigned char *pucVersion) {
  if (pucVersion == nullptr) return 1;
  if (ulSlotId == kThisBoard) *pucVersion = static_cast<unsigned char>(BDIF_GetPcbVer());
  return 0;
}

BSP_API uint32_t TIV_StubBoardSlotNumGet(unsigned char *pucSlotId) {
  if (pucSlotId == nullptr) return 1;
  const uint32_t slot = BDIF_GetSlotNum();
  if (slot == BDIF_INVALID) return 1;
  *pucSlotId = static_cast<unsigned char>(slot);
  return 0;
}

BSP_API uint32_t TIV_StubSlotOnlineStatusGet(unsigned long ulSlotId, unsigned long *pulStatus) {
  if (pulStatus == nullptr) return 1;
  *pulStatus = 0;
  return 0;
}

BSP_API uint32_t TIV_StubBiosVersionStringGet(unsigned long ulBiosType, unsigned long ulArea, char *pcVersion) {
  if (pcVersion == nullptr) return 1;
  if (ulBiosType == kBootRomBios) return BDIF_GetBootRomVersionString(ulArea, pcVersion);
  if (ulBiosType == kBootLoaderBios) return BDIF_GetBootLoadVersionString(pcVersion);
  return 1;
}

BSP_API uint32_t TIV_StubGetMemSize(unsigned long ulType, unsigned long *pMemSize) {
  if (pMemSize == nullptr || ulType != 0) return 1;
  *pMemSize = BSP_GetDDRRamSize();
  return 0;
}

BSP_API uint32_t TIV_StubCpldVersionGet(unsigned long ulLogicId, unsigned char *pucVersion) { return 0; }

BSP_API BSP_TAKES_ANY_CALL uint32_t TIV_StubOpticRead(unsigned long ulSfpId, unsigned long ulOffset,
                                                      unsigned char *pucDstAddr, unsigned long ulLen,
                                                      unsigned long *pulActLen) {
  return 0;
}

BSP_API uint32_t TIV_StubRtcDateGet(unsigned char *pusYear, unsigned char *pucMonth, unsigned char *pucDate,
                                    unsigned char *pucDay) {
  return 0;
}

BSP_API uint32_t TIV_StubRtcTimeGet(unsigned char *pucHour, unsigned char *pucMinute, unsigned char *pucSecond) {
  return 0;
}

BSP_API uint32_t TIV_StubRtcDateSet(unsigned char ucYear, unsigned char ucMonth, unsigned char ucDate,
                                    unsigned char ucDay) {
  return 0;
}

BSP_API uint32_t TIV_StubRtcTimeSet(unsigned char ucHour, unsigned char ucMinute, unsigned char ucSecond) {
  return 0;
}

BSP_API uint32_t TIV_StubBackPlanePcbVersionGet(unsigned char *pucVersion) { return pucVersion == nullptr ? 1 : 0; }

BSP_API uint32_t BSP_ApiGetFlashSize(void) {
  unsigned long size = 0;
  if (FLASH_FeatureGet(FLASH_FEATURE_SIZE, &size) != 0) return 0;
  return static_cast<uint32_t>(size);
}

BSP_API uint32_t BSP_GetPciDeviceAddress(uint32_t u32FctIdAndDevId, uint32_t *pAddrBuf, unsigned long ulEntryMaxNum) {
  return 0;
}

}  // extern "C"
