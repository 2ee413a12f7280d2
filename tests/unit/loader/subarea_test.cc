// The running subarea, update decisions, updates, synchronisation and the decision table.
#include <signal.h>
#include <string.h>
#include <sys/resource.h>

#include <functional>

#include "loader/loader.h"
#include "loader_board.h"

namespace bsp::test {
namespace {

const char *kPkt = "/mnt/flash/t.cc";

class Subarea : public LoaderBoard {
 protected:
  // A package whose kernel and root file system carry these code CRCs.
  static void write_package(uint16_t kernel_crc, uint16_t rootfs_crc, const std::string &kernel = "KERNEL",
                            const std::string &rootfs = "ROOTFS") {
    write_file(kPkt, pkg::build({{"bzImage", kernel, kernel_crc}, {"rootfs.gz", rootfs, rootfs_crc},
                                 {"app_squashfs", "squash", 3}}));
  }
  // A subarea holding images with these CRCs (0 = no .efs file).
  static void fill(const std::string &dir, uint16_t kernel_crc, uint16_t rootfs_crc, const std::string &tag) {
    write_file(dir + "bzImage", "kernel of " + tag);
    write_file(dir + "rootfs.gz", "rootfs of " + tag);
    if (kernel_crc != 0) write_efs(dir + "bzImage.efs", kernel_crc);
    if (rootfs_crc != 0) write_efs(dir + "rootfs.gz.efs", rootfs_crc);
  }
};

TEST_F(Subarea, CurrentSubareaFromTheFirst20Bytes) {
  struct Case {
    std::string cmdline;
    int32_t rc;
    bool a;
  } cases[] = {
      {"BOOT_IMAGE=/boot_A/bzImage ro", 0, true},     // "/boot_A" inside the first 20 bytes
      {"root=/dev/sda1 x BOOT_IMAGE=/boot_A/bzImage", 0, false},  // only further on
      {"BOOT_IMAGE=/boot_B/bzImage ro", 0, false},
      {"short /boot_A", -1, false},  // fewer than 20 bytes
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cmdline);
    set_cmdline(c.cmdline);
    char buf[256] = {0};
    std::string out = capture_stdout([&] { EXPECT_EQ(Boot_GetCurrentSubareaPath("/proc/cmdline", buf), c.rc); });
    if (c.rc == 0) {
      EXPECT_EQ(std::string(buf), c.cmdline.substr(0, 20));
      EXPECT_EQ(strstr(buf, "/boot_A") != nullptr, c.a);
    } else {
      EXPECT_EQ(out, "\r\n Error :Read Current config Failed!\r\n");
    }
  }
  std::string out = capture_stdout([] {
    char buf[256];
    EXPECT_EQ(Boot_GetCurrentSubareaPath("/mnt/none", buf), -1);
    EXPECT_EQ(Boot_GetCurrentSubareaPath("/proc/cmdline", nullptr), -1);
  });
  EXPECT_EQ(out, "\r\n Error :open Current config fail \r\n");
}

TEST_F(Subarea, DecisionAgainstTheRunningSubarea) {
  set_cmdline(kCmdlineA);
  write_package(100, 200);
  fill("/boot/boot_A/", 100, 201, "A");
  EXPECT_EQ(Boot_SubFileIsNeedUpdate(kPkt, "bzImage"), 1);
  EXPECT_EQ(Boot_SubFileIsNeedUpdate(kPkt, "rootfs.gz"), 2);
  EXPECT_NE(boot_log().find("\r\n Info :stSubFileEfsInfo.usCodeCrc = 200\r\n\r\n Info :stCurSubFileEfsInfo.usCodeCrc = 201\r\n"),
            std::string::npos);

  set_cmdline(kCmdlineB);  // B has no .efs files: the package's blocks are written there
  EXPECT_EQ(Boot_SubFileIsNeedUpdate(kPkt, "rootfs.gz"), 1);
  EXPECT_EQ(efs_crc("/boot/boot_B/rootfs.gz.efs"), 200);
  EXPECT_EQ(read_file("/boot/boot_B/rootfs.gz.efs"), pkg::efs_block(200, "rootfs.gz"));
  EXPECT_NE(boot_log().find("\r\n Info :Get Current File ESF Info Fail\r\n"), std::string::npos);
}

TEST_F(Subarea, DecisionFailures) {
  set_cmdline(kCmdlineA);
  write_file(kPkt, pkg::build({{"app_squashfs", "x", 1}}));
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_SubFileIsNeedUpdate(kPkt, "bzImage"), -1); });
  EXPECT_NE(out.find("\r\n Error :Get SubFileEfsInfo from CC bzImage Fail\r\n"), std::string::npos);
  out = capture_stdout([] { EXPECT_EQ(Boot_SubFileIsNeedUpdate(nullptr, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :Parameter is wrong\r\n");

  write_package(1, 2);
  set_cmdline("tiny");
  out = capture_stdout([] { EXPECT_EQ(Boot_SubFileIsNeedUpdate(kPkt, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :Read Current config Failed!\r\n\r\n Error :Get Current Subarea Path Fail\r\n");

  set_cmdline(kCmdlineA);
  sh("rm -rf /boot/boot_A");  // the .efs file can neither be read nor written
  out = capture_stdout([] { EXPECT_EQ(Boot_SubFileIsNeedUpdate(kPkt, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :/boot/boot_A/bzImage.efs Open failed \r\n\r\n Error :Save File to Image Fail\r\n");
}

TEST_F(Subarea, UpdateWritesImageAndEfsIntoTheOtherSubarea) {
  std::string kernel(100000, 'k');
  for (size_t i = 0; i < kernel.size(); ++i) kernel[i] = static_cast<char>(i * 7);
  write_package(5, 6, kernel);
  set_cmdline(kCmdlineA);
  fill("/boot/boot_A/", 1, 2, "A");
  EXPECT_EQ(Boot_UpdateSubfile(kPkt, "bzImage"), 0);
  EXPECT_EQ(read_file("/boot/boot_B/bzImage"), kernel);
  EXPECT_EQ(read_file("/boot/boot_B/bzImage.efs"), pkg::efs_block(5, "bzImage"));
  EXPECT_EQ(read_file("/boot/boot_A/bzImage"), "kernel of A");  // the running one untouched

  set_cmdline(kCmdlineB);
  EXPECT_EQ(Boot_UpdateSubfile(kPkt, "rootfs.gz"), 0);
  EXPECT_EQ(read_file("/boot/boot_A/rootfs.gz"), "ROOTFS");
  EXPECT_EQ(efs_crc("/boot/boot_A/rootfs.gz.efs"), 6);
}

TEST_F(Subarea, ImagesLargerThanTheCopyChunk) {
  std::string rootfs(3 * 1024 * 1024 + 12345, '\0');
  for (size_t i = 0; i < rootfs.size(); ++i) rootfs[i] = static_cast<char>(i ^ (i >> 11));
  write_package(5, 6, "k", rootfs);
  set_cmdline(kCmdlineA);
  EXPECT_EQ(Boot_UpdateSubfile(kPkt, "rootfs.gz"), 0);
  EXPECT_TRUE(read_file("/boot/boot_B/rootfs.gz") == rootfs);
}

// A package on the subareas' own file system lets the kernel copy the image.
TEST_F(Subarea, ImagesCopiedWithinOneFileSystem) {
  std::string rootfs(2 * 1024 * 1024 + 777, '\0');
  for (size_t i = 0; i < rootfs.size(); ++i) rootfs[i] = static_cast<char>((i * 131) ^ (i >> 9));
  const char *pkt = "/boot/same-fs.cc";
  write_file(pkt, pkg::build({{"rootfs.gz", rootfs, 6}}));
  set_cmdline(kCmdlineB);
  EXPECT_EQ(Boot_UpdateSubfile(pkt, "rootfs.gz"), 0);
  EXPECT_TRUE(read_file("/boot/boot_A/rootfs.gz") == rootfs);
  EXPECT_EQ(efs_crc("/boot/boot_A/rootfs.gz.efs"), 6);
}

TEST_F(Subarea, SizeCapsPerSubfile) {
  std::string image(0x800001 - 68, 'i');
  write_package(5, 6, image, image);
  set_cmdline(kCmdlineA);
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_UpdateSubfile(kPkt, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :Not enough buffer to copy boot file, ulFileLenth = 800001,ulBufLen=800000\r\n");
  EXPECT_FALSE(file_exists("/boot/boot_B/bzImage"));
  EXPECT_EQ(Boot_UpdateSubfile(kPkt, "rootfs.gz"), 0);
  EXPECT_EQ(read_file("/boot/boot_B/rootfs.gz").size(), image.size());
}

TEST_F(Subarea, SubfileOfOnlyAnEfsBlockIsAFailedWrite) {
  write_package(5, 6, "", "r");
  set_cmdline(kCmdlineA);
  fill("/boot/boot_B/", 1, 2, "B");  // the old .efs file must not stay beside the failed image
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_UpdateSubfile(kPkt, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :/boot/boot_B/bzImage Write failed \r\n\r\n Error :Write bzImage to Img Fail\r\n");
  EXPECT_TRUE(file_exists("/boot/boot_B/bzImage"));
  EXPECT_EQ(read_file("/boot/boot_B/bzImage"), "");
  EXPECT_FALSE(file_exists("/boot/boot_B/bzImage.efs"));
}

TEST_F(Subarea, SubfileBeyondTheEndWritesNothing) {
  std::string p = pkg::build({{"rootfs.gz", std::string(1000, 'r'), 6}});
  pkg::put_le32(p, pkg::kSubHeadsOffset + pkg::kLengthField, 0x100000);  // longer than the file
  write_file(kPkt, p);
  set_cmdline(kCmdlineA);
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_UpdateSubfile(kPkt, "rootfs.gz"), -1); });
  EXPECT_EQ(out, "\r\n Error :Read rootfs.gz Info Error\r\n");
  EXPECT_FALSE(file_exists("/boot/boot_B/rootfs.gz"));
}

TEST_F(Subarea, UpdateFailures) {
  write_package(5, 6);
  set_cmdline(kCmdlineA);
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_UpdateSubfile(kPkt, "nothere"), -1); });
  EXPECT_EQ(out, "\r\n Error :Get SubFile nothere Info Fail\r\n");
  out = capture_stdout([] { EXPECT_EQ(Boot_UpdateSubfile(nullptr, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :Parameter is wrong\r\n");
  sh("rm -rf /boot/boot_B");
  out = capture_stdout([] { EXPECT_EQ(Boot_UpdateSubfile(kPkt, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :/boot/boot_B/bzImage Open failed \r\n\r\n Error :Write bzImage to Img Fail\r\n");
  set_cmdline("tiny");
  out = capture_stdout([] { EXPECT_EQ(Boot_UpdateSubfile(kPkt, "bzImage"), -1); });
  EXPECT_EQ(out, "\r\n Error :Read Current config Failed!\r\n\r\n Error :Get Current Subarea Path Fail\r\n");
}

TEST_F(Subarea, CheckAndUpdateResults) {
  set_cmdline(kCmdlineA);
  write_package(7, 8);
  fill("/boot/boot_A/", 7, 9, "A");
  std::string out;
  out = capture_stdout([] { EXPECT_EQ(Boot_CheckAndUpdate(kPkt, "bzImage"), 0); });
  EXPECT_EQ(out, "");
  out = capture_stdout([] { EXPECT_EQ(Boot_CheckAndUpdate(kPkt, "rootfs.gz"), 1); });
  EXPECT_EQ(out, "\r\nUpdate rootfs.gz !!!\r\n");
  EXPECT_EQ(read_file("/boot/boot_B/rootfs.gz"), "ROOTFS");
  out = capture_stdout([] { EXPECT_EQ(Boot_CheckAndUpdate(kPkt, "app"), -1); });
  EXPECT_NE(out.find("\r\n Error :Can not Decide Update Rootfs or Not \r\n"), std::string::npos);
}

TEST_F(Subarea, SynchronisationCopiesWhatDiffersOrIsMissing) {
  struct Case {
    const char *what;
    std::string cmdline;
    uint16_t kernel_other, rootfs_other;  // 0 = missing .efs in the other subarea
    bool kernel_copied, rootfs_copied;
    std::string log;
  } cases[] = {
      {"equal", kCmdlineA, 1, 2, false, false, ""},
      {"other missing", kCmdlineA, 0, 0, true, true,
       "\r\n Info :Get Backup File ESF Info Fail\r\n"
       "\r\n Info :System Execute cp  /boot/boot_A/rootfs* /boot/boot_B/ \r\n"
       "\r\n Info : Get Backup File ESF Info Fail\r\n"
       "\r\n Info :System Execute cp  /boot/boot_A/bzImage* /boot/boot_B/ \r\n"},
      {"rootfs differs", kCmdlineA, 1, 3, false, true,
       "\r\n Info :\r\nBackup Rootfs\r\n\r\n Info :Backup Rootfs boot A to B \r\n"},
      {"kernel differs from B", kCmdlineB, 4, 2, true, false,
       "\r\n Info :\r\nBackup kernel\r\n\r\n Info :Backup kernel boot B to A \r\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sh("rm -rf /boot/boot_A/* /boot/boot_B/* /mnt/flash/boot_log.txt");
    bool a = c.cmdline == kCmdlineA;
    std::string cur = a ? "/boot/boot_A/" : "/boot/boot_B/", other = a ? "/boot/boot_B/" : "/boot/boot_A/";
    fill(cur, 1, 2, "current");
    fill(other, c.kernel_other, c.rootfs_other, "other");
    std::string out = capture_stdout([&] { EXPECT_EQ(Boot_SynTwoSubareaFileIs(c.cmdline.c_str()), 0); });
    EXPECT_EQ(boot_log(), c.log);
    EXPECT_EQ(read_file(other + "bzImage"), c.kernel_copied ? "kernel of current" : "kernel of other");
    EXPECT_EQ(read_file(other + "rootfs.gz"), c.rootfs_copied ? "rootfs of current" : "rootfs of other");
    if (c.kernel_copied) {
      EXPECT_EQ(efs_crc(other + "bzImage.efs"), 1);
    }
    if (c.rootfs_copied) {
      EXPECT_EQ(efs_crc(other + "rootfs.gz.efs"), 2);
    }
    std::string console = std::string(c.rootfs_copied && c.rootfs_other ? "\r\nBackup Rootfs!\r\n" : "") +
                          (c.kernel_copied && c.kernel_other ? "\r\nBackup Kernel!\r\n" : "");
    EXPECT_EQ(out, console);
  }
}

TEST_F(Subarea, SynchronisationNeedsTheCurrentEfsFiles) {
  fill("/boot/boot_A/", 1, 0, "A");
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_SynTwoSubareaFileIs(kCmdlineA.c_str()), -1); });
  EXPECT_EQ(out, "\r\n Error :Get Current File ESF Info Fail\r\n");
  EXPECT_FALSE(file_exists("/boot/boot_B/bzImage"));  // the kernel is not examined
  out = capture_stdout([] { EXPECT_EQ(Boot_SynTwoSubareaFileIs(nullptr), -1); });
  EXPECT_EQ(out, "\r\n Error :Parameter is wrong\r\n");
}

// The subarea step for every row of the decision table.
TEST_F(Subarea, DecisionTable) {
  struct Case {
    const char *what;
    std::string package;  // bytes of the package
    uint16_t a_kernel, a_rootfs;
    bool switched;
  };
  auto pkt = [](uint16_t k, uint16_t r) {
    return pkg::build({{"bzImage", "KERNEL", k}, {"rootfs.gz", "ROOTFS", r}, {"app_squashfs", "s", 1}});
  };
  std::string no_kernel = pkg::build({{"rootfs.gz", "ROOTFS", 2}});
  std::string no_rootfs = pkg::build({{"bzImage", "KERNEL", 1}});
  std::string kernel_new_no_rootfs = pkg::build({{"bzImage", "KERNEL", 9}});
  std::string no_kernel_rootfs_new = pkg::build({{"rootfs.gz", "ROOTFS", 9}});
  Case cases[] = {
      {"0 0", pkt(1, 2), 1, 2, false},
      {"1 0", pkt(9, 2), 1, 2, true},
      {"0 1", pkt(1, 9), 1, 2, true},
      {"1 1", pkt(8, 9), 1, 2, true},
      {"1 -1", kernel_new_no_rootfs, 1, 2, false},
      {"-1 1", no_kernel_rootfs_new, 1, 2, false},
      {"-1 0", no_kernel, 1, 2, true},
      {"0 -1", no_rootfs, 1, 2, true},
      {"-1 -1", std::string(800, '\0'), 1, 2, true},
  };
  set_cmdline(kCmdlineA);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sh("rm -rf /boot/boot_A/* /boot/boot_B/* /mnt/flash/boot_log.txt");
    unlink(reboot_record().c_str());
    write_file("/boot/grub/grub.cfg", kGrubA);
    write_file(kPkt, c.package);
    fill("/boot/boot_A/", c.a_kernel, c.a_rootfs, "A");
    fill("/boot/boot_B/", 5, 6, "B");  // complete, so that a switch may go there
    std::string out = capture_stdout([] { EXPECT_EQ(Boot_CheckAndSynSubarea(kPkt), 0); });
    std::string grub = read_file("/boot/grub/grub.cfg");
    if (c.switched) {
      EXPECT_EQ(grub.find("boot_A"), std::string::npos);
      EXPECT_NE(grub.find("linux /boot_B/bzImage"), std::string::npos);
      EXPECT_NE(boot_log().find("\r\n Info :sed -i 's/boot_A/boot_B/g' /boot/grub/grub.cfg"), std::string::npos);
      EXPECT_NE(out.find("\r\nReboot system!\r\n"), std::string::npos);
      EXPECT_EQ(read_file(reboot_record()), "reboot \n");
    } else {
      EXPECT_EQ(grub, kGrubA);
      EXPECT_FALSE(file_exists(reboot_record()));
      // Synchronised: B now holds A's images.
      EXPECT_EQ(read_file("/boot/boot_B/bzImage"), "kernel of A");
      EXPECT_EQ(read_file("/boot/boot_B/rootfs.gz"), "rootfs of A");
    }
  }
}

// Where no write failed, GRUB goes only to a subarea that holds both images and both .efs
// files; otherwise the step fails with the reason, and nothing is switched or mounted.
TEST_F(Subarea, SwitchOnlyToACompleteSubarea) {
  struct Case {
    const char *what;
    std::string package;
    std::function<void()> damage;  // done to a complete B
    std::string reason;            // empty: switched
  };
  std::string no_kernel = pkg::build({{"rootfs.gz", "ROOTFS", 2}});   // -1 0
  std::string new_kernel = pkg::build({{"bzImage", "KERNEL", 9}, {"rootfs.gz", "ROOTFS", 2}});  // 1 0
  Case cases[] = {
      {"complete", no_kernel, [] {}, ""},
      {"empty subarea", no_kernel, [] { sh("rm -f /boot/boot_B/*"); }, "/boot/boot_B/bzImage Missing"},
      {"no kernel .efs", no_kernel, [] { sh("rm /boot/boot_B/bzImage.efs"); }, "/boot/boot_B/bzImage.efs Missing"},
      {"empty root file system", no_kernel, [] { write_file("/boot/boot_B/rootfs.gz", ""); },
       "/boot/boot_B/rootfs.gz Too Short"},
      {"short .efs", no_kernel, [] { write_file("/boot/boot_B/rootfs.gz.efs", std::string(67, 'e')); },
       "/boot/boot_B/rootfs.gz.efs Too Short"},
      {"directory for an image", no_kernel, [] { sh("rm /boot/boot_B/rootfs.gz && mkdir /boot/boot_B/rootfs.gz"); },
       "/boot/boot_B/rootfs.gz Missing"},
      {"kernel written, no root file system", new_kernel, [] { sh("rm /boot/boot_B/rootfs*"); },
       "/boot/boot_B/rootfs.gz Missing"},
  };
  set_cmdline(kCmdlineA);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sh("rm -rf /boot/boot_A/* /boot/boot_B/* /mnt/flash/boot_log.txt");
    unlink(reboot_record().c_str());
    write_file("/boot/grub/grub.cfg", kGrubA);
    write_file(kPkt, c.package);
    fill("/boot/boot_A/", 1, 2, "A");
    fill("/boot/boot_B/", 1, 2, "B");
    c.damage();
    int32_t rc = -2;
    std::string out = capture_stdout([&] { rc = Boot_CheckAndSynSubarea(kPkt); });
    if (c.reason.empty()) {
      EXPECT_EQ(rc, 0);
      EXPECT_NE(read_file("/boot/grub/grub.cfg").find("linux /boot_B/bzImage"), std::string::npos);
      EXPECT_EQ(read_file(reboot_record()), "reboot \n");
    } else {
      EXPECT_EQ(rc, -1);
      EXPECT_EQ(read_file("/boot/grub/grub.cfg"), kGrubA);
      EXPECT_FALSE(file_exists(reboot_record()));
      std::string record = "\r\n Error :" + c.reason + ", GRUB Not Switched\r\n";
      EXPECT_NE(out.find(record), std::string::npos) << out;
      EXPECT_NE(boot_log().find(record), std::string::npos);
    }
  }
}

// A write into the other subarea that fails (a full /boot, an I/O error, an empty image) leaves
// no .efs file beside the broken image, and the step fails: GRUB is not switched to it, and it
// is not synchronised either. Each row is one the table would otherwise switch or synchronise.
TEST_F(Subarea, FailedWriteIsNeverBooted) {
  enum Fault { kFullSubarea, kFileSizeLimit, kNone };
  struct Case {
    const char *what;
    std::string kernel, rootfs;  // images of the package; A runs code CRCs 1 and 2
    uint16_t kernel_crc, rootfs_crc;
    Fault fault;
    const char *broken;  // the image whose write failed
  } cases[] = {
      {"kernel into a full /boot (-1 0)", std::string(256 * 1024, 'k'), "ROOTFS", 9, 2, kFullSubarea, "bzImage"},
      {"empty kernel image (-1 0)", "", "ROOTFS", 9, 2, kNone, "bzImage"},
      {"root file system cut by an I/O error (1 -1)", "KERNEL", std::string(256 * 1024, 'r'), 9, 8, kFileSizeLimit,
       "rootfs.gz"},
      {"both into a full /boot (-1 -1)", std::string(256 * 1024, 'k'), std::string(256 * 1024, 'r'), 9, 8,
       kFullSubarea, "bzImage"},
  };
  set_cmdline(kCmdlineA);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sh("rm -rf /boot/boot_A/* /boot/boot_B/* /mnt/flash/boot_log.txt");
    unlink(reboot_record().c_str());
    write_file("/boot/grub/grub.cfg", kGrubA);
    write_file(kPkt, pkg::build({{"bzImage", c.kernel, c.kernel_crc}, {"rootfs.gz", c.rootfs, c.rootfs_crc},
                                 {"app_squashfs", "s", 3}}));
    fill("/boot/boot_A/", 1, 2, "A");
    if (c.fault == kFullSubarea) {
      ASSERT_EQ(sh("mount -t tmpfs -o size=64k full /boot/boot_B"), 0);
    }
    fill("/boot/boot_B/", 1, 2, "B");  // complete before the update
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (c.fault == kFileSizeLimit) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit = saved;
      limit.rlim_cur = 64 * 1024;
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    int32_t rc = -2;
    std::string out = capture_stdout([&] { rc = Boot_CheckAndSynSubarea(kPkt); });
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(rc, -1);
    EXPECT_NE(out.find("\r\n Error :Write " + std::string(c.broken) + " to Img Fail\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\r\n Error :Write into /boot/boot_B/ Failed, GRUB Not Switched\r\n"), std::string::npos);
    EXPECT_FALSE(file_exists("/boot/boot_B/" + std::string(c.broken) + ".efs"));
    EXPECT_EQ(read_file("/boot/grub/grub.cfg"), kGrubA);
    EXPECT_FALSE(file_exists(reboot_record()));
    EXPECT_EQ(read_file("/boot/boot_A/bzImage"), "kernel of A");  // the running one untouched
    EXPECT_EQ(read_file("/boot/boot_A/rootfs.gz"), "rootfs of A");
    EXPECT_EQ(boot_log().find("Backup"), std::string::npos);  // not synchronised
    if (c.fault == kFullSubarea) sh("umount -l /boot/boot_B");
  }
}

// The copy command goes on to an image's .efs file after the image failed: the .efs file is
// removed again, so that the broken copy is never taken for a complete one.
TEST_F(Subarea, SynchronisationLeavesNoEfsBesideAFailedCopy) {
  fill("/boot/boot_A/", 1, 2, "A");
  write_file("/boot/boot_A/rootfs.gz", std::string(256 * 1024, 'r'));
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_IGN);  // the copy gets EFBIG past the limit
  rlimit limit = saved;
  limit.rlim_cur = 64 * 1024;
  setrlimit(RLIMIT_FSIZE, &limit);
  int32_t rc = -2;
  std::string out = capture_stdout([&] { rc = Boot_SynTwoSubareaFileIs(kCmdlineA.c_str()); });
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(rc, -1);
  EXPECT_NE(out.find("\r\n Error :System Execute cp  /boot/boot_A/rootfs* /boot/boot_B/  Fail \r\n"), std::string::npos)
      << out;
  EXPECT_FALSE(file_exists("/boot/boot_B/rootfs.gz.efs"));
  // The kernel, within the limit, is copied whole with its .efs file.
  EXPECT_EQ(read_file("/boot/boot_B/bzImage"), "kernel of A");
  EXPECT_EQ(efs_crc("/boot/boot_B/bzImage.efs"), 1);
  // The next synchronisation copies the root file system again.
  rc = -2;
  out = capture_stdout([&] { rc = Boot_SynTwoSubareaFileIs(kCmdlineA.c_str()); });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(read_file("/boot/boot_B/rootfs.gz").size(), 256u * 1024);
  EXPECT_EQ(efs_crc("/boot/boot_B/rootfs.gz.efs"), 2);
}

TEST_F(Subarea, StepFailsWhenTheRunningSubareaIsUnknown) {
  write_file(kPkt, pkg::build({{"bzImage", "K", 1}, {"rootfs.gz", "R", 2}}));
  set_cmdline("tiny");
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_CheckAndSynSubarea(kPkt), -1); });
  EXPECT_NE(out.find("\r\n Error :Get Current Subarea Path Fail\r\n"), std::string::npos);
  EXPECT_FALSE(file_exists(reboot_record()));
}

}  // namespace
}  // namespace bsp::test
