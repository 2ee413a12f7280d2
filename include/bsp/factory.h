/* Factory flag parameters: the factory test's persistent record, its delay and success flag. */
#ifndef BSP_FACTORY_H
#define BSP_FACTORY_H

#include <bsp/board.h>
#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Kept little-endian as the first 28 bytes of the piece file "Factory_Flag_Para". */
typedef struct tagFactoryFlagPara {
  uint32_t ulSuccessCount;
  uint32_t ulFailCount;
  uint32_t ulLastStatus;   /* 0 none, 1 success, 2 failure */
  uint32_t ulCurrStatus;   /* 0 none, 1 success, 2 failure */
  uint32_t ulSetDelayTime; /* seconds; 0xFFFFFFFF not set */
  uint32_t ulSuccessTime;  /* seconds; 0xFFFFFFFF none */
  uint32_t ulSuccessFlag;  /* 0xABCDABCD when set */
} FACTORY_FLAG_PARA;

/* Fills the cleared time; 0 for success. It runs inside a setter's update of the record, so it
   must not call the setters itself. */
typedef uint32_t (*P_GET_TIME_HOOK)(St85TimeBIN *pTime);
/* Called once the success flag has been stored. */
typedef void (*P_SET_FACTORY_FLAG_HOOK)(void);

BSP_API extern P_GET_TIME_HOOK g_pfnGetTime;
BSP_API extern P_SET_FACTORY_FLAG_HOOK g_pfnSetFactoryFlag;

BSP_API void BSP_SET_FACTORY_FLAG_HOOK(P_SET_FACTORY_FLAG_HOOK hook);
BSP_API void BSP_Set_GetTimeHook(P_GET_TIME_HOOK hook);

BSP_API uint32_t isLeapYear(int32_t year);
BSP_API uint32_t DayOfMonth(uint32_t month, int32_t year);
/* Seconds since the epoch of the board's calendar clock, or 0xFFFFFFFF. */
BSP_API uint32_t BSP_RTC_GetTime(void);

BSP_API uint32_t BSP_InitFactFlagPara(FACTORY_FLAG_PARA *pFactFlagInfo);
BSP_API uint32_t BSP_GetFactFlagPara(FACTORY_FLAG_PARA *pFactFlagInfo);
BSP_API uint32_t BSP_GetSuccessCount(uint32_t *pulCount);
BSP_API uint32_t BSP_GetFailCount(uint32_t *pulCount);
BSP_API uint32_t BSP_GetLastStatus(uint32_t *pulStatus);
BSP_API uint32_t BSP_SetSuccessCount(uint32_t ulCount);
BSP_API uint32_t BSP_SetFailCount(uint32_t count);
/* In hours. */
BSP_API uint32_t BSP_SetDelayTime(uint32_t ulDelayTime);
BSP_API uint32_t BSP_GetDelayTime(uint32_t *pulDelayTime);
BSP_API uint32_t BSP_SetSuccessFlag(void);
/* 0 if the success flag is set, 1 if not or unreadable. */
BSP_API uint32_t BSP_GetSuccessFlag(void);
/* Seconds left of the delay since the last success. */
BSP_API uint32_t BSP_GetSpareTime(uint32_t *pSpareTime);
BSP_API uint32_t BSP_GetHideFlag(void);
BSP_API void BSP_SetFactoryFlag(void);
BSP_API uint32_t EmtestFileErase(uint32_t ulDeleteType);

BSP_END_DECLS

#endif
