// The board API tables and their entry points, checked against this test's own reading of
// the tables: every entry point with its slot filled by a recorder and with its slot empty,
// the layout, the connection, the allocation, and the start-up roots leaving them connected.
#include <bsp/api.h>
#include <bsp/board.h>
#include <bsp/diag.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <bsp/stub.h>
#include <gtest/gtest.h>
#include <stddef.h>
#include <string.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/board_fs.h"
#include "support/capture.h"
#include "unit/board/board_doubles.h"
#include "unit/board/child_process.h"

using namespace board_test;

namespace {

constexpr uint32_t kNotConnected = 0x810A01A5;

// Entry points, slot by slot: table, slot, field, result kind, entry point, empty answer,
// parameter types. Slots without an entry point are listed by field only.
#define API_ROWS(ENTRY, NO_ENTRY) \
  ENTRY(Api, 0, pFuncIsVirtualInsertValid, U, BSP_ApiIsVirtualInsertValid, RecZero) \
  ENTRY(Api, 1, pFuncBoardTypeGet, U, BSP_ApiBoardTypeGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 2, pFuncMabVersionGet, U, BSP_ApiMabVersionGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 3, pFuncPcbVersionGet, U, BSP_ApiPcbVersionGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 4, pFuncBackPlanePcbVersionGet, U, BSP_ApiBackPlanePcbVersionGet, Rule, unsigned char *) \
  ENTRY(Api, 5, pFuncBackPlaneMabVersionGet, U, BSP_ApiBackPlaneMabVersionGet, Rule, unsigned char *) \
  ENTRY(Api, 6, pFuncBackPlaneTypeGet, U, BSP_ApiBackPlaneTypeGet, Rule, unsigned char *) \
  ENTRY(Api, 7, pFuncSubBoardLogicVersionGet, U, BSP_ApiSubBoardLogicVersionGet, Rule, unsigned long, unsigned long, unsigned char *) \
  ENTRY(Api, 8, pFuncSubBoardOnlineStatusGet, U, BSP_ApiSubBoardOnlineStatusGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 9, pFuncSubBoardTypeGet, U, BSP_ApiSubBoardTypeGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 10, pFuncSubBoardMabVersionGet, U, BSP_ApiSubBoardMabVersionGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 11, pFuncSubBoardPcbVersionGet, U, BSP_ApiSubBoardPcbVersionGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 12, pFuncIsAnotherBoardExist, U, BSP_ApiIsAnotherBoardExist, RecOne) \
  ENTRY(Api, 13, pFuncIsMasterBoard, U, BSP_ApiIsMasterBoard, RecOne) \
  ENTRY(Api, 14, pFuncSlaveBoardReset, V, BSP_ApiSlaveBoardReset, VoidRec) \
  ENTRY(Api, 15, pFuncActiveCompete, V, BSP_ApiBoardActiveCompete, VoidRec) \
  ENTRY(Api, 16, pFuncStandbyForce, V, BSP_ApiBoardStandbyForce, VoidRec) \
  ENTRY(Api, 17, pFuncBoardSlotNumGet, U, BSP_ApiBoardSlotNumGet, Rule, unsigned char *) \
  ENTRY(Api, 18, pFuncSlotOnlineStatusGet, U, BSP_ApiSlotOnlineStatusGet, RecStatus1, unsigned long, unsigned long *) \
  ENTRY(Api, 19, pFuncE2promRead, U, BSP_ApiE2promRead, Rule, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 20, pFuncE2promWrite, U, BSP_ApiE2promWrite, Rule, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 21, pFuncOpticRead, U, BSP_ApiOpticRead, Rule, unsigned long, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 22, pFuncBoardRebootCauseGet, U, BSP_ApiBoardRebootCauseGet, Rule, unsigned char *) \
  ENTRY(Api, 23, pFuncEthDisable, V, BSP_ApiEthDisable, VoidRec) \
  ENTRY(Api, 24, pFuncEthEnable, V, BSP_ApiEthEnable, VoidRec) \
  ENTRY(Api, 25, pFuncEthParameterGet, U, BSP_ApiEthParameterGet, Rule, unsigned long, unsigned long, unsigned char *) \
  ENTRY(Api, 26, pFuncEthParameterSet, U, BSP_ApiEthParameterSet, Rule, unsigned long, unsigned long, unsigned char *) \
  ENTRY(Api, 27, pFuncEthIpGet, U, BSP_ApiEthIpGet, Rule, unsigned long, unsigned long, unsigned char *) \
  ENTRY(Api, 28, pFuncEthIpSet, U, BSP_ApiEthIpSet, Rule, unsigned long, unsigned long, unsigned char *) \
  ENTRY(Api, 29, pFuncEthMacGet, U, BSP_ApiEthMacGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 30, pFuncEthMacSet, U, BSP_ApiEthMacSet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 31, pFuncSerialBaudGet, U, BSP_ApiSerialBaudGet, Rule, unsigned long *) \
  ENTRY(Api, 32, pFuncSerialBaudSet, U, BSP_ApiSerialBaudSet, Rule, unsigned long) \
  ENTRY(Api, 33, pFuncBoardInfoShow, U, BSP_ApiBoardInfoShow, Rule) \
  ENTRY(Api, 34, pFuncBiosVersionStringGet, U, BSP_ApiBiosVersionStringGet, Rule, unsigned long, unsigned long, char *) \
  ENTRY(Api, 35, pFuncLogicVersionGet, U, BSP_ApiLogicVersionGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 36, pFuncCpldTest, U, BSP_ApiCpldTest, Rule, unsigned long, unsigned long, unsigned long, unsigned long) \
  ENTRY(Api, 37, pFuncFlashRead, U, BSP_ApiFlashRead, Rule, unsigned char *, unsigned char *, unsigned long) \
  ENTRY(Api, 38, pFuncFlashWrite, U, BSP_ApiFlashWrite, Rule, unsigned char *, unsigned char *, unsigned long) \
  ENTRY(Api, 39, pFuncFlashWriteDirect, U, BSP_ApiFlashWriteDirect, Rule, unsigned char *, unsigned char *, unsigned long) \
  ENTRY(Api, 40, pFuncFlashErase, U, BSP_ApiFlashErase, Rule, unsigned char *, unsigned long) \
  ENTRY(Api, 41, pFuncFlashFeatureGet, U, BSP_ApiFlashFeatureGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 42, pFuncOpticalBasicInfoGet, U, BSP_ApiOpticalBasicInfoGet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 43, pFuncOpticalStatusGet, U, BSP_ApiOpticalStatusGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 44, pFuncRtcDateGet, U, BSP_ApiRtcDateGet, Rule, unsigned char *, unsigned char *, unsigned char *, unsigned char *) \
  ENTRY(Api, 45, pFuncRtcDateSet, U, BSP_ApiRtcDateSet, Rule, unsigned char, unsigned char, unsigned char, unsigned char) \
  ENTRY(Api, 46, pFuncRtcTimeGet, U, BSP_ApiRtcTimeGet, Rule, unsigned char *, unsigned char *, unsigned char *) \
  ENTRY(Api, 47, pFuncRtcTimeSet, U, BSP_ApiRtcTimeSet, Rule, unsigned char, unsigned char, unsigned char) \
  ENTRY(Api, 48, pFuncTemperatureGet, U, BSP_ApiTemperatureGet, Rule, unsigned long, long *) \
  ENTRY(Api, 49, pFuncTemperatureStringGet, U, BSP_ApiTemperatureStringGet, Rule, unsigned long, char *, unsigned long) \
  ENTRY(Api, 50, pFuncVoltageGet, U, BSP_ApiVoltageGet, Rule, unsigned long, float *) \
  ENTRY(Api, 51, pFuncVoltageStringGet, U, BSP_ApiVoltageStringGet, Rule, unsigned long, char *, unsigned long) \
  ENTRY(Api, 52, pFuncBoardReset, V, BSP_ApiBoardReset, VoidRec, unsigned long, char *, unsigned long) \
  ENTRY(Api, 53, pFuncSramRead, U, BSP_ApiSramRead, QuietNc, unsigned char *, unsigned long, unsigned long) \
  ENTRY(Api, 54, pFuncSramWrite, U, BSP_ApiSramWrite, QuietNc, unsigned long, unsigned char *, unsigned long) \
  ENTRY(Api, 55, pFuncWatchdogClear, V, BSP_ApiWatchdogClear, VoidQuiet) \
  ENTRY(Api, 56, pFuncEmuSend, U, BSP_ApiEmuSend, Rule, void *, unsigned long, unsigned long) \
  ENTRY(Api, 57, pFuncEmuBaudSet, U, BSP_ApiEmuBaudSet, Rule, unsigned long) \
  NO_ENTRY(58, pFuncConsoleReceive) \
  ENTRY(Api, 59, pFuncConsoleSend, U, BSP_ApiConsoleSend, Rule, unsigned char *, unsigned long) \
  ENTRY(Api, 60, pFuncConsoleRedirectSet, U, BSP_ApiConsoleRedirectSet, Rule, unsigned long) \
  ENTRY(Api, 61, pFuncConsoleRedirectGet, U, BSP_ApiConsoleRedirectGet, Rule, unsigned long *) \
  ENTRY(Api, 62, pFuncEthReceive, U, BSP_ApiEthReceive, Rule, unsigned long, unsigned char *, unsigned long) \
  ENTRY(Api, 63, pFuncMsEthReceive, U, BSP_ApiMsEthReceive, Rule, unsigned long, unsigned char *, unsigned long) \
  ENTRY(Api, 64, pFuncEthSend, U, BSP_ApiEthSend, Rule, unsigned char *, unsigned long) \
  ENTRY(Api, 65, pFuncMsEthVbusSend, U, BSP_ApiMsEthVbusSend, Rule, void *) \
  ENTRY(Api, 66, pFuncMsEthIpcSend, U, BSP_ApiMsEthIpcSend, Rule, void *, unsigned long) \
  ENTRY(Api, 67, pFuncMsEthVpSend, U, BSP_ApiMsEthVpSend, Rule, void *, unsigned long) \
  ENTRY(Api, 68, pFuncBiosSave, U, BSP_ApiBiosSave, Rule, unsigned long, unsigned long, unsigned char *, unsigned long) \
  ENTRY(Api, 69, pFuncBiosRead, U, BSP_ApiBiosRead, Rule, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 70, pFuncLedRegister, U, BSP_ApiLedControl, Rule, unsigned long, unsigned long, unsigned long) \
  NO_ENTRY(71, pFuncEtPhaseProc) \
  NO_ENTRY(72, pFuncEtResultShow) \
  NO_ENTRY(73, pFuncEtMenuLoop) \
  NO_ENTRY(74, pFuncFlashAddrGet) \
  ENTRY(Api, 75, pFuncMemAddrGet, U, BSP_ApiMemAddrGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 76, pFuncMemSizeGet, U, BSP_ApiMemSizeGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 77, pFuncSramAddrGet, U, BSP_ApiSramAddrGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 78, pFuncVfsWrite, U, BSP_ApiVfsWrite, Rule, unsigned long, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 79, pFuncVfsRead, U, BSP_ApiVfsRead, Rule, unsigned long, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 80, pFuncVfsDelete, U, BSP_ApiVfsDelete, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 81, pFuncPiecesRead, U, BSP_ApiRomPiecesRead, Rule, char *, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 82, pFuncPiecesWrite, U, BSP_ApiRomPiecesWrite, Rule, char *, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 83, pFuncPiecesDelete, U, BSP_ApiRomPiecesDelete, Rule, char *) \
  ENTRY(Api, 84, pFuncExtInit, U, BSP_ApiExtendInit, QuietZero) \
  ENTRY(Api, 85, pFuncMainMsgPro, U, BSP_ApiMainMsgProc, QuietZero, void *) \
  ENTRY(Api, 86, pFuncSynPro, U, BSP_ApiSynPro, QuietZero, unsigned long) \
  ENTRY(Api, 87, pFuncOpticStatusGet, U, BSP_ApiOpticStatusGet, Rule, unsigned long, unsigned long, unsigned long *) \
  ENTRY(Api, 88, pFuncOpticTxEnableControl, U, BSP_ApiOpticTxEnableControl, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 89, pFuncOpticTxPowerControl, U, BSP_ApiOpticTxPowerControl, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 90, pFuncFanSpeedSet, U, BSP_ApiFanSpeedSet, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 91, pFuncFanSpeedGet, U, BSP_ApiFanSpeedGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 92, pFuncClkSelectSet, U, BSP_ApiClkSelectSet, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 93, pFuncBoardPowerControl, U, BSP_ApiSlotBoardPowerControl, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 94, pFuncPowerTypeGet, U, BSP_ApiPowerTypeGet, Rule, unsigned long *) \
  ENTRY(Api, 95, pFuncPowerStatusGet, U, BSP_ApiPowerStatusGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 96, pFuncDigitalIdStatusSet, U, BSP_ApiDigitalIdStatusSet, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 97, pFuncDigitalIdStatusGet, U, BSP_ApiDigitalIdStatusGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 98, pFuncAlarmStatusGet, U, BSP_ApiAlarmStatusGet, Rule, unsigned long, unsigned long, unsigned long *) \
  ENTRY(Api, 99, pFuncChipResetControl, U, BSP_ApiChipResetControl, Rule, unsigned long, unsigned long) \
  ENTRY(Api, 100, pFuncPmcSerialSend, U, BSP_ApiPmcSerialSend, Rule, unsigned char *, unsigned long) \
  ENTRY(Api, 101, pFuncEthMacDynamicSet, U, BSP_ApiEthMacDynamicSet, Rule, unsigned long, unsigned char *) \
  ENTRY(Api, 102, pFuncLogicLoad, U, BSP_ApiLogicLoad, Rule, unsigned long, unsigned char *, unsigned long) \
  ENTRY(Api, 103, pFuncIicRead, U, BSP_ApiIicRead, Rule, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 104, pFuncIicWrite, U, BSP_ApiIicWrite, Rule, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 105, pFuncSpiRead, U, BSP_ApiSpiRead, Rule, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 106, pFuncSpiWrite, U, BSP_ApiSpiWrite, Rule, unsigned long, unsigned long, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 107, pFuncXmodemDownload, U, BSP_ApiXmodemDownLoad, Rule, unsigned char *, unsigned long, unsigned long *) \
  ENTRY(Api, 108, pFuncPowerGet, U, BSP_ApiPowerGet, Rule, unsigned long, unsigned long *) \
  ENTRY(Api, 109, pFuncConsoleSwitch, U, BSP_ApiConsoleSwitch, Rule, unsigned char) \

#define CPU_ROWS(ENTRY, NO_ENTRY)                        \
  NO_ENTRY(0, pFuncCpuRomPrintChar)                      \
  NO_ENTRY(1, pFuncCpuRomPrintString)                    \
  NO_ENTRY(2, pFuncCpuRomPrintHex)                       \
  NO_ENTRY(3, pFuncCpuRomPrintDec)                       \
  NO_ENTRY(4, pFuncCpuRomCharGet)                        \
  NO_ENTRY(5, pFuncCpuFuncCallStackGet)                  \
  ENTRY(Cpu, 6, pFuncCpuTimeBaseGet, V, BSP_ApiTimeBaseGet, VoidQuiet, unsigned long *, unsigned long *) \
  NO_ENTRY(7, pFuncCpu)

#define COMMON_ROWS(ENTRY, NO_ENTRY)                                                   \
  ENTRY(Common, 0, pFuncCommonIfLastWordOpen, U, BSP_ApiIsLastWordFlagOpen, QuietZero) \
  ENTRY(Common, 1, pFuncCommonExpand, U, BSP_ApiExpand, Rule, void *, void *, unsigned long, unsigned long *)

#define USER_ROWS(NO_ENTRY)        \
  NO_ENTRY(0, pFuncUsrLedCtrl)     \
  NO_ENTRY(1, pFuncUsrAutoLoad)    \
  NO_ENTRY(2, pFuncUsrBootHook)    \
  NO_ENTRY(3, pFuncUsrNetInitSpecial)

enum class Tab { Api, Cpu, Common };
enum class Empty { Rule, RecZero, RecOne, RecStatus1, VoidRec, VoidQuiet, QuietNc, QuietZero };

using Result_U = uint32_t;
using Result_V = void;

template <Tab T>
struct TableOf;
template <>
struct TableOf<Tab::Api> {
  using type = API_FUNC_S;
};
template <>
struct TableOf<Tab::Cpu> {
  using type = CPU_FUNC_S;
};
template <>
struct TableOf<Tab::Common> {
  using type = COMMON_FUNC_S;
};

// Layout: slot i at i pointers, and each entry point with exactly the parameters above.
#define CHECK_ENTRY(table, slot, field, kind, entry, answer, ...)                                             \
  static_assert(offsetof(TableOf<Tab::table>::type, field) == (slot) * sizeof(void *), #field);             \
  static_assert(std::is_same_v<decltype(&entry), Result_##kind (*)(__VA_ARGS__)>, #entry " parameters");
#define CHECK_API_SLOT(slot, field) static_assert(offsetof(API_FUNC_S, field) == (slot) * sizeof(void *), #field);
#define CHECK_CPU_SLOT(slot, field) static_assert(offsetof(CPU_FUNC_S, field) == (slot) * sizeof(void *), #field);
#define CHECK_USER_SLOT(slot, field) static_assert(offsetof(USER_FUNC_S, field) == (slot) * sizeof(void *), #field);
API_ROWS(CHECK_ENTRY, CHECK_API_SLOT)
CPU_ROWS(CHECK_ENTRY, CHECK_CPU_SLOT)
COMMON_ROWS(CHECK_ENTRY, CHECK_API_SLOT)
USER_ROWS(CHECK_USER_SLOT)
static_assert(sizeof(API_FUNC_S) == 110 * sizeof(void *));
static_assert(sizeof(CPU_FUNC_S) == 8 * sizeof(void *));
static_assert(sizeof(COMMON_FUNC_S) == 2 * sizeof(void *));
static_assert(sizeof(USER_FUNC_S) == 4 * sizeof(void *));

void *table_of(Tab t) {
  switch (t) {
    case Tab::Api:
      return g_pstBspApi;
    case Tab::Cpu:
      return g_pstCpuApiFunc;
    case Tab::Common:
      return g_pstCommonFunc;
  }
  return nullptr;
}

using AnyFn = void (*)();

void set_raw_slot(void *table, int slot, AnyFn fn) {
  memcpy(static_cast<char *>(table) + slot * sizeof(void *), &fn, sizeof fn);
}
AnyFn raw_slot(const void *table, int slot) {
  AnyFn fn;
  memcpy(&fn, static_cast<const char *>(table) + slot * sizeof(void *), sizeof fn);
  return fn;
}
template <typename F>
AnyFn any(F *fn) {
  return reinterpret_cast<AnyFn>(fn);
}

// What the pointer arguments point to: cells that an entry point must not touch.
constexpr size_t kCellSize = 16;
alignas(16) unsigned char g_cells[8][kCellSize];
void fill_cells() { memset(g_cells, 0xA5, sizeof g_cells); }
bool cells_untouched() {
  for (auto &cell : g_cells)
    for (unsigned char b : cell)
      if (b != 0xA5) return false;
  return true;
}

template <typename T>
T argument(int slot, size_t i) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(g_cells[i]);
  } else if constexpr (sizeof(T) == 1) {
    return static_cast<T>(0x40 + slot + i);
  } else {
    return static_cast<T>(0xA5000000ul + static_cast<unsigned long>(slot) * 0x100 + i);
  }
}
template <typename T>
uintptr_t word(T v) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<uintptr_t>(v);
  } else {
    return static_cast<uintptr_t>(v);
  }
}
template <typename... A, size_t... I>
std::tuple<A...> arguments(int slot, std::index_sequence<I...>) {
  (void)slot;  // unused for entry points without parameters
  return std::tuple<A...>{argument<A>(slot, I)...};
}

