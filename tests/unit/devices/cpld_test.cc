// CPLD table layout, every wrapper against an empty and a recording slot, and the JTAG lines.
#include <bsp/cpld.h>
#include <gtest/gtest.h>
#include <stddef.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using Args = std::vector<uint64_t>;

void **slots() { return reinterpret_cast<void **>(&g_strBspCpldTbl); }
void clear_table() {
  for (int i = 0; i < 30; ++i) slots()[i] = nullptr;
}

TEST(CpldTable, ThirtySlotsEachAtItsIndex) {
  EXPECT_EQ(30 * sizeof(void *), sizeof(BSP_CPLD_T));
  const size_t p = sizeof(void *);
  EXPECT_EQ(0 * p, offsetof(BSP_CPLD_T, regWrite));
  EXPECT_EQ(1 * p, offsetof(BSP_CPLD_T, regRead));
  EXPECT_EQ(2 * p, offsetof(BSP_CPLD_T, writeReg));
  EXPECT_EQ(3 * p, offsetof(BSP_CPLD_T, readReg));
  EXPECT_EQ(4 * p, offsetof(BSP_CPLD_T, disableInt));
  EXPECT_EQ(5 * p, offsetof(BSP_CPLD_T, enableInt));
  EXPECT_EQ(6 * p, offsetof(BSP_CPLD_T, intConnect));
  EXPECT_EQ(7 * p, offsetof(BSP_CPLD_T, resetChip));
  EXPECT_EQ(8 * p, offsetof(BSP_CPLD_T, getBackBoardInfo));
  EXPECT_EQ(9 * p, offsetof(BSP_CPLD_T, getBackBoardId));
  EXPECT_EQ(10 * p, offsetof(BSP_CPLD_T, ctrlLed));
  EXPECT_EQ(11 * p, offsetof(BSP_CPLD_T, setActLEDAuto));
  EXPECT_EQ(12 * p, offsetof(BSP_CPLD_T, getCPLDVersion));
  EXPECT_EQ(13 * p, offsetof(BSP_CPLD_T, selfTest));
  EXPECT_EQ(14 * p, offsetof(BSP_CPLD_T, getCardOnline));
  EXPECT_EQ(15 * p, offsetof(BSP_CPLD_T, setResetType));
  EXPECT_EQ(16 * p, offsetof(BSP_CPLD_T, getCPLDFormalVersion));
  EXPECT_EQ(17 * p, offsetof(BSP_CPLD_T, getResetTypeReg));
  EXPECT_EQ(18 * p, offsetof(BSP_CPLD_T, getClkDetect));
  EXPECT_EQ(19 * p, offsetof(BSP_CPLD_T, selectPllClk));
  EXPECT_EQ(20 * p, offsetof(BSP_CPLD_T, selectBackplanClk));
  EXPECT_EQ(21 * p, offsetof(BSP_CPLD_T, getPllLocked));
  EXPECT_EQ(22 * p, offsetof(BSP_CPLD_T, getPowerCheck));
  EXPECT_EQ(23 * p, offsetof(BSP_CPLD_T, SetBoardMasterEn));
  EXPECT_EQ(24 * p, offsetof(BSP_CPLD_T, SetBoardMaster));
  EXPECT_EQ(25 * p, offsetof(BSP_CPLD_T, GetPowerState));
  EXPECT_EQ(26 * p, offsetof(BSP_CPLD_T, GetPoePowerState));
  EXPECT_EQ(27 * p, offsetof(BSP_CPLD_T, GetBoardMaster));
  EXPECT_EQ(28 * p, offsetof(BSP_CPLD_T, SetSlotID));
  EXPECT_EQ(29 * p, offsetof(BSP_CPLD_T, GetPeerBoardMaster));
}

static_assert(std::is_same_v<decltype(CPLD_GetCPLDVersion(0)), uint64_t>);
static_assert(std::is_same_v<decltype(CPLD_GetPllLocked()), uint8_t>);
static_assert(std::is_same_v<decltype(CPLD_RegWrite(0, 0, 0)), void>);
static_assert(std::is_same_v<decltype(CPLD_RegRead(0, 0, nullptr)), void>);
static_assert(std::is_same_v<decltype(CPLD_SetActLEDAuto(0, 0)), void>);
static_assert(std::is_same_v<decltype(CPLD_SetResetType()), void>);

