// Every stub answers its neutral value and stores nothing. Each is called through its own
// declared type: the nine with fixed parameters directly, the others with varying arguments.
#include <bsp/stub.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct Stub {
  const char *name;
  // Calls the stub with the output words as its pointer arguments; true when it answered
  // its neutral value.
  bool (*answers_neutral)(uint32_t *out);
};

#define STUB(fn, call) {#fn, [](uint32_t *out) -> bool { return call; }}
#define ANY_ARGS out[0], &out[1], &out[2], 9
#define VALUE(fn) STUB(fn, fn(ANY_ARGS) == 0)
#define POINTER(fn) STUB(fn, fn(ANY_ARGS) == nullptr)
#define NOTHING(fn) STUB(fn, (fn(ANY_ARGS), true))

const Stub kStubs[] = {
    // Fixed parameters.
    STUB(BSPSMS_GetCardOnline, BSPSMS_GetCardOnline(out[0], reinterpret_cast<uint8_t *>(&out[1])) == 0),
    STUB(BSPSMS_GetBoardType, BSPSMS_GetBoardType(out[0], reinterpret_cast<unsigned long *>(&out[2])) == 0),
    STUB(BSPSMS_GetTemperature, BSPSMS_GetTemperature(out[0], reinterpret_cast<long *>(&out[2])) == 0),
    STUB(BSPSMS_GetPhySlotNum, BSPSMS_GetPhySlotNum(out[0]) == 0),
    STUB(BCDB_GetBootLoaderName, BCDB_GetBootLoaderName() == nullptr),
    STUB(CPLDLED_SetRunAlarmLED, (CPLDLED_SetRunAlarmLED(out[0]), true)),
    STUB(RTC_GetTime, RTC_GetTime(reinterpret_cast<St85TimeBIN *>(&out[1])) == 0),
    STUB(BDIF_IsOnBoard, BDIF_IsOnBoard() == 0),
    STUB(get_topmem_virtbase_addr, get_topmem_virtbase_addr(&out[1]) == 0),
    // Unsigned 32-bit results.
    VALUE(BSPSMS_SetBoardMaster), VALUE(BSPSMS_GetBoardMaster), VALUE(BSPSMS_GetPeerBoardMaster),
    VALUE(BSPSMS_SetBoardMasterEnable), VALUE(BSPSMS_SetSlotID), VALUE(BSPLED_CtrlLed),
    VALUE(BSPSMS_Set3GModemReboot), VALUE(BSPSMS_GetSimCardId), VALUE(BSPSMS_Set3GPowerOn),
    VALUE(BSPSMS_SelectSimCard), VALUE(CPLDINT_ConnectInUsr), VALUE(BSPSMS_SelectBackplanClk),
    VALUE(BSPSMS_SetFanCardLedStatus), VALUE(SOL_SelectBoard), VALUE(SOL_SetToCard), VALUE(BSPSMS_GetFanSpeed),
    VALUE(BSPSMS_GetPowerState), VALUE(BSPSMS_GetPower), VALUE(BSPSMS_FanResetCtrl),
    VALUE(BSPSMS_GetFanCardTemperature), VALUE(BSPSMS_SetBoardPowerOn), VALUE(BSPSMS_SetE2promWriteProtect),
    VALUE(BSPSMS_ResetBoard), VALUE(BSPSMS_SelectPllClk), VALUE(BSPSMS_GetFanCardNum), VALUE(BSPSMS_SetFanSpeed),
    VALUE(BSPSMS_GetFanSpeedPercent), VALUE(BSPSMS_GetFanOnlineStatus), VALUE(BSPSMS_GetFanCardVersion),
    VALUE(BSPSMS_LoadFanApp), VALUE(BSPSMS_InitHookBeforApp), VALUE(BSPSMS_GetFanCardPcbVersion),
    VALUE(BSPSMS_GetFanCardType), VALUE(BSPSMS_WriteBackplanE2prom), VALUE(BSPSMS_ReadBackplanE2prom),
    VALUE(BSPSMS_FanElableWrite), VALUE(BSPSMS_FanElableRead), VALUE(BSPSMS_SetSlotNum), VALUE(BSPSMS_GetFanNum),
    VALUE(BSPSMS_GetFanCardAlarm), VALUE(BSPRST_SetChipResetDelay), VALUE(BSPRST_ChipReset),
    // Signed results.
    VALUE(BSP_GetSubCoreHiMemAddr), VALUE(DRV_RegCmdPro), VALUE(POE_5952Drv_GetChipID),
    VALUE(POE_5965Drv_GetChipID), VALUE(POE_DRV_GetDIMM1ExitStatus), VALUE(POE_DRV_Init),
    VALUE(POE_DRV_IntDisable), VALUE(POE_DRV_IntEnable), VALUE(POE_DRV_IntInit), VALUE(POE_DRV_IntRegister),
    VALUE(POE_DRV_ReadI2C), VALUE(POE_DRV_ReadI2C_IA), VALUE(POE_DRV_WriteI2C), VALUE(POE_SN8045Drv_GetChipID),
    // Byte results.
    VALUE(BSPSMS_GetPllLocked), VALUE(BSPSMS_GetDspDimPcbVer), VALUE(BSPSMS_GetDspDimType),
    // A pointer result, and none.
    POINTER(BCDB_GetSfpConfig), NOTHING(CPLD_RWUsrInit), NOTHING(CPLDINT_SoInit), NOTHING(BSPLDE_SetRunLedMode),
};

TEST(Stubs, AllSeventyTwoAnswerNeutrallyAndStoreNothing) {
  std::set<std::string> names;
  for (const Stub &stub : kStubs) names.insert(stub.name);
  EXPECT_EQ(72u, names.size());
  for (const Stub &stub : kStubs) {
    SCOPED_TRACE(stub.name);
    alignas(8) uint32_t out[4] = {0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5};
    EXPECT_TRUE(stub.answers_neutral(out));
    for (uint32_t v : out) EXPECT_EQ(0xA5A5A5A5u, v);
  }
}

TEST(Stubs, NeutralAnswersOtherPartsRelyOn) {
  for (uint32_t slot : {0u, 1u, 7u, 0xFFFFFFFFu}) EXPECT_EQ(0u, BSPSMS_GetPhySlotNum(slot));
  EXPECT_EQ(nullptr, BCDB_GetBootLoaderName());
  St85TimeBIN t{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(0u, RTC_GetTime(&t));
  EXPECT_EQ(1, t.cMs);
  EXPECT_EQ(8, t.cYear);
  uint32_t base = 0x1234;
  EXPECT_EQ(0u, get_topmem_virtbase_addr(&base));
  EXPECT_EQ(0x1234u, base);
  uint8_t status = 9;
  EXPECT_EQ(0u, BSPSMS_GetCardOnline(1, &status));
  EXPECT_EQ(9, status);
  EXPECT_EQ(0u, BDIF_IsOnBoard());
  unsigned long type = 5;
  long temp = -3;
  EXPECT_EQ(0u, BSPSMS_GetBoardType(2, &type));
  EXPECT_EQ(0u, BSPSMS_GetTemperature(0, &temp));
  EXPECT_EQ(5u, type);
  EXPECT_EQ(-3, temp);
}

}  // namespace
