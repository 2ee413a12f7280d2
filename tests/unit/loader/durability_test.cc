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

// An update of both images: each .efs file goes before its image is written, the image is on
// the disk before its .efs file is written again, and everything the new subarea boots from,
// with its directory, is on the disk before the switch command renames GRUB's configuration.
TEST_F(Durability, UpdateReachesTheDiskBeforeTheSwitch) {
  set_cmdline(kCmdlineA);
  fill("/boot/boot_A/", 1, 2);
  fill("/boot/boot_B/", 1, 2);
  write_file(kPkt, pkg::build({{"bzImage", "NEW KERNEL", 7}, {"rootfs.gz", "NEW ROOTFS", 8}, {"app_squashfs", "s", 3}}));
  start_log();
  capture_stdout([] { EXPECT_EQ(Boot_CheckAndSynSubarea(kPkt), 0); });
  std::vector<std::string> log = events();
  SCOPED_TRACE(dump(log));
  long sw = first(log, kSwitch);
  ASSERT_GE(sw, 0);
  for (std::string image : {"/boot/boot_B/bzImage", "/boot/boot_B/rootfs.gz"}) {
    SCOPED_TRACE(image);
    std::string efs = image + ".efs";
    long removed = first(log, "unlink " + efs);
    long written = first(log, "open " + image);
    long image_flushed = first(log, "fsync " + image, written);
    long efs_written = first(log, "open " + efs, removed);
    long efs_flushed = first(log, "fsync " + efs, efs_written);
    EXPECT_GE(removed, 0);
    EXPECT_LT(removed, written);
    EXPECT_LT(written, image_flushed);
    EXPECT_LT(image_flushed, efs_written);
    EXPECT_LT(efs_written, efs_flushed);
    EXPECT_LT(efs_flushed, sw);
    // Nothing writes either file again before the switch.
    EXPECT_EQ(last(log, "open " + image), written);
    EXPECT_EQ(last(log, "open " + efs), efs_written);
  }
  long dir_flushed = last(log, "fsync /boot/boot_B");
  EXPECT_GT(dir_flushed, last(log, "open /boot/boot_B/rootfs.gz.efs"));
  EXPECT_LT(dir_flushed, sw);
  EXPECT_EQ(read_file("/boot/boot_B/bzImage"), "NEW KERNEL");
  // The switch itself, where the commands run with the double (not so under the 32-bit
  // emulator, whose children are this machine's own programs).
  const char *emulator = getenv("BSP_EMULATOR");
  if (emulator == nullptr || *emulator == '\0') {
    const std::string onto = " /boot/grub/grub.cfg";
    long renamed = -1;
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].rfind("rename ", 0) == 0 && log[i].size() > onto.size() &&
          log[i].compare(log[i].size() - onto.size(), onto.size(), onto) == 0)
        renamed = static_cast<long>(i);
    EXPECT_GT(renamed, sw);
  }
}

// Where the kernel can move no bytes between the two files, the image goes through the
// loader's buffer, a chunk at a time: the same bytes, flushed before its .efs file is written.
TEST_F(Durability, UpdateThroughTheBufferWhereTheKernelCannotCopy) {
  std::string rootfs(3 * 1024 * 1024 + 4321, '\0');
  for (size_t i = 0; i < rootfs.size(); ++i) rootfs[i] = static_cast<char>((i * 29) ^ (i >> 13));
  for (const char *pkt : {kPkt, "/boot/same-fs.cc"}) {  // across file systems and within one
    SCOPED_TRACE(pkt);
    set_cmdline(kCmdlineA);
    sh("rm -rf /boot/boot_B/*");
    write_file(pkt, pkg::build({{"rootfs.gz", rootfs, 8}}));
    start_log();
    setenv("BSP_FS_NO_KERNEL_COPY", "1", 1);
    int32_t rc = -2;
    std::string out = capture_stdout([&] { rc = Boot_UpdateSubfile(pkt, "rootfs.gz"); });
    unsetenv("BSP_FS_NO_KERNEL_COPY");
    EXPECT_EQ(rc, 0) << out;
    EXPECT_TRUE(read_file("/boot/boot_B/rootfs.gz") == rootfs);
    EXPECT_EQ(efs_crc("/boot/boot_B/rootfs.gz.efs"), 8);
    std::vector<std::string> log = events();
    SCOPED_TRACE(dump(log));
    long image_flushed = first(log, "fsync /boot/boot_B/rootfs.gz");
    EXPECT_GE(image_flushed, 0);
    EXPECT_LT(image_flushed, first(log, "open /boot/boot_B/rootfs.gz.efs"));
  }
}

