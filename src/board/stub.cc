// Neutral answers for board services this x86 board lacks.
#include <bsp/stub.h>

extern "C" {

BSP_API uint32_t BSPSMS_GetCardOnline(unsigned long ulLogicSlotNum, unsigned char *pucStatus) { return 0; }
BSP_API uint32_t BSPSMS_GetBoardType(unsigned long ulBoardSlot, unsigned long *pulBoardType) { return 0; }
BSP_API uint32_t BSPSMS_GetTemperature(unsigned long ulDevIndex, long *plTemperature) { return 0; }
BSP_API uint32_t BSPSMS_GetPhySlotNum(uint32_t u32LogicSlotNum) { return 0; }
BSP_API char *BCDB_GetBootLoaderName(void) { return nullptr; }
BSP_API void CPLDLED_SetRunAlarmLED(uint32_t mode) {}
BSP_API uint32_t RTC_GetTime(St85TimeBIN *pTime) { return 0; }
BSP_API uint32_t BDIF_IsOnBoard(void) { return 0; }
BSP_API uint32_t get_topmem_virtbase_addr(uint32_t *topmembaseaddr) { return 0; }

BSP_API uint32_t BSPSMS_SetBoardMaster(...) { return 0; }
BSP_API uint32_t BSPSMS_GetBoardMaster(...) { return 0; }
BSP_API uint32_t BSPSMS_GetPeerBoardMaster(...) { return 0; }
BSP_API uint32_t BSPSMS_SetBoardMasterEnable(...) { return 0; }
BSP_API uint32_t BSPSMS_SetSlotID(...) { return 0; }
BSP_API uint32_t BSPLED_CtrlLed(...) { return 0; }
BSP_API uint32_t BSPSMS_Set3GModemReboot(...) { return 0; }
BSP_API uint32_t BSPSMS_GetSimCardId(...) { return 0; }
BSP_API uint32_t BSPSMS_Set3GPowerOn(...) { return 0; }
BSP_API uint32_t BSPSMS_SelectSimCard(...) { return 0; }
BSP_API uint32_t CPLDINT_ConnectInUsr(...) { return 0; }
BSP_API uint32_t BSPSMS_SelectBackplanClk(...) { return 0; }
BSP_API uint32_t BSPSMS_SetFanCardLedStatus(...) { return 0; }
BSP_API uint32_t SOL_SelectBoard(...) { return 0; }
BSP_API uint32_t SOL_SetToCard(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanSpeed(...) { return 0; }
BSP_API uint32_t BSPSMS_GetPowerState(...) { return 0; }
BSP_API uint32_t BSPSMS_GetPower(...) { return 0; }
BSP_API uint32_t BSPSMS_FanResetCtrl(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanCardTemperature(...) { return 0; }
BSP_API uint32_t BSPSMS_SetBoardPowerOn(...) { return 0; }
BSP_API uint32_t BSPSMS_SetE2promWriteProtect(...) { return 0; }
BSP_API uint32_t BSPSMS_ResetBoard(...) { return 0; }
BSP_API uint32_t BSPSMS_SelectPllClk(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanCardNum(...) { return 0; }
BSP_API uint32_t BSPSMS_SetFanSpeed(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanSpeedPercent(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanOnlineStatus(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanCardVersion(...) { return 0; }
BSP_API uint32_t BSPSMS_LoadFanApp(...) { return 0; }
BSP_API uint32_t BSPSMS_InitHookBeforApp(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanCardPcbVersion(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanCardType(...) { return 0; }
BSP_API uint32_t BSPSMS_WriteBackplanE2prom(...) { return 0; }
BSP_API uint32_t BSPSMS_ReadBackplanE2prom(...) { return 0; }
BSP_API uint32_t BSPSMS_FanElableWrite(...) { return 0; }
BSP_API uint32_t BSPSMS_FanElableRead(...) { return 0; }
BSP_API uint32_t BSPSMS_SetSlotNum(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanNum(...) { return 0; }
BSP_API uint32_t BSPSMS_GetFanCardAlarm(...) { return 0; }
BSP_API uint32_t BSPRST_SetChipResetDelay(...) { return 0; }
BSP_API uint32_t BSPRST_ChipReset(...) { return 0; }
BSP_API int32_t BSP_GetSubCoreHiMemAddr(...) { return 0; }
BSP_API int32_t DRV_RegCmdPro(...) { return 0; }
BSP_API int32_t POE_5952Drv_GetChipID(...) { return 0; }
BSP_API int32_t POE_5965Drv_GetChipID(...) { return 0; }
BSP_API int32_t POE_DRV_GetDIMM1ExitStatus(...) { return 0; }
BSP_API int32_t POE_DRV_Init(...) { return 0; }
BSP_API int32_t POE_DRV_IntDisable(...) { return 0; }
BSP_API int32_t POE_DRV_IntEnable(...) { return 0; }
BSP_API int32_t POE_DRV_IntInit(...) { return 0; }
BSP_API int32_t POE_DRV_IntRegister(...) { return 0; }
BSP_API int32_t POE_DRV_ReadI2C(...) { return 0; }
BSP_API int32_t POE_DRV_ReadI2C_IA(...) { return 0; }
BSP_API int32_t POE_DRV_WriteI2C(...) { return 0; }
BSP_API int32_t POE_SN8045Drv_GetChipID(...) { return 0; }
BSP_API uint8_t BSPSMS_GetPllLocked(...) { return 0; }
BSP_API uint8_t BSPSMS_GetDspDimPcbVer(...) { return 0; }
BSP_API uint8_t BSPSMS_GetDspDimType(...) { return 0; }
BSP_API void *BCDB_GetSfpConfig(...) { return nullptr; }
BSP_API void CPLD_RWUsrInit(...) {}
BSP_API void CPLDINT_SoInit(...) {}
BSP_API void BSPLDE_SetRunLedMode(...) {}

}  // extern "C"
