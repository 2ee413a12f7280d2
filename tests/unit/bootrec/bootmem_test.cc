// The loader's boot parameter memory, each case in fresh loader processes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "bootrec_env.h"
#include "support/board_fs.h"
#include "tool_runner.h"

namespace bootrec_test {
namespace {

using bsp::test::read_file;
using bsp::test::write_file;

constexpr size_t kMiB = 0x100000;

bsp::test::ProcessResult loader(std::vector<std::string> args) {
  args.insert(args.begin(), "mem-init");
  return run_tool(Build::Loader, args);
}

void put16(std::string &file, size_t at, uint16_t v) {
  file[at] = static_cast<char>(v & 0xFF);
  file[at + 1] = static_cast<char>(v >> 8);
}

class BootMem : public ::testing::Test {
 protected:
  void SetUp() override {
    bsp::test::reset_board();
    mkdir("/mnt/flash", 0755);
  }
};

TEST_F(BootMem, FirstBootCreatesOneMebibyteOfZeros) {
  auto r = loader({"mem-count", "mem-search"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(value_of(r.out, "init"), 0);
  EXPECT_EQ(value_of(r.out, "count"), 0);
  EXPECT_EQ(value_of(r.out, "search"), 0);
  std::string file = read_file(kBootMemPath);
  EXPECT_EQ(file, std::string(kMiB, '\0'));
  struct stat st;
  ASSERT_EQ(stat(kBootMemPath, &st), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~static_cast<unsigned>(mask));
}

TEST_F(BootMem, CountsSurviveARestartAndTheFileIsNotRefilled) {
  ASSERT_EQ(loader({"mem-incr", "mem-incr", "mem-set-search=4"}).status, 0);
  std::string file = read_file(kBootMemPath);
  ASSERT_EQ(file.size(), kMiB);
  file[0x80000] = 'M';  // a byte the loader never touches
  write_file(kBootMemPath, file);

  auto r = loader({"mem-count", "mem-search"});
  EXPECT_EQ(value_of(r.out, "count"), 2);
  EXPECT_EQ(value_of(r.out, "search"), 4);
  std::string after = read_file(kBootMemPath);
  EXPECT_EQ(after, file);
  // Little-endian at their fixed offsets, nothing else written.
  std::string expect(kMiB, '\0');
  expect[0x1002] = 2;
  expect[0x3004] = 4;
  expect[0x80000] = 'M';
  EXPECT_EQ(after, expect);
}

TEST_F(BootMem, CounterOperations) {
  struct Case {
    const char *what;
    uint16_t count_before;
    std::vector<std::string> ops;
    long long count_after;
  };
  const Case cases[] = {
      {"increment", 2, {"mem-incr"}, 3},
      {"65535 wraps to 0", 0xFFFF, {"mem-incr"}, 0},
      {"clear", 3, {"mem-clear"}, 0},
      {"clear then increment", 3, {"mem-clear", "mem-incr"}, 1},
      {"high byte", 0x1FF, {"mem-incr"}, 0x200},
  };
  for (const Case &c : cases) {
    std::string file(kMiB, '\0');
    put16(file, 0x1002, c.count_before);
    file[0x1000] = 0x5A;  // the library's checksum bytes around the count stay as they are
    file[0x1004] = 0x6B;
    write_file(kBootMemPath, file);
    std::vector<std::string> args = c.ops;
    args.push_back("mem-count");
    auto r = loader(args);
    EXPECT_EQ(value_of(r.out, "count"), c.count_after) << c.what;
    std::string expect = file;
    put16(expect, 0x1002, static_cast<uint16_t>(c.count_after));
    EXPECT_EQ(read_file(kBootMemPath), expect) << c.what;
  }
}

TEST_F(BootMem, SearchIndexIsThe32BitWordAfterTheChecksum) {
  ASSERT_EQ(loader({"mem-set-search=0x01020304"}).status, 0);
  std::string file = read_file(kBootMemPath);
  EXPECT_EQ(file.substr(0x3000, 16), std::string("\0\0\0\0\x04\x03\x02\x01\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(value_of(loader({"mem-search"}).out, "search"), 0x01020304);
}

// Without the flash volume the file cannot be opened: an error record, counters read 0 and
// updates are dropped, and the boot goes on.
TEST_F(BootMem, NoFlashVolumeGivesAnErrorRecordAndInertCounters) {
  rmdir("/mnt/flash");
  auto r = loader({"mem-incr", "mem-set-search=3", "mem-count", "mem-search"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(value_of(r.out, "init"), -1);
  EXPECT_EQ(value_of(r.out, "count"), 0);
  EXPECT_EQ(value_of(r.out, "search"), 0);
  EXPECT_NE(r.err.find("[error]\r\n Can not open bootMem.dat errno = No such file or directory\r\n"),
            std::string::npos)
      << r.err;
}

TEST_F(BootMem, FullVolumeGivesTheWriteErrorRecord) {
  ASSERT_EQ(bsp::test::sh("mount -t tmpfs -o size=64k bootrec-small /mnt/flash"), 0);
  auto r = loader({"mem-incr", "mem-count"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(value_of(r.out, "init"), -1);
  EXPECT_EQ(value_of(r.out, "count"), 0);
  EXPECT_NE(r.err.find("[error]\r\n Write  bootMem.dat errno = No space left on device\r\n"), std::string::npos)
      << r.err;
  bsp::test::sh("umount /mnt/flash");
}

// A file cut short is used as it is: a record past its end is never touched (no fault, no
// growth); a record inside it works.
TEST_F(BootMem, ShortFileTouchesOnlyTheRecordsItHolds) {
  struct Case {
    size_t size;
    bool boot_info_inside;
    bool search_log_inside;
  };
  const Case cases[] = {{1, false, false},      {0x1000, false, false}, {0x100F, false, false},
                        {0x1010, true, false},  {0x3000, true, false},  {0x300F, true, false},
                        {0x3010, true, true},   {kMiB - 1, true, true}};
  for (const Case &c : cases) {
    std::string file(c.size, '\x11');
    if (c.size >= 0x1004) put16(file, 0x1002, 5);
    write_file(kBootMemPath, file);
    auto r = loader({"mem-incr", "mem-set-search=9", "mem-count", "mem-search"});
    EXPECT_EQ(r.status, 0) << c.size;
    EXPECT_EQ(value_of(r.out, "init"), 0) << c.size;
    EXPECT_EQ(value_of(r.out, "count"), c.boot_info_inside ? 6 : 0) << c.size;
    EXPECT_EQ(value_of(r.out, "search"), c.search_log_inside ? 9 : 0) << c.size;
    std::string after = read_file(kBootMemPath);
    EXPECT_EQ(after.size(), c.size);
    std::string expect = file;
    if (c.boot_info_inside) put16(expect, 0x1002, 6);
    if (c.search_log_inside) expect.replace(0x3004, 4, std::string("\x09\0\0\0", 4));
    EXPECT_EQ(after == expect, true) << c.size;
  }
}

}  // namespace
}  // namespace bootrec_test