struct Row;
using Check = void (*)(const Row &row, bool whole_table_missing);

struct Row {
  Tab table;
  int slot;
  const char *name;
  Empty empty;
  Check filled;
  Check empty_check;
};

struct Expected {
  bool returns;
  uint32_t result;
  bool record;
};
Expected expected_empty_answer(Empty e) {
  switch (e) {
    case Empty::Rule:
      return {true, kNotConnected, true};
    case Empty::RecZero:
      return {true, 0, true};
    case Empty::RecOne:
      return {true, 1, true};
    case Empty::RecStatus1:
      return {true, kNotConnected, true};
    case Empty::VoidRec:
      return {false, 0, true};
    case Empty::VoidQuiet:
      return {false, 0, false};
    case Empty::QuietNc:
      return {true, kNotConnected, false};
    case Empty::QuietZero:
      return {true, 0, false};
  }
  return {};
}

template <typename R, typename... A>
struct Harness {
  static inline int calls = 0;
  static inline std::vector<uintptr_t> seen;
  static inline uint32_t answer = 0;

  static R record(A... a) {
    ++calls;
    seen = {word(a)...};
    if constexpr (!std::is_void_v<R>) return static_cast<R>(answer);
  }

  template <auto Entry>
  static void check_filled(const Row &row, bool) {
    SCOPED_TRACE(row.name);
    calls = 0;
    seen.clear();
    answer = 0x5EED0000u + static_cast<uint32_t>(row.slot);
    set_raw_slot(table_of(row.table), row.slot, any(&record));
    auto args = arguments<A...>(row.slot, std::index_sequence_for<A...>{});
    const size_t records = g_err_records.size();
    if constexpr (std::is_void_v<R>) {
      std::apply(Entry, args);
    } else {
      EXPECT_EQ(answer, std::apply(Entry, args));
    }
    EXPECT_EQ(1, calls);
    std::vector<uintptr_t> passed = std::apply([](auto... a) { return std::vector<uintptr_t>{word(a)...}; }, args);
    EXPECT_EQ(passed, seen);
    EXPECT_EQ(records, g_err_records.size());
  }

