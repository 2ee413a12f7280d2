/* The board API tables, one row per slot, in slot order. The host fills slots by field, so
   this order is ABI: slot i sits at offset i times the pointer size. <bsp/api.h> builds the
   table structures and the entry point declarations from these lists; the library builds the
   entry points and the connection from the same rows.

   E(slot, field, kind, entry point, parameters, call arguments, empty answer, connection)
     a slot with an entry point that dispatches through it;
   S(slot, field, kind, connection)
     a slot that no entry point uses.

   kind: U returns uint32_t, V returns nothing, C returns char.
   call arguments: what the entry point passes to the function in the slot.
   empty answer, when the slot (or the whole table) is missing:
     RULE         error record, BSP_API_ERR_NOT_CONNECTED
     REC_ZERO     error record, 0
     REC_ONE      error record, 1
     REC_STATUS1  1 into *pulStatus, error record, BSP_API_ERR_NOT_CONNECTED
     VOID_REC     error record (nothing to return)
     VOID_QUIET   nothing at all
     QUIET_NC     BSP_API_ERR_NOT_CONNECTED without an error record
     QUIET_ZERO   0 without an error record
   connection, what BSP_ConnectAPI does with the slot:
     SET(f) stores f, CLEAR stores null, KEEP leaves the slot as it is. */
#ifndef BSP_API_SLOTS_H
#define BSP_API_SLOTS_H

