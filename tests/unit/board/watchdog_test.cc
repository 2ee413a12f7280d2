// The watchdog feeder against the device double (LD_PRELOAD): the request sequence, the
// enable option passed by value, the timeout by pointer, and pings only while the flag is set.
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "board/watchdog_feeder.h"
#include "support/board_fs.h"
#include "support/capture.h"

using namespace bsp::test;

namespace {

volatile uint32_t g_flag = 0;
volatile int32_t g_fd = 0;

void *feeder(void *) {
  bsp::watchdog::feed(g_flag, g_fd);
  return nullptr;
}

int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(WatchdogFeeder, EnablesSetsTimeoutAndPingsWhileFlagged) {
  const char *log = getenv("BSP_DD_LOG");
  ASSERT_NE(nullptr, log) << "needs the device double";
  unlink(log);
  pthread_t t;
  ASSERT_EQ(0, pthread_create(&t, nullptr, feeder, nullptr));
  pthread_detach(t);
  sleep(3);
  EXPECT_EQ(1u, g_flag);
  EXPECT_GT(g_fd, 0);
  std::string seen = read_file(log);
  EXPECT_EQ(0u, seen.rfind("open /dev/watchdog 2\nioctl 80045704 2\nioctl c0045706 *10\nioctl 80045705 0\n", 0))
      << seen;
  EXPECT_GE(count(seen, "ioctl 80045705 0\n"), 2);

  g_flag = 0;  // the feeder keeps running but stops pinging
  sleep(1);
  size_t quiet_from = read_file(log).size();
  sleep(3);
  EXPECT_EQ(quiet_from, read_file(log).size());
  g_flag = 1;
  sleep(3);
  EXPECT_GE(count(read_file(log).substr(quiet_from), "ioctl 80045705 0\n"), 1);
}

TEST(WatchdogFeeder, ReportsAMissingOrRefusingDevice) {
  struct Case {
    const char *mode;
    const char *message;
    bool fd_open;
  } cases[] = {{"absent", "open /dev/watchdog failed  \n", false},
               {"fail-enable", "/dev/watchdog enable fail\r\n", true}};
  for (const auto &c : cases) {
    volatile uint32_t flag = 0;
    volatile int32_t fd = 0;
    setenv("BSP_DD_WATCHDOG", c.mode, 1);
    std::string out = capture_stdout([&] { bsp::watchdog::feed(flag, fd); });
    unsetenv("BSP_DD_WATCHDOG");
    EXPECT_EQ(c.message, out) << c.mode;
    EXPECT_EQ(1u, flag) << c.mode;
    EXPECT_EQ(c.fd_open, fd > 0) << c.mode;
  }
}

}  // namespace