  template <auto Entry>
  static void check_empty(const Row &row, bool whole_table_missing) {
    SCOPED_TRACE(std::string(row.name) + (whole_table_missing ? " without its table" : " with its slot empty"));
    calls = 0;
    if (!whole_table_missing) set_raw_slot(table_of(row.table), row.slot, nullptr);
    fill_cells();
    auto args = arguments<A...>(row.slot, std::index_sequence_for<A...>{});
    const size_t records = g_err_records.size();
    uint32_t result = 0xDEADBEEF;
    const std::string out = bsp::test::capture_stdout([&] {
      if constexpr (std::is_void_v<R>) {
        std::apply(Entry, args);
      } else {
        result = std::apply(Entry, args);
      }
    });
    const Expected want = expected_empty_answer(row.empty);
    if (want.returns) {
      EXPECT_EQ(want.result, result);
    }
    EXPECT_EQ("", out);
    EXPECT_EQ(0, calls);
    if (want.record) {
      ASSERT_EQ(records + 1, g_err_records.size());
      EXPECT_EQ(kNotConnected, g_err_records.back().code);
      EXPECT_NE("", g_err_records.back().file);
    } else {
      EXPECT_EQ(records, g_err_records.size());
    }
    if (row.empty == Empty::RecStatus1) {
      unsigned long status = 0;
      memcpy(&status, g_cells[1], sizeof status);
      EXPECT_EQ(1ul, status);
      memset(g_cells[1], 0xA5, sizeof status);
    }
    EXPECT_TRUE(cells_untouched()) << "an empty slot's entry point wrote through an argument";
  }
};

