/* CPLD adaptation: the driver table the host fills, its wrappers and the JTAG lines. */
#ifndef BSP_CPLD_H
#define BSP_CPLD_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* CPLD interrupt handler, as the host's intConnect slot takes it. */
typedef void (*FuncCpldIntIsr)(uint32_t ulPara);

typedef enum enRESETTYPE {
  UNKNOWN_RESET = 0,
  PWR_RESET = 1,
  WDT_RESET = 2,
  CANBUS_RESET = 3,
  KEY_RESET = 4,
  SOFT_RESET = 5
} enRESETTYPE;

/* The slots of g_strBspCpldTbl in their order, once for the structure and the wrappers:
     RESULT(slot, field, wrapper, result type, (parameters), (slot's parameter types),
            (arguments passed), answer of an empty slot)
     ACTION(slot, field, wrapper, (parameters), (slot's parameter types), (arguments passed))
            returns nothing; an empty slot does nothing
     SPARE(slot, field)  a slot without a wrapper
   The host fills the slots by field: the order is the table's layout. */
#define BSP_CPLD_SLOTS(RESULT, ACTION, SPARE)                                                                  \
  ACTION(0, regWrite, CPLD_RegWrite, (uint32_t ulNum, uint32_t ulRegOffset, uint8_t ucData),                   \
         (uint32_t, uint32_t, uint32_t), (ulNum, ulRegOffset, (uint32_t)ucData))                               \
  ACTION(1, regRead, CPLD_RegRead, (uint32_t ulNum, uint32_t ulRegOffset, uint8_t *pcOut),                    \
         (uint32_t, uint32_t, uint8_t *), (ulNum, ulRegOffset, pcOut))                                         \
  SPARE(2, writeReg)                                                                                           \
  SPARE(3, readReg)                                                                                            \
  RESULT(4, disableInt, CPLD_DisableInt, uint32_t, (uint32_t ulInt), (uint32_t), (ulInt), 1)                   \
  RESULT(5, enableInt, CPLD_EnableInt, uint32_t, (uint32_t ulInt), (uint32_t), (ulInt), 1)                     \
  RESULT(6, intConnect, CPLD_IntConnect, uint32_t,                                                             \
         (uint32_t ulIntVector, FuncCpldIntIsr pFunc, uint32_t ulPara), (uint32_t, FuncCpldIntIsr, uint32_t),  \
         (ulIntVector, pFunc, ulPara), 1)                                                                      \
  RESULT(7, resetChip, CPLD_ResetChip, uint32_t, (uint32_t u32Chip), (uint32_t), (u32Chip), 1)                 \
  RESULT(8, getBackBoardInfo, CPLD_GetBackBoardInfo, uint32_t, (uint8_t *pInfo), (uint8_t *), (pInfo), 1)     \
  RESULT(9, getBackBoardId, CPLD_GetBackBoardId, uint32_t, (uint8_t *pId), (uint8_t *), (pId), 1)             \
  RESULT(10, ctrlLed, CPLD_CtrlLed, uint32_t, (uint32_t u32Led, uint32_t u32Light), (uint32_t, uint32_t),      \
         (u32Led, u32Light), 1)                                                                                \
  ACTION(11, setActLEDAuto, CPLD_SetActLEDAuto, (uint32_t u32LedNum, uint32_t u32ActLEDAuto),                  \
         (uint32_t, uint32_t), (u32LedNum, u32ActLEDAuto))                                                     \
  RESULT(12, getCPLDVersion, CPLD_GetCPLDVersion, uint64_t, (uint32_t u32CpldId), (uint32_t), (u32CpldId), 1)  \
  RESULT(13, selfTest, CPLD_SelfTest, uint32_t, (void), (void), (), 1)                                         \
  RESULT(14, getCardOnline, CPLD_GetCardOnline, uint32_t, (void), (void), (), 0)                               \
  ACTION(15, setResetType, CPLD_SetResetType, (void), (void), ())                                              \
  RESULT(16, getCPLDFormalVersion, CPLD_GetCPLDFormalVersion, uint32_t, (uint32_t u32CpldId), (uint32_t),      \
         (u32CpldId), 1)                                                                                       \
  RESULT(17, getResetTypeReg, CPLD_GetResetTypeReg, uint32_t, (void), (void), (), 0)                           \
  RESULT(18, getClkDetect, CPLD_TestClk, uint32_t, (uint32_t ulClk, uint32_t ulType), (uint32_t, uint32_t),    \
         (ulClk, ulType), 1)                                                                                   \
  RESULT(19, selectPllClk, CPLD_SelectPllClk, uint32_t, (uint32_t ulClk), (uint32_t), (ulClk), 1)              \
  RESULT(20, selectBackplanClk, CPLD_SelectBackplanClk, uint32_t, (uint32_t ulBpClk), (uint32_t), (ulBpClk), 1) \
  RESULT(21, getPllLocked, CPLD_GetPllLocked, uint8_t, (void), (void), (), 0)                                  \
  RESULT(22, getPowerCheck, CPLD_GetPowerCheck, uint32_t, (uint16_t *pu16CheckVal), (uint16_t *),             \
         (pu16CheckVal), 0)                                                                                    \
  RESULT(23, SetBoardMasterEn, CPLD_SetBoardMastEnalbe, uint32_t, (uint32_t ulEnable), (uint32_t), (ulEnable), \
         0)                                                                                                    \
  RESULT(24, SetBoardMaster, CPLD_SetBoardMast, uint32_t, (uint32_t ulIsMaster), (uint32_t), (ulIsMaster), 0)  \
  RESULT(25, GetPowerState, CPLD_IsPowerGood, uint32_t, (uint32_t ulPowerIndex), (uint32_t), (ulPowerIndex),   \
         1)                                                                                                    \
  RESULT(26, GetPoePowerState, CPLD_IsPoePowerIn, uint32_t, (void), (void), (), 1)                             \
  RESULT(27, GetBoardMaster, CPLD_GetBoardMaster, uint32_t, (void), (void), (), 0)                             \
  RESULT(28, SetSlotID, CPLD_SetSlotID, uint32_t, (uint32_t ulSlotID), (uint32_t), (ulSlotID), 1)              \
  RESULT(29, GetPeerBoardMaster, CPLD_GetPeerBoardMaster, uint32_t, (void), (void), (), 1)

