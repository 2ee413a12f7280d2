// The raw flash of a test board, served by the system-call double (tests/support/mtddouble.c):
// its partition list, device contents, bad-block map, injected faults and operation log.
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace mtd_test {

inline constexpr const char *kDir = "/mnt/mtdd";

// What one library call returned and printed.
struct Call {
  uint64_t rc = 0;
  std::string out;  // standard output
  std::string err;  // standard error
};

class Board {
 public:
  // A fresh, empty board: no /proc/mtd, no devices, no faults, an empty log.
  Board();

  void file(const std::string &name, const std::string &bytes);  // DIR/name
  std::string file(const std::string &name) const;
  void remove(const std::string &name);
  // /proc/mtd, then the library's MTD description rebuilt from it (FLASH_InitFlashDrv).
  void partitions(const std::string &proc_mtd);
  void faults(const std::string &lines) { file("faults", lines); }
  void bad(const std::string &lines) { file("bad", lines); }

  // Runs a library call, capturing what it prints, and checks that the front lock is free
  // again afterwards.
  Call call(const std::function<uint64_t()> &fn);

  // The operation log since the last clear, one entry per line; with a filter, only the
  // entries that contain it.
  std::vector<std::string> log(const std::string &filter = "") const;
  void clear_log() { remove("log"); }
  // Every device operation of the log happened while the front lock was held.
  void expect_device_access_locked() const;
};

// The library's flash front lock, found while the first FLASH_InitFlashDrv of the process
// makes it.
pthread_mutex_t *front_lock();
bool front_lock_free();

// Partition bytes: block b of a device filled with the byte (seed + b), so each block of each
// device is told apart.
std::string pattern(size_t size, uint32_t erase, unsigned char seed);
std::string block(const std::string &device, size_t index, uint32_t erase);
// Equal byte strings, or where the first difference lies (device images are too long to show).
::testing::AssertionResult same_bytes(const std::string &expect, const std::string &actual);

}  // namespace mtd_test
