// The watchdog feeder loop. The library holds it as its (unstarted) thread body; the
// reference host runs the same loop against the library's exported watchdog globals.
#pragma once

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/ioctl.h>

#include "os/watchdog_dev.h"

namespace bsp::watchdog {

constexpr int kTimeoutSeconds = 10;
constexpr unsigned kPingPeriodSeconds = 2;

// Runs for ever once the device is enabled; returns only when it cannot be opened or enabled.
// pause(seconds) waits between pings. The feeder runs on one of the host's nPth threads, so
// pause must hand nPth's lock back while it waits: a plain sleep there freezes every other
// thread of the host while the pings go on. The device requests themselves do not block.
template <typename Pause>
void feed(volatile uint32_t &flag, volatile int32_t &fd_out, Pause &&pause) {
  flag = 1;
  int fd = open("/dev/watchdog", O_RDWR);
  fd_out = fd;
  if (fd < 0) {
    puts("open /dev/watchdog failed  ");
    return;
  }
  if (set_options(fd, kEnableCard) != 0) {
    puts("/dev/watchdog enable fail\r");
    return;
  }
  int timeout = kTimeoutSeconds;
  ioctl(fd, kSetTimeout, &timeout);
  for (;;) {
    if (flag != 0) ioctl(fd, kKeepAlive, 0);
    pause(kPingPeriodSeconds);
  }
}

}  // namespace bsp::watchdog