#define BSP_CPLD_FIELD_RESULT_(slot, field, wrapper, type, params, types, args, empty) void *field;
#define BSP_CPLD_FIELD_ACTION_(slot, field, wrapper, params, types, args) void *field;
#define BSP_CPLD_FIELD_SPARE_(slot, field) void *field;

/* Each slot is a driver function of the host (untyped here), or null. */
typedef struct tagBspCpldTbl {
  BSP_CPLD_SLOTS(BSP_CPLD_FIELD_RESULT_, BSP_CPLD_FIELD_ACTION_, BSP_CPLD_FIELD_SPARE_)
} BSP_CPLD_T;

BSP_API extern BSP_CPLD_T g_strBspCpldTbl;

#define BSP_CPLD_DECLARE_RESULT_(slot, field, wrapper, type, params, types, args, empty) BSP_API type wrapper params;
#define BSP_CPLD_DECLARE_ACTION_(slot, field, wrapper, params, types, args) BSP_API void wrapper params;
#define BSP_CPLD_DECLARE_SPARE_(slot, field)

BSP_CPLD_SLOTS(BSP_CPLD_DECLARE_RESULT_, BSP_CPLD_DECLARE_ACTION_, BSP_CPLD_DECLARE_SPARE_)

/* JTAG line n (0 to 7) is bit n of register 27 of CPLD 0. Other lines do nothing and read as 1. */
BSP_API void CPLD_HiJtagGpio(uint32_t u32Gpio);
BSP_API void CPLD_LowJtagGpio(uint32_t u32Gpio);
BSP_API uint32_t CPLD_GetJtagGpio(uint32_t u32Gpio);

BSP_END_DECLS

#endif
