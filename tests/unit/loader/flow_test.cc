// The auto-start flow over the loader builds of the pieces file system and the boot records:
// package search, rollback, the ".cc" check and the loop mount command.
#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <bsp/loadstate.h>

#include "loader/loader.h"
#include "loader_board.h"
#include "storage/bootmem.h"
#include "storage/loadstate_sets.h"

namespace bsp::test {
namespace {

constexpr const char *kStandins = "/run/bsp-sandbox/loader-standins";
constexpr const char *kCommands = "/run/bsp-sandbox/loader-standins/commands.log";

class Flow : public LoaderBoard {
 protected:
  // The storage start-up runs once per process, as in the loader; each test then starts from
  // an empty flash volume and empty subareas over the same flash emulation file.
  static void SetUpTestSuite() {
    reset_board();
    sh("mkdir -p /mnt/flash");
    init_output_ = capture_stdout([] { init_result_ = Boot_Init(); });
    struct stat st;
    flash_file_size_ = stat("/mnt/misc/flashfile", &st) == 0 ? st.st_size : -1;
  }
  void SetUp() override {
    sh("rm -rf /mnt/flash /mnt/squash /boot/* && mkdir -p /mnt/flash /mnt/squash /boot/boot_A /boot/boot_B /boot/grub");
    write_file("/boot/grub/grub.cfg", kGrubA);
    unlink(reboot_record().c_str());
    install_standins(0);
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    LoaderBoard::TearDown();
  }

  // losetup and mount stand-ins that record each argument on its own line.
  void install_standins(int losetup_status, int mount_status = 0) {
    sh(std::string("mkdir -p ") + kStandins + " && rm -f " + kCommands);
    for (const char *cmd : {"losetup", "mount"}) {
      std::string script = std::string("#!/bin/sh\n{ echo '") + cmd + "'; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } >> " +
                           kCommands + "\nexit " + std::to_string(std::string(cmd) == "losetup" ? losetup_status : mount_status) + "\n";
      std::string path = std::string(kStandins) + "/" + cmd;
      write_file(path, script);
      chmod(path.c_str(), 0755);
    }
    if (saved_path_.empty()) saved_path_ = getenv("PATH");
    setenv("PATH", (std::string(kStandins) + ":" + saved_path_).c_str(), 1);
  }

  static LOAD_STATE_WORD_S read_word() {
    LOAD_STATE_WORD_S w;
    memset(&w, 0, sizeof w);
    capture_stdout([&] { EXPECT_EQ(BSP_GetLoadStateWord(&w), 0u); });
    return w;
  }
  static void save_word(LOAD_STATE_WORD_S &w) {
    capture_stdout([&] { EXPECT_EQ(BSP_SetLoadStateWord(&w), 0u); });
  }
  static void set_name(LOAD_STATE_WORD_CORE_S &set, const char *name, uint8_t valid) {
    memset(set.acPktFileName, 0, sizeof set.acPktFileName);
    strcpy(set.acPktFileName, name);
    set.ucPktValidFlag = valid;
  }
  // A bootable package whose images equal those in subarea A.
  static void bootable(const std::string &path) {
    write_file(path, pkg::build({{"bzImage", "K", 1}, {"rootfs.gz", "R", 2}, {"app_squashfs", "S", 3}}));
    write_efs("/boot/boot_A/bzImage.efs", 1);
    write_efs("/boot/boot_A/rootfs.gz.efs", 2);
    write_efs("/boot/boot_B/bzImage.efs", 1);
    write_efs("/boot/boot_B/rootfs.gz.efs", 2);
  }

  // Directory entries of /mnt/flash in the order the loader will see them.
  static std::vector<std::string> entries(const char *dir = "/mnt/flash") {
    std::vector<std::string> out;
    DIR *d = opendir(dir);
    while (const dirent *e = d != nullptr ? readdir(d) : nullptr) out.emplace_back(e->d_name);
    if (d != nullptr) closedir(d);
    return out;
  }
  static bool is_cc(const std::string &n) {
    return n.size() >= 3 && strcasecmp(n.c_str() + n.size() - 3, ".cc") == 0;
  }

