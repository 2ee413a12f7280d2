/* Platform probes: board facts read from Linux (CPU clock, memory, SATA disk) and the small
   facts that are fixed on this board. */
#ifndef BSP_PROBE_H
#define BSP_PROBE_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Header at the start of a piece file that holds a boot image. */
typedef struct tagFlashFileInfo {
  uint32_t ulFileCRC;
  uint32_t ulFileLen;
  uint32_t ulFileVer;
} FLASH_FILE_INFO;

/* CPU clock of the first successful probe (kHz for the kernel's three decimals); 0: not yet. */
BSP_API extern uint32_t g_ulCpu_Clock_Rate;
/* Kept for the host; the library neither sets nor reads them. */
BSP_API extern uint32_t g_ulCpu_Freq_Rate;
BSP_API extern uint32_t board_need_backboard_id;

BSP_API uint32_t BSP_GetCPUFreq(void);
/* Probed once per process, then served from g_ulCpu_Clock_Rate; 0 when nothing was read. */
BSP_API uint32_t BSP_GetCpuClock(void);
/* This board has no time base: nothing is written. */
BSP_API void BSP_TimeBaseGet(uint32_t *u32TBU, uint32_t *u32TBL);
BSP_API uint32_t BDIF_GetBootRomVersionString(unsigned long ulArea, char *pcVersion);
/* pcVersion holds at least 8 bytes; 0, or 1 when no version can be given. */
BSP_API uint32_t BDIF_GetBootLoadVersionString(char *pcVersion);
/* MemTotal in KiB raised to the next whole GiB (one more when already whole). */
BSP_API uint32_t BSP_GetDDRRamSize(void);
BSP_API uint32_t BSP_GetLedNum(unsigned long ulLedFlag, unsigned long *pulLedNum);
BSP_API uint32_t BSP_GetCpldNum(void);
/* Type 2: the flash front's size; other types 0. */
BSP_API uint32_t BSP_GetFlashSize(unsigned long ulFlashType);
/* dev_name holds at least 10 bytes; 0 when an ATA disk was found, else 1. */
BSP_API int BSPSMS_GetSataDevice(char *dev_name);
/* Capacity of the ATA disk in MiB; 0, or 1 when there is none or fdisk cannot run. */
BSP_API uint32_t BSPSMS_GetSataCapacity(uint32_t *capacity);
BSP_API uint32_t BSP_GetSataPresent(void);

BSP_END_DECLS

#endif