// What the recording slot saw, and what it answers.
std::vector<Args> g_calls;
constexpr uint64_t kAnswer64 = 0x1122334455667788ull;
constexpr uint32_t kAnswer32 = 0xC0DE0042u;
constexpr uint8_t kAnswer8 = 0x5A;

template <class T>
uint64_t as_value(T v) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<uintptr_t>(v);
  } else {
    return static_cast<uint64_t>(v);
  }
}

template <class R, class... A>
R record(A... a) {
  g_calls.push_back(Args{as_value(a)...});
  if constexpr (std::is_same_v<R, uint64_t>) return kAnswer64;
  if constexpr (std::is_same_v<R, uint32_t>) return kAnswer32;
  if constexpr (std::is_same_v<R, uint8_t>) return kAnswer8;
}

template <class R, class... A>
void *recorder() {
  return reinterpret_cast<void *>(&record<R, A...>);
}

void isr(uint32_t) {}
uint8_t g_bytes[4];
uint16_t g_check;

struct Wrapper {
  const char *name;
  int slot;
  void *slot_fn;                  // a recording function of the slot's kind
  std::function<uint64_t()> call;  // calls the wrapper with the arguments below
  Args args;                      // as the slot must see them
  bool has_result;
  uint64_t empty;     // the answer of an empty slot
  uint64_t answer;    // the recording slot's answer, passed back unchanged
};

#define RESULT(f) [] { return static_cast<uint64_t>(f); }
#define ACTION(f) [] { f; return uint64_t{0}; }

