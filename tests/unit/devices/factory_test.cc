// Factory flag parameters against a test clock, on the pieces file system of the sandboxed
// board: the record and its messages, the delay and spare time, the success flag and its hook,
// and setters of different fields at once in two threads and in two processes.
#include <bsp/factory.h>
#include <bsp/osadapt.h>
#include <bsp/pieces.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <npth.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/board_fs.h"
#include "support/capture.h"
#include "unit/storage/storage_flavor.h"

// Allocation that can be made to fail for the record's 28-byte working copy.
namespace {
bool g_fail_copy = false;
}
extern "C" __attribute__((visibility("default"))) void *BSP_malloc(uint32_t nBytes, uint32_t flags) {
  using Real = void *(*)(uint32_t, uint32_t);
  static Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "BSP_malloc"));
  if (g_fail_copy && nBytes == 28) return nullptr;
  return real(nBytes, flags);
}

namespace {

using Record = std::array<uint32_t, 7>;  // the stored fields in their order
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kFlag = 0xABCDABCD;
constexpr char kPiece[] = "Factory_Flag_Para";

// The board clock the hook reads.
time_t g_now = 0;
bool g_clock_fails = false;
bool g_cleared_on_entry = true;

uint32_t test_clock(St85TimeBIN *t) {
  const St85TimeBIN zero = {};
  if (memcmp(t, &zero, sizeof zero) != 0) g_cleared_on_entry = false;
  if (g_clock_fails) return 3;
  struct tm c;
  gmtime_r(&g_now, &c);
  t->cSecond = static_cast<int8_t>(c.tm_sec);
  t->cMin = static_cast<int8_t>(c.tm_min);
  t->cHour = static_cast<int8_t>(c.tm_hour);
  t->cDayOfWeek = static_cast<int8_t>(c.tm_wday == 0 ? 7 : c.tm_wday);
  t->cDayOfMonth = static_cast<int8_t>(c.tm_mday);
  t->cMonth = static_cast<int8_t>(c.tm_mon + 1);
  t->cYear = static_cast<int8_t>(c.tm_year - 100);
  return 0;
}

int g_hook_calls = 0;
uint32_t g_flag_seen_by_hook = 1;
void factory_hook() {
  ++g_hook_calls;
  g_flag_seen_by_hook = BSP_GetSuccessFlag();
}

std::optional<Record> stored() {
  unsigned char b[28];
  unsigned long done = 0;
  if (BSP_VfsPiecesFileRead(const_cast<char *>(kPiece), 0, b, 28, &done) != 0) return std::nullopt;
  Record r;
  for (size_t i = 0; i < r.size(); ++i) r[i] = b[4 * i] | b[4 * i + 1] << 8 | b[4 * i + 2] << 16 | uint32_t{b[4 * i + 3]} << 24;
  return r;
}

void store(const Record &r) {
  unsigned char b[28];
  for (size_t i = 0; i < r.size(); ++i) {
    for (int k = 0; k < 4; ++k) b[4 * i + k] = static_cast<unsigned char>(r[i] >> (8 * k));
  }
  unsigned long done = 0;
  ASSERT_EQ(0u, BSP_VfsPiecesFileWrite(const_cast<char *>(kPiece), 0, b, 28, &done));
}

std::string out_of(const std::function<void()> &fn) { return bsp::test::capture_stdout(fn); }

const std::string kCreating = "\r\nGet FACTORY_FLAG_PARA fail! Creat a new one now.";
const time_t kT = 1710074096;  // 10 March 2024, 12:34:56 UTC

class Factory : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    storage_test::fresh_board();
    storage_test::start_storage();
    g_now = kT;
    g_clock_fails = false;
    g_cleared_on_entry = true;
    g_hook_calls = 0;
    g_flag_seen_by_hook = 1;
    BSP_Set_GetTimeHook(test_clock);
    BSP_SET_FACTORY_FLAG_HOOK(factory_hook);
  }
  void TearDown() override {
    BSP_Set_GetTimeHook(nullptr);
    BSP_SET_FACTORY_FLAG_HOOK(nullptr);
  }
};

