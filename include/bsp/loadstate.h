/* The load state word: which startup package the loader boots next. */
#ifndef BSP_LOADSTATE_H
#define BSP_LOADSTATE_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

#define LOAD_STATE_WORD_MAGIC 0x12344321u

#pragma pack(push, 1)

/* One startup-file set. */
typedef struct tagLoadStateWordCore {
  uint8_t ucPktValidFlag;
  char acPktFileName[65];
  char acCfgFileName[65];
  char acLicsFileName[65];
  uint8_t ucPatchStat;
  char acPatchFileName[65];
  char acVoiceFileName[65];
  uint8_t aucReserve[512];
} LOAD_STATE_WORD_CORE_S;

/* Stored whole at offset 0 of the piece file "statemach.efs"; integers little-endian. */
typedef struct tagLoadStateWord {
  uint32_t ulMagicWord;
  uint16_t usCrcChkSum;
  LOAD_STATE_WORD_CORE_S stLoadStateWordCur;
  LOAD_STATE_WORD_CORE_S stLoadStateWordPre;
  uint8_t ucCurDiskFlag;
  uint8_t ucLoadFailTimes;
  char acBackupPktFileName[65];
  uint8_t aucReserve2[512];
} LOAD_STATE_WORD_S;

#pragma pack(pop)

#if defined(__cplusplus)
static_assert(sizeof(LOAD_STATE_WORD_CORE_S) == 839, "startup-file set is 839 bytes");
static_assert(sizeof(LOAD_STATE_WORD_S) == 2263, "load state word is 2263 bytes");
#else
_Static_assert(sizeof(LOAD_STATE_WORD_CORE_S) == 839, "startup-file set is 839 bytes");
_Static_assert(sizeof(LOAD_STATE_WORD_S) == 2263, "load state word is 2263 bytes");
#endif

BSP_API uint32_t BSP_GetLoadStateWord(LOAD_STATE_WORD_S *pstLoadStateWord);
BSP_API uint32_t BSP_SetLoadStateWord(LOAD_STATE_WORD_S *pstLoadStateWord);
BSP_API uint32_t BSP_InitLoadStateWord(LOAD_STATE_WORD_S *pstLoadStateWord);
BSP_API uint32_t BSP_SaveBootFileName(signed char *szFileName);
BSP_API uint32_t BSP_SaveStateLoadWordtoMem(LOAD_STATE_WORD_S *pLoadStateWordAddrSrc);

BSP_END_DECLS

#endif
