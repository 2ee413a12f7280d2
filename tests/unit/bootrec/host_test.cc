// The reference host's boot records: the library's view lives apart from the loader's counters,
// and "boot is good" clears the loader's boot-attempt count.
#include <bsp/bootparam.h>
#include <bsp/loadstate.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>

#include "boot_records.h"
#include "bootrec_env.h"
#include "support/board_fs.h"
#include "support/capture.h"

namespace bootrec_test {
namespace {

using bsp::test::read_file;
using bsp::test::write_file;

constexpr size_t kMiB = 0x100000;

uint32_t le32(const std::string &s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

// A file as the loader leaves it after some boots: count 2, search index 4.
std::string loader_file() {
  std::string file(kMiB, '\0');
  file[0x1002] = 2;
  file[0x3004] = 4;
  return file;
}

bsp::test::ProcessResult host(std::vector<std::string> args) {
  std::vector<std::string> argv;
  if (const char *emu = BOOTREC_EMULATOR; emu[0] != '\0') argv.push_back(emu);
  argv.push_back(bsp::test::bsp_shell_path());
  argv.insert(argv.end(), args.begin(), args.end());
  return bsp::test::run_process(argv);
}

class Host : public ::testing::Test {
 protected:
  void SetUp() override {
    bsp::test::reset_board();
    mkdir("/mnt/flash", 0755);
  }
  void TearDown() override {
    g_pstBootParaFlag = nullptr;
    g_u32SearchPktCnt = nullptr;
  }
};

TEST_F(Host, BootGoodClearsOnlyTheLoadersCount) {
  std::string file = loader_file();
  file[0x1002] = 3;
  file[0x1003] = 1;
  write_file(kBootMemPath, file);
  auto r = host({"--boot-good"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string expect = file;
  expect[0x1002] = 0;
  expect[0x1003] = 0;
  EXPECT_EQ(read_file(kBootMemPath) == expect, true);
}

TEST_F(Host, WithoutBootGoodTheCountStays) {
  write_file(kBootMemPath, loader_file());
  ASSERT_EQ(host({}).status, 0);
  EXPECT_EQ(read_file(kBootMemPath) == loader_file(), true);
}

TEST_F(Host, BootGoodWithoutTheFileHasNothingToClear) {
  auto r = host({"--boot-good"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(bsp::test::file_exists(kBootMemPath));
}

// Everything the library does to its records leaves the loader's 16 bytes at 0x1000 and 0x3000
// as they were: a library check can no longer turn the count into 0xFFFF.
TEST_F(Host, LibraryRecordsDoNotOverlapTheLoadersCounters) {
  start_storage();
  write_file(kBootMemPath, loader_file());
  bsp::host::point_boot_records(dlopen(nullptr, RTLD_NOW));
  ASSERT_NE(g_pstBootParaFlag, nullptr);
  ASSERT_NE(g_u32SearchPktCnt, nullptr);

  EXPECT_EQ(BSP_GetLoadFailTimes(), 0u);
  EXPECT_EQ(BSP_SetRollbackReason(7), 0u);
  EXPECT_EQ(BSP_SetRollbackFlag(1), 0u);
  BSP_SetSearchPktCnt(6);
  std::string out = bsp::test::capture_stdout(
      [] { EXPECT_EQ(BSP_SaveBootFileName(reinterpret_cast<signed char *>(const_cast<char *>("flash:/h.cc"))), 0u); });

  std::string file = read_file(kBootMemPath);
  ASSERT_EQ(file.size(), kMiB);
  EXPECT_EQ(file.substr(0x1000, 16), loader_file().substr(0x1000, 16));
  EXPECT_EQ(file.substr(0x3000, 16), loader_file().substr(0x3000, 16));
  // The library's records, valid, where the host put them.
  EXPECT_EQ(le32(file, 0x2004), 0u);  // count cleared by the choice
  EXPECT_EQ(le32(file, 0x2008), 1u);
  EXPECT_EQ(le32(file, 0x200C), 7u);
  EXPECT_EQ(le32(file, 0x2000), ~(0u + 1u + 7u));
  EXPECT_EQ(le32(file, 0x4004), 0u);
  EXPECT_EQ(le32(file, 0x4000), ~0u);
}

TEST_F(Host, WithoutTheFileTheRecordsLiveInTheHost) {
  bsp::host::point_boot_records(dlopen(nullptr, RTLD_NOW));
  ASSERT_NE(g_pstBootParaFlag, nullptr);
  ASSERT_NE(g_u32SearchPktCnt, nullptr);
  EXPECT_EQ(BSP_SetRollbackReason(3), 0u);
  BOOTINFO info;
  EXPECT_EQ(BSP_GetBootinfo(&info), 0u);
  EXPECT_EQ(info.u32RollbackReason, 3u);
  EXPECT_FALSE(bsp::test::file_exists(kBootMemPath));
}

}  // namespace
}  // namespace bootrec_test