#define MAKE_ROW(table, slot, field, kind, entry, answer, ...)                                              \
  Row{Tab::table, slot, #entry, Empty::answer,                                                             \
      &Harness<Result_##kind __VA_OPT__(, ) __VA_ARGS__>::template check_filled<&entry>,                   \
      &Harness<Result_##kind __VA_OPT__(, ) __VA_ARGS__>::template check_empty<&entry>},
#define SKIP_SLOT(slot, field)

const Row kRows[] = {API_ROWS(MAKE_ROW, SKIP_SLOT) CPU_ROWS(MAKE_ROW, SKIP_SLOT) COMMON_ROWS(MAKE_ROW, SKIP_SLOT)};

// The slots this board fills, and the slots it empties, on every connection.
const std::map<int, AnyFn> &connected_slots() {
  static const std::map<int, AnyFn> slots = {
      {0, any(&TIV_StubIsVirtualInsertValid)},  {1, any(&TIV_StubBoardTypeGet)},
      {2, any(&TIV_StubMabVersionGet)},         {3, any(&TIV_StubPcbVersionGet)},
      {8, any(&BSPSMS_GetCardOnline)},          {9, any(&BSPSMS_GetBoardType)},
      {17, any(&TIV_StubBoardSlotNumGet)},      {18, any(&TIV_StubSlotOnlineStatusGet)},
      {21, any(&TIV_StubOpticRead)},            {34, any(&TIV_StubBiosVersionStringGet)},
      {35, any(&TIV_StubCpldVersionGet)},       {37, any(&FLASH_AdaptFlashRead)},
      {38, any(&FLASH_AdaptFlashWrite)},        {40, any(&FLASH_AdaptFlashErase)},
      {41, any(&FLASH_FeatureGet)},             {44, any(&TIV_StubRtcDateGet)},
      {45, any(&TIV_StubRtcDateSet)},           {46, any(&TIV_StubRtcTimeGet)},
      {47, any(&TIV_StubRtcTimeSet)},           {48, any(&BSPSMS_GetTemperature)},
      {76, any(&TIV_StubGetMemSize)},           {81, any(&BSP_VfsPiecesFileRead)},
      {82, any(&BSP_VfsPiecesFileWrite)},       {83, any(&BSP_VfsPiecesFileDelete)},
  };
  return slots;
}
const std::set<int> kEmptiedSlots = {4, 5, 6, 19, 20, 29, 30, 32, 39, 52, 53, 54, 55, 58, 59, 60, 65, 66, 68, 102};

void host_function() {}

// Every slot of a table holds what the connection gives it; `other` for the slots it leaves.
void expect_connected(AnyFn other) {
  ASSERT_NE(nullptr, g_pstBspApi);
  for (int slot = 0; slot < 110; ++slot) {
    SCOPED_TRACE("slot " + std::to_string(slot));
    auto it = connected_slots().find(slot);
    if (it != connected_slots().end()) {
      EXPECT_EQ(it->second, raw_slot(g_pstBspApi, slot));
    } else if (kEmptiedSlots.count(slot) != 0) {
      EXPECT_EQ(nullptr, raw_slot(g_pstBspApi, slot));
    } else {
      EXPECT_EQ(other, raw_slot(g_pstBspApi, slot));
    }
  }
}
void expect_all_slots(const void *table, int slots, AnyFn value) {
  ASSERT_NE(nullptr, table);
  for (int slot = 0; slot < slots; ++slot) EXPECT_EQ(value, raw_slot(table, slot)) << "slot " << slot;
}
void fill_all_slots(void *table, int slots, AnyFn value) {
  for (int slot = 0; slot < slots; ++slot) set_raw_slot(table, slot, value);
}

struct SavedTables {
  API_FUNC_S *api = g_pstBspApi;
  CPU_FUNC_S *cpu = g_pstCpuApiFunc;
  COMMON_FUNC_S *common = g_pstCommonFunc;
  USER_FUNC_S *user = g_pstUserFunc;
  void forget() { g_pstBspApi = nullptr, g_pstCpuApiFunc = nullptr, g_pstCommonFunc = nullptr, g_pstUserFunc = nullptr; }
  void restore() const { g_pstBspApi = api, g_pstCpuApiFunc = cpu, g_pstCommonFunc = common, g_pstUserFunc = user; }
};

// Each test starts from the tables as the first connection leaves them.
class ApiTables : public testing::Test {
 protected:
  void SetUp() override {
    BSP_InitTiv();
    ASSERT_NE(nullptr, g_pstBspApi);
    memset(g_pstBspApi, 0, sizeof *g_pstBspApi);
    memset(g_pstCpuApiFunc, 0, sizeof *g_pstCpuApiFunc);
    memset(g_pstCommonFunc, 0, sizeof *g_pstCommonFunc);
    memset(g_pstUserFunc, 0, sizeof *g_pstUserFunc);
    BSP_ConnectAPI();
    use_word_source(WordSource::Board);
  }
};

TEST_F(ApiTables, EveryEntryPointPassesItsArgumentsAndResultUnchanged) {
  for (const Row &row : kRows) {
    // It passes an argument of its own as well: checked on its own below.
    if (std::string(row.name) == "BSP_ApiRomPiecesDelete") continue;
    row.filled(row, false);
  }
}

TEST_F(ApiTables, EveryEntryPointGivesItsAnswerForAnEmptySlot) {
  for (const Row &row : kRows) row.empty_check(row, false);
}

// Before any root, or once the table could not be allocated, the table pointers are null: the
// entry points answer as for an empty slot instead of reaching through them.
TEST_F(ApiTables, WithoutTablesEveryEntryPointAnswersAsForAnEmptySlot) {
  SavedTables saved;
  saved.forget();
  for (const Row &row : kRows) row.empty_check(row, true);
  BSP_ConnectAPI();  // nothing to connect
  EXPECT_EQ(nullptr, g_pstBspApi);
  saved.restore();
}

// The piece name and 1: the piece is deleted from flash too.
TEST_F(ApiTables, PieceDeletionAlsoDeletesFromFlash) {
  using Delete = Harness<uint32_t, char *, unsigned long>;
  Delete::calls = 0;
  Delete::answer = 7;
  set_raw_slot(g_pstBspApi, 83, any(&Delete::record));
  char name[] = "statemach.efs";
  EXPECT_EQ(7u, BSP_ApiRomPiecesDelete(name));
  EXPECT_EQ(1, Delete::calls);
  EXPECT_EQ((std::vector<uintptr_t>{reinterpret_cast<uintptr_t>(name), 1}), Delete::seen);
}

TEST_F(ApiTables, LayoutOfAFewSlotsByIndex) {
  const size_t p = sizeof(void *);
  EXPECT_EQ(0 * p, offsetof(API_FUNC_S, pFuncIsVirtualInsertValid));
  EXPECT_EQ(57 * p, offsetof(API_FUNC_S, pFuncEmuBaudSet));
  EXPECT_EQ(58 * p, offsetof(API_FUNC_S, pFuncConsoleReceive));
  EXPECT_EQ(68 * p, offsetof(API_FUNC_S, pFuncBiosSave));
  EXPECT_EQ(70 * p, offsetof(API_FUNC_S, pFuncLedRegister));
  EXPECT_EQ(101 * p, offsetof(API_FUNC_S, pFuncEthMacDynamicSet));
  EXPECT_EQ(109 * p, offsetof(API_FUNC_S, pFuncConsoleSwitch));
  EXPECT_EQ(6 * p, offsetof(CPU_FUNC_S, pFuncCpuTimeBaseGet));
  EXPECT_EQ(1 * p, offsetof(COMMON_FUNC_S, pFuncCommonExpand));
  EXPECT_EQ(3 * p, offsetof(USER_FUNC_S, pFuncUsrNetInitSpecial));
  // A slot the host fills by field is the slot the entry point reads.
  using Led = Harness<uint32_t, unsigned long, unsigned long, unsigned long>;
  Led::answer = 70;
  g_pstBspApi->pFuncLedRegister = reinterpret_cast<ULONGFUNCPTR>(&Led::record);
  EXPECT_EQ(70u, BSP_ApiLedControl(1, 2, 3));
  EXPECT_EQ((std::vector<uintptr_t>{1, 2, 3}), Led::seen);
}

TEST_F(ApiTables, ConnectionFillsAndEmptiesItsSlotsAndKeepsTheHostsOthers) {
  expect_connected(nullptr);
  expect_all_slots(g_pstCpuApiFunc, 8, nullptr);
  expect_all_slots(g_pstCommonFunc, 2, nullptr);
  expect_all_slots(g_pstUserFunc, 4, nullptr);

  fill_all_slots(g_pstBspApi, 110, &host_function);
  fill_all_slots(g_pstCpuApiFunc, 8, &host_function);
  fill_all_slots(g_pstCommonFunc, 2, &host_function);
  fill_all_slots(g_pstUserFunc, 4, &host_function);
  BSP_ConnectAPI();
  expect_connected(&host_function);
  expect_all_slots(g_pstCpuApiFunc, 8, &host_function);

  // A second initialisation neither reallocates nor clears; it connects again.
  SavedTables before;
  fill_all_slots(g_pstBspApi, 110, &host_function);
  BSP_InitTiv();
  EXPECT_EQ(before.api, g_pstBspApi);
  EXPECT_EQ(before.cpu, g_pstCpuApiFunc);
  EXPECT_EQ(before.common, g_pstCommonFunc);
  EXPECT_EQ(before.user, g_pstUserFunc);
  expect_connected(&host_function);
  expect_all_slots(g_pstCpuApiFunc, 8, &host_function);
  expect_all_slots(g_pstCommonFunc, 2, &host_function);
  expect_all_slots(g_pstUserFunc, 4, &host_function);
}

TEST_F(ApiTables, AnswersRightAfterConnection) {
  EXPECT_EQ(kNotConnected, BSP_ApiBoardRebootCauseGet(nullptr));
  EXPECT_EQ(1u, BSP_ApiIsMasterBoard());
  EXPECT_EQ(1u, BSP_ApiIsVirtualInsertValid());
  g_pstBspApi->pFuncIsVirtualInsertValid = nullptr;
  EXPECT_EQ(0u, BSP_ApiIsVirtualInsertValid());

  unsigned long status = 9;
  EXPECT_EQ(0u, BSP_ApiSlotOnlineStatusGet(4, &status));
  EXPECT_EQ(0ul, status);
  g_pstBspApi->pFuncSlotOnlineStatusGet = nullptr;
  EXPECT_EQ(kNotConnected, BSP_ApiSlotOnlineStatusGet(4, &status));
  EXPECT_EQ(1ul, status);
  EXPECT_EQ(kNotConnected, BSP_ApiSlotOnlineStatusGet(4, nullptr));  // nothing to store into

  unsigned long type = 77;
  EXPECT_EQ(0u, BSP_ApiBoardTypeGet(0xFFFFFFFF, &type));
  EXPECT_EQ(0ul, type);  // the board type of this board's word
  type = 77;
  EXPECT_EQ(0u, BSP_ApiBoardTypeGet(3, &type));
  EXPECT_EQ(77ul, type);

  EXPECT_EQ("", bsp::test::capture_stdout([] {
              g_pstBspApi->pFuncWatchdogClear = nullptr;
              BSP_ApiWatchdogClear();
            }));
}

// Allocation failures: the table's message, its pointer stays null, the other tables are
// still made, and the entry points answer as for an empty slot.
TEST(ApiTableAllocation, AFailedTableIsReportedAndLeftOut) {
  struct Case {
    size_t size;
    const char *message;
    int missing;  // 0 API, 1 CPU, 2 COMMON, 3 USER
  } cases[] = {
      {sizeof(API_FUNC_S), "Alloc memory for API_FUNC_S FAIL\r\n", 0},
      {sizeof(CPU_FUNC_S), "Alloc memory for CPU_FUNC_S FAIL\r\n", 1},
      {sizeof(COMMON_FUNC_S), "Alloc memory for COMMON_FUNC_S FAIL\r\n", 2},
      {sizeof(USER_FUNC_S), "Alloc memory for USER_FUNC_S FAIL\r\n", 3},
  };
  if (!fail_next_allocation_of(0)) GTEST_SKIP() << "the sanitizer's allocator cannot be made to fail";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_TRUE(in_child([&] {
      SavedTables().forget();
      const std::string out = bsp::test::capture_stdout([&] {
        fail_next_allocation_of(c.size);
        BSP_InitTiv();
        stop_failing_allocations();
      });
      EXPECT_EQ(c.message, out);
      const void *tables[] = {g_pstBspApi, g_pstCpuApiFunc, g_pstCommonFunc, g_pstUserFunc};
      for (int i = 0; i < 4; ++i) EXPECT_EQ(i == c.missing, tables[i] == nullptr) << "table " << i;
      if (c.missing == 0) {
        for (const Row &row : kRows)
          if (row.table == Tab::Api) row.empty_check(row, true);
        // The next initialisation tries again.
        BSP_InitTiv();
        expect_connected(nullptr);
      } else {
        expect_connected(nullptr);
      }
    }));
  }
}

