/* Description of the Linux MTD partitions listed in /proc/mtd, raw access to them and to UBI
   volumes, and the platform flash error counter. */
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

/* The MTD address space: the partitions of /proc/mtd end to end. Offsets and lengths are
   32-bit despite their names; bad blocks are skipped and do not count towards a length.
   0 for success, 1 for failure (a failed lock wait: its own result). */
BSP_API uint32_t FLASH_ReadFlashMtd(unsigned int u64GlobalOffset, void *pOutBuf, unsigned int u64ReadLen);
/* Clamped to the end of the partition the offset lies in. */
BSP_API uint32_t FLASH_WriteFlashMtd(unsigned int u64GlobalOffset, const void *pData, unsigned int u64DataLen);
/* Offset and end must be multiples of the partition's erase size. */
BSP_API uint32_t FLASH_EraseFlashMtd(unsigned int u64GlobalOffset, unsigned int u64Len);

/* UBI volume devices such as /dev/ubi0_1. */
/* The volume's length in bytes, or 1 on failure. */
BSP_API uint64_t FLASH_Read_Ubi_File_Length(char *filename);
BSP_API uint32_t FLASH_Read_Ubi_Vol(uint64_t u64Offset, char *filename, void *pOutBuf, uint64_t u64ReadLen);
BSP_API uint32_t FLASH_Write_Ubi_Vol(uint64_t u64Offset, char *filename, const void *pData, uint64_t u64WriteLen);
/* Replaces the whole content of the volume. */
BSP_API uint32_t FLASH_Update_Ubi_Vol(char *filename, const void *pData, uint64_t u64WriteLen);

/* Read, write and erase error counts of /proc/flash/flash_err added up, at most 0xFFFFFFFF;
   0 when the file cannot be opened. */
BSP_API uint32_t flashGetErrorCount(void);

BSP_END_DECLS

#endif
