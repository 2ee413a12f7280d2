// Platform probes on the sandboxed board: fixtures bound over /proc/cpuinfo, /proc/meminfo and
// /sys/block, and recording stand-ins for cat, grep, head and fdisk first in PATH.
#include <bsp/api.h>
#include <bsp/board.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <bsp/probe.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/board_fs.h"
#include "support/capture.h"
#include "unit/board/child_process.h"

using namespace bsp::test;
using board_test::in_child;

// ---- doubles for two library functions the probes call across the library's sources ----

namespace {
const char *g_boot_loader_name = nullptr;
std::vector<unsigned long> g_feature_queries;
}  // namespace

#define DOUBLE __attribute__((visibility("default")))
extern "C" {
DOUBLE char *BCDB_GetBootLoaderName(void) { return const_cast<char *>(g_boot_loader_name); }
DOUBLE uint32_t FLASH_FeatureGet(unsigned long ulFeatureType, unsigned long *pulValue) {
  g_feature_queries.push_back(ulFeatureType);
  using Fn = uint32_t (*)(unsigned long, unsigned long *);
  static Fn library = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "FLASH_FeatureGet"));
  return library(ulFeatureType, pulValue);
}
}

namespace {

// The sandbox's own scratch mount exists only in its private mount namespace.
bool in_private_mount_namespace() {
  const std::string mounts = read_file("/proc/self/mountinfo");
  return mounts.find(" /run/bsp-sandbox ") != std::string::npos && mounts.find(" bsp-sandbox-run ") != std::string::npos;
}

// A scratch folder with the stand-ins, the fixtures and the record of what ran.
class Probes : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char dir[] = "/tmp/bsp-probe-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    scratch_ = dir;
    log_ = scratch_ + "/ran.log";
    sh("mkdir -p " + scratch_ + "/bin " + scratch_ + "/cwd");
    // Each stand-in records its name and arguments in one line (one write, as the stand-ins of
    // a pipeline run side by side), then does the real work.
    const std::string record =
        "line=${0##*/}; for a in \"$@\"; do line=\"$line [$a]\"; done; echo \"$line\" >> " + log_ + "\n";
    for (const char *tool : {"cat", "grep", "head"}) {
      write_file(scratch_ + "/bin/" + tool, "#!/bin/sh\n" + record + "exec /bin/" + tool + " \"$@\"\n");
    }
    write_file(scratch_ + "/bin/fdisk", "#!/bin/sh\n" + record + "exec /bin/cat " + scratch_ + "/fdisk.out\n");
    sh("chmod 755 " + scratch_ + "/bin/*");
    old_path_ = getenv("PATH");
    setenv("PATH", (scratch_ + "/bin:" + old_path_).c_str(), 1);
  }
  static void TearDownTestSuite() {
    setenv("PATH", old_path_.c_str(), 1);
    sh("rm -rf " + scratch_);
  }

  void SetUp() override {
    ASSERT_TRUE(in_private_mount_namespace()) << "fixtures are bound only inside the sandbox's namespace";
    unlink(log_.c_str());
    g_ulCpu_Clock_Rate = 0;
  }
  void TearDown() override {
    for (const std::string &target : mounted_) umount2(target.c_str(), MNT_DETACH);
    mounted_.clear();
    g_ulCpu_Clock_Rate = 0;
  }

  void bind_fixture(const std::string &target, const std::string &content) {
    const std::string file = scratch_ + "/fixture" + std::to_string(mounted_.size());
    write_file(file, content);
    ASSERT_EQ(0, mount(file.c_str(), target.c_str(), nullptr, MS_BIND, nullptr)) << target;
    mounted_.push_back(target);
  }
  void cpuinfo(const std::string &content) { bind_fixture("/proc/cpuinfo", content); }
  void meminfo(const std::string &content) { bind_fixture("/proc/meminfo", content); }

  struct Link {
    std::string name;
    std::string target;  // empty: a plain folder, not a link
  };
  void sys_block(const std::vector<Link> &entries) {
    ASSERT_EQ(0, mount("bsp-sys-block", "/sys/block", "tmpfs", 0, nullptr));
    mounted_.push_back("/sys/block");
    for (const Link &e : entries) {
      const std::string path = "/sys/block/" + e.name;
      if (e.target.empty()) {
        ASSERT_EQ(0, mkdir(path.c_str(), 0755));
      } else {
        ASSERT_EQ(0, symlink(e.target.c_str(), path.c_str()));
      }
    }
  }
  void fdisk_prints(const std::string &out) { write_file(scratch_ + "/fdisk.out", out); }
  std::string ran() { return read_file(log_); }
  static std::string scratch() { return scratch_; }

 private:
  static inline std::string scratch_, log_, old_path_;
  std::vector<std::string> mounted_;
};

