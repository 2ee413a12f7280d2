/* Byte access to the NVRAM window the host has mapped into its process: a memory reached in
   aligned 16-bit units, the byte at the even offset in the high 8 bits of each unit. */
#ifndef BSP_NVRAM_H
#define BSP_NVRAM_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

typedef struct tagNvramInfo {
  uint32_t ulMagicWords;
  uint64_t u64NvramBaseAddress;
  uint32_t ulSize; /* window size in bytes */
  uint32_t ulWidth;
  char pName[16];
} NVRAM_INFO;

/* Records the window's process address and, when pInfo is given, its size and width. */
BSP_API uint32_t NVRAM_Init(unsigned long ulBaseAddr, NVRAM_INFO *pInfo);
BSP_API uint32_t NVRAM_GetSize(void);
BSP_API unsigned long NVRAM_GetBaseAddress(void);
/* 0 for success (and for ulSize 0), 1 for a null buffer or a range outside the window. */
BSP_API uint32_t NVRAM_Read(unsigned char *pucSdramAddr, unsigned long ulSramOffset, unsigned long ulSize);
BSP_API uint32_t NVRAM_Write(unsigned long ulSramOffset, const unsigned char *pucSdramAddr, unsigned long ulSize);
/* Writes ulLen bytes of 0x5A at offset 0, reads them back and prints every byte that differs. */
BSP_API void NvRam_Test(unsigned long ulLen);

BSP_END_DECLS

#endif
