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

const std::vector<std::string> kNoResult = {"CPLDLED_SetRunAlarmLED", "CPLD_RWUsrInit", "CPLDINT_SoInit",
                                            "BSPLDE_SetRunLedMode"};
const std::vector<std::string> kByteResult = {"BSPSMS_GetPllLocked", "BSPSMS_GetDspDimPcbVer",
                                              "BSPSMS_GetDspDimType"};

bool contains(const std::vector<std::string> &v, const std::string &s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(Stubs, AllSeventyTwoAnswerZeroAndTouchNothing) {
  auto names = stub_names();
  ASSERT_EQ(72u, names.size());
  void *self = dlopen(nullptr, RTLD_NOW);
  using AnyStub = uintptr_t (*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t);
  for (const auto &name : names) {
    void *sym = dlsym(self, name.c_str());
    ASSERT_NE(nullptr, sym) << name;
    uint32_t out[4] = {0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5, 0xA5A5A5A5};
    auto fn = reinterpret_cast<AnyStub>(sym);
    uintptr_t r = fn(3, reinterpret_cast<uintptr_t>(out), reinterpret_cast<uintptr_t>(out + 1), 9);
    if (!contains(kNoResult, name)) {
      uintptr_t got = contains(kByteResult, name) ? (r & 0xFF) : r;
      if (name != "BCDB_GetSfpConfig" && name != "BCDB_GetBootLoaderName") got &= 0xFFFFFFFFu;
      EXPECT_EQ(0u, got) << name;
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
}

}  // namespace