  std::string saved_path_;
  static inline std::string init_output_;
  static inline int32_t init_result_ = -2;
  static inline off_t flash_file_size_ = -1;
};

TEST_F(Flow, SearchFollowsDirectoryOrderAndResumesAfterTheIndex) {
  sh("mkdir -p /mnt/flash/s && cd /mnt/flash/s && touch readme.txt a.cc b.CC c.bin x.Cc");
  std::vector<std::string> order = entries("/mnt/flash/s");
  uint32_t index = 0;
  std::vector<std::string> chosen;
  for (;;) {
    Boot_SetSearchPktCnt(index);
    g_ulSearchPktCnt = 0;
    char found[70];
    int32_t rc = -2;
    std::string out = capture_stdout([&] { rc = Boot_AutoSearchPktInOs("/mnt/flash/s", nullptr, 0, found); });
    EXPECT_EQ(out, "Boot GetSearchPktCnt count = " + std::to_string(index) + "\r\n");
    if (rc != 0) {
      EXPECT_EQ(Boot_GetSearchPktCnt(), index);  // left as it was
      break;
    }
    std::string name = std::string(found).substr(strlen("/mnt/flash/s/"));
    size_t position = std::find(order.begin(), order.end(), name) - order.begin() + 1;
    EXPECT_GT(position, index);
    EXPECT_EQ(Boot_GetSearchPktCnt(), position);
    EXPECT_EQ(g_ulSearchPktCnt, position);
    chosen.push_back(name);
    index = static_cast<uint32_t>(position);
  }
  std::vector<std::string> expected;
  for (const auto &n : order)
    if (is_cc(n)) expected.push_back(n);
  EXPECT_EQ(chosen, expected);  // every .cc once, in directory order, nothing else
  EXPECT_EQ(expected.size(), 3u);
}

TEST_F(Flow, SearchPassesOverExcludedAndOverlongNames) {
  std::string fits(50, 'f'), too_long_for_the_record(55, 'r'), too_long_for_the_path(60, 'p');
  sh("mkdir -p /mnt/flash/s && cd /mnt/flash/s && touch zq.cc " + fits + ".cc " + too_long_for_the_record + ".cc " +
     too_long_for_the_path + ".cc");
  const char *excluded[] = {"flash:/zq.cc", ""};
  Boot_SetSearchPktCnt(0);
  std::vector<std::string> chosen;
  for (int i = 0; i < 4; ++i) {
    g_ulSearchPktCnt = 0;
    char found[70];
    int32_t rc = -2;
    capture_stdout([&] { rc = Boot_AutoSearchPktInOs("/mnt/flash/s", excluded, 2, found); });
    if (rc != 0) break;
    EXPECT_LT(strlen(found), 70u);
    chosen.emplace_back(found);
  }
  EXPECT_EQ(chosen, std::vector<std::string>{"/mnt/flash/s/" + fits + ".cc"});
}

// A FIFO, a directory and a link to a device are named like packages but are none: the search
// passes over them (still counting them as entries) and takes the real package.
TEST_F(Flow, SearchTakesOnlyRegularFiles) {
  sh("mkdir -p /mnt/flash/s && cd /mnt/flash/s && mkfifo fifo.cc && mkdir dir.cc && ln -s /dev/zero dev.cc && "
     "touch real.cc && ln -s real.cc link.cc");
  std::vector<std::string> order = entries("/mnt/flash/s");
  Boot_SetSearchPktCnt(0);
  std::vector<std::string> chosen;
  for (int i = 0; i < 8; ++i) {
    g_ulSearchPktCnt = 0;
    char found[70];
    int32_t rc = -2;
    capture_stdout([&] { rc = Boot_AutoSearchPktInOs("/mnt/flash/s", nullptr, 0, found); });
    if (rc != 0) break;
    std::string name = std::string(found).substr(strlen("/mnt/flash/s/"));
    EXPECT_EQ(Boot_GetSearchPktCnt(), std::find(order.begin(), order.end(), name) - order.begin() + 1);
    chosen.push_back(name);
  }
  std::vector<std::string> expected;  // the file and the link to it, in directory order
  for (const auto &n : order)
    if (n == "real.cc" || n == "link.cc") expected.push_back(n);
  EXPECT_EQ(chosen, expected);
}

TEST_F(Flow, SearchFailures) {
  char found[70];
  Boot_SetSearchPktCnt(0);
  capture_stdout([&] {
    EXPECT_EQ(Boot_AutoSearchPktInOs("/mnt/flash", nullptr, 0, nullptr), -1);
    EXPECT_EQ(Boot_AutoSearchPktInOs("/mnt/none", nullptr, 0, found), -1);
    EXPECT_EQ(Boot_AutoSearchPktInOs(nullptr, nullptr, 0, found), -1);
  });
  EXPECT_STREQ(found, "");
}

TEST_F(Flow, SearchStoresTheFoundNameInTheCurrentSet) {
  bootable("/mnt/flash/found.cc");
  LOAD_STATE_WORD_S w = read_word();
  w.ucCurDiskFlag = 0;
  set_name(w.stLoadStateWordCur, "flash:/zq.cc", 0);
  memset(w.stLoadStateWordCur.acCfgFileName, 'c', 64);  // carried through
  Boot_SetSearchPktCnt(0);
  std::string out = capture_stdout([&] { EXPECT_EQ(Boot_AutoSearchPktStartup(&w), 0); });
  EXPECT_NE(out.find("\r\n!!!NOTE: Auto search packet file and startup!!!\r\n"), std::string::npos);
  EXPECT_NE(boot_log().find("\r\n Info :\r\n!!!NOTE: Auto search packet file and startup!!!\r\n"), std::string::npos);
  LOAD_STATE_WORD_S stored = read_word();
  EXPECT_EQ(stored.stLoadStateWordCur.ucPktValidFlag, 1);
  EXPECT_STREQ(stored.stLoadStateWordCur.acPktFileName, "flash:/found.cc");
  EXPECT_EQ(std::string(stored.stLoadStateWordCur.acCfgFileName, 64), std::string(64, 'c'));
  EXPECT_GT(Boot_GetSearchPktCnt(), 0u);
}

TEST_F(Flow, SearchFindingNothingResetsTheIndex) {
  write_file("/mnt/flash/notes.txt", "x");
  LOAD_STATE_WORD_S w = read_word();
  Boot_SetSearchPktCnt(1);
  std::string out = capture_stdout([&] { EXPECT_EQ(Boot_AutoSearchPktStartup(&w), -1); });
  EXPECT_NE(out.find("\r\nAuto search packet file fail! Please set startup file."), std::string::npos);
  EXPECT_NE(boot_log().find("\r\n Info :\r\nAuto search packet file fail! Please set startup file."), std::string::npos);
  EXPECT_EQ(Boot_GetSearchPktCnt(), 0u);
  EXPECT_EQ(Boot_AutoSearchPktStartup(nullptr), -1);
}

TEST_F(Flow, LoopCommandTakesTheDecimalOffsetAndOneQuotedPath) {
  struct Case {
    std::string file;
    std::string command_path;  // as it appears in the logged command
  } cases[] = {
      {"/mnt/flash/zq.cc", "/mnt/flash/zq.cc"},
      {"/mnt/flash/a b;touch pwned;.cc", "'/mnt/flash/a b;touch pwned;.cc'"},
      {"/mnt/flash/q'$(touch pwned).cc", "'/mnt/flash/q'\\''$(touch pwned).cc'"},
  };
  unlink("pwned");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    sh(std::string("rm -f ") + kCommands);
    std::string p(0x400, '\0');
    pkg::put_le32(p, pkg::kHeadOffset + pkg::kCountField, 1);
    memcpy(&p[pkg::kSubHeadsOffset], "app_squashfs", 12);
    pkg::put_le32(p, pkg::kSubHeadsOffset + pkg::kOffsetField, 0x100);
    pkg::put_le32(p, pkg::kSubHeadsOffset + pkg::kLengthField, 0x10);
    write_file(c.file, p);
    EXPECT_EQ(Load_MountPacketAppSquashfs(c.file.c_str()), 0);
    EXPECT_EQ(read_file(kCommands), "losetup\n[-o]\n[640]\n[/dev/loop1]\n[" + c.file +
                                        "]\nmount\n[-t]\n[squashfs]\n[/dev/loop1]\n[/mnt/squash]\n");
    EXPECT_FALSE(file_exists("pwned"));
    install_standins(1);
    std::string out = capture_stdout([&] { EXPECT_EQ(Load_MountPacketAppSquashfs(c.file.c_str()), -1); });
    EXPECT_EQ(out, "\r\n Error :System Execute losetup -o 640 /dev/loop1 " + c.command_path + " > /dev/null 2>&1  Fail \r\n");
    install_standins(0);
  }
  // A failed mount is a failed boot, not a mounted application.
  install_standins(0, 32);
  std::string failed = capture_stdout([] { EXPECT_EQ(Load_MountPacketAppSquashfs("/mnt/flash/zq.cc"), -1); });
  EXPECT_EQ(failed, "\r\n Error :System Execute mount -t squashfs /dev/loop1 /mnt/squash  Fail \r\n");
  install_standins(0);

