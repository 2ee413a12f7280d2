// The package reader: subfile heads, EFS blocks, .efs files and flash volume names.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "loader/loader.h"
#include "loader_board.h"

namespace bsp::test {
namespace {

using Package = LoaderBoard;
const char *kPkt = "/mnt/flash/t.cc";

// A package of raw heads: count field, then (name, length, offset) triples, padded to size.
std::string raw_package(uint32_t count, const std::vector<std::tuple<std::string, uint32_t, uint32_t>> &heads,
                        size_t size) {
  std::string p(std::max<size_t>(size, pkg::kSubHeadsOffset + pkg::kSubHeadSize * heads.size()), '\0');
  pkg::put_le32(p, pkg::kHeadOffset + pkg::kCountField, count);
  for (size_t i = 0; i < heads.size(); ++i) {
    size_t at = pkg::kSubHeadsOffset + pkg::kSubHeadSize * i;
    auto &[name, length, offset] = heads[i];
    memcpy(&p[at], name.data(), std::min<size_t>(name.size(), pkg::kSubHeadSize));
    pkg::put_le32(p, at + pkg::kLengthField, length);
    pkg::put_le32(p, at + pkg::kOffsetField, offset);
  }
  return p;
}

struct Found {
  int32_t rc;
  uint64_t offset;
  uint32_t length;
  std::string out;
};

Found find(const char *name) {
  Found f{-2, 0, 0, ""};
  f.out = capture_stdout([&] { f.rc = Boot_GetSubFileInfo(kPkt, name, &f.offset, &f.length); });
  return f;
}

TEST_F(Package, FindsTheSecondOfThreeHeads) {
  std::string p = raw_package(3, {{"bzImage", 0x100, 0x1000}, {"rootfs.gz", 0x1000, 0x2000}, {"app_squashfs", 0x80, 0x3100}},
                              0x3200);
  memcpy(&p[0x313C + 64], "\x34\x12", 2);
  write_file(kPkt, p);
  Found f = find("rootfs.gz");
  EXPECT_EQ(f.rc, 0);
  EXPECT_EQ(f.offset, 0x2180u);
  EXPECT_EQ(f.length, 0x1000u);
  uint8_t efs[68];
  EXPECT_EQ(Boot_GetSubFileEfsInfo(kPkt, "rootfs.gz", efs), 0);
  EXPECT_EQ(efs[64] | (efs[65] << 8), 0x1234);  // read at 0x313C
}

TEST_F(Package, NameMatchingIsExactAndFirstWins) {
  std::string p = raw_package(4, {{"bzImage2", 10, 1}, {"BZIMAGE", 20, 2}, {"bzImage", 30, 3}, {"bzImage", 40, 4}}, 0);
  write_file(kPkt, p);
  Found f = find("bzImage");
  EXPECT_EQ(f.rc, 0);
  EXPECT_EQ(f.length, 30u);
  EXPECT_EQ(f.offset, 384u + 3);
  f = find("bzImag");
  EXPECT_EQ(f.rc, -1);
  EXPECT_EQ(f.out, "");  // no match is the caller's to report
}

TEST_F(Package, CountIsLittleEndianAtAnOddOffset) {
  std::string p = raw_package(0, {{"a", 1, 1}, {"b", 2, 2}, {"c", 3, 3}}, 0);
  memcpy(&p[599], "\x02\x00\x00\x00", 4);
  write_file(kPkt, p);
  EXPECT_EQ(find("b").rc, 0);
  EXPECT_EQ(find("c").rc, -1);  // beyond the count
}

TEST_F(Package, HeadWithoutTerminatorMatchesNothing) {
  std::string name(114, 'n');
  std::string p = raw_package(1, {{name, 5, 5}}, 0);
  write_file(kPkt, p);
  EXPECT_EQ(find(name.c_str()).rc, -1);
  EXPECT_EQ(find(name.substr(0, 113).c_str()).rc, -1);
}

TEST_F(Package, ShortOrOvercountedFilesFailWithTheirMessages) {
  struct Case {
    const char *what;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"shorter than the head", std::string(600, '\0'), "Read Software Head Info Error\r\n"},
      {"700 bytes", raw_package(0, {}, 700), "Read Software Subfile Head Info Error\r\n"},
      {"767 bytes", raw_package(0, {}, 767), "Read Software Subfile Head Info Error\r\n"},
      {"count past the end", raw_package(5, {{"a", 1, 1}}, 0), "Find Subfile,Read Subfile Head Info Error\r\n"},
      {"huge count", raw_package(0xFFFFFFFF, {{"a", 1, 1}}, 4096), "Find Subfile,Read Subfile Head Info Error\r\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    write_file(kPkt, c.bytes);
    Found f = find("missing");
    EXPECT_EQ(f.rc, -1);
    EXPECT_EQ(f.out, "\r\n Error :" + c.message);
  }
  // A real head is still found however large the count.
  write_file(kPkt, raw_package(0xFFFFFFFF, {{"a", 1, 1}}, 4096));
  EXPECT_EQ(find("a").rc, 0);
}

// What is named like a package but is no regular file is refused as a package that cannot be
// opened, by the reader and by the update, and nothing is written. The FIFO has a writer (this
// test), so that an open that waits for one cannot hang here; a read of it would fail.
TEST_F(Package, OnlyARegularFileIsAPackage) {
  set_cmdline(kCmdlineA);
  const char *fifo = "/mnt/flash/fifo.cc", *dir = "/mnt/flash/dir.cc", *dev = "/mnt/flash/dev.cc";
  ASSERT_EQ(mkfifo(fifo, 0644), 0);
  int writer = open(fifo, O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(mkdir(dir, 0755), 0);
  ASSERT_EQ(symlink("/dev/zero", dev), 0);
  for (const char *path : {fifo, dir, dev}) {
    SCOPED_TRACE(path);
    std::string open_failed = "\r\n Error :Open Startup Software " + std::string(path) + " Fail \r\n";
    uint64_t offset = 0;
    uint32_t length = 0;
    std::string out = capture_stdout([&] { EXPECT_EQ(Boot_GetSubFileInfo(path, "bzImage", &offset, &length), -1); });
    EXPECT_EQ(out, open_failed);
    uint8_t efs[68];
    out = capture_stdout([&] { EXPECT_EQ(Boot_GetSubFileEfsInfo(path, "bzImage", efs), -1); });
    EXPECT_EQ(out, open_failed + "\r\n Error :Get Packet " + path + " SubFile Offset Fail.\r\n");
    out = capture_stdout([&] { EXPECT_EQ(Boot_UpdateSubfile(path, "bzImage"), -1); });
    EXPECT_EQ(out, open_failed + "\r\n Error :Get SubFile bzImage Info Fail\r\n");
    EXPECT_EQ(Bootload_GetFileEfsInfo(path, efs), -1);
  }
  EXPECT_EQ(sh("[ -z \"$(ls -A /boot/boot_B)\" ]"), 0);
  close(writer);
}

TEST_F(Package, EmptyPackageOfExactly768BytesHasNoSubfile) {
  write_file(kPkt, raw_package(0, {}, 768));
  Found f = find("a");
  EXPECT_EQ(f.rc, -1);
  EXPECT_EQ(f.out, "");
}

TEST_F(Package, MissingPackageAndNullArguments) {
  Found f = find("a");
  EXPECT_EQ(f.rc, -1);
  EXPECT_EQ(f.out, "\r\n Error :Open Startup Software /mnt/flash/t.cc Fail \r\n");
  uint64_t o;
  uint32_t l;
  std::string out = capture_stdout([&] { EXPECT_EQ(Boot_GetSubFileInfo(kPkt, "a", nullptr, &l), -1); });
  EXPECT_EQ(out, "\r\n Error :Bootloader Get Pkt SquashFsOffset Input is Null \r\n");
  out = capture_stdout([&] { EXPECT_EQ(Boot_GetSubFileInfo(nullptr, "a", &o, &l), -1); });
  EXPECT_EQ(out, "\r\n Error :Bootloader Get Pkt SquashFsOffset Input is Null \r\n");
}

TEST_F(Package, EfsBlockOfMalformedSubfiles) {
  struct Case {
    const char *what;
    uint32_t length, offset;
  } cases[] = {
      {"beyond the end", 0x100, 0x100000},
      {"length past the end", 0x7FFFFFFF, 0x300},
      {"shorter than an EFS block", 10, 0x300},
      {"offset that wraps", 0x100, 0xFFFFFFF0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    write_file(kPkt, raw_package(1, {{"rootfs.gz", c.length, c.offset}}, 0x1000));
    uint8_t efs[68];
    std::string out;
    out = capture_stdout([&] { EXPECT_EQ(Boot_GetSubFileEfsInfo(kPkt, "rootfs.gz", efs), -1); });
    EXPECT_EQ(out, "\r\n Error :Read EFS fail.\r\n");
  }
  std::string out;
  uint8_t efs[68];
  out = capture_stdout([&] { EXPECT_EQ(Boot_GetSubFileEfsInfo(kPkt, "bzImage", efs), -1); });
  EXPECT_EQ(out, "\r\n Error :Get Packet /mnt/flash/t.cc SubFile Offset Fail.\r\n");
  out = capture_stdout([&] { EXPECT_EQ(Boot_GetSubFileEfsInfo(kPkt, nullptr, efs), -1); });
  EXPECT_EQ(out, "\r\n Error :Boot_GetSubFileEfsInfo of Parameter is wrong\r\n");
}

TEST_F(Package, BuiltPackageRoundTrips) {
  write_file(kPkt, pkg::build({{"bzImage", "kernel", 11}, {"rootfs.gz", std::string(5000, 'r'), 22}}));
  uint8_t efs[68];
  ASSERT_EQ(Boot_GetSubFileEfsInfo(kPkt, "rootfs.gz", efs), 0);
  EXPECT_EQ(efs[64] | (efs[65] << 8), 22);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(efs), 68), pkg::efs_block(22, "rootfs.gz"));
}

TEST_F(Package, EfsFileIsItsLast68Bytes) {
  std::string bytes;
  for (int i = 0; i < 100; ++i) bytes += static_cast<char>(i);
  write_file("/mnt/flash/x.efs", bytes);
  uint8_t efs[68];
  ASSERT_EQ(Bootload_GetFileEfsInfo("/mnt/flash/x.efs", efs), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(efs), 68), bytes.substr(32));