// Files that an update did not write are flushed before the switch too: the last boot's copy
// may not have reached the disk.
TEST_F(Durability, UnchangedImagesAreFlushedBeforeTheSwitch) {
  set_cmdline(kCmdlineA);
  fill("/boot/boot_A/", 1, 2);
  fill("/boot/boot_B/", 1, 2);
  write_file(kPkt, pkg::build({{"bzImage", "NEW KERNEL", 7}, {"rootfs.gz", "ROOTFS", 2}}));
  start_log();
  capture_stdout([] { EXPECT_EQ(Boot_CheckAndSynSubarea(kPkt), 0); });
  std::vector<std::string> log = events();
  SCOPED_TRACE(dump(log));
  long sw = first(log, kSwitch);
  ASSERT_GE(sw, 0);
  for (const char *f : {"/boot/boot_B/rootfs.gz", "/boot/boot_B/rootfs.gz.efs"}) {
    long flushed = first(log, std::string("fsync ") + f);
    EXPECT_GE(flushed, 0) << f;
    EXPECT_LT(flushed, sw) << f;
  }
  EXPECT_EQ(first(log, "open /boot/boot_B/rootfs.gz"), -1);  // not rewritten
}

// A flush that fails is a failed write: of an image, of an .efs file, or, at the switch, of a
// file written on an earlier boot. None of them is booted.
TEST_F(Durability, FailedFlushIsAFailedWrite) {
  std::string new_kernel = pkg::build({{"bzImage", "NEW KERNEL", 7}, {"rootfs.gz", "ROOTFS", 2}});
  std::string no_kernel = pkg::build({{"rootfs.gz", "ROOTFS", 2}});  // nothing to write, a switch
  struct Case {
    const char *fails;
    std::string package;
    std::string record;
  } cases[] = {
      {"/boot/boot_B/bzImage", new_kernel,
       "\r\n Error :/boot/boot_B/bzImage Write failed \r\n\r\n Error :Write bzImage to Img Fail\r\n"},
      {"/boot/boot_B/bzImage.efs", new_kernel,
       "\r\n Error :/boot/boot_B/bzImage.efs Write failed \r\n\r\n Error :Write bzImage EFS to Img Fail\r\n"},
      {"/boot/boot_B", new_kernel,  // the removal of the old .efs file
       "\r\n Error :/boot/boot_B/bzImage.efs Remove failed \r\n\r\n Error :Write bzImage to Img Fail\r\n"},
      {"/boot/boot_B/rootfs.gz", new_kernel, "\r\n Error :Flush /boot/boot_B/rootfs.gz Failed, GRUB Not Switched\r\n"},
      {"/boot/boot_B", no_kernel, "\r\n Error :Flush /boot/boot_B/ Failed, GRUB Not Switched\r\n"},
  };
  set_cmdline(kCmdlineA);
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.fails) + (c.package == no_kernel ? ", nothing written" : ", kernel written"));
    sh("rm -rf /boot/boot_A/* /boot/boot_B/* /mnt/flash/boot_log.txt");
    unlink(reboot_record().c_str());
    write_file("/boot/grub/grub.cfg", kGrubA);
    fill("/boot/boot_A/", 1, 2);
    fill("/boot/boot_B/", 1, 2);
    write_file(kPkt, c.package);
    setenv("BSP_FS_FAIL_FSYNC", c.fails, 1);
    int32_t rc = -2;
    std::string out = capture_stdout([&] { rc = Boot_CheckAndSynSubarea(kPkt); });
    unsetenv("BSP_FS_FAIL_FSYNC");
    EXPECT_EQ(rc, -1);
    EXPECT_NE(out.find(c.record), std::string::npos) << out;
    EXPECT_EQ(read_file("/boot/grub/grub.cfg"), kGrubA);
    EXPECT_FALSE(file_exists(reboot_record()));
  }
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