TEST(FactoryCalendar, LeapYearsAndMonthLengths) {
  struct Year {
    int32_t year;
    uint32_t leap;
  } years[] = {{2000, 1}, {2100, 0}, {2024, 1}, {2023, 0}, {1900, 0}, {2400, 1}, {0, 1}, {-4, 1}};
  for (const Year &y : years) EXPECT_EQ(y.leap, isLeapYear(y.year)) << y.year;
  const uint32_t days_2023[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (uint32_t m = 1; m <= 12; ++m) EXPECT_EQ(days_2023[m - 1], DayOfMonth(m, 2023)) << m;
  EXPECT_EQ(29u, DayOfMonth(2, 2024));
  EXPECT_EQ(29u, DayOfMonth(2, 2000));
  EXPECT_EQ(28u, DayOfMonth(2, 2100));
}

TEST(FactoryHooks, SettersStoreTheHooks) {
  BSP_Set_GetTimeHook(test_clock);
  EXPECT_EQ(&test_clock, g_pfnGetTime);
  BSP_SET_FACTORY_FLAG_HOOK(factory_hook);
  EXPECT_EQ(&factory_hook, g_pfnSetFactoryFlag);
  BSP_Set_GetTimeHook(nullptr);
  BSP_SET_FACTORY_FLAG_HOOK(nullptr);
  EXPECT_EQ(nullptr, g_pfnGetTime);
  EXPECT_EQ(nullptr, g_pfnSetFactoryFlag);
}

TEST_F(Factory, ClockThroughTheHookOrTheStub) {
  EXPECT_EQ(1710074096u, BSP_RTC_GetTime());
  EXPECT_TRUE(g_cleared_on_entry);
  g_clock_fails = true;
  uint32_t t = 0;
  EXPECT_EQ("\r\n--+--BSP_RTC_GetTime Fail!", out_of([&] { t = BSP_RTC_GetTime(); }));
  EXPECT_EQ(0xFFFFFFFFu, t);
  // Every field signed, normalised as the calendar does: 12:-1 is 11:59.
  BSP_Set_GetTimeHook([](St85TimeBIN *p) -> uint32_t {
    *p = St85TimeBIN{0, 0, -1, 12, 7, 10, 3, 24};
    return 0;
  });
  EXPECT_EQ(1710071940u, BSP_RTC_GetTime());
  // The library's clock stub leaves every field 0: 30 November 1999.
  BSP_Set_GetTimeHook(nullptr);
  EXPECT_EQ(943920000u, BSP_RTC_GetTime());
}

TEST_F(Factory, NoRecord) {
  FACTORY_FLAG_PARA p;
  memset(&p, 0x5A, sizeof p);
  EXPECT_NE(0u, BSP_GetFactFlagPara(&p));
  const FACTORY_FLAG_PARA zero = {};
  EXPECT_EQ(0, memcmp(&zero, &p, sizeof p));
  uint32_t v = 9;
  EXPECT_EQ(0u, BSP_GetSuccessCount(&v));
  EXPECT_EQ(0u, v);
  v = 9;
  EXPECT_EQ(0u, BSP_GetFailCount(&v));
  EXPECT_EQ(0u, v);
  v = 9;
  EXPECT_EQ(0u, BSP_GetLastStatus(&v));
  EXPECT_EQ(0u, v);
  EXPECT_EQ(0u, BSP_GetDelayTime(&v));
  EXPECT_EQ(0xFFFFFFFFu, v);
  EXPECT_EQ(1u, BSP_GetSuccessFlag());
  v = 9;
  EXPECT_EQ(1u, BSP_GetSpareTime(&v));
  EXPECT_EQ(9u, v);
  EXPECT_EQ(1u, BSP_GetHideFlag());
  BSP_SetFactoryFlag();
  EXPECT_EQ(0, g_hook_calls);
  EXPECT_FALSE(stored());
  EXPECT_EQ(0u, EmtestFileErase(1));
}

TEST_F(Factory, InitAndGetTheWholeRecord) {
  FACTORY_FLAG_PARA p;
  memset(&p, 0x5A, sizeof p);
  EXPECT_EQ(0u, BSP_InitFactFlagPara(&p));
  EXPECT_EQ((Record{0, 0, 0, 0, kNone, kNone, 0}), stored());
  const FACTORY_FLAG_PARA fresh = {0, 0, 0, 0, kNone, kNone, 0};
  EXPECT_EQ(0, memcmp(&fresh, &p, sizeof p));

  store({3, 4, 1, 2, 7200, 0x12345678, kFlag});
  FACTORY_FLAG_PARA got = {};
  EXPECT_EQ(0u, BSP_GetFactFlagPara(&got));
  const FACTORY_FLAG_PARA expected = {3, 4, 1, 2, 7200, 0x12345678, kFlag};
  EXPECT_EQ(0, memcmp(&expected, &got, sizeof got));
  uint32_t v = 0;
  EXPECT_EQ(0u, BSP_GetSuccessCount(&v));
  EXPECT_EQ(3u, v);
  EXPECT_EQ(0u, BSP_GetFailCount(&v));
  EXPECT_EQ(4u, v);
  EXPECT_EQ(0u, BSP_GetLastStatus(&v));
  EXPECT_EQ(1u, v);

  EXPECT_EQ(1u, BSP_InitFactFlagPara(nullptr));
  EXPECT_EQ("\r\nBSP_GetFactFlagPara parameter Fail!", out_of([] { EXPECT_EQ(1u, BSP_GetFactFlagPara(nullptr)); }));
}

TEST_F(Factory, TheFirstSetterCreatesTheRecord) {
  EXPECT_EQ(kCreating, out_of([] { EXPECT_EQ(0u, BSP_SetFailCount(2)); }));
  EXPECT_EQ((Record{0, 2, 0, 2, kNone, kNone, 0}), stored());
  EXPECT_EQ("", out_of([] { EXPECT_EQ(0u, BSP_SetFailCount(3)); }));
  EXPECT_EQ((Record{0, 3, 2, 2, kNone, kNone, 0}), stored());
}

TEST_F(Factory, DelayInHours) {
  EXPECT_EQ(0u, BSP_SetDelayTime(24));
  EXPECT_EQ(86400u, (*stored())[4]);
  uint32_t hours = 0;
  EXPECT_EQ(0u, BSP_GetDelayTime(&hours));
  EXPECT_EQ(24u, hours);
  store({0, 0, 0, 0, 5000, kNone, 0});
  EXPECT_EQ(0u, BSP_GetDelayTime(&hours));
  EXPECT_EQ(1u, hours);
  // The product is taken in 32 bits.
  EXPECT_EQ(0u, BSP_SetDelayTime(0x12345678));
  EXPECT_EQ(static_cast<uint32_t>(0x12345678u * 3600u), (*stored())[4]);
}

TEST_F(Factory, SpareTimeHideFlagAndTheFlagAfterTheDelay) {
  ASSERT_EQ(0u, BSP_SetDelayTime(1));
  ASSERT_EQ(0u, BSP_SetSuccessCount(3));
  EXPECT_EQ((Record{3, 0, 0, 1, 3600, static_cast<uint32_t>(kT), 0}), stored());

  struct Point {
    time_t at;
    uint32_t spare, hide;
  } points[] = {{kT, 3600, 1}, {kT + 600, 3000, 1}, {kT + 3599, 1, 1}, {kT + 3600, 0, 0}, {kT + 86400, 0, 0}};
  for (const Point &p : points) {
    SCOPED_TRACE(p.at - kT);
    g_now = p.at;
    uint32_t spare = 77;
    EXPECT_EQ(0u, BSP_GetSpareTime(&spare));
    EXPECT_EQ(p.spare, spare);
    EXPECT_EQ(p.hide, BSP_GetHideFlag());
  }

  // Before the delay is over the flag stays unset and the hook is not called.
  g_now = kT + 600;
  BSP_SetFactoryFlag();
  EXPECT_EQ(0, g_hook_calls);
  EXPECT_EQ(1u, BSP_GetSuccessFlag());
  g_now = kT + 3600;
  EXPECT_EQ("", out_of([] { BSP_SetFactoryFlag(); }));
  EXPECT_EQ(1, g_hook_calls);
  EXPECT_EQ(0u, g_flag_seen_by_hook);  // stored before the hook ran
  EXPECT_EQ(kFlag, (*stored())[6]);
  EXPECT_EQ(0u, BSP_GetSuccessFlag());
  BSP_SetFactoryFlag();
  EXPECT_EQ(1, g_hook_calls);

  // Once set, the flag decides, whatever the times.
  ASSERT_EQ(0u, BSP_SetSuccessCount(4));  // a new delay starts now
  g_now = kT + 3601;
  EXPECT_EQ(0u, BSP_GetHideFlag());
  BSP_SetFactoryFlag();
  EXPECT_EQ(1, g_hook_calls);
  ASSERT_EQ(0u, BSP_SetFailCount(1));
  EXPECT_EQ(0u, BSP_GetHideFlag());
}

TEST_F(Factory, FailureAfterSuccessCancelsTheDelay) {
  ASSERT_EQ(0u, BSP_SetDelayTime(1));
  ASSERT_EQ(0u, BSP_SetSuccessCount(5));
  ASSERT_EQ(0u, BSP_SetFailCount(1));
  EXPECT_EQ((Record{5, 1, 1, 2, 3600, kNone, 0}), stored());
  uint32_t spare = 77;
  EXPECT_EQ(1u, BSP_GetSpareTime(&spare));
  EXPECT_EQ(77u, spare);
  EXPECT_EQ(1u, BSP_GetHideFlag());
  g_now = kT + 86400;
  BSP_SetFactoryFlag();
  EXPECT_EQ(0, g_hook_calls);
}

TEST_F(Factory, TwoSuccessesInARow) {
  ASSERT_EQ(0u, BSP_SetSuccessCount(1));
  g_now = kT + 10;
  ASSERT_EQ(0u, BSP_SetSuccessCount(2));
  EXPECT_EQ((Record{2, 0, 1, 1, kNone, static_cast<uint32_t>(kT + 10), 0}), stored());
  uint32_t status = 0;
  EXPECT_EQ(0u, BSP_GetLastStatus(&status));
  EXPECT_EQ(1u, status);
  // Without a delay there is no spare time.
  uint32_t spare = 77;
  EXPECT_EQ(1u, BSP_GetSpareTime(&spare));
  EXPECT_EQ(1u, BSP_GetHideFlag());
}

TEST_F(Factory, SpareTimeInUnsigned32BitArithmetic) {
  uint32_t spare = 77;
  store({1, 0, 0, 1, 0x200, static_cast<uint32_t>(kT) - 0x100, 0});
  EXPECT_EQ(0u, BSP_GetSpareTime(&spare));
  EXPECT_EQ(0x100u, spare);
  // A clock behind the success time: the distance wraps to a large one, no time is left.
  for (uint32_t success : {static_cast<uint32_t>(kT) + 100, 0xFFFFFF00u}) {
    store({1, 0, 0, 1, 3600, success, 0});
    spare = 77;
    EXPECT_EQ(0u, BSP_GetSpareTime(&spare)) << success;
    EXPECT_EQ(0u, spare) << success;
    EXPECT_EQ(0u, BSP_GetHideFlag()) << success;
  }
}

TEST_F(Factory, ClockFailure) {
  ASSERT_EQ(0u, BSP_SetDelayTime(1));
  g_clock_fails = true;
  EXPECT_EQ("\r\n--+--BSP_RTC_GetTime Fail!\r\nBSP_RTC_GetTime FAIL!\r\n",
            out_of([] { EXPECT_EQ(1u, BSP_SetSuccessCount(1)); }));
  EXPECT_EQ((Record{0, 0, 0, 0, 3600, kNone, 0}), stored());  // nothing written
  g_clock_fails = false;
  ASSERT_EQ(0u, BSP_SetSuccessCount(1));
  g_clock_fails = true;
  uint32_t spare = 77;
  EXPECT_EQ("\r\n--+--BSP_RTC_GetTime Fail!", out_of([&] { EXPECT_EQ(1u, BSP_GetSpareTime(&spare)); }));
  EXPECT_EQ(77u, spare);
  EXPECT_EQ(1u, BSP_GetHideFlag());
  BSP_SetFactoryFlag();
  EXPECT_EQ(0, g_hook_calls);
}

TEST_F(Factory, SuccessFlagDirectly) {
  EXPECT_EQ(kCreating, out_of([] { EXPECT_EQ(0u, BSP_SetSuccessFlag()); }));
  EXPECT_EQ((Record{0, 0, 0, 0, kNone, kNone, kFlag}), stored());
  EXPECT_EQ(1, g_hook_calls);
  EXPECT_EQ(0u, g_flag_seen_by_hook);
  BSP_SET_FACTORY_FLAG_HOOK(nullptr);
  EXPECT_EQ(0u, BSP_SetSuccessFlag());
  EXPECT_EQ(1, g_hook_calls);
  store({0, 0, 0, 0, kNone, kNone, kFlag + 1});
  EXPECT_EQ(1u, BSP_GetSuccessFlag());
}

TEST_F(Factory, NullOutputsAndNoMemory) {
  const std::string null_text = "\r\n parameter Fail!";
  EXPECT_EQ(null_text, out_of([] { EXPECT_EQ(1u, BSP_GetSuccessCount(nullptr)); }));
  EXPECT_EQ(null_text, out_of([] { EXPECT_EQ(1u, BSP_GetFailCount(nullptr)); }));
  EXPECT_EQ(null_text, out_of([] { EXPECT_EQ(1u, BSP_GetLastStatus(nullptr)); }));
  EXPECT_EQ(null_text, out_of([] { EXPECT_EQ(1u, BSP_GetDelayTime(nullptr)); }));
  EXPECT_EQ(null_text, out_of([] { EXPECT_EQ(1u, BSP_GetSpareTime(nullptr)); }));

  ASSERT_EQ(0u, BSP_SetSuccessCount(1));
  const std::optional<Record> before = stored();
  const std::string no_memory = "\r\nBSP_FACTORY_FLAG_PARA malloc Fail!";
  uint32_t v = 77;
  g_fail_copy = true;
  EXPECT_EQ(no_memory, out_of([&] { EXPECT_EQ(1u, BSP_GetSuccessCount(&v)); }));
  EXPECT_EQ(no_memory, out_of([&] { EXPECT_EQ(1u, BSP_GetDelayTime(&v)); }));
  EXPECT_EQ(no_memory, out_of([&] { EXPECT_EQ(1u, BSP_GetSpareTime(&v)); }));
  EXPECT_EQ(no_memory, out_of([] { EXPECT_EQ(1u, BSP_GetSuccessFlag()); }));
  EXPECT_EQ(no_memory, out_of([] { EXPECT_EQ(1u, BSP_SetSuccessCount(2)); }));
  EXPECT_EQ(no_memory, out_of([] { EXPECT_EQ(1u, BSP_SetFailCount(2)); }));
  EXPECT_EQ(no_memory, out_of([] { EXPECT_EQ(1u, BSP_SetDelayTime(2)); }));
  EXPECT_EQ(no_memory, out_of([] { EXPECT_EQ(1u, BSP_SetSuccessFlag()); }));
  g_fail_copy = false;
  EXPECT_EQ(77u, v);
  EXPECT_EQ(before, stored());
  EXPECT_EQ(0, g_hook_calls);
}

TEST_F(Factory, AFullFileSystemRefusesTheNewRecord) {
  // Fill the pieces area so that no further piece file fits.
  uint32_t size = 0x80000;
  std::string filler;
  unsigned long done = 0;
  do {
    size -= 32;
    filler.assign(size, 'f');
  } while (BSP_VfsPiecesFileWrite(const_cast<char *>("filler"), 0, reinterpret_cast<unsigned char *>(filler.data()),
                                  size, &done) != 0);
  FACTORY_FLAG_PARA p;
  EXPECT_EQ("\r\nBSP_InitFactFlagPara!\r\n", out_of([&] { EXPECT_EQ(1u, BSP_InitFactFlagPara(&p)); }));
  EXPECT_EQ(kCreating + "\r\nBSP_InitFactFlagPara!\r\n", out_of([] { EXPECT_EQ(1u, BSP_SetDelayTime(1)); }));
  EXPECT_EQ(kCreating + "\r\nBSP_InitFactFlagPara!\r\n", out_of([] { EXPECT_EQ(1u, BSP_SetSuccessFlag()); }));
  EXPECT_EQ(0, g_hook_calls);
  EXPECT_FALSE(stored());
}

// ---- setters of different fields at once ----

std::atomic<bool> g_slow_clock{false};
std::atomic<bool> g_in_clock{false};
std::atomic<bool> g_other_started{false};

uint32_t slow_clock(St85TimeBIN *t) {
  if (g_slow_clock.exchange(false)) {
    g_in_clock = true;
    while (!g_other_started) BSP_taskDelay(1);
    BSP_taskDelay(300);  // the other thread runs meanwhile
  }
  return test_clock(t);
}

uint32_t g_thread_rc = 0xFF;
void *set_success(void *) {
  g_thread_rc = BSP_SetSuccessCount(7);
  return nullptr;
}

TEST_F(Factory, TwoThreadsSettingDifferentFieldsBothKeepTheirChange) {
  ASSERT_EQ(0u, BSP_SetFailCount(1));
  BSP_Set_GetTimeHook(slow_clock);
  g_slow_clock = true;
  npth_t t;
  ASSERT_EQ(0, npth_create(&t, nullptr, set_success, nullptr));
  // The other thread is inside its update, between reading the record and writing it back.
  while (!g_in_clock) BSP_taskDelay(1);
  g_other_started = true;
  EXPECT_EQ(0u, BSP_SetDelayTime(5));
  npth_join(t, nullptr);
  EXPECT_EQ(0u, g_thread_rc);
  EXPECT_EQ((Record{7, 1, 2, 1, 5 * 3600, static_cast<uint32_t>(kT), 0}), stored());
}

// A probe process running in the background.
struct Background {
  pid_t pid = -1;
  int out = -1;
};

Background start(const std::vector<std::string> &command) {
  const std::vector<std::string> argv = bsp::test::with_emulator(command);
  char name[] = "/tmp/factory-probe-XXXXXX";
  Background b;
  b.out = mkstemp(name);
  unlink(name);
  fflush(nullptr);
  b.pid = fork();
  if (b.pid == 0) {
    dup2(b.out, STDOUT_FILENO);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return b;
}

std::string finish(Background &b) {
  int status = 0;
  waitpid(b.pid, &status, 0);
  std::string out;
  char buf[512];
  lseek(b.out, 0, SEEK_SET);
  for (ssize_t n; (n = read(b.out, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(b.out);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "@@exit " + std::to_string(status);
  return out;
}

std::string results(const std::string &out) {
  std::string lines;
  for (size_t pos = 0; (pos = out.find("@@", pos)) != std::string::npos;) {
    size_t end = out.find('\n', pos);
    lines += out.substr(pos, end - pos) + "\n";
    pos = end == std::string::npos ? out.size() : end;
  }
  return lines;
}

const std::string kProbe = FACTORY_PROBE;
const uint32_t kProbeTime = 1717228800;  // the probe's clock: 1 June 2024, 08:00:00 UTC

TEST_F(Factory, TwoProcessesSettingDifferentFieldsBothKeepTheirChange) {
  ASSERT_EQ(0u, BSP_SetFailCount(1));
  const std::string dir = "/tmp/factory-two-processes";
  bsp::test::sh("rm -rf " + dir + " && mkdir -p " + dir);
  Background holder = start({kProbe, "hold-success", "7", dir});
  // The holder is inside its update (its clock is read between reading and writing back).
  for (int i = 0; i < 60000 && !bsp::test::file_exists(dir + "/held"); ++i) usleep(1000);
  ASSERT_TRUE(bsp::test::file_exists(dir + "/held"));
  bsp::test::ProcessResult other = bsp::test::run_process({kProbe, "delay", "5", dir});
  EXPECT_EQ("@@delay rc=0\n", results(other.out));
  EXPECT_EQ("@@hold-success rc=0\n", results(finish(holder)));
  EXPECT_EQ((Record{7, 1, 2, 1, 5 * 3600, kProbeTime, 0}), stored());

  // Many updates of both at once.
  Background a = start({kProbe, "loop-success", "40"});
  Background b = start({kProbe, "loop-delay", "40"});
  EXPECT_EQ("@@loop-success rc=0\n", results(finish(a)));
  EXPECT_EQ("@@loop-delay rc=0\n", results(finish(b)));
  const std::optional<Record> end = stored();
  ASSERT_TRUE(end);
  EXPECT_EQ(40u, (*end)[0]);
  EXPECT_EQ(40u * 3600, (*end)[4]);
}

}  // namespace
