// What the loader makes durable, and in which order, seen through the preloaded file double
// (tests/support/fsdouble.c): the images and .efs files of an update before the switch, and
// the boot parameter counters after each change.
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include <functional>
#include <sstream>

#include "loader/loader.h"
#include "loader_board.h"
#include "storage/bootmem.h"

namespace bsp::test {
namespace {

constexpr const char *kLog = "/run/bsp-sandbox/fsdouble.log";
const char *kPkt = "/mnt/flash/t.cc";
const char *kSwitch = "system sed -i 's/boot_A/boot_B/g' /boot/grub/grub.cfg";

class Durability : public LoaderBoard {
 protected:
  void SetUp() override {
    LoaderBoard::SetUp();
    unsetenv("BSP_FS_FAIL_FSYNC");
    start_log();
  }
  void TearDown() override {
    unsetenv("BSP_FS_LOG");
    unsetenv("BSP_FS_FAIL_FSYNC");
    LoaderBoard::TearDown();
  }
  static void start_log() {
    unlink(kLog);
    setenv("BSP_FS_LOG", kLog, 1);
  }
  static std::vector<std::string> events() {
    std::vector<std::string> lines;
    std::istringstream in(read_file(kLog));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Position of the first event equal to this one after position from, or -1.
  static long first(const std::vector<std::string> &log, const std::string &event, long from = 0) {
    for (size_t i = static_cast<size_t>(from < 0 ? 0 : from); i < log.size(); ++i)
      if (log[i] == event) return static_cast<long>(i);
    return -1;
  }
  static long last(const std::vector<std::string> &log, const std::string &event) {
    for (size_t i = log.size(); i-- > 0;)
      if (log[i] == event) return static_cast<long>(i);
    return -1;
  }
  static void fill(const std::string &dir, uint16_t kernel_crc, uint16_t rootfs_crc) {
    write_file(dir + "bzImage", "old kernel");
    write_file(dir + "rootfs.gz", "old rootfs");
    write_efs(dir + "bzImage.efs", kernel_crc);
    write_efs(dir + "rootfs.gz.efs", rootfs_crc);
  }
};

std::string dump(const std::vector<std::string> &log) {
  std::string out;
  for (const auto &l : log) out += l + "\n";
  return out;
}

// Each change of the boot-attempt count and of the search index is flushed from the mapping
// to the file at once (MS_SYNC over the bytes that changed).
TEST_F(Durability, BootCountersAreFlushedAfterEachChange) {
  sh("mkdir -p /mnt/flash");
  ASSERT_EQ(Boot_BootinfoInit(), 0);
  ASSERT_NE(g_BootMemAddr, 0u);
  struct Case {
    const char *what;
    std::function<void()> change;
    uintptr_t offset, size;
  } cases[] = {
      {"count incremented", [] { Boot_IncrLoadFailTimes(); }, 0x1002, 2},
      {"count cleared", [] { Boot_ClearLoadFailTimes(); }, 0x1002, 2},
      {"search index set", [] { Boot_SetSearchPktCnt(4); }, 0x3004, 4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    start_log();
    c.change();
    std::vector<std::string> log = events();
    SCOPED_TRACE(dump(log));
    bool covered = false;
    for (const std::string &line : log) {
      unsigned long long address = 0, length = 0;
      int flags = 0;
      if (sscanf(line.c_str(), "msync %llx %llx %d", &address, &length, &flags) != 3) continue;
      uintptr_t want = g_BootMemAddr + c.offset;
      covered = covered || ((flags & MS_SYNC) != 0 && address <= want && want + c.size <= address + length);
    }
    EXPECT_TRUE(covered);
  }
}

}  // namespace
}  // namespace bsp::test
