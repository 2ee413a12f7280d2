/* Error records, debug prints, trace and clock hooks, driver registry, software interrupt. */
#ifndef BSP_DIAG_H
#define BSP_DIAG_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

typedef void (*pLogPrint)(const char *filename, uint32_t line, uint32_t errNo);
typedef void (*BSP_VOIDINTTRACE)(uint32_t, uint32_t, uint32_t, uint32_t);
typedef void (*PFUN_CLKINTHOOK)(void);

typedef struct tagDRVReg_Item {
  char acDrvName[32];
  void *pDrvOpt;
} DRVReg_Item;

BSP_API extern pLogPrint gpLogPrintHook;
BSP_API extern uint32_t g_u32BspDebug;
BSP_API extern uint32_t g_ulPrintSwitch;
BSP_API extern BSP_VOIDINTTRACE g_BspIntTraceRecord;
BSP_API extern PFUN_CLKINTHOOK g_BspClkIntHook;
BSP_API extern uint32_t g_ulBSPIntTraceTesta;
BSP_API extern DRVReg_Item *gp_DrvRecord;
BSP_API extern uint32_t g_u32DrvRecordCounter;
BSP_API extern uint32_t g_DrvRegDbg;
BSP_API extern uint8_t *gp_u32MSITriggerAddr;
BSP_API extern uint32_t g_u32CCSBAR;

BSP_API void BSP_LogPrint_Register(pLogPrint pLogPrintHook);
BSP_API void BSP_ErrRecToLog(const char *filename, uint32_t fileline, uint32_t ulErrNo);
BSP_API void BSP_ApiErrRec(const char *filename, uint32_t fileline, uint32_t ulErrNo);
BSP_API void BSP_FatalErrRecord(const char *filepath, uint32_t fileline, uint32_t ulErrNo);
BSP_API char *BSP_StripPath(const char *pPathName);
BSP_API void BSP_TracePrint(const char *pFormat, ...) __attribute__((format(printf, 1, 2)));
BSP_API void BSP_Print(uint32_t ulMid, uint32_t ulPrintSwitch, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
BSP_API void BSP_RecordIntTraceRegister(BSP_VOIDINTTRACE pstRegHook);
BSP_API void BSP_RecordIntTraceInfo(uint32_t ulIntVect, uint32_t ulInPara, uint32_t ulTableNum,
                                    uint32_t ulIntState);
BSP_API void BSP_ClockIntHookRegister(PFUN_CLKINTHOOK pFun);
BSP_API void BSP_ClockIntHookCall(void);
BSP_API void BSP_IntTraceInfoTest(uint32_t ulIntVect, uint32_t ulInPara, uint32_t ulTableNum,
                                  uint32_t ulIntState);
BSP_API uint32_t DRV_RegistDriver(const char *pDrvName, void *pDrvOpt);
BSP_API void *DRV_FindDriver(const char *pDrvName);
BSP_API void DRV_ShowDriverRecord(void);
BSP_API void SOFTINT_UserInit(void);
BSP_API void SOFTINT_Trigger(uint32_t u32IntId, uint32_t u32CoreId);

BSP_END_DECLS

#endif