  // Quoted, a name can outgrow the command buffer: then nothing runs at all.
  std::string quotes = "/mnt/flash/" + std::string(200, '\'') + ".cc";
  write_file(quotes, read_file("/mnt/flash/zq.cc"));
  sh(std::string("rm -f ") + kCommands);
  std::string refused = capture_stdout([&] { EXPECT_EQ(Load_MountPacketAppSquashfs(quotes.c_str()), -1); });
  EXPECT_EQ(refused, "\r\n Error :Package path too long for the loop command\r\n");
  EXPECT_FALSE(file_exists(kCommands));

  std::string out = capture_stdout([] { EXPECT_EQ(Load_MountPacketAppSquashfs("/mnt/flash/none.cc"), -1); });
  EXPECT_NE(out.find("\r\n Error :Get Packet /mnt/flash/none.cc App Squash Offset Fail.\r\n"), std::string::npos);
  EXPECT_EQ(Load_MountPacketAppSquashfs(nullptr), -1);
}

TEST_F(Flow, TheAttemptIsCountedBeforeTheNameIsChecked) {
  set_cmdline(kCmdlineA);
  Boot_ClearLoadFailTimes();
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_UpdateAndMountStartupPacket("/mnt/flash/zq.bin"), -1); });
  EXPECT_EQ(out, "\r\n Error :Boot file Must be *.cc or *.CC,please check!");
  EXPECT_EQ(Boot_GetLoadFailTimes(), 1);
  out = capture_stdout([] { EXPECT_EQ(Boot_UpdateAndMountStartupPacket(nullptr), -1); });
  EXPECT_EQ(out, "\r\n Error :Parameter is wrong\r\n");
  EXPECT_EQ(Boot_GetLoadFailTimes(), 1);
  bootable("/mnt/flash/UP.CC");
  EXPECT_EQ(Boot_UpdateAndMountStartupPacket("/mnt/flash/UP.CC"), 0);
  EXPECT_EQ(Boot_GetLoadFailTimes(), 2);
}