  write_file("/mnt/flash/short.efs", std::string(67, 's'));
  std::string out = capture_stdout([&] {
    EXPECT_EQ(Bootload_GetFileEfsInfo("/mnt/flash/short.efs", efs), -1);
    EXPECT_EQ(Bootload_GetFileEfsInfo("/mnt/flash/none.efs", efs), -1);
    EXPECT_EQ(Bootload_GetFileEfsInfo(nullptr, efs), -1);
  });
  EXPECT_EQ(out, "");
}

TEST_F(Package, SaveFileToImg) {
  EXPECT_EQ(Boot_SaveFileToImg("abc", 3, "/mnt/flash/img"), 0);
  EXPECT_EQ(read_file("/mnt/flash/img"), "abc");
  EXPECT_EQ(Boot_SaveFileToImg("x", 1, "/mnt/flash/img"), 0);
  EXPECT_EQ(read_file("/mnt/flash/img"), "x");  // truncated first

  std::string out = capture_stdout([] { EXPECT_EQ(Boot_SaveFileToImg("abc", 0, "/mnt/flash/img"), -1); });
  EXPECT_EQ(out, "\r\n Error :/mnt/flash/img Write failed \r\n");
  EXPECT_TRUE(file_exists("/mnt/flash/img"));
  EXPECT_EQ(read_file("/mnt/flash/img"), "");

  out = capture_stdout([] { EXPECT_EQ(Boot_SaveFileToImg("abc", 3, "/mnt/nodir/img"), -1); });
  EXPECT_EQ(out, "\r\n Error :/mnt/nodir/img Open failed \r\n");
}

TEST_F(Package, FlashVolumeNamesBecomeLinuxPaths) {
  struct Case {
    std::string name;
    int32_t rc;
    std::string path;
    bool info;
  } cases[] = {
      {"flash:/zq.cc", 0, "/mnt/flash/zq.cc", false},
      {"flash:/", 0, "/mnt/flash/", false},
      {"Flash:/zq.cc", -1, "", true},
      {"/mnt/flash/zq.cc", -1, "", true},
      {"", -1, "", true},
      {"flash:/" + std::string(243, 'n'), 0, "/mnt/flash/" + std::string(243, 'n'), false},
      {"flash:/" + std::string(244, 'n'), -1, "", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    sh("rm -f /mnt/flash/boot_log.txt");
    char path[256] = {0};
    int32_t rc = -2;
    capture_stdout([&] { rc = Boot_VFSFilePathIntoLinuxFilePath(c.name.c_str(), path); });
    EXPECT_EQ(rc, c.rc);
    if (rc == 0) {
      EXPECT_EQ(std::string(path), c.path);
    }
    EXPECT_EQ(boot_log(), c.info ? "\r\n Info :VFSFilePath is not flash:/" : "");
  }
  char path[256];
  EXPECT_EQ(Boot_VFSFilePathIntoLinuxFilePath(nullptr, path), -1);
  EXPECT_EQ(Boot_VFSFilePathIntoLinuxFilePath("flash:/a.cc", nullptr), -1);
}

}  // namespace
}  // namespace bsp::test
