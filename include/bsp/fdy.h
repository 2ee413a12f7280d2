/* Flash-dynamic file area: files named by a 32-bit identifier in the flash address space. */
#ifndef BSP_FDY_H
#define BSP_FDY_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

#define FDY_MAGIC_ONE 0xAA559966u
#define FDY_MAGIC_TWO 0x55AA6699u

/* Both records are stored little-endian at the start of the area. */
typedef struct tagFdyFileDescrMagic {
  uint32_t u32MagicOne;
  uint32_t u32MagicTwo;
} FDY_FILE_DESCR_MAGIC_S;

typedef struct tagFdyFileDescr {
  uint32_t u32FileID;   /* 0xFFFFFFFF in an erased entry */
  uint32_t u32Offset;   /* flash offset of the allocation */
  uint32_t u32FileLen;  /* stored content */
  uint32_t u32AllocLen; /* allocation */
  uint32_t u32Status;   /* 0 in use; 0xFFFFFFFF erased (end of the table) */
  uint32_t u32Reserved;
} FDY_FILE_DESCR_S;

BSP_API uint32_t FDY_InitFlashDyna(uint64_t u64StartOffset, unsigned int u32Size);
BSP_API uint32_t FDY_CheckFlashDyna(void);
BSP_API uint32_t FDY_FormatFlashDyna(void);
BSP_API uint32_t FDY_FormatFlashDynaWithoutFpga(void);
/* Mode 1 creates or rewrites; mode 2 never succeeds; any other mode rewrites an existing file. */
BSP_API uint32_t FDY_SaveFileByFileId(unsigned int u32FileId, void *pFile, unsigned int u32FileLen,
                                      unsigned int u32Mode);
/* The loads return the number of bytes loaded, 0 on failure. */
BSP_API uint32_t FDY_LoadFileByFileId(unsigned int u32FileId, void *pOutBuffer, unsigned int u32BufLen);
BSP_API uint32_t FDY_RandomLoadFileByFileId(unsigned int u32FileId, unsigned int u32Offset, unsigned int u32RdLen,
                                            void *pOutBuffer, unsigned int u32BufLen);
BSP_API uint32_t FDY_GetFileLengthByFileId(unsigned int u32FileId, unsigned int *pFileLen);
BSP_API uint32_t FDY_ChangeFileID(unsigned int u32FileId, unsigned int u32FileIdNew);
BSP_API void FDY_ListFileInFlash(void);

/* Building blocks of a save. Entry offsets are flash offsets; 0 means none. */
BSP_API uint64_t FDY_FindDescByFileId(unsigned int u32FileId);
BSP_API uint64_t FDY_FindFreeDesc(FDY_FILE_DESCR_S *pDesc);
BSP_API unsigned int FDY_CalcAllocSize(unsigned int u32FileSize, unsigned int u32FreeSize);
BSP_API uint64_t FDY_AllocFileSpace(FDY_FILE_DESCR_S *pDesc, uint64_t u64OrigDescOffset);
BSP_API uint64_t FDY_ZoomFileSpace(FDY_FILE_DESCR_S *pDesc, uint64_t u64OrigDescOffset);
BSP_API uint32_t FDY_MoveFileSpace(uint64_t u64StartDescOffset, uint64_t u64EndDescOffset,
                                   uint64_t u64NewFileOffset);

BSP_END_DECLS

#endif