TEST_F(Flow, RollbackAtACountAboveTwo) {
  set_cmdline(kCmdlineA);
  bootable("/mnt/flash/cur.cc");
  bootable("/mnt/flash/pre.cc");
  struct Case {
    int count_before;
    bool rollback;
  } cases[] = {{2, false}, {3, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.count_before);
    LOAD_STATE_WORD_S w = read_word();
    set_name(w.stLoadStateWordCur, "flash:/cur.cc", 1);
    set_name(w.stLoadStateWordPre, "flash:/pre.cc", 1);
    w.ucCurDiskFlag = 0;
    save_word(w);
    Boot_ClearLoadFailTimes();
    for (int i = 0; i < c.count_before; ++i) Boot_IncrLoadFailTimes();
    sh("rm -f /mnt/flash/boot_log.txt");
    std::string out = capture_stdout([] { EXPECT_EQ(Boot_AutoStartSystemfromCC(), 0); });
    EXPECT_NE(out.find("\r\nBoot Fail times = " + std::to_string(c.count_before) + "\r\n"), std::string::npos);
    LOAD_STATE_WORD_S after = read_word();
    if (c.rollback) {
      EXPECT_NE(out.find("\r\nBoot Fail.................................3 Times&RollBack"), std::string::npos);
      EXPECT_EQ(Boot_GetLoadFailTimes(), 1);  // cleared, then this attempt
      EXPECT_EQ(after.ucCurDiskFlag, 1);
      EXPECT_EQ(after.stLoadStateWordCur.ucPktValidFlag, 0);
      EXPECT_NE(out.find("Now boot from flash:/pre.cc, please wait......\r\n"), std::string::npos);
      EXPECT_NE(boot_log().find(" Info :StateWordPre  startup file name = flash:/pre.cc\r\n"), std::string::npos);
    } else {
      EXPECT_EQ(out.find("RollBack"), std::string::npos);
      EXPECT_EQ(Boot_GetLoadFailTimes(), 3);
      EXPECT_EQ(after.ucCurDiskFlag, 0);
      EXPECT_NE(boot_log().find(" Info :StateWordCur  startup file name = flash:/cur.cc\r\n"), std::string::npos);
    }
    EXPECT_NE(out.find("excutive app squsdhfs\r\n"), std::string::npos);
    EXPECT_NE(boot_log().find(" Info :excutive app squsdhfs\r\n"), std::string::npos);
  }
}