std::vector<Wrapper> wrappers() {
  const uint64_t bytes = reinterpret_cast<uintptr_t>(g_bytes), check = reinterpret_cast<uintptr_t>(&g_check);
  const uint64_t handler = reinterpret_cast<uintptr_t>(&isr);
  using U = uint32_t;
  return {
      {"CPLD_RegWrite", 0, recorder<void, U, U, U>(), ACTION(CPLD_RegWrite(3, 0x1B, 0xAB)), {3, 0x1B, 0xAB}, false, 0, 0},
      {"CPLD_RegRead", 1, recorder<void, U, U, uint8_t *>(), ACTION(CPLD_RegRead(2, 9, g_bytes)), {2, 9, bytes}, false, 0, 0},
      {"CPLD_DisableInt", 4, recorder<U, U>(), RESULT(CPLD_DisableInt(11)), {11}, true, 1, kAnswer32},
      {"CPLD_EnableInt", 5, recorder<U, U>(), RESULT(CPLD_EnableInt(12)), {12}, true, 1, kAnswer32},
      {"CPLD_IntConnect", 6, recorder<U, U, FuncCpldIntIsr, U>(), RESULT(CPLD_IntConnect(5, isr, 0xFEED)),
       {5, handler, 0xFEED}, true, 1, kAnswer32},
      {"CPLD_ResetChip", 7, recorder<U, U>(), RESULT(CPLD_ResetChip(4)), {4}, true, 1, kAnswer32},
      {"CPLD_GetBackBoardInfo", 8, recorder<U, uint8_t *>(), RESULT(CPLD_GetBackBoardInfo(g_bytes)), {bytes}, true, 1,
       kAnswer32},
      {"CPLD_GetBackBoardId", 9, recorder<U, uint8_t *>(), RESULT(CPLD_GetBackBoardId(g_bytes)), {bytes}, true, 1,
       kAnswer32},
      {"CPLD_CtrlLed", 10, recorder<U, U, U>(), RESULT(CPLD_CtrlLed(1, 2)), {1, 2}, true, 1, kAnswer32},
      {"CPLD_SetActLEDAuto", 11, recorder<void, U, U>(), ACTION(CPLD_SetActLEDAuto(6, 7)), {6, 7}, false, 0, 0},
      {"CPLD_GetCPLDVersion", 12, recorder<uint64_t, U>(), RESULT(CPLD_GetCPLDVersion(0)), {0}, true, 1, kAnswer64},
      {"CPLD_SelfTest", 13, recorder<U>(), RESULT(CPLD_SelfTest()), {}, true, 1, kAnswer32},
      {"CPLD_GetCardOnline", 14, recorder<U>(), RESULT(CPLD_GetCardOnline()), {}, true, 0, kAnswer32},
      {"CPLD_SetResetType", 15, recorder<void>(), ACTION(CPLD_SetResetType()), {}, false, 0, 0},
      {"CPLD_GetCPLDFormalVersion", 16, recorder<U, U>(), RESULT(CPLD_GetCPLDFormalVersion(1)), {1}, true, 1,
       kAnswer32},
      {"CPLD_GetResetTypeReg", 17, recorder<U>(), RESULT(CPLD_GetResetTypeReg()), {}, true, 0, kAnswer32},
      {"CPLD_TestClk", 18, recorder<U, U, U>(), RESULT(CPLD_TestClk(8, 9)), {8, 9}, true, 1, kAnswer32},
      {"CPLD_SelectPllClk", 19, recorder<U, U>(), RESULT(CPLD_SelectPllClk(13)), {13}, true, 1, kAnswer32},
      {"CPLD_SelectBackplanClk", 20, recorder<U, U>(), RESULT(CPLD_SelectBackplanClk(14)), {14}, true, 1, kAnswer32},
      {"CPLD_GetPllLocked", 21, recorder<uint8_t>(), RESULT(CPLD_GetPllLocked()), {}, true, 0, kAnswer8},
      {"CPLD_GetPowerCheck", 22, recorder<U, uint16_t *>(), RESULT(CPLD_GetPowerCheck(&g_check)), {check}, true, 0,
       kAnswer32},
      {"CPLD_SetBoardMastEnalbe", 23, recorder<U, U>(), RESULT(CPLD_SetBoardMastEnalbe(1)), {1}, true, 0, kAnswer32},
      {"CPLD_SetBoardMast", 24, recorder<U, U>(), RESULT(CPLD_SetBoardMast(0xFFFFFFFF)), {0xFFFFFFFF}, true, 0,
       kAnswer32},
      {"CPLD_IsPowerGood", 25, recorder<U, U>(), RESULT(CPLD_IsPowerGood(3)), {3}, true, 1, kAnswer32},
      {"CPLD_IsPoePowerIn", 26, recorder<U>(), RESULT(CPLD_IsPoePowerIn()), {}, true, 1, kAnswer32},
      {"CPLD_GetBoardMaster", 27, recorder<U>(), RESULT(CPLD_GetBoardMaster()), {}, true, 0, kAnswer32},
      {"CPLD_SetSlotID", 28, recorder<U, U>(), RESULT(CPLD_SetSlotID(0x10)), {0x10}, true, 1, kAnswer32},
      {"CPLD_GetPeerBoardMaster", 29, recorder<U>(), RESULT(CPLD_GetPeerBoardMaster()), {}, true, 1, kAnswer32},
  };
}

class Cpld : public testing::Test {
 protected:
  void SetUp() override {
    clear_table();
    g_calls.clear();
  }
  void TearDown() override { clear_table(); }
};

