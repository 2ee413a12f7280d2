/* Services this board does not have: each call answers its neutral value. */
#ifndef BSP_STUB_H
#define BSP_STUB_H

#include <bsp/bsp_types.h>
#include <bsp/board.h>

BSP_BEGIN_DECLS

/* The stubs whose callers pass varying arguments take any arguments. */
#ifdef __cplusplus
#define BSP_ANY_ARGS ...
#else
#define BSP_ANY_ARGS
#endif

BSP_API uint32_t BSPSMS_GetCardOnline(unsigned long ulLogicSlotNum, unsigned char *pucStatus);
BSP_API uint32_t BSPSMS_GetBoardType(unsigned long ulBoardSlot, unsigned long *pulBoardType);
BSP_API uint32_t BSPSMS_GetTemperature(unsigned long ulDevIndex, long *plTemperature);
BSP_API uint32_t BSPSMS_GetPhySlotNum(uint32_t u32LogicSlotNum);
BSP_API char *BCDB_GetBootLoaderName(void);
BSP_API void CPLDLED_SetRunAlarmLED(uint32_t mode);
BSP_API uint32_t RTC_GetTime(St85TimeBIN *pTime);
BSP_API uint32_t BDIF_IsOnBoard(void);
BSP_API uint32_t get_topmem_virtbase_addr(uint32_t *topmembaseaddr);

BSP_API uint32_t BSPSMS_SetBoardMaster(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetBoardMaster(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetPeerBoardMaster(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SetBoardMasterEnable(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SetSlotID(BSP_ANY_ARGS);
BSP_API uint32_t BSPLED_CtrlLed(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_Set3GModemReboot(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetSimCardId(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_Set3GPowerOn(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SelectSimCard(BSP_ANY_ARGS);
BSP_API uint32_t CPLDINT_ConnectInUsr(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SelectBackplanClk(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SetFanCardLedStatus(BSP_ANY_ARGS);
BSP_API uint32_t SOL_SelectBoard(BSP_ANY_ARGS);
BSP_API uint32_t SOL_SetToCard(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanSpeed(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetPowerState(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetPower(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_FanResetCtrl(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanCardTemperature(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SetBoardPowerOn(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SetE2promWriteProtect(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_ResetBoard(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SelectPllClk(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanCardNum(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SetFanSpeed(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanSpeedPercent(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanOnlineStatus(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanCardVersion(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_LoadFanApp(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_InitHookBeforApp(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanCardPcbVersion(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanCardType(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_WriteBackplanE2prom(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_ReadBackplanE2prom(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_FanElableWrite(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_FanElableRead(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_SetSlotNum(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanNum(BSP_ANY_ARGS);
BSP_API uint32_t BSPSMS_GetFanCardAlarm(BSP_ANY_ARGS);
BSP_API uint32_t BSPRST_SetChipResetDelay(BSP_ANY_ARGS);
BSP_API uint32_t BSPRST_ChipReset(BSP_ANY_ARGS);
BSP_API int32_t BSP_GetSubCoreHiMemAddr(BSP_ANY_ARGS);
BSP_API int32_t DRV_RegCmdPro(BSP_ANY_ARGS);
BSP_API int32_t POE_5952Drv_GetChipID(BSP_ANY_ARGS);
BSP_API int32_t POE_5965Drv_GetChipID(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_GetDIMM1ExitStatus(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_Init(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_IntDisable(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_IntEnable(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_IntInit(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_IntRegister(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_ReadI2C(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_ReadI2C_IA(BSP_ANY_ARGS);
BSP_API int32_t POE_DRV_WriteI2C(BSP_ANY_ARGS);
BSP_API int32_t POE_SN8045Drv_GetChipID(BSP_ANY_ARGS);
BSP_API uint8_t BSPSMS_GetPllLocked(BSP_ANY_ARGS);
BSP_API uint8_t BSPSMS_GetDspDimPcbVer(BSP_ANY_ARGS);
BSP_API uint8_t BSPSMS_GetDspDimType(BSP_ANY_ARGS);
BSP_API void *BCDB_GetSfpConfig(BSP_ANY_ARGS);
BSP_API void CPLD_RWUsrInit(BSP_ANY_ARGS);
BSP_API void CPLDINT_SoInit(BSP_ANY_ARGS);
BSP_API void BSPLDE_SetRunLedMode(BSP_ANY_ARGS);

BSP_END_DECLS

#endif
