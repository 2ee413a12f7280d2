/* Start-up roots, build stamp, watchdog state and shared board types. */
#ifndef BSP_BOARD_H
#define BSP_BOARD_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Calendar time filled by the host's clock hook. */
typedef struct tagSt85TimeBIN {
  int8_t cMs;
  int8_t cSecond;
  int8_t cMin;
  int8_t cHour;
  int8_t cDayOfWeek;  /* 1 to 7 */
  int8_t cDayOfMonth; /* 1 to 31 */
  int8_t cMonth;      /* 1 to 12 */
  int8_t cYear;       /* years since 2000 */
} St85TimeBIN;

/* One root per host process kind, called once before anything else. */
BSP_API void BSP_SoRoot(void);
BSP_API void BSP_SoLumRoot(void);
BSP_API void BSP_SoMonitorRoot(void);

/* *outbuf points to a buffer of at least 256 bytes. */
BSP_API void BSP_SoCompileTime(char **outbuf);

/* Non-zero: the watchdog feeder pings the device. */
BSP_API extern uint32_t watchdog_flag;
/* Descriptor of the open watchdog device, written by the feeder only. */
BSP_API extern int32_t g_wdg_fd;

/* Board information, decoded once from the board-information word. */
#define BDIF_BOARDINFO_VALID 0xCC33AA55u
/* "Not available" answer of the getters. */
#define BDIF_INVALID 0xFFFFFFFFu

typedef struct tagBDIF_BoardInfo {
  uint32_t u32IsValid; /* BDIF_BOARDINFO_VALID once decoded */
  uint32_t u32DdrMult;
  uint32_t u32HasCpld;
  uint32_t u32IsMpu;
  uint32_t u32BoardType;
  uint32_t u32FlashMult;
  uint32_t u32CpuNum;
  uint32_t u32BomVer;
  uint32_t u32PcbVer;
  uint32_t u32SlotNum; /* six bits: the slot and its odd-parity bit */
} BDIF_BoardInfo;

BSP_API extern BDIF_BoardInfo g_BDIF_BoardInfo;

/* The board's source of the word; this board has none and leaves the word as it is. */
BSP_API uint32_t BDIF_GetBdInfoValue(uint32_t *pu32BdInfo);
/* 1 once the record is decoded, 0 while the word cannot be read. */
BSP_API uint32_t BDIF_CheckBoardInfoPara(void);
BSP_API uint32_t BDIF_GetDdrMult(void);
BSP_API uint32_t BDIF_GetBoardType(void);
BSP_API uint32_t BDIF_GetFlashMult(void);
BSP_API uint32_t BDIF_GetCpuNum(void);
BSP_API uint32_t BDIF_GetBomVer(void);
BSP_API uint32_t BDIF_GetPcbVer(void);
BSP_API uint32_t BDIF_HasCpld(void);
BSP_API uint32_t BDIF_IsMpu(void);
/* 0 to 31, or BDIF_INVALID while the stored bits fail their parity. */
BSP_API uint32_t BDIF_GetSlotNum(void);
BSP_API void BDIF_SetSlotNum(uint32_t u32SlotNum);
/* From a fresh word: 0, or 1 when it cannot be read. */
BSP_API uint32_t BDIF_GetMasterSlave(uint32_t *pu32SRU0, uint32_t *pu32SRU1);
BSP_API void BDIF_PrintfBoardinfo(void);
BSP_API void BDIF_PrintfVersion(void);

/* Board configuration database: key bits 0 to 11 the board type, bits 12 to 31 a PCB version. */
typedef struct tagBoardCfgDbItem {
  uint32_t u32Key;
  void *pItemData;
} BoardCfgDbItem;

typedef struct tagZQBoardConfig_Var {
  void *pVfsPiecesCfg;
} ZQBoardConfig_Var;

BSP_API extern ZQBoardConfig_Var g_ZQDefaultCfg;
BSP_API extern BoardCfgDbItem g_ZQBoardCfgList[3];
/* Set by BCDB_InitBoardCfg: the record for this board and the database's first record. */
BSP_API extern ZQBoardConfig_Var *pBoardConfig;
BSP_API extern ZQBoardConfig_Var *pDefaultConfig;

/* A database ended by an item with null data. */
BSP_API void *BCDB_GetBoardCfgDB(BoardCfgDbItem *pDbData, uint32_t u32Key);
/* A database ended by an item with the key 0xFFFFFFFF. */
BSP_API void *BCDB_GetBoardCfgDBEndByKey(BoardCfgDbItem *pDbData, uint32_t u32Key);
BSP_API void BCDB_InitBoardCfg(uint32_t u32BoardId);

BSP_END_DECLS

#endif