TEST_F(Cpld, EmptySlotsGiveTheirFixedAnswers) {
  for (const Wrapper &w : wrappers()) {
    uint64_t result = w.call();
    if (w.has_result) {
          EXPECT_EQ(w.empty, result) << w.name;
        }
  }
  EXPECT_EQ(1u, CPLD_GetCPLDVersion(0));
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(Cpld, EachWrapperCallsItsOwnSlotAlone) {
  const std::vector<Wrapper> all = wrappers();
  for (const Wrapper &filled : all) {
    SCOPED_TRACE(filled.name);
    clear_table();
    slots()[filled.slot] = filled.slot_fn;
    for (const Wrapper &w : all) {
      g_calls.clear();
      uint64_t result = w.call();
      if (&w == &filled) {
        EXPECT_EQ(std::vector<Args>{w.args}, g_calls) << w.name;
        if (w.has_result) {
          EXPECT_EQ(w.answer, result) << w.name;
        }
      } else {
        EXPECT_TRUE(g_calls.empty()) << w.name;
        if (w.has_result) {
          EXPECT_EQ(w.empty, result) << w.name;
        }
      }
    }
  }
  // Slots 2 and 3 have no wrapper.
  clear_table();
  slots()[2] = recorder<uint32_t>();
  slots()[3] = recorder<uint32_t>();
  g_calls.clear();
  for (const Wrapper &w : all) w.call();
  EXPECT_TRUE(g_calls.empty());
}

// Register 27 of CPLD 0 as the JTAG lines see it.
uint8_t g_jtag_register;
std::vector<Args> g_jtag;

void jtag_read(uint32_t cpld, uint32_t reg, uint8_t *out) {
  g_jtag.push_back({0, cpld, reg});
  *out = g_jtag_register;
}
void jtag_read_nothing(uint32_t cpld, uint32_t reg, uint8_t *) { g_jtag.push_back({0, cpld, reg}); }
void jtag_write(uint32_t cpld, uint32_t reg, uint32_t value) { g_jtag.push_back({1, cpld, reg, value}); }

TEST_F(Cpld, JtagLinesWithoutDriver) {
  EXPECT_EQ(1u, CPLD_GetJtagGpio(3));
  CPLD_HiJtagGpio(3);
  CPLD_LowJtagGpio(3);
  g_strBspCpldTbl.regWrite = reinterpret_cast<void *>(&jtag_write);
  CPLD_HiJtagGpio(3);  // no read function: nothing happens
  CPLD_LowJtagGpio(3);
  EXPECT_EQ(1u, CPLD_GetJtagGpio(3));
  clear_table();
  g_strBspCpldTbl.regRead = reinterpret_cast<void *>(&jtag_read);
  g_jtag.clear();
  CPLD_HiJtagGpio(3);  // no write function: not even read
  CPLD_LowJtagGpio(3);
  EXPECT_TRUE(g_jtag.empty());
}

TEST_F(Cpld, JtagLinesByReadModifyWriteOfRegister27) {
  g_strBspCpldTbl.regRead = reinterpret_cast<void *>(&jtag_read);
  g_strBspCpldTbl.regWrite = reinterpret_cast<void *>(&jtag_write);
  g_jtag_register = 0x05;
  g_jtag.clear();
  EXPECT_EQ(1u, CPLD_GetJtagGpio(2));
  EXPECT_EQ(0u, CPLD_GetJtagGpio(1));
  EXPECT_EQ(1u, CPLD_GetJtagGpio(0));
  EXPECT_EQ(0u, CPLD_GetJtagGpio(7));
  EXPECT_EQ((std::vector<Args>{{0, 0, 27}, {0, 0, 27}, {0, 0, 27}, {0, 0, 27}}), g_jtag);
  g_jtag.clear();
  CPLD_HiJtagGpio(1);
  CPLD_LowJtagGpio(0);
  CPLD_HiJtagGpio(7);
  CPLD_LowJtagGpio(1);
  EXPECT_EQ((std::vector<Args>{{0, 0, 27}, {1, 0, 27, 0x07}, {0, 0, 27}, {1, 0, 27, 0x04}, {0, 0, 27},
                               {1, 0, 27, 0x85}, {0, 0, 27}, {1, 0, 27, 0x05}}),
            g_jtag);

  // Lines past the register's eight bits do nothing and read as 1.
  g_jtag.clear();
  for (uint32_t line : {8u, 9u, 31u, 32u, 40u, 0xFFFFFFFFu}) {
    EXPECT_EQ(1u, CPLD_GetJtagGpio(line)) << line;
    CPLD_HiJtagGpio(line);
    CPLD_LowJtagGpio(line);
  }
  EXPECT_TRUE(g_jtag.empty());

  // The byte read into starts at 0.
  g_strBspCpldTbl.regRead = reinterpret_cast<void *>(&jtag_read_nothing);
  g_jtag.clear();
  EXPECT_EQ(0u, CPLD_GetJtagGpio(0));
  CPLD_HiJtagGpio(2);
  EXPECT_EQ((std::vector<Args>{{0, 0, 27}, {0, 0, 27}, {1, 0, 27, 0x04}}), g_jtag);
}

}  // namespace