TEST_F(Flow, UnconvertibleNameFailsWithoutCounting) {
  LOAD_STATE_WORD_S w = read_word();
  w.ucCurDiskFlag = 0;
  set_name(w.stLoadStateWordCur, "/mnt/flash/zq.cc", 1);
  save_word(w);
  Boot_ClearLoadFailTimes();
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_AutoStartSystemfromCC(), -1); });
  EXPECT_NE(out.find("\r\n Error :QOR path change ro Linux path Fail\r\n"), std::string::npos);
  EXPECT_EQ(Boot_GetLoadFailTimes(), 0);
}

TEST_F(Flow, UnterminatedRecordNameIsNeverReadPastItsField) {
  LOAD_STATE_WORD_S w = read_word();
  w.ucCurDiskFlag = 0;
  memset(w.stLoadStateWordCur.acPktFileName, 'x', sizeof w.stLoadStateWordCur.acPktFileName);
  w.stLoadStateWordCur.ucPktValidFlag = 1;
  save_word(w);
  std::string out = capture_stdout([] { EXPECT_EQ(Boot_AutoStartSystemfromCC(), -1); });
  EXPECT_NE(boot_log().find(" Info :StateWordCur  startup file name = \r\n"), std::string::npos);
  EXPECT_NE(out.find("QOR path change ro Linux path Fail"), std::string::npos);
}

TEST_F(Flow, InitMakesTheFlashEmulationFile) {
  // Done once for the process, on a board without /mnt/misc.
  EXPECT_EQ(init_result_, 0);
  EXPECT_EQ(flash_file_size_, 0x480000);
  LOAD_STATE_WORD_S w = read_word();  // the pieces file system is up
  EXPECT_EQ(w.ulMagicWord, LOAD_STATE_WORD_MAGIC);
}

}  // namespace
}  // namespace bsp::test
