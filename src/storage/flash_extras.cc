// Library-only parts of the flash front: the flash configuration table, its feature
// queries and the adapt layer of the board API table.
#include <bsp/boundc.h>
#include <bsp/flash.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;

namespace {

constexpr char kAdaptSource[] = "bsp/api/zq/flashAdapt";
constexpr unsigned kFeatureEntries = 2;

// The adapt layer carries a flash offset in a pointer: a signed 32-bit value, widened.
uint64_t offset_of(const unsigned char *p) {
  return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(reinterpret_cast<uintptr_t>(p))));
}
uint64_t length_of(unsigned long len) { return static_cast<uint32_t>(len); }
uint32_t as_status(uint32_t rc) { return rc == 0 ? 0 : 1; }

uint32_t feature_from(const FlashInfoData *list, uint32_t count, unsigned long type, unsigned long *value,
                      bool size_in_bytes) {
  if (count == 0) return 0;
  switch (type) {
    case FLASH_FEATURE_BASEADDR:
      *value = static_cast<uint32_t>(list[0].u64FlashBaseAddress);
      return 0;
    case FLASH_FEATURE_SIZE: {
      uint64_t total = 0;
      for (uint32_t i = 0; i < count; ++i) total += list[i].u64FlashSize;
      *value = size_in_bytes ? static_cast<uint32_t>(total) : static_cast<unsigned long>(total >> 20);
      return 0;
    }
    case FLASH_FEATURE_BLOCKSIZE:
      *value = list[0].u32FlashBlockSize;
      return 0;
    default:
      return 1;
  }
}

}  // namespace

extern "C" {

BSP_API uint32_t FLASH_DirectWriteFlash(uint64_t u64GlobalOffset, const void *pData, uint64_t u64DataLen) {
  return FLASH_WriteFlash(u64GlobalOffset, pData, u64DataLen);
}

BSP_API uint32_t FLASH_InitFlashModule(FlashInfoData *pFlashCfg) {
  if (pFlashCfg == nullptr) return 1;
  if (FLASH_InitFlashDrv() != 0) printf("flash init drv error \n ");
  uint32_t count = 0;
  while (pFlashCfg[count].u64Flag != 0) ++count;
  uint64_t bytes = static_cast<uint64_t>(count) * sizeof(FlashInfoData);
  if (bytes > UINT32_MAX) return 1;
  auto *table = static_cast<FlashInfoData *>(BSP_malloc(static_cast<uint32_t>(bytes), 0));
  if (table == nullptr) return 1;
  flavor::judge(memset_s(table, bytes, 0, bytes), "memset_s", kAdaptSource, __LINE__);
  for (uint32_t i = 0; i < count; ++i) {
    flavor::judge(memcpy_s(&table[i], sizeof(FlashInfoData), &pFlashCfg[i], sizeof(FlashInfoData)), "memcpy_s",
                  kAdaptSource, __LINE__);
    if (table[i].u64FlashSize == 0) table[i].u64FlashSize = gMtd_Info.u64TotalSize / count;
    table[i].u32FlashBlockSize = gMtd_Info.u32EraseSize;
    table[i].u32FlashType = gMtd_Info.enFlashType;
  }
  // The table replaced now stays allocated until the next replacement: a concurrent reader may
  // still be copying from it.
  static FlashInfoData *retired = nullptr;
  BSP_free(retired);
  retired = g_pFlashCfg;
  g_u32FlashNum = 0;
  g_pFlashCfg = table;
  g_u32FlashNum = count;
  return 0;
}

BSP_API void FLASH_AdaptInit(void) {}

BSP_API uint32_t FLASH_AdaptFlashRead(unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen) {
  return as_status(FLASH_ReadFlash(offset_of(pucSrc), pucDst, length_of(ulLen)));
}

BSP_API uint32_t FLASH_AdaptFlashWrite(unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen) {
  return as_status(FLASH_WriteFlash(offset_of(pucDst), pucSrc, length_of(ulLen)));
}

BSP_API uint32_t FLASH_AdaptFlashWriteDirect(unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen) {
  return as_status(FLASH_DirectWriteFlash(offset_of(pucDst), pucSrc, length_of(ulLen)));
}

BSP_API uint32_t FLASH_AdaptFlashErase(unsigned char *pucDst, unsigned long ulLen) {
  return as_status(FLASH_EraseFlash(offset_of(pucDst), length_of(ulLen)));
}

BSP_API uint32_t FLASH_FeatureGet(unsigned long ulFeatureType, unsigned long *pulValue) {
  if (pulValue == nullptr) return 1;
  FlashInfoData list[kFeatureEntries];
  uint32_t count = FLASH_GetFlashInfo(list, kFeatureEntries);
  return feature_from(list, count, ulFeatureType, pulValue, false);
}

BSP_API uint32_t FLASH_FeatureGet_velnor(unsigned long ulFeatureType, unsigned long *pulValue) {
  if (pulValue == nullptr) return 1;
  auto *list = static_cast<FlashInfoData *>(malloc(kFeatureEntries * sizeof(FlashInfoData)));
  if (list == nullptr) return 1;
  uint32_t count = FLASH_GetFlashInfo(list, kFeatureEntries);
  uint32_t rc = feature_from(list, count, ulFeatureType, pulValue, true);
  free(list);
  return rc;
}

}  // extern "C"