const std::string kCpuPipeline = "cat [/proc/cpuinfo]\ngrep [cpu MHz]\nhead [-n] [1]\n";
const std::string kMemPipeline = "cat [/proc/meminfo]\ngrep [MemTotal]\n";
const std::string kAta = "../devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/";
const std::string kUsb = "../devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/";

// Lines of the record in any order (the stand-ins of one pipeline run side by side).
std::vector<std::string> sorted_lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(Probes, CpuClockIsProbedOnceThenServedFromTheCache) {
  cpuinfo("processor\t: 0\ncpu MHz\t\t: 1995.000\ncache size\t: 4096 KB\nprocessor\t: 1\ncpu MHz\t\t: 800.000\n");
  EXPECT_EQ(1995000u, BSP_GetCpuClock());
  EXPECT_EQ(1995000u, g_ulCpu_Clock_Rate);
  EXPECT_EQ(sorted_lines(kCpuPipeline), sorted_lines(ran()));
  EXPECT_EQ(1995000u, BSP_GetCpuClock());
  EXPECT_EQ(sorted_lines(kCpuPipeline), sorted_lines(ran())) << "the second call ran the pipeline again";
}

TEST_F(Probes, CpuClockTexts) {
  const std::string spaces54(54, ' ');
  struct Case {
    const char *what;
    std::string cpuinfo;
    uint32_t clock;
  } cases[] = {
      {"three decimals", "cpu MHz\t\t: 2394.454\n", 2394454},
      {"no cpu MHz line", "processor\t: 0\n", 0},
      {"empty", "", 0},
      {"no colon", "cpu MHz 1995.000\n", 0},
      {"63 characters after the colon", "cpu MHz\t\t:" + spaces54 + "1995.000\n", 1995000},
      {"64 characters after the colon", "cpu MHz\t\t:" + spaces54 + " 1995.000\n", 0},
      {"a long value", "cpu MHz\t\t: " + std::string(100, '7') + "\n", 0},
      {"not a number", "cpu MHz\t\t: fast\n", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    cpuinfo(c.cpuinfo);
    unlink((scratch() + "/ran.log").c_str());
    g_ulCpu_Clock_Rate = 0;
    EXPECT_EQ(c.clock, BSP_GetCpuClock());
    EXPECT_EQ(c.clock, g_ulCpu_Clock_Rate);
    if (c.clock == 0) {  // nothing cached: the next call probes again
      BSP_GetCpuClock();
      EXPECT_EQ(2 * sorted_lines(kCpuPipeline).size(), sorted_lines(ran()).size());
    }
    TearDown();
  }
}

TEST_F(Probes, MemorySizeIsRaisedToTheNextWholeGibibyte) {
  struct Case {
    std::string meminfo;
    uint32_t kib;
  } cases[] = {
      {"MemTotal:        2048000 kB\nMemFree:          100000 kB\n", 2097152},
      {"MemTotal:        4000000 kB\n", 4194304},
      {"MemTotal:        1048576 kB\n", 2097152},  // already whole: one more
      {"MemTotal:              0 kB\n", 1048576},
      {"MemFree:          100000 kB\n", 0x100000},  // no MemTotal line: no output
      {"MemTotal 2048000 kB\n", 0x100000},           // no colon
      {"MemTotal:" + std::string(60, ' ') + "2048000 kB\n", 0x100000},  // more than 63 after the colon
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.meminfo);
    meminfo(c.meminfo);
    unlink((scratch() + "/ran.log").c_str());
    EXPECT_EQ(c.kib, BSP_GetDDRRamSize());
    EXPECT_EQ(c.kib, BSP_GetDDRRamSize());
    EXPECT_EQ(sorted_lines(kMemPipeline + kMemPipeline), sorted_lines(ran())) << "probed on every call";
    TearDown();
  }
}

