// EEPROM layer: the slot table, the slot lookup through the physical slot number, and byte
// transfers through recording fake drivers.
#include <bsp/i2c.h>
#include <bsp/stub.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_i2c.h"
#include "support/capture.h"

using fake_i2c::g_behaviour;
using fake_i2c::g_full;
using fake_i2c::g_log;
using fake_i2c::Registry;
using Log = std::vector<std::string>;

// The physical slot lookup: the library's stub unless a test answers in its place.
namespace {
std::function<uint32_t(uint32_t)> g_physical_slot;
}
extern "C" __attribute__((visibility("default"))) uint32_t BSPSMS_GetPhySlotNum(uint32_t u32LogicSlotNum) {
  if (g_physical_slot) return g_physical_slot(u32LogicSlotNum);
  using Real = uint32_t (*)(uint32_t);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "BSPSMS_GetPhySlotNum"));
  return real(u32LogicSlotNum);
}

namespace {

struct Row {
  uint32_t slot;
  std::string name;
};

std::vector<Row> expected_rows() {
  std::vector<Row> rows = {{0xC9, "eepromcard"}, {0xFFFFFFFF, "eeprom3410"}};
  for (uint32_t n = 1; n <= 12; ++n) rows.push_back({n, "eepromslot" + std::to_string(n)});
  const std::vector<Row> rest = {
      {0xD1, "backplan_page0"},   {0xD8, "backplan_page1"},   {0xD9, "backplan_page2"},
      {0xDA, "backplan_page3"},   {0xCA, "dspdimm0"},         {0xCF, "dspdimm1"},
      {0xD0, "dspdimm2"},         {0xCD, "sfp0_page0"},       {0xCE, "sfp0_page1"},
      {0xD6, "sfp1_page0"},       {0xD7, "sfp1_page1"},       {0xDE, "sfp2_page0"},
      {0xDF, "sfp2_page1"},       {0xE0, "sfp3_page0"},       {0xE1, "sfp3_page1"},
      {0xD2, "eeprompower1"},     {0xD3, "eeprompower2"},     {0xD4, "eeprompower3"},
      {0xD5, "eeprompower4"},     {0xE4, "eepromcard_page0"}, {0xE5, "eepromcard_page1"},
      {0xE6, "eepromcard_page2"}, {0xE7, "eepromcard_page3"}, {0xE2, "eepromcard1"}};
  rows.insert(rows.end(), rest.begin(), rest.end());
  return rows;
}

// The board's EEPROMs on one bus; device numbers follow the order here.
class Eeprom : public testing::Test {
 protected:
  Eeprom()
      : reg_({{&g_full, 0, 100}},
             {{"sfp0_page0", 0, 2}, {"eepromcard", 0, 1, 0, 8}, {"eeprom3410", 0}, {"eepromslot5", 0}}) {}
  void SetUp() override {
    ASSERT_EQ(0u, reg_.init());
    ASSERT_EQ(0u, EEPROM_Init());
    g_physical_slot = [](uint32_t) { return 0xFFFFFFFFu; };  // the caller's slot is the physical one
    g_log.clear();
  }
  void TearDown() override {
    g_physical_slot = nullptr;
    EEPROM_SetDbgPrint(0);
  }
  Registry reg_;
};

TEST(EepromTable, RowsInOrderUntilTheEndRow) {
  const std::vector<Row> rows = expected_rows();
  ASSERT_EQ(38u, rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].slot, g_astBspEepromCfg[i].ulSlotNum);
    ASSERT_NE(nullptr, g_astBspEepromCfg[i].pcDevName);
    EXPECT_EQ(rows[i].name, g_astBspEepromCfg[i].pcDevName);
  }
  EXPECT_EQ(0u, g_astBspEepromCfg[38].ulSlotNum);
  EXPECT_EQ(nullptr, g_astBspEepromCfg[38].pcDevName);
  EXPECT_EQ(0u, g_astBspEepromCfg[38].u32DevId);
}

