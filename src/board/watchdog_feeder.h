// The watchdog feeder loop. The library holds it as its (unstarted) thread body; the
// reference host runs the same loop against the library's exported watchdog globals.
#pragma once

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace bsp::watchdog {

constexpr unsigned long kSetOptions = 0x80045704;  // WDIOC_SETOPTIONS
constexpr unsigned long kSetTimeout = 0xC0045706;  // WDIOC_SETTIMEOUT
constexpr unsigned long kKeepAlive = 0x80045705;   // WDIOC_KEEPALIVE
constexpr unsigned long kEnableCard = 2;           // WDIOS_ENABLECARD
constexpr int kTimeoutSeconds = 10;
constexpr unsigned kPingPeriodSeconds = 2;

// Runs for ever once the device is enabled; returns only when it cannot be opened or enabled.
inline void feed(volatile uint32_t &flag, volatile int32_t &fd_out) {
  flag = 1;
  int fd = open("/dev/watchdog", O_RDWR);
  fd_out = fd;
  if (fd < 0) {
    puts("open /dev/watchdog failed  ");
    return;
  }
  // The option travels as the request's argument value, not through a pointer.
  if (ioctl(fd, kSetOptions, kEnableCard) != 0) {
    puts("/dev/watchdog enable fail\r");
    return;
  }
  int timeout = kTimeoutSeconds;
  ioctl(fd, kSetTimeout, &timeout);
  for (;;) {
    if (flag != 0) ioctl(fd, kKeepAlive, 0);
    sleep(kPingPeriodSeconds);
  }
}

}  // namespace bsp::watchdog