/* API_FUNC_S, reached through g_pstBspApi. */
#define BSP_API_FUNC_SLOTS(E, S)                                                                                    \
  E(0, pFuncIsVirtualInsertValid, U, BSP_ApiIsVirtualInsertValid, (void), (), REC_ZERO,                             \
    SET(TIV_StubIsVirtualInsertValid))                                                                              \
  E(1, pFuncBoardTypeGet, U, BSP_ApiBoardTypeGet, (unsigned long ulSlotId, unsigned long *pulType),                 \
    (ulSlotId, pulType), RULE, SET(TIV_StubBoardTypeGet))                                                           \
  E(2, pFuncMabVersionGet, U, BSP_ApiMabVersionGet, (unsigned long ulSlotId, unsigned char *pucVersion),            \
    (ulSlotId, pucVersion), RULE, SET(TIV_StubMabVersionGet))                                                       \
  E(3, pFuncPcbVersionGet, U, BSP_ApiPcbVersionGet, (unsigned long ulSlotId, unsigned char *pucVersion),            \
    (ulSlotId, pucVersion), RULE, SET(TIV_StubPcbVersionGet))                                                       \
  E(4, pFuncBackPlanePcbVersionGet, U, BSP_ApiBackPlanePcbVersionGet, (unsigned char *pucVersion), (pucVersion),    \
    RULE, CLEAR)                                                                                                    \
  E(5, pFuncBackPlaneMabVersionGet, U, BSP_ApiBackPlaneMabVersionGet, (unsigned char *pucVersion), (pucVersion),    \
    RULE, CLEAR)                                                                                                    \
  E(6, pFuncBackPlaneTypeGet, U, BSP_ApiBackPlaneTypeGet, (unsigned char *pucType), (pucType), RULE, CLEAR)         \
  E(7, pFuncSubBoardLogicVersionGet, U, BSP_ApiSubBoardLogicVersionGet,                                             \
    (unsigned long ulSubBoardId, unsigned long ulChipId, unsigned char *pucVersion),                                \
    (ulSubBoardId, ulChipId, pucVersion), RULE, KEEP)                                                               \
  E(8, pFuncSubBoardOnlineStatusGet, U, BSP_ApiSubBoardOnlineStatusGet,                                             \
    (unsigned long ulSubBoardId, unsigned char *pucStatus), (ulSubBoardId, pucStatus), RULE,                        \
    SET(BSPSMS_GetCardOnline))                                                                                      \
  E(9, pFuncSubBoardTypeGet, U, BSP_ApiSubBoardTypeGet, (unsigned long ulSubBoardId, unsigned long *pulType),       \
    (ulSubBoardId, pulType), RULE, SET(BSPSMS_GetBoardType))                                                        \
  E(10, pFuncSubBoardMabVersionGet, U, BSP_ApiSubBoardMabVersionGet,                                                \
    (unsigned long ulSubBoardId, unsigned char *pucVersion), (ulSubBoardId, pucVersion), RULE, KEEP)                \
  E(11, pFuncSubBoardPcbVersionGet, U, BSP_ApiSubBoardPcbVersionGet,                                                \
    (unsigned long ulSubBoardId, unsigned char *pucVersion), (ulSubBoardId, pucVersion), RULE, KEEP)                \
  E(12, pFuncIsAnotherBoardExist, U, BSP_ApiIsAnotherBoardExist, (void), (), REC_ONE, KEEP)                         \
  E(13, pFuncIsMasterBoard, U, BSP_ApiIsMasterBoard, (void), (), REC_ONE, KEEP)                                     \
  E(14, pFuncSlaveBoardReset, V, BSP_ApiSlaveBoardReset, (void), (), VOID_REC, KEEP)                                \
  E(15, pFuncActiveCompete, V, BSP_ApiBoardActiveCompete, (void), (), VOID_REC, KEEP)                               \
  E(16, pFuncStandbyForce, V, BSP_ApiBoardStandbyForce, (void), (), VOID_REC, KEEP)                                 \
  E(17, pFuncBoardSlotNumGet, U, BSP_ApiBoardSlotNumGet, (unsigned char *pucSlotId), (pucSlotId), RULE,             \
    SET(TIV_StubBoardSlotNumGet))                                                                                   \
  E(18, pFuncSlotOnlineStatusGet, U, BSP_ApiSlotOnlineStatusGet, (unsigned long ulSlotId, unsigned long *pulStatus), \
    (ulSlotId, pulStatus), REC_STATUS1, SET(TIV_StubSlotOnlineStatusGet))                                           \
  E(19, pFuncE2promRead, U, BSP_ApiE2promRead,                                                                      \
    (unsigned long ulE2promId, unsigned long ulOffset, unsigned char *pucDstAddr, unsigned long ulLen,              \
     unsigned long *pulActLen),                                                                                     \
    (ulE2promId, ulOffset, pucDstAddr, ulLen, pulActLen), RULE, CLEAR)                                              \
  E(20, pFuncE2promWrite, U, BSP_ApiE2promWrite,                                                                    \
    (unsigned long ulE2promId, unsigned long ulOffset, unsigned char *pucSrcAddr, unsigned long ulLen,              \
     unsigned long *pulActLen),                                                                                     \
    (ulE2promId, ulOffset, pucSrcAddr, ulLen, pulActLen), RULE, CLEAR)                                              \
  E(21, pFuncOpticRead, U, BSP_ApiOpticRead,                                                                        \
    (unsigned long ulOpticId, unsigned long ulDevAddr, unsigned long ulOffset, unsigned char *pucDstAddr,           \
     unsigned long ulLen, unsigned long *pulActLen),                                                                \
    (ulOpticId, ulDevAddr, ulOffset, pucDstAddr, ulLen, pulActLen), RULE, SET(TIV_StubOpticRead))                   \
  E(22, pFuncBoardRebootCauseGet, U, BSP_ApiBoardRebootCauseGet, (unsigned char *pucCause), (pucCause), RULE, KEEP) \
  E(23, pFuncEthDisable, V, BSP_ApiEthDisable, (void), (), VOID_REC, KEEP)                                          \
  E(24, pFuncEthEnable, V, BSP_ApiEthEnable, (void), (), VOID_REC, KEEP)                                            \
  E(25, pFuncEthParameterGet, U, BSP_ApiEthParameterGet,                                                            \
    (unsigned long ulParaType, unsigned long ulLen, unsigned char *pucValue), (ulParaType, ulLen, pucValue), RULE,  \
    KEEP)                                                                                                           \
  E(26, pFuncEthParameterSet, U, BSP_ApiEthParameterSet,                                                            \
    (unsigned long ulParType, unsigned long ulLen, unsigned char *pucValue), (ulParType, ulLen, pucValue), RULE,    \
    KEEP)                                                                                                           \
  E(27, pFuncEthIpGet, U, BSP_ApiEthIpGet, (unsigned long ulIpType, unsigned long ulLen, unsigned char *pucIpValue), \
    (ulIpType, ulLen, pucIpValue), RULE, KEEP)                                                                      \
  E(28, pFuncEthIpSet, U, BSP_ApiEthIpSet, (unsigned long ulIpType, unsigned long ulLen, unsigned char *pucIpValue), \
    (ulIpType, ulLen, pucIpValue), RULE, KEEP)                                                                      \
  E(29, pFuncEthMacGet, U, BSP_ApiEthMacGet, (unsigned long ulMacType, unsigned char *aucMac), (ulMacType, aucMac), \
    RULE, CLEAR)                                                                                                    \
  E(30, pFuncEthMacSet, U, BSP_ApiEthMacSet, (unsigned long ulMacType, unsigned char *aucMac), (ulMacType, aucMac), \
    RULE, CLEAR)                                                                                                    \
  E(31, pFuncSerialBaudGet, U, BSP_ApiSerialBaudGet, (unsigned long *pulSerialBaud), (pulSerialBaud), RULE, KEEP)   \
  E(32, pFuncSerialBaudSet, U, BSP_ApiSerialBaudSet, (unsigned long ulSerialBaud), (ulSerialBaud), RULE, CLEAR)     \
  E(33, pFuncBoardInfoShow, U, BSP_ApiBoardInfoShow, (void), (), RULE, KEEP)                                        \
  E(34, pFuncBiosVersionStringGet, U, BSP_ApiBiosVersionStringGet,                                                  \
    (unsigned long ulBiosType, unsigned long ulArea, char *pcVersion), (ulBiosType, ulArea, pcVersion), RULE,       \
    SET(TIV_StubBiosVersionStringGet))                                                                              \
  E(35, pFuncLogicVersionGet, U, BSP_ApiLogicVersionGet, (unsigned long ulLogicId, unsigned char *pucVersion),      \
    (ulLogicId, pucVersion), RULE, SET(TIV_StubCpldVersionGet))                                                     \
  E(36, pFuncCpldTest, U, BSP_ApiCpldTest,                                                                          \
    (unsigned long ulCpldId, unsigned long ulPara2, unsigned long ulPara3, unsigned long ulPara4),                  \
    (ulCpldId, ulPara2, ulPara3, ulPara4), RULE, KEEP)                                                              \
  E(37, pFuncFlashRead, U, BSP_ApiFlashRead, (unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen),   \
    (pucDst, pucSrc, ulLen), RULE, SET(FLASH_AdaptFlashRead))                                                       \
  E(38, pFuncFlashWrite, U, BSP_ApiFlashWrite, (unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen), \
    (pucDst, pucSrc, ulLen), RULE, SET(FLASH_AdaptFlashWrite))                                                      \
  E(39, pFuncFlashWriteDirect, U, BSP_ApiFlashWriteDirect,                                                          \
    (unsigned char *pucDst, unsigned char *pucSrc, unsigned long ulLen), (pucDst, pucSrc, ulLen), RULE, CLEAR)      \
  E(40, pFuncFlashErase, U, BSP_ApiFlashErase, (unsigned char *pucDst, unsigned long ulLen), (pucDst, ulLen), RULE, \
    SET(FLASH_AdaptFlashErase))                                                                                     \
  E(41, pFuncFlashFeatureGet, U, BSP_ApiFlashFeatureGet, (unsigned long ulFeatureType, unsigned long *pulValue),    \
    (ulFeatureType, pulValue), RULE, SET(FLASH_FeatureGet))                                                         \
  E(42, pFuncOpticalBasicInfoGet, U, BSP_ApiOpticalBasicInfoGet, (unsigned long ulOtrId, unsigned char *pucInfo),   \
    (ulOtrId, pucInfo), RULE, KEEP)                                                                                 \
  E(43, pFuncOpticalStatusGet, U, BSP_ApiOpticalStatusGet, (unsigned long ulOtrId, unsigned long *pulStatus),       \
    (ulOtrId, pulStatus), RULE, KEEP)                                                                               \
  E(44, pFuncRtcDateGet, U, BSP_ApiRtcDateGet,                                                                      \
    (unsigned char *pucYear, unsigned char *pucMonth, unsigned char *pucDate, unsigned char *pucDay),               \
    (pucYear, pucMonth, pucDate, pucDay), RULE, SET(TIV_StubRtcDateGet))                                            \
  E(45, pFuncRtcDateSet, U, BSP_ApiRtcDateSet,                                                                      \
    (unsigned char ucYear, unsigned char ucMonth, unsigned char ucDate, unsigned char ucDay),                       \
    (ucYear, ucMonth, ucDate, ucDay), RULE, SET(TIV_StubRtcDateSet))                                                \
  E(46, pFuncRtcTimeGet, U, BSP_ApiRtcTimeGet,                                                                      \
    (unsigned char *pucHour, unsigned char *pucMinute, unsigned char *pucSecond), (pucHour, pucMinute, pucSecond),  \
    RULE, SET(TIV_StubRtcTimeGet))                                                                                  \
  E(47, pFuncRtcTimeSet, U, BSP_ApiRtcTimeSet, (unsigned char ucHour, unsigned char ucMinute, unsigned char ucSecond), \
    (ucHour, ucMinute, ucSecond), RULE, SET(TIV_StubRtcTimeSet))                                                    \
  E(48, pFuncTemperatureGet, U, BSP_ApiTemperatureGet, (unsigned long ulChipId, long *plValue), (ulChipId, plValue), \
    RULE, SET(BSPSMS_GetTemperature))                                                                               \
  E(49, pFuncTemperatureStringGet, U, BSP_ApiTemperatureStringGet,                                                  \
    (unsigned long ulChipId, char *pcValueString, unsigned long ulLen), (ulChipId, pcValueString, ulLen), RULE,     \
    KEEP)                                                                                                           \
  E(50, pFuncVoltageGet, U, BSP_ApiVoltageGet, (unsigned long ulPositionId, float *pfValue), (ulPositionId, pfValue), \
    RULE, KEEP)                                                                                                     \
  E(51, pFuncVoltageStringGet, U, BSP_ApiVoltageStringGet,                                                          \
    (unsigned long ulPositionId, char *pcValueString, unsigned long ulLen), (ulPositionId, pcValueString, ulLen),   \
    RULE, KEEP)                                                                                                     \
  E(52, pFuncBoardReset, V, BSP_ApiBoardReset, (unsigned long ulResetCode, char *cFile, unsigned long ulLine),      \
    (ulResetCode, cFile, ulLine), VOID_REC, CLEAR)                                                                  \
  E(53, pFuncSramRead, U, BSP_ApiSramRead,                                                                          \
    (unsigned char *pucSdramAddr, unsigned long ulSramOffset, unsigned long ulSize),                                \
    (pucSdramAddr, ulSramOffset, ulSize), QUIET_NC, CLEAR)                                                          \
  E(54, pFuncSramWrite, U, BSP_ApiSramWrite,                                                                        \
    (unsigned long ulSramOffset, unsigned char *pucSdramAddr, unsigned long ulSize),                                \
    (ulSramOffset, pucSdramAddr, ulSize), QUIET_NC, CLEAR)                                                          \
  E(55, pFuncWatchdogClear, V, BSP_ApiWatchdogClear, (void), (), VOID_QUIET, CLEAR)                                 \
  E(56, pFuncEmuSend, U, BSP_ApiEmuSend, (void *pvMessage, unsigned long ulLen, unsigned long ulFlag),              \
    (pvMessage, ulLen, ulFlag), RULE, KEEP)                                                                         \
  E(57, pFuncEmuBaudSet, U, BSP_ApiEmuBaudSet, (unsigned long ulBaud), (ulBaud), RULE, KEEP)                        \
  S(58, pFuncConsoleReceive, U, CLEAR)                                                                              \
  E(59, pFuncConsoleSend, U, BSP_ApiConsoleSend, (unsigned char *pucData, unsigned long ulLen), (pucData, ulLen),   \
    RULE, CLEAR)                                                                                                    \
  E(60, pFuncConsoleRedirectSet, U, BSP_ApiConsoleRedirectSet, (unsigned long ulRedirectFlag), (ulRedirectFlag),    \
    RULE, CLEAR)                                                                                                    \
  E(61, pFuncConsoleRedirectGet, U, BSP_ApiConsoleRedirectGet, (unsigned long *pulRedirectFlag), (pulRedirectFlag), \
    RULE, KEEP)                                                                                                     \
  E(62, pFuncEthReceive, U, BSP_ApiEthReceive,                                                                      \
    (unsigned long ulModeSelect, unsigned char *pucData, unsigned long ulLen), (ulModeSelect, pucData, ulLen),      \
    RULE, KEEP)                                                                                                     \
  E(63, pFuncMsEthReceive, U, BSP_ApiMsEthReceive, (unsigned long ulPtype, unsigned char *pucData, unsigned long ulLen), \
    (ulPtype, pucData, ulLen), RULE, KEEP)                                                                          \
  E(64, pFuncEthSend, U, BSP_ApiEthSend, (unsigned char *pucPacket, unsigned long ulPacketLength),                  \
    (pucPacket, ulPacketLength), RULE, KEEP)                                                                        \
  E(65, pFuncMsEthVbusSend, U, BSP_ApiMsEthVbusSend, (void *pvMessage), (pvMessage), RULE, CLEAR)                   \
  E(66, pFuncMsEthIpcSend, U, BSP_ApiMsEthIpcSend, (void *pvMessage, unsigned long ulLen), (pvMessage, ulLen), RULE, \
    CLEAR)                                                                                                          \
  E(67, pFuncMsEthVpSend, U, BSP_ApiMsEthVpSend, (void *pvMessage, unsigned long ulLen), (pvMessage, ulLen), RULE,  \
    KEEP)                                                                                                           \
  E(68, pFuncBiosSave, U, BSP_ApiBiosSave,                                                                          \
    (unsigned long ulBiosType, unsigned long ulArea, unsigned char *pucRamBuff, unsigned long ulLen),               \
    (ulBiosType, ulArea, pucRamBuff, ulLen), RULE, CLEAR)                                                           \
  E(69, pFuncBiosRead, U, BSP_ApiBiosRead,                                                                          \
    (unsigned long ulBiosType, unsigned long ulArea, unsigned char *pucRamBuff, unsigned long ulLen,                \
     unsigned long *pulActLen),                                                                                     \
    (ulBiosType, ulArea, pucRamBuff, ulLen, pulActLen), RULE, KEEP)                                                 \
  E(70, pFuncLedRegister, U, BSP_ApiLedControl, (unsigned long ulLedType, unsigned long ulColor, unsigned long ulMode), \
    (ulLedType, ulColor, ulMode), RULE, KEEP)                                                                       \
  S(71, pFuncEtPhaseProc, U, KEEP)                                                                                  \
  S(72, pFuncEtResultShow, U, KEEP)                                                                                 \
  S(73, pFuncEtMenuLoop, V, KEEP)                                                                                   \
  S(74, pFuncFlashAddrGet, U, KEEP)                                                                                 \
  E(75, pFuncMemAddrGet, U, BSP_ApiMemAddrGet, (unsigned long ulMemType, unsigned long *pulMemAddr),                \
    (ulMemType, pulMemAddr), RULE, KEEP)                                                                            \
  E(76, pFuncMemSizeGet, U, BSP_ApiMemSizeGet, (unsigned long ulMemType, unsigned long *pulMemSize),                \
    (ulMemType, pulMemSize), RULE, SET(TIV_StubGetMemSize))                                                         \
  E(77, pFuncSramAddrGet, U, BSP_ApiSramAddrGet, (unsigned long ulItem, unsigned long *pulAddr), (ulItem, pulAddr), \
    RULE, KEEP)                                                                                                     \
  E(78, pFuncVfsWrite, U, BSP_ApiVfsWrite,                                                                          \
    (unsigned long ulFileId, unsigned long ulArea, unsigned long ulOffset, unsigned char *pucRamBuffAddr,           \
     unsigned long ulRamBuffLen, unsigned long *pulActualLen),                                                      \
    (ulFileId, ulArea, ulOffset, pucRamBuffAddr, ulRamBuffLen, pulActualLen), RULE, KEEP)                           \
  E(79, pFuncVfsRead, U, BSP_ApiVfsRead,                                                                            \
    (unsigned long ulFileId, unsigned long ulArea, unsigned long ulOffset, unsigned char *pucRamBuffAddr,           \
     unsigned long ulRamBuffLen, unsigned long *pulActualLen),                                                      \
    (ulFileId, ulArea, ulOffset, pucRamBuffAddr, ulRamBuffLen, pulActualLen), RULE, KEEP)                           \
  E(80, pFuncVfsDelete, U, BSP_ApiVfsDelete, (unsigned long ulFileId, unsigned long ulArea), (ulFileId, ulArea),    \
    RULE, KEEP)                                                                                                     \
  E(81, pFuncPiecesRead, U, BSP_ApiRomPiecesRead,                                                                   \
    (char *pcPieceName, unsigned long ulOffset, unsigned char *pucRamBuff, unsigned long ulLen,                     \
     unsigned long *pulActLen),                                                                                     \
    (pcPieceName, ulOffset, pucRamBuff, ulLen, pulActLen), RULE, SET(BSP_VfsPiecesFileRead))                        \
  E(82, pFuncPiecesWrite, U, BSP_ApiRomPiecesWrite,                                                                 \
    (char *pcPieceName, unsigned long ulOffset, unsigned char *pucRamBuff, unsigned long ulLen,                     \
     unsigned long *pulActLen),                                                                                     \
    (pcPieceName, ulOffset, pucRamBuff, ulLen, pulActLen), RULE, SET(BSP_VfsPiecesFileWrite))                       \
  /* 1: the piece is deleted from flash too. */                                                                     \
  E(83, pFuncPiecesDelete, U, BSP_ApiRomPiecesDelete, (char *pcPieceName), (pcPieceName, 1UL), RULE,                \
    SET(BSP_VfsPiecesFileDelete))                                                                                   \
  E(84, pFuncExtInit, U, BSP_ApiExtendInit, (void), (), QUIET_ZERO, KEEP)                                           \
  E(85, pFuncMainMsgPro, U, BSP_ApiMainMsgProc, (void *pMsg), (pMsg), QUIET_ZERO, KEEP)                             \
  E(86, pFuncSynPro, U, BSP_ApiSynPro, (unsigned long ulenSmoothStatus), (ulenSmoothStatus), QUIET_ZERO, KEEP)      \
  E(87, pFuncOpticStatusGet, U, BSP_ApiOpticStatusGet,                                                              \
    (unsigned long ulOpticId, unsigned long ulType, unsigned long *pulStatus), (ulOpticId, ulType, pulStatus),      \
    RULE, KEEP)                                                                                                     \
  E(88, pFuncOpticTxEnableControl, U, BSP_ApiOpticTxEnableControl,                                                  \
    (unsigned long ulOpticId, unsigned long ulEnableFlag), (ulOpticId, ulEnableFlag), RULE, KEEP)                   \
  E(89, pFuncOpticTxPowerControl, U, BSP_ApiOpticTxPowerControl,                                                    \
    (unsigned long ulOpticId, unsigned long ulPowerControl), (ulOpticId, ulPowerControl), RULE, KEEP)               \
  E(90, pFuncFanSpeedSet, U, BSP_ApiFanSpeedSet, (unsigned long ulFanId, unsigned long ulFanSpeed),                 \
    (ulFanId, ulFanSpeed), RULE, KEEP)                                                                              \
  E(91, pFuncFanSpeedGet, U, BSP_ApiFanSpeedGet, (unsigned long ulFanId, unsigned long *pulFanSpeed),               \
    (ulFanId, pulFanSpeed), RULE, KEEP)                                                                             \
  E(92, pFuncClkSelectSet, U, BSP_ApiClkSelectSet, (unsigned long ulClockDst, unsigned long ulClockSrc),            \
    (ulClockDst, ulClockSrc), RULE, KEEP)                                                                           \
  E(93, pFuncBoardPowerControl, U, BSP_ApiSlotBoardPowerControl, (unsigned long ulSlotId, unsigned long ulSwitch),  \
    (ulSlotId, ulSwitch), RULE, KEEP)                                                                               \
  E(94, pFuncPowerTypeGet, U, BSP_ApiPowerTypeGet, (unsigned long *pulPowerType), (pulPowerType), RULE, KEEP)       \
  E(95, pFuncPowerStatusGet, U, BSP_ApiPowerStatusGet, (unsigned long ulPowerType, unsigned long *pulPowerStatus),  \
    (ulPowerType, pulPowerStatus), RULE, KEEP)                                                                      \
  E(96, pFuncDigitalIdStatusSet, U, BSP_ApiDigitalIdStatusSet, (unsigned long ulDigitalId, unsigned long ulStatus), \
    (ulDigitalId, ulStatus), RULE, KEEP)                                                                            \
  E(97, pFuncDigitalIdStatusGet, U, BSP_ApiDigitalIdStatusGet, (unsigned long ulDigitalId, unsigned long *pulStatus), \
    (ulDigitalId, pulStatus), RULE, KEEP)                                                                           \
  E(98, pFuncAlarmStatusGet, U, BSP_ApiAlarmStatusGet,                                                              \
    (unsigned long ulAlarmType, unsigned long ulAlarmId, unsigned long *pulStatus),                                 \
    (ulAlarmType, ulAlarmId, pulStatus), RULE, KEEP)                                                                \
  E(99, pFuncChipResetControl, U, BSP_ApiChipResetControl, (unsigned long ulChipId, unsigned long ulResetType),     \
    (ulChipId, ulResetType), RULE, KEEP)                                                                            \
  E(100, pFuncPmcSerialSend, U, BSP_ApiPmcSerialSend, (unsigned char *pucData, unsigned long ulLen),                \
    (pucData, ulLen), RULE, KEEP)                                                                                   \
  E(101, pFuncEthMacDynamicSet, U, BSP_ApiEthMacDynamicSet, (unsigned long ulUnit, unsigned char *pmac),            \
    (ulUnit, pmac), RULE, KEEP)                                                                                     \
  E(102, pFuncLogicLoad, U, BSP_ApiLogicLoad,                                                                       \
    (unsigned long ulLogicId, unsigned char *cLoadAddress, unsigned long ulLen), (ulLogicId, cLoadAddress, ulLen),  \
    RULE, CLEAR)                                                                                                    \
  E(103, pFuncIicRead, U, BSP_ApiIicRead,                                                                           \
    (unsigned long ulDevId, unsigned long ulOffset, unsigned char *pucDstAddr, unsigned long ulLen,                 \
     unsigned long *pulActLen),                                                                                     \
    (ulDevId, ulOffset, pucDstAddr, ulLen, pulActLen), RULE, KEEP)                                                  \
  E(104, pFuncIicWrite, U, BSP_ApiIicWrite,                                                                         \
    (unsigned long ulDevId, unsigned long ulOffset, unsigned char *pucSrcAddr, unsigned long ulLen,                 \
     unsigned long *pulActLen),                                                                                     \
    (ulDevId, ulOffset, pucSrcAddr, ulLen, pulActLen), RULE, KEEP)                                                  \
  E(105, pFuncSpiRead, U, BSP_ApiSpiRead,                                                                           \
    (unsigned long ulDevId, unsigned long ulOffset, unsigned char *pucDstAddr, unsigned long ulLen,                 \
     unsigned long *pulActLen),                                                                                     \
    (ulDevId, ulOffset, pucDstAddr, ulLen, pulActLen), RULE, KEEP)                                                  \
  E(106, pFuncSpiWrite, U, BSP_ApiSpiWrite,                                                                         \
    (unsigned long ulDevId, unsigned long ulOffset, unsigned char *pucSrcAddr, unsigned long ulLen,                 \
     unsigned long *pulActLen),                                                                                     \
    (ulDevId, ulOffset, pucSrcAddr, ulLen, pulActLen), RULE, KEEP)                                                  \
  E(107, pFuncXmodemDownload, U, BSP_ApiXmodemDownLoad,                                                             \
    (unsigned char *pucDstAddr, unsigned long ulMaxLen, unsigned long *pulActLen), (pucDstAddr, ulMaxLen, pulActLen), \
    RULE, KEEP)                                                                                                     \
  E(108, pFuncPowerGet, U, BSP_ApiPowerGet, (unsigned long ulChipId, unsigned long *pulValue), (ulChipId, pulValue), \
    RULE, KEEP)                                                                                                     \
  E(109, pFuncConsoleSwitch, U, BSP_ApiConsoleSwitch, (unsigned char ucSwitchMode), (ucSwitchMode), RULE, KEEP)

