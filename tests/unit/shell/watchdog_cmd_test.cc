// The watchdog commands against the device double: the option each request carries, read
// through the pointer as the kernel reads it.
#include <bsp/board.h>
#include <bsp/shell.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "support/board_fs.h"
#include "support/capture.h"
#include "unit/shell/shell_test_util.h"

namespace {

using bsp::test::capture_stdout;

TEST(WatchdogClose, DisablesOnOneAndEnablesOtherwise) {
  const char *log = getenv("BSP_DD_LOG");
  ASSERT_NE(nullptr, log) << "needs the device double";
  unlink(log);
  capture_stdout([] { ASSERT_EQ(0u, BSPCMD_Init()); });
  xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook));
  int fd = open("/dev/watchdog", O_RDWR);
  ASSERT_GT(fd, 0);
  g_wdg_fd = fd;

  struct {
    const char *line;
    const char *mode;  // of the double
    int rc;
    const char *printed;
    const char *request;
  } cases[] = {
      {"bsp watchdog close 1", nullptr, 0, "watchdog closed 1\r\n", "ioctl 80045704 *1\n"},
      {"bsp watchdog close 0", nullptr, 0, "watchdog closed 0\r\n", "ioctl 80045704 *2\n"},
      {"bsp watchdog close 7", nullptr, 0, "watchdog closed 7\r\n", "ioctl 80045704 *2\n"},
      {"bsp watchdog close 1", "fail-enable", 1, "watchdog close fail\r\n", "ioctl 80045704 *1\n"},
  };
  for (const auto &c : cases) {
    if (c.mode != nullptr) setenv("BSP_DD_WATCHDOG", c.mode, 1);
    size_t from = bsp::test::read_file(log).size();
    int rc = 99;
    std::string out = capture_stdout([&] { rc = bsp::test::run_line(c.line).rc; });
    unsetenv("BSP_DD_WATCHDOG");
    EXPECT_EQ(c.rc, rc) << c.line;
    EXPECT_EQ(c.printed, out) << c.line;
    EXPECT_EQ(c.request, bsp::test::read_file(log).substr(from)) << c.line;
  }
  g_wdg_fd = 0;
  close(fd);
}

}  // namespace
