// A fresh loader board for each test: /mnt/flash, /mnt/misc, /mnt/squash, both boot subareas
// and GRUB's configuration, an optional kernel command line bound over /proc/cmdline, and
// helpers to write packages and .efs files.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <string>
#include <vector>

#include "package_builder.h"
#include "support/board_fs.h"
#include "support/capture.h"

namespace bsp::test {

inline const std::string kCmdlineA = "BOOT_IMAGE=/boot_A/bzImage root=/dev/ram0 quiet";
inline const std::string kCmdlineB = "BOOT_IMAGE=/boot_B/bzImage root=/dev/ram0 quiet";
inline const std::string kGrubA = "set default=0\nmenuentry 'board' {\n  linux /boot_A/bzImage\n  initrd /boot_A/rootfs.gz\n}\n";

class LoaderBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_board();
    sh("mkdir -p /mnt/flash /mnt/misc /mnt/squash /boot/boot_A /boot/boot_B /boot/grub");
    write_file("/boot/grub/grub.cfg", kGrubA);
    unlink(reboot_record().c_str());
  }
  void TearDown() override { unbind_cmdline(); }

  // Binds a file with this text over /proc/cmdline (inside the sandbox's namespace).
  void set_cmdline(const std::string &text) {
    unbind_cmdline();
    write_file(kCmdlineFixture, text);
    ASSERT_EQ(mount(kCmdlineFixture, "/proc/cmdline", nullptr, MS_BIND, nullptr), 0);
    bound_ = true;
  }
  void unbind_cmdline() {
    if (bound_) umount2("/proc/cmdline", MNT_DETACH);
    bound_ = false;
  }

  static std::string reboot_record() {
    const char *r = getenv("BSP_REBOOT_RECORD");
    return r != nullptr ? r : "/run/bsp-sandbox/reboot.log";
  }
  static std::string boot_log() { return read_file("/mnt/flash/boot_log.txt"); }
  static void write_efs(const std::string &path, uint16_t crc) { write_file(path, pkg::efs_block(crc)); }
  static uint16_t efs_crc(const std::string &path) {
    std::string b = read_file(path);
    if (b.size() < 68) return 0xFFFF;
    size_t at = b.size() - 68 + 64;
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
  }

 private:
  static constexpr const char *kCmdlineFixture = "/run/bsp-sandbox/cmdline-fixture";
  bool bound_ = false;
};

}  // namespace bsp::test