/* CPU_FUNC_S, reached through g_pstCpuApiFunc. */
#define BSP_CPU_FUNC_SLOTS(E, S)                                                                                    \
  S(0, pFuncCpuRomPrintChar, V, KEEP)                                                                               \
  S(1, pFuncCpuRomPrintString, V, KEEP)                                                                             \
  S(2, pFuncCpuRomPrintHex, V, KEEP)                                                                                \
  S(3, pFuncCpuRomPrintDec, V, KEEP)                                                                                \
  S(4, pFuncCpuRomCharGet, C, KEEP)                                                                                 \
  S(5, pFuncCpuFuncCallStackGet, U, KEEP)                                                                           \
  E(6, pFuncCpuTimeBaseGet, V, BSP_ApiTimeBaseGet, (unsigned long *pulTbH, unsigned long *pulTbL), (pulTbH, pulTbL), \
    VOID_QUIET, KEEP)                                                                                               \
  S(7, pFuncCpu, V, KEEP)

/* COMMON_FUNC_S, reached through g_pstCommonFunc. */
#define BSP_COMMON_FUNC_SLOTS(E, S)                                                                                 \
  E(0, pFuncCommonIfLastWordOpen, U, BSP_ApiIsLastWordFlagOpen, (void), (), QUIET_ZERO, KEEP)                       \
  E(1, pFuncCommonExpand, U, BSP_ApiExpand,                                                                         \
    (void *pSrc, void *pDst, unsigned long ulSrcLen, unsigned long *pulDstLen), (pSrc, pDst, ulSrcLen, pulDstLen),  \
    RULE, KEEP)

/* USER_FUNC_S, reached through g_pstUserFunc; no entry point uses it. */
#define BSP_USER_FUNC_SLOTS(E, S)                                                                                   \
  S(0, pFuncUsrLedCtrl, V, KEEP)                                                                                    \
  S(1, pFuncUsrAutoLoad, V, KEEP)                                                                                   \
  S(2, pFuncUsrBootHook, U, KEEP)                                                                                   \
  S(3, pFuncUsrNetInitSpecial, V, KEEP)

#endif