TEST_F(Probes, MemorySizeIsTheSameBeforeAndAfterTheClockProbe) {
  meminfo("MemTotal:        3000000 kB\n");
  cpuinfo("cpu MHz\t\t: 1000.000\n");
  EXPECT_EQ(3145728u, BSP_GetDDRRamSize());
  EXPECT_EQ(1000000u, BSP_GetCpuClock());
  EXPECT_EQ(3145728u, BSP_GetDDRRamSize());
}

// Every descriptor taken but `spare`, so a pipe (two descriptors) cannot be made.
std::vector<int> exhaust_descriptors(int spare) {
  struct rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 256);
  setrlimit(RLIMIT_NOFILE, &limit);
  std::vector<int> taken;
  for (;;) {
    int fd = open("/dev/null", O_RDONLY);
    if (fd < 0) break;
    taken.push_back(fd);
  }
  for (int i = 0; i < spare && !taken.empty(); ++i) {
    close(taken.back());
    taken.pop_back();
  }
  return taken;
}

TEST_F(Probes, PipelinesThatCannotStart) {
  cpuinfo("cpu MHz\t\t: 1995.000\n");
  meminfo("MemTotal:        4000000 kB\n");
  sys_block({{"sda", kAta + "sda"}});
  fdisk_prints("Disk /dev/sda: 8 GiB, 8589934592 bytes, 16777216 sectors\n");
  EXPECT_TRUE(in_child([this] {
    uint32_t clock = 1, kib = 1, capacity = 7, found = 1;
    std::vector<int> taken = exhaust_descriptors(1);  // room for the /sys/block folder only
    clock = BSP_GetCpuClock();
    kib = BSP_GetDDRRamSize();
    found = BSPSMS_GetSataCapacity(&capacity);
    for (int fd : taken) close(fd);
    EXPECT_EQ(0u, clock);
    EXPECT_EQ(0u, g_ulCpu_Clock_Rate);
    EXPECT_EQ(0x100000u, kib);
    EXPECT_EQ(1u, found) << "an fdisk that cannot start is a failure";
    EXPECT_EQ(0u, capacity);
    EXPECT_EQ("", ran()) << "nothing ran while no pipe could be made";
    // With descriptors back, the same probes succeed.
    EXPECT_EQ(1995000u, BSP_GetCpuClock());
    EXPECT_EQ(0u, BSPSMS_GetSataCapacity(&capacity));
    EXPECT_EQ(8192u, capacity);
  }));
}