// Each root connects the tables and chooses the board configuration, in a process of its own.
TEST(ApiRoots, EachRootLeavesTheTablesConnected) {
  struct Case {
    const char *name;
    void (*root)();
  } roots[] = {{"BSP_SoRoot", BSP_SoRoot}, {"BSP_SoLumRoot", BSP_SoLumRoot}, {"BSP_SoMonitorRoot", BSP_SoMonitorRoot}};
  for (const Case &c : roots) {
    SCOPED_TRACE(c.name);
    bsp::test::reset_board();
    EXPECT_TRUE(in_child([&] {
      SavedTables().forget();
      pBoardConfig = nullptr;
      pDefaultConfig = nullptr;
      g_config_keys.clear();
      use_word_source(WordSource::Board);
      bsp::test::capture_stdout(c.root);
      expect_connected(nullptr);
      expect_all_slots(g_pstCpuApiFunc, 8, nullptr);
      expect_all_slots(g_pstCommonFunc, 2, nullptr);
      expect_all_slots(g_pstUserFunc, 4, nullptr);
      EXPECT_EQ(&g_ZQDefaultCfg, pBoardConfig);
      EXPECT_EQ(&g_ZQDefaultCfg, pDefaultConfig);
      EXPECT_EQ(std::vector<uint32_t>{0}, g_config_keys);
      EXPECT_EQ(kNotConnected, BSP_ApiBoardRebootCauseGet(nullptr));
      EXPECT_EQ(1u, BSP_ApiIsMasterBoard());
      EXPECT_EQ(1u, BSP_ApiIsVirtualInsertValid());
    }));
  }
}

