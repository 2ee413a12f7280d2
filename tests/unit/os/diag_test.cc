// Error records, debug prints, hooks, the driver registry and the software interrupt.
#include <bsp/diag.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "support/board_fs.h"
#include "support/capture.h"

using bsp::test::capture_stdout;

namespace {

struct DebugSwitch {
  explicit DebugSwitch(uint32_t v) : saved(g_u32BspDebug) { g_u32BspDebug = v; }
  ~DebugSwitch() { g_u32BspDebug = saved; }
  uint32_t saved;
};

TEST(StripPath, KeepsTextAfterTheLastSeparator) {
  struct Case {
    const char *in;
    const char *want;
  } cases[] = {
      {"bsp/common/x", "x"}, {"a\\b", "b"},   {"plain", "plain"}, {"/lead", "/lead"},
      {"a/b\\c/d", "d"},     {"dir/", ""},    {"", ""},           {"\\x", "\\x"},
  };
  for (const auto &c : cases) {
    char *got = BSP_StripPath(c.in);
    ASSERT_NE(nullptr, got) << c.in;
    EXPECT_STREQ(c.want, got) << c.in;
    EXPECT_GE(got, c.in);  // a pointer into the same text
  }
  EXPECT_EQ(nullptr, BSP_StripPath(nullptr));
}

TEST(DebugPrints, FollowTheSwitch) {
  struct Case {
    uint32_t level;
    const char *trace;
    const char *print;
  } cases[] = {{0, "", ""}, {1, "t7", "p7"}, {2, "", "p7"}, {0xFFFFFFFF, "", "p7"}};
  for (const auto &c : cases) {
    DebugSwitch sw(c.level);
    EXPECT_EQ(c.trace, capture_stdout([] { BSP_TracePrint("t%d", 7); })) << c.level;
    EXPECT_EQ(c.print, capture_stdout([] { BSP_Print(3, 0, "p%d", 7); })) << c.level;
  }
}

std::string g_hook_seen;
void log_hook(const char *file, uint32_t line, uint32_t err) {
  g_hook_seen = std::string(file) + ":" + std::to_string(line) + ":" + std::to_string(err);
}

TEST(ErrorRecords, LogWithoutAndWithHook) {
  gpLogPrintHook = nullptr;
  EXPECT_EQ("\r\n[ERR]Rec and record Err:[0x810a01a5] from 175\r\n",
            capture_stdout([] { BSP_ErrRecToLog("api.c", 175, 0x810A01A5); }));
  EXPECT_EQ("\r\nRegister LogPrint fail\r\n", capture_stdout([] { BSP_LogPrint_Register(nullptr); }));
  EXPECT_EQ(nullptr, gpLogPrintHook);
  BSP_LogPrint_Register(log_hook);
  EXPECT_EQ("", capture_stdout([] { BSP_ErrRecToLog("f.c", 9, 3); }));
  EXPECT_EQ("f.c:9:3", g_hook_seen);
  // A null hook keeps the one registered before.
  capture_stdout([] { BSP_LogPrint_Register(nullptr); });
  EXPECT_EQ(log_hook, gpLogPrintHook);
  gpLogPrintHook = nullptr;
}

TEST(ErrorRecords, FatalOnlyWithDebugAndApiRecordsNothing) {
  {
    DebugSwitch sw(0);
    EXPECT_EQ("", capture_stdout([] { BSP_FatalErrRecord("a/b.c", 12, 34); }));
  }
  {
    DebugSwitch sw(2);
    EXPECT_EQ("\r\n[ERR]Rec and record Err:[34] from a/b.c 12\r\n",
              capture_stdout([] { BSP_FatalErrRecord("a/b.c", 12, 34); }));
    EXPECT_EQ("", capture_stdout([] { BSP_ApiErrRec("x.c", 1, 0x810A01A5); }));
  }
}

uint32_t g_trace_args[4];
void trace_hook(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  g_trace_args[0] = a, g_trace_args[1] = b, g_trace_args[2] = c, g_trace_args[3] = d;
}
int g_clock_calls = 0;
void clock_hook() { ++g_clock_calls; }

TEST(Hooks, TraceAndClock) {
  BSP_RecordIntTraceInfo(1, 2, 3, 4);  // no hook: nothing happens
  BSP_RecordIntTraceRegister(trace_hook);
  BSP_RecordIntTraceRegister(nullptr);  // ignored
  BSP_RecordIntTraceInfo(5, 6, 7, 8);
  EXPECT_EQ(5u, g_trace_args[0]);
  EXPECT_EQ(8u, g_trace_args[3]);

  BSP_RecordIntTraceRegister(BSP_IntTraceInfoTest);
  uint32_t before = g_ulBSPIntTraceTesta;
  BSP_RecordIntTraceInfo(0, 0, 0, 0);
  BSP_RecordIntTraceInfo(0, 0, 0, 0);
  EXPECT_EQ(before + 2, g_ulBSPIntTraceTesta);

  BSP_ClockIntHookCall();
  BSP_ClockIntHookRegister(clock_hook);
  BSP_ClockIntHookCall();
  EXPECT_EQ(1, g_clock_calls);
  BSP_ClockIntHookRegister(nullptr);  // removes it
  BSP_ClockIntHookCall();
  EXPECT_EQ(1, g_clock_calls);
}

// The registry is process state: one test walks it from empty to full.
TEST(DriverRegistry, FromEmptyToFull) {
  ASSERT_EQ(nullptr, gp_DrvRecord);
  EXPECT_EQ("\r\nDriver record is empty.\r\n", capture_stdout(DRV_ShowDriverRecord));
  EXPECT_EQ(nullptr, DRV_FindDriver("eth"));
  int opts[40];
  EXPECT_EQ(1u, DRV_RegistDriver(nullptr, &opts[0]));
  EXPECT_EQ(1u, DRV_RegistDriver("eth", nullptr));
  EXPECT_EQ(nullptr, gp_DrvRecord);  // bad arguments allocate nothing

  EXPECT_EQ(0u, DRV_RegistDriver("eth", &opts[0]));
  EXPECT_EQ(0u, DRV_RegistDriver("eth", &opts[1]));  // duplicates are accepted
  const std::string long_name(40, 'n');
  EXPECT_EQ(0u, DRV_RegistDriver(long_name.c_str(), &opts[2]));
  EXPECT_EQ(std::string(31, 'n'), gp_DrvRecord[2].acDrvName);
  EXPECT_EQ(&opts[0], DRV_FindDriver("eth"));
  EXPECT_EQ(nullptr, DRV_FindDriver(long_name.c_str()));
  EXPECT_EQ(&opts[2], DRV_FindDriver(std::string(31, 'n').c_str()));

  char expect[256];
  snprintf(expect, sizeof expect, "Drv0: Name: \"eth\", Opt at: %pDrv1: Name: \"eth\", Opt at: %p",
           static_cast<void *>(&opts[0]), static_cast<void *>(&opts[1]));
  EXPECT_EQ(0u, capture_stdout(DRV_ShowDriverRecord).rfind(expect, 0));

  for (int i = 3; i < 32; ++i) EXPECT_EQ(0u, DRV_RegistDriver(("d" + std::to_string(i)).c_str(), &opts[i]));
  EXPECT_EQ(32u, g_u32DrvRecordCounter);
  EXPECT_EQ(1u, DRV_RegistDriver("d32", &opts[32]));  // the 33rd
  EXPECT_EQ(32u, g_u32DrvRecordCounter);
  EXPECT_EQ(&opts[31], DRV_FindDriver("d31"));

  g_u32DrvRecordCounter = 33;
  EXPECT_EQ("\r\nDriver record counter is INVALID\r\n", capture_stdout(DRV_ShowDriverRecord));
  EXPECT_EQ(nullptr, DRV_FindDriver("eth"));
  g_u32DrvRecordCounter = 32;
}

uint32_t read_u32_at(const char *path, off_t offset) {
  uint32_t v = 0xDEADBEEF;
  FILE *f = fopen(path, "rb");
  if (f == nullptr) return v;
  fseeko(f, offset, SEEK_SET);
  if (fread(&v, sizeof v, 1, f) != 1) v = 0xDEADBEEF;
  fclose(f);
  return v;
}

// /dev is a private tmpfs here; /dev/mem becomes a sparse file covering the APIC page.
TEST(SoftInterrupt, WritesTheCommandRegisterOnlyThroughAMappedWindow) {
  unlink("/dev/mem");
  ASSERT_EQ(nullptr, gp_u32MSITriggerAddr);
  EXPECT_EQ("Fail to open /dev/mem fd=ffffffff\n", capture_stdout(SOFTINT_UserInit));
  EXPECT_EQ(nullptr, gp_u32MSITriggerAddr);

  ASSERT_EQ(0, bsp::test::sh("truncate -s $((0xFEE01000)) /dev/mem"));
  std::string said;
  EXPECT_EQ("", capture_stdout([&] { said = bsp::test::capture_stderr([] { SOFTINT_Trigger(7, 2); }); }));
  EXPECT_EQ("SOFTINT_Trigger: interrupt window not mapped\n", said);
  EXPECT_EQ(0u, read_u32_at("/dev/mem", 0xFEE00310));
  EXPECT_EQ(0u, read_u32_at("/dev/mem", 0xFEE00300));

  EXPECT_EQ("", capture_stdout(SOFTINT_UserInit));
  ASSERT_NE(nullptr, gp_u32MSITriggerAddr);
  SOFTINT_Trigger(7, 2);
  EXPECT_EQ(0x02000000u, read_u32_at("/dev/mem", 0xFEE00310));
  EXPECT_EQ(0x36u, read_u32_at("/dev/mem", 0xFEE00300));
  SOFTINT_Trigger(99, 0xFF);
  EXPECT_EQ(0xFF000000u, read_u32_at("/dev/mem", 0xFEE00310));
  EXPECT_EQ(0x36u, read_u32_at("/dev/mem", 0xFEE00300));
}

}  // namespace
