// Every stub answers its neutral value and stores nothing.
#include <bsp/stub.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> stub_names() {
  std::vector<std::string> names;
  std::ifstream in(BSP_SOURCE_DIR "/exports/libbsp.stub.list");
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') names.push_back(line);
  }
  return names;
}

// The stubs with fixed parameter lists are called directly below; the others take any
// arguments and are called through their own result type.
const std::vector<std::string> kTyped = {"BSPSMS_GetCardOnline", "BSPSMS_GetBoardType", "BSPSMS_GetTemperature",
                                         "BSPSMS_GetPhySlotNum", "BCDB_GetBootLoaderName", "CPLDLED_SetRunAlarmLED",
                                         "RTC_GetTime", "BDIF_IsOnBoard", "get_topmem_virtbase_addr"};
const std::vector<std::string> kNoResult = {"CPLD_RWUsrInit", "CPLDINT_SoInit", "BSPLDE_SetRunLedMode"};
const std::vector<std::string> kByteResult = {"BSPSMS_GetPllLocked", "BSPSMS_GetDspDimPcbVer",
                                              "BSPSMS_GetDspDimType"};
const std::vector<std::string> kSignedResult = {
    "BSP_GetSubCoreHiMemAddr", "DRV_RegCmdPro",       "POE_5952Drv_GetChipID", "POE_5965Drv_GetChipID",
    "POE_DRV_GetDIMM1ExitStatus", "POE_DRV_Init",     "POE_DRV_IntDisable",    "POE_DRV_IntEnable",
    "POE_DRV_IntInit",         "POE_DRV_IntRegister", "POE_DRV_ReadI2C",       "POE_DRV_ReadI2C_IA",
    "POE_DRV_WriteI2C",        "POE_SN8045Drv_GetChipID"};

bool contains(const std::vector<std::string> &v, const std::string &s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

template <typename R>
R call_any(void *sym, uint32_t *out) {
  return reinterpret_cast<R (*)(...)>(sym)(3, out, out + 1, 9);
}

TEST(Stubs, AllSeventyTwoAnswerZeroAndTouchNothing) {
  auto names = stub_names();
  ASSERT_EQ(72u, names.size());
  void *self = dlopen(nullptr, RTLD_NOW);
  for (const auto &name : names) {
    void *sym = dlsym(self, name.c_str());
    ASSERT_NE(nullptr, sym) << name;
    if (contains(kTyped, name)) continue;
    uint32_t out[4] = {0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5};
    if (contains(kNoResult, name)) {
      call_any<void>(sym, out);
    } else if (contains(kByteResult, name)) {
      EXPECT_EQ(0, call_any<uint8_t>(sym, out)) << name;
    } else if (contains(kSignedResult, name)) {
      EXPECT_EQ(0, call_any<int32_t>(sym, out)) << name;
    } else if (name == "BCDB_GetSfpConfig") {
      EXPECT_EQ(nullptr, call_any<void *>(sym, out)) << name;
    } else {
      EXPECT_EQ(0u, call_any<uint32_t>(sym, out)) << name;
    }
    for (uint32_t v : out) EXPECT_EQ(0xA5A5A5A5u, v) << name;
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
  CPLDLED_SetRunAlarmLED(1);
}

}  // namespace