TEST(EepromTable, InitResolvesRegisteredNamesOnly) {
  {
    Registry reg({{&g_full, 0, 1}}, {{"x", 0}, {"dspdimm1", 0}, {"eepromslot12", 0}});
    ASSERT_EQ(0u, reg.init());
    EXPECT_EQ(0u, EEPROM_Init());
    for (size_t i = 0; i < 38; ++i) {
      const std::string name = g_astBspEepromCfg[i].pcDevName;
      const uint32_t expected = name == "dspdimm1" ? 1 : name == "eepromslot12" ? 2 : 0xFFFFFFFF;
      EXPECT_EQ(expected, g_astBspEepromCfg[i].u32DevId) << name;
    }
  }
  // A later registry without those names leaves no device number of the old one behind.
  Registry other({{&g_full, 0, 1}}, {{"eepromslot12", 0}});
  ASSERT_EQ(0u, other.init());
  EXPECT_EQ(0u, EEPROM_Init());
  for (size_t i = 0; i < 38; ++i) {
    const std::string name = g_astBspEepromCfg[i].pcDevName;
    EXPECT_EQ(name == "eepromslot12" ? 0u : 0xFFFFFFFFu, g_astBspEepromCfg[i].u32DevId) << name;
  }
}

TEST_F(Eeprom, WithTheLibraryStubNoSlotHasARow) {
  g_physical_slot = nullptr;
  EEPROM_SetDbgPrint(1);
  uint8_t buf[4] = {};
  for (uint32_t slot : {0xC9u, 0xFFFFFFFFu, 1u, 5u, 0xE2u, 0u}) {
    SCOPED_TRACE(slot);
    BSP_EEPROM_CFG *row = nullptr;
    uint32_t done = 77;
    char text[80];
    snprintf(text, sizeof text, "Get eeprom cfg failed! Slot Num = 0x%x invalid!\r\n", slot);
    std::string out = bsp::test::capture_stdout([&] {
      EXPECT_EQ(1u, EEPROM_GetEepromCfg(slot, &row));
      EXPECT_EQ(1u, EEPROM_Read(slot, 0, buf, 4, &done));
      EXPECT_EQ(1u, EEPROM_Write(slot, 0, buf, 4, &done));
    });
    EXPECT_EQ(nullptr, row);
    EXPECT_EQ(77u, done);  // untouched when there is no row
    EXPECT_EQ(std::string(text) + text + text, out);
  }
  EXPECT_EQ(Log{}, g_log);
}

TEST_F(Eeprom, SlotLookupUsesThePhysicalSlot) {
  BSP_EEPROM_CFG *row = nullptr;
  EXPECT_EQ(0u, EEPROM_GetEepromCfg(0xC9, &row));
  EXPECT_EQ(&g_astBspEepromCfg[0], row);
  EXPECT_EQ(0u, EEPROM_GetEepromCfg(0xFFFFFFFF, &row));
  EXPECT_EQ(&g_astBspEepromCfg[1], row);
  EXPECT_EQ(0u, EEPROM_GetEepromCfg(0xE2, &row));
  EXPECT_EQ(&g_astBspEepromCfg[37], row);

  // A physical slot other than the marker is looked up in place of the caller's.
  std::vector<uint32_t> asked;
  g_physical_slot = [&asked](uint32_t logical) {
    asked.push_back(logical);
    return logical == 1 ? 5u : 0u;
  };
  EXPECT_EQ(0u, EEPROM_GetEepromCfg(1, &row));
  EXPECT_EQ("eepromslot5", std::string(row->pcDevName));
  row = nullptr;
  EXPECT_EQ(1u, EEPROM_GetEepromCfg(5, &row));  // answered 0: the end row is no match
  EXPECT_EQ(nullptr, row);
  EXPECT_EQ((std::vector<uint32_t>{1, 5}), asked);

  // Silent unless switched on; the message names the caller's slot.
  g_physical_slot = [](uint32_t) { return 0x77u; };
  EXPECT_EQ("", bsp::test::capture_stdout([&] { EXPECT_EQ(1u, EEPROM_GetEepromCfg(0xC9, &row)); }));
  EEPROM_SetDbgPrint(1);
  EXPECT_EQ(1u, g_ulEepromDebugPrint);
  EXPECT_EQ("Get eeprom cfg failed! Slot Num = 0xc9 invalid!\r\n",
            bsp::test::capture_stdout([&] { EXPECT_EQ(1u, EEPROM_GetEepromCfg(0xC9, &row)); }));
  EXPECT_EQ(1u, EEPROM_GetEepromCfg(0xC9, nullptr));
}

