/* Description of the Linux MTD partitions listed in /proc/mtd. */
#ifndef BSP_MTD_H
#define BSP_MTD_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

typedef enum tagFlashType { FLASH_INVALID = 0, FLASH_NAND = 2 } FLASH_TYPE_E;

typedef struct tagMtdPartitionInfo {
  char pName[32]; /* "/dev/mtdN" */
  uint64_t u64Offset;
  uint64_t u64Size;
  struct tagMtdPartitionInfo *pNext;
} MTD_PARTITION_INFO;

typedef struct tagMtdInformation {
  uint64_t u64TotalSize;
  uint32_t u32EraseSize;
  void *u32PthreadMutex; /* the flash front lock */
  FLASH_TYPE_E enFlashType;
  MTD_PARTITION_INFO *pPartitionHead;
  MTD_PARTITION_INFO *pPartitionTail;
} MTD_INFORMATION;

BSP_API uint32_t FLASH_GetMtdInfo(MTD_INFORMATION *pMtd_Info);

BSP_END_DECLS

#endif
