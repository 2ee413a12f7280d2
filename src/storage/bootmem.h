// The loader's view of the boot parameter memory: the mapped /mnt/flash/.bootMem.dat with its
// 16-bit boot-attempt count and the package search index. Loader build only.
#pragma once

#include <bsp/bootparam.h>
#include <stdint.h>

extern "C" {

extern uintptr_t g_BootMemAddr;           // base of the mapping, 0 until mapped
extern BOOTINFO *g_pstBootParaFlag;       // base + 0x1000, null when not usable
extern SearchPktLog *g_u32SearchPktCnt;   // base + 0x3000, null when not usable

// The base address of the mapped file (mapping it on the first call), or -1.
intptr_t Boot_GetMemAddr(void);
// Maps the file and points the two records into it; 0, or -1 when the mapping failed.
int32_t Boot_BootinfoInit(void);
int32_t Boot_IncrLoadFailTimes(void);
int32_t Boot_ClearLoadFailTimes(void);
int32_t Boot_GetLoadFailTimes(void);
uint32_t Boot_GetSearchPktCnt(void);
void Boot_SetSearchPktCnt(uint32_t count);

}