TEST_F(Probes, SataDeviceIsTheAtaDisk) {
  char dev[10];
  struct Case {
    const char *what;
    std::vector<Link> entries;
    int result;
    const char *dev;
  } cases[] = {
      {"ATA disk and USB stick", {{"sda", kAta + "sda"}, {"sdb", kUsb + "sdb"}, {"loop0", "../devices/virtual/block/loop0"}}, 0, "sda"},
      {"USB stick only", {{"sdb", kUsb + "sdb"}}, 1, nullptr},
      {"no sd entries", {{"nvme0n1", kAta + "nvme0n1"}, {"loop0", "../devices/virtual/block/loop0"}}, 1, nullptr},
      {"only sda to sdd count", {{"sde", kAta + "sde"}}, 1, nullptr},
      {"a folder, not a link", {{"sdc", ""}}, 1, nullptr},
      {"a name too long for the device name", {{"sda1234567", kAta + "sda1234567"}}, 1, nullptr},
      {"the longest name that fits", {{"sda123456", kAta + "sda123456"}}, 0, "sda123456"},
      {"empty", {}, 1, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sys_block(c.entries);
    strcpy(dev, "untouched");
    EXPECT_EQ(c.result, BSPSMS_GetSataDevice(dev));
    EXPECT_STREQ(c.dev != nullptr ? c.dev : "untouched", dev);
    TearDown();
  }
}

TEST_F(Probes, TheLastAtaDiskInDirectoryOrderWins) {
  sys_block({{"sdc", kAta + "sdc"}, {"sdb", kUsb + "sdb"}, {"sdd", kAta + "sdd"}, {"sda", kAta + "sda"}});
  std::string last;
  DIR *dir = opendir("/sys/block");
  ASSERT_NE(nullptr, dir);
  while (dirent *e = readdir(dir))
    if (std::string(e->d_name) != "sdb" && e->d_name[0] == 's') last = e->d_name;
  closedir(dir);
  char dev[10] = {};
  EXPECT_EQ(0, BSPSMS_GetSataDevice(dev));
  EXPECT_EQ(last, dev);
}

TEST_F(Probes, SataCapacityFromTheFdiskDiskLine) {
  sys_block({{"sda", kAta + "sda"}, {"sdb", kUsb + "sdb"}});
  struct Case {
    std::string fdisk;
    uint32_t mib;
  } cases[] = {
      {"Disk /dev/sda: 465.76 GiB, 500107862016 bytes, 976773168 sectors\nDisk model: SSD\n"
       "Units: sectors of 1 * 512 = 512 bytes\n",
       476940},
      {"Units: sectors of 1 * 512 = 512 bytes\nDisk /dev/sda: 8 GiB, 8589934592 bytes, 16777216 sectors\n", 8192},
      {"Disk /dev/sda: 1 EiB, 9.9e+30 bytes, 1 sectors\n", 0xFFFFFFFF},  // more MiB than 32 bits hold
      {"fdisk: cannot open /dev/sda: No such file or directory\n", 0},
      {"", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fdisk);
    fdisk_prints(c.fdisk);
    unlink((scratch() + "/ran.log").c_str());
    uint32_t capacity = 7;
    EXPECT_EQ(0u, BSPSMS_GetSataCapacity(&capacity));
    EXPECT_EQ(c.mib, capacity);
    EXPECT_EQ("fdisk [-l] [/dev/sda]\n", ran());
  }
  EXPECT_EQ(1u, BSPSMS_GetSataCapacity(nullptr));
}

TEST_F(Probes, NoSataDiskNoCapacity) {
  sys_block({{"sdb", kUsb + "sdb"}});
  uint32_t capacity = 7;
  EXPECT_EQ(1u, BSPSMS_GetSataCapacity(&capacity));
  EXPECT_EQ(0u, capacity);
  EXPECT_EQ("", ran());
}

// A /sys/block entry name reaches a shell command: one with anything but letters and digits
// is passed over, so the shell never sees it.
TEST_F(Probes, HostileEntryNamesNeverReachTheShell) {
  const std::string cwd = scratch() + "/cwd";
  char here[4096];
  ASSERT_NE(nullptr, getcwd(here, sizeof here));
  ASSERT_EQ(0, chdir(cwd.c_str()));
  fdisk_prints("Disk /dev/sda: 8 GiB, 8589934592 bytes, 16777216 sectors\n");
  struct Case {
    std::vector<Link> entries;
    uint32_t result;
    const char *fdisk;
  } cases[] = {
      {{{"sda;>p", kAta + "sda"}}, 1, ""},
      {{{"sdb$(:>q)", kAta + "sdb"}}, 1, ""},
      {{{"sdc `:>r`", kAta + "sdc"}}, 1, ""},
      {{{"sda", kAta + "sda"}, {"sdd;>s", kAta + "sdd"}, {"sdd$(:>t)", kAta + "sdd"}}, 0, "fdisk [-l] [/dev/sda]\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.entries.back().name);
    sys_block(c.entries);
    unlink((scratch() + "/ran.log").c_str());
    char dev[10] = "untouched";
    uint32_t capacity = 7;
    EXPECT_EQ(static_cast<int>(c.result), BSPSMS_GetSataDevice(dev));
    EXPECT_EQ(c.result, BSPSMS_GetSataCapacity(&capacity));
    EXPECT_EQ(c.result == 0 ? 8192u : 0u, capacity);
    EXPECT_EQ(c.fdisk, ran());
    EXPECT_EQ(0, sh("[ -z \"$(ls -A " + cwd + ")\" ]")) << "a command ran from an entry name";
    TearDown();
  }
  ASSERT_EQ(0, chdir(here));
}

TEST_F(Probes, FixedBoardFacts) {
  EXPECT_EQ(0u, BSP_GetCPUFreq());
  EXPECT_EQ(0u, BSP_GetCpldNum());
  EXPECT_EQ(0u, BSP_GetSataPresent());
  EXPECT_EQ(0u, g_ulCpu_Freq_Rate);
  EXPECT_EQ(0u, board_need_backboard_id);
  uint32_t high = 5, low = 6;
  BSP_TimeBaseGet(&high, &low);
  EXPECT_EQ(5u, high);
  EXPECT_EQ(6u, low);
  char text[8] = "keep";
  EXPECT_EQ(0u, BDIF_GetBootRomVersionString(0, text));
  EXPECT_STREQ("keep", text);

  unsigned long leds = 9;
  EXPECT_EQ("\r\nBSP_GetLedNum  ulLedFlag  unexist!", capture_stdout([&] { EXPECT_EQ(1u, BSP_GetLedNum(2, &leds)); }));
  EXPECT_EQ(9ul, leds);
  EXPECT_EQ(0u, BSP_GetLedNum(0, &leds));
  EXPECT_EQ(0x1000000ul, leds);
  EXPECT_EQ(0u, BSP_GetLedNum(1, &leds));
  EXPECT_EQ(0x1000001ul, leds);
  EXPECT_EQ(1u, BSP_GetLedNum(1, nullptr));
}

TEST_F(Probes, FlashSizeOfTypeTwoFromTheFlashFront) {
  EXPECT_TRUE(in_child([] {
    g_feature_queries.clear();
    EXPECT_EQ(0u, BSP_GetFlashSize(1));
    EXPECT_EQ(0u, BSP_GetFlashSize(0));
    EXPECT_TRUE(g_feature_queries.empty()) << "other types do not ask the flash front";
    EXPECT_EQ(0u, BSP_GetFlashSize(2));  // no flash chip list yet
    EXPECT_EQ(0u, BSP_ApiGetFlashSize());
    EXPECT_EQ((std::vector<unsigned long>{1, 1}), g_feature_queries);

    FlashInfoData chips[2] = {};
    chips[0].u64Flag = 1;
    chips[0].u64FlashSize = 8u << 20;
    capture_stdout([&] { EXPECT_EQ(0u, FLASH_InitFlashModule(chips)); });
    EXPECT_EQ(8u, BSP_GetFlashSize(2));
    EXPECT_EQ(8u, BSP_ApiGetFlashSize());
  }));
}

TEST_F(Probes, BootLoaderVersionFromItsPieceFile) {
  reset_board();
  EXPECT_TRUE(in_child([] {
    capture_stdout(BSP_SoMonitorRoot);  // the pieces file system, on the sandboxed board
    char version[8];
    EXPECT_EQ(1u, BDIF_GetBootLoadVersionString(nullptr));
    g_boot_loader_name = nullptr;  // as on this board
    EXPECT_EQ(1u, BDIF_GetBootLoadVersionString(version));

    g_boot_loader_name = "bootload.bin";
    EXPECT_EQ(1u, BDIF_GetBootLoadVersionString(version)) << "no such piece";

    // ulFileCRC, ulFileLen, ulFileVer, little-endian.
    unsigned char header[12] = {0x11, 0x22, 0x33, 0x44, 0x00, 0x10, 0x00, 0x00, 0x3c, 0x2b, 0x1a, 0x00};
    unsigned long done = 0;
    char name[] = "bootload.bin";
    ASSERT_EQ(0u, BSP_VfsPiecesFileWrite(name, 0, header, sizeof header, &done));
    EXPECT_EQ(0u, BDIF_GetBootLoadVersionString(version));
    EXPECT_STREQ("1a2b3c", version);
    char through_api[8] = {};
    EXPECT_EQ(0u, TIV_StubBiosVersionStringGet(2, 0, through_api));
    EXPECT_STREQ("1a2b3c", through_api);

    // Eight hex digits leave no room for the terminator in eight bytes: no version.
    const unsigned char wide[4] = {0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(0u, BSP_VfsPiecesFileWrite(name, 8, const_cast<unsigned char *>(wide), 4, &done));
    EXPECT_EQ(1u, BDIF_GetBootLoadVersionString(version));
    EXPECT_STREQ("", version);
    g_boot_loader_name = nullptr;
  }));
}

}  // namespace