// The key is the low 12 bits of the board type; the word's PCB version never reaches it.
TEST(ApiRoots, BoardConfigurationKeyCarriesNoPcbVersion) {
  bsp::test::reset_board();
  EXPECT_TRUE(in_child([] {
    g_BDIF_BoardInfo = {};
    g_config_keys.clear();
    use_word_source(WordSource::Given, (7u << 29) | (0x099u << 4));
    bsp::test::capture_stdout(BSP_SoMonitorRoot);
    EXPECT_EQ(std::vector<uint32_t>{0x099}, g_config_keys);
    EXPECT_EQ(&g_ZQDefaultCfg, pBoardConfig);
  }));
}

// The connected slots reach the flash front and the pieces file system a root set up.
TEST(ApiRoots, ConnectedFlashAndPiecesSlotsReachTheirStores) {
  bsp::test::reset_board();
  EXPECT_TRUE(in_child([] {
    bsp::test::capture_stdout(BSP_SoMonitorRoot);
    unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char back[8] = {};
    unsigned char *offset = reinterpret_cast<unsigned char *>(0x400000);
    EXPECT_EQ(0u, BSP_ApiFlashWrite(offset, data, sizeof data));
    EXPECT_EQ(0u, BSP_ApiFlashRead(back, offset, sizeof back));
    EXPECT_EQ(0, memcmp(data, back, sizeof data));
    EXPECT_EQ(0u, BSP_ApiFlashErase(offset, sizeof back));
    EXPECT_EQ(0u, BSP_ApiFlashRead(back, offset, sizeof back));
    EXPECT_EQ(std::vector<unsigned char>(8, 0xFF), std::vector<unsigned char>(back, back + 8));

    char name[] = "api-test.bin";
    unsigned long done = 0;
    EXPECT_EQ(0u, BSP_ApiRomPiecesWrite(name, 0, data, sizeof data, &done));
    EXPECT_EQ(sizeof data, done);
    memset(back, 0, sizeof back);
    EXPECT_EQ(0u, BSP_ApiRomPiecesRead(name, 0, back, sizeof back, &done));
    EXPECT_EQ(0, memcmp(data, back, sizeof data));
    EXPECT_EQ(0u, BSP_ApiRomPiecesDelete(name));
  }));
  // A new process loads the pieces from flash: the deletion was committed there.
  EXPECT_TRUE(in_child([] {
    bsp::test::capture_stdout(BSP_SoMonitorRoot);
    char name[] = "api-test.bin";
    unsigned char back[8] = {};
    unsigned long done = 0;
    EXPECT_NE(0u, BSP_ApiRomPiecesRead(name, 0, back, sizeof back, &done));
  }));
}

}  // namespace
