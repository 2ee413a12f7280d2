/* Flash access front over the flash emulation file, flash configuration table and adapt layer. */
#ifndef BSP_FLASH_H
#define BSP_FLASH_H

#include <bsp/bsp_types.h>
#include <bsp/mtd.h>

BSP_BEGIN_DECLS

typedef struct tagFlashInfoData {
  uint64_t u64Flag; /* 0 ends a list */
  uint64_t u64FlashBaseAddress;
  uint64_t u64FlashSize;
  uint32_t u32FlashType;
  uint32_t u32FlashBlockSize;
  uint32_t u32FlashPageSize;
  uint32_t u32FactoryId;
  uint32_t u32Parallel;
  uint32_t u32ChipWidth;
  uint32_t u32CmdSet;
  uint32_t u32BufferSize;
  void *pFlashPartitions;
} FlashInfoData;

typedef enum tagFlashFeature {
  FLASH_FEATURE_BASEADDR = 0,
  FLASH_FEATURE_SIZE = 1,
  FLASH_FEATURE_BLOCKSIZE = 2
} FLASH_FEATURE_E;

BSP_API uint32_t FLASH_CreateFlashFile(char *path, unsigned int file_size);
BSP_API uint32_t FLASH_InitFlashDrv(void);
BSP_API uint32_t FLASH_ReadFlash(uint64_t u64GlobalOffset, void *pOutBuf, uint64_t u64ReadLen);
BSP_API uint32_t FLASH_WriteFlash(uint64_t u64GlobalOffset, const void *pData, uint64_t u64DataLen);
BSP_API uint32_t FLASH_DirectWriteFlash(uint64_t u64GlobalOffset, const void *pData, uint64_t u64DataLen);
BSP_API uint32_t FLASH_EraseFlash(uint64_t u64GlobalOffset, uint64_t u64Len);
BSP_API uint32_t FLASH_InitFlashModule(FlashInfoData *pFlashCfg);
/* Returns the number of entries copied (1 for a null pInfo). */
BSP_API uint32_t FLASH_GetFlashInfo(FlashInfoData *pInfo, unsigned int u32MaxInfoNum);
BSP_API uint64_t FLASH_GetFlashSize(void);
BSP_API uint32_t FLASH_SoftReset(uint64_t u64GlobalOffset);

/* Adapt layer: the flash offset travels in the pointer-typed argument. */
BSP_API void FLASH_AdaptInit(void);
BSP_API uint32_t FLASH_AdaptFlashRead(unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen);
BSP_API uint32_t FLASH_AdaptFlashWrite(unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen);
BSP_API uint32_t FLASH_AdaptFlashWriteDirect(unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen);
BSP_API uint32_t FLASH_AdaptFlashErase(unsigned char *pucDst, unsigned long ulLen);
/* Size in MiB (_velnor: in bytes). */
BSP_API uint32_t FLASH_FeatureGet(unsigned long ulFeatureType, unsigned long *pulValue);
BSP_API uint32_t FLASH_FeatureGet_velnor(unsigned long ulFeatureType, unsigned long *pulValue);

BSP_END_DECLS

#endif