TEST_F(Eeprom, ReadAndWriteGoToTheRowsDevice) {
  uint8_t buf[4] = {};
  uint32_t done = 0;
  EXPECT_EQ(0u, EEPROM_Read(0xC9, 0x20, buf, 4, &done));
  EXPECT_EQ(4u, done);
  EXPECT_EQ(0x23, buf[3]);
  EXPECT_EQ((Log{"select 1", "clock phy0 100", "read eepromcard 0x20 4"}), g_log);

  g_log.clear();
  EXPECT_EQ(0u, EEPROM_Read(0xFFFFFFFF, 0, buf, 1, &done));
  EXPECT_EQ((Log{"select 0", "clock phy0 100", "read eeprom3410 0x0 1"}), g_log);

  g_log.clear();
  uint8_t data[10] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
  EXPECT_EQ(0u, EEPROM_Write(0xC9, 6, data, 10, &done));
  EXPECT_EQ(10u, done);
  EXPECT_EQ((Log{"select 1", "clock phy0 100", "write eepromcard 0x6 2 from 9", "write eepromcard 0x8 8 from 7"}),
            g_log);
}

TEST_F(Eeprom, FailedTransfersReportNothingDone) {
  uint8_t buf[2] = {};
  uint32_t done = 55;
  g_behaviour.read_failures = 2;
  EXPECT_EQ(1u, EEPROM_Read(0xC9, 0, buf, 2, &done));
  EXPECT_EQ(0u, done);
  done = 55;
  g_behaviour.write_fail_at = 0;
  EXPECT_EQ(1u, EEPROM_Write(0xC9, 0, buf, 2, &done));
  EXPECT_EQ(0u, done);
  // A row whose device is not registered.
  done = 55;
  g_log.clear();
  EXPECT_EQ(1u, EEPROM_Read(0xD1, 0, buf, 2, &done));
  EXPECT_EQ(0u, done);
  EXPECT_EQ(Log{}, g_log);
  // Nowhere to say what was done: nothing is done.
  EXPECT_EQ(1u, EEPROM_Read(0xC9, 0, buf, 2, nullptr));
  EXPECT_EQ(1u, EEPROM_Write(0xC9, 0, buf, 2, nullptr));
  EXPECT_EQ(Log{}, g_log);
}

TEST_F(Eeprom, DataWidth) {
  EXPECT_EQ(0u, EEPROM_SetDataWidth(0xC9, 2));
  EXPECT_EQ(2u, reg_.dev(1).u32I2cDevDataWidth);
  EXPECT_EQ(0u, EEPROM_SetDataWidth(0xC9, 1));
  EXPECT_EQ(1u, reg_.dev(1).u32I2cDevDataWidth);
  EXPECT_EQ("set eeprom data width error ulWidth = 3\r\n",
            bsp::test::capture_stdout([] { EXPECT_EQ(1u, EEPROM_SetDataWidth(0xC9, 3)); }));
  EXPECT_EQ(1u, reg_.dev(1).u32I2cDevDataWidth);
  // No row: no width message. A row without a device: the bus layer refuses.
  g_physical_slot = [](uint32_t) { return 0u; };
  EXPECT_EQ("", bsp::test::capture_stdout([] { EXPECT_EQ(1u, EEPROM_SetDataWidth(0xC9, 3)); }));
  g_physical_slot = [](uint32_t) { return 0xFFFFFFFFu; };
  EXPECT_EQ(1u, EEPROM_SetDataWidth(0xD1, 1));
}

TEST_F(Eeprom, DumpPrintsOneLinePerByte) {
  EXPECT_EQ("", bsp::test::capture_stdout([] { EXPECT_EQ(1u, EEPROM_Dump(0xC9, 0, 0)); }));
  EXPECT_EQ(Log{}, g_log);

  std::string out = bsp::test::capture_stdout([] { EXPECT_EQ(0u, EEPROM_Dump(0xC9, 0xFE, 3)); });
  EXPECT_EQ("\r\n000000fe : fe\r\n000000ff : ff\r\n00000100 : 00\r\n", out);
  EXPECT_EQ((Log{"select 1", "clock phy0 100", "read eepromcard 0xfe 3"}), g_log);

  // A failed read dumps zeros.
  g_behaviour.read_failures = 2;
  out = bsp::test::capture_stdout([] { EXPECT_EQ(0u, EEPROM_Dump(0xC9, 0x10, 2)); });
  EXPECT_EQ("\r\n00000010 : 00\r\n00000011 : 00\r\n", out);
  g_physical_slot = [](uint32_t) { return 0u; };
  out = bsp::test::capture_stdout([] { EXPECT_EQ(0u, EEPROM_Dump(0xC9, 0, 1)); });
  EXPECT_EQ("\r\n00000000 : 00\r\n", out);
}

}  // namespace
