// The Linux watchdog device requests, shared by the feeder and the debug commands.
#pragma once

#include <sys/ioctl.h>

namespace bsp::watchdog {

constexpr unsigned long kSetOptions = 0x80045704;  // WDIOC_SETOPTIONS
constexpr unsigned long kSetTimeout = 0xC0045706;  // WDIOC_SETTIMEOUT
constexpr unsigned long kKeepAlive = 0x80045705;   // WDIOC_KEEPALIVE
constexpr int kDisableCard = 1;                    // WDIOS_DISABLECARD
constexpr int kEnableCard = 2;                     // WDIOS_ENABLECARD

// The kernel reads the option through a pointer to an int; 0 on success.
inline int set_options(int fd, int option) { return ioctl(fd, kSetOptions, &option); }

}  // namespace bsp::watchdog
