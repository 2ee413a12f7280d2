// The watchdog feeder against the device double (LD_PRELOAD): the request sequence, the
// options and the timeout through pointers, and pings only while the flag is set.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "board/watchdog_feeder.h"
#include "support/board_fs.h"
#include "support/capture.h"

using namespace bsp::test;

namespace {

volatile uint32_t g_flag = 0;
volatile int32_t g_fd = 0;

// The feeder's pause hands control to the test, which then sees one cycle at a time.
sem_t g_paused, g_resume;
std::atomic<unsigned> g_pause_seconds{0};

void step_pause(unsigned seconds) {
  g_pause_seconds = seconds;
  sem_post(&g_paused);
  while (sem_wait(&g_resume) != 0) {
  }
}

void *feeder(void *) {
  bsp::watchdog::feed(g_flag, g_fd, step_pause);
  return nullptr;
}

void wait_paused() {
  while (sem_wait(&g_paused) != 0) {
  }
}

const char *double_log() {
  const char *log = getenv("BSP_DD_LOG");
  return log != nullptr ? log : "";
}

TEST(WatchdogFeeder, EnablesSetsTimeoutAndPingsWhileFlagged) {
  ASSERT_NE('\0', *double_log()) << "needs the device double";
  unlink(double_log());
  ASSERT_EQ(0, sem_init(&g_paused, 0, 0));
  ASSERT_EQ(0, sem_init(&g_resume, 0, 0));
  pthread_t t;
  ASSERT_EQ(0, pthread_create(&t, nullptr, feeder, nullptr));
  pthread_detach(t);

  wait_paused();
  EXPECT_EQ(1u, g_flag);
  EXPECT_GT(g_fd, 0);
  EXPECT_EQ(2u, g_pause_seconds.load());
  EXPECT_EQ("open /dev/watchdog 2\nioctl 80045704 *2\nioctl c0045706 *10\nioctl 80045705 0\n", read_file(double_log()));

  g_flag = 0;  // the feeder keeps running but stops pinging
  size_t quiet_from = read_file(double_log()).size();
  for (int cycle = 0; cycle < 2; ++cycle) {
    sem_post(&g_resume);
    wait_paused();
  }
  EXPECT_EQ("", read_file(double_log()).substr(quiet_from));

  g_flag = 5;  // any non-zero value pings
  sem_post(&g_resume);
  wait_paused();
  EXPECT_EQ("ioctl 80045705 0\n", read_file(double_log()).substr(quiet_from));
  // The feeder stays parked in its pause until the process ends.
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
    int pauses = 0;
    setenv("BSP_DD_WATCHDOG", c.mode, 1);
    std::string out = capture_stdout([&] { bsp::watchdog::feed(flag, fd, [&](unsigned) { ++pauses; }); });
    unsetenv("BSP_DD_WATCHDOG");
    EXPECT_EQ(c.message, out) << c.mode;
    EXPECT_EQ(1u, flag) << c.mode;
    EXPECT_EQ(c.fd_open, fd > 0) << c.mode;
    EXPECT_EQ(0, pauses) << c.mode;
    if (fd > 0) close(fd);
  }
}

// The double reads options the way the kernel does, so an option passed as the argument
// value fails here as it would on the box.
TEST(WatchdogDouble, ReadsOptionsThroughThePointer) {
  int fd = open("/dev/watchdog", O_RDWR);
  ASSERT_GT(fd, 0);
  size_t from = read_file(double_log()).size();
  errno = 0;
  EXPECT_EQ(-1, ioctl(fd, bsp::watchdog::kSetOptions, static_cast<unsigned long>(bsp::watchdog::kEnableCard)));
  EXPECT_EQ(EFAULT, errno);
  EXPECT_EQ(0, bsp::watchdog::set_options(fd, bsp::watchdog::kDisableCard));
  EXPECT_EQ("ioctl 80045704 fault 0x2\nioctl 80045704 *1\n", read_file(double_log()).substr(from));
  close(fd);
}

}  // namespace
