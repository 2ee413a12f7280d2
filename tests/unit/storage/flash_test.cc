// Flash front over the flash emulation file, in the build this binary links.
#include <bsp/flash.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "storage_flavor.h"
#include "support/board_fs.h"
#include "syscall_faults.h"

using namespace storage_test;

namespace {

char *path() { return const_cast<char *>(kFlashFile); }

class FlashFront : public testing::Test {
 protected:
  void SetUp() override {
    fresh_board();
    FLASH_InitFlashDrv();
  }
};

TEST_F(FlashFront, CreatesZeroFileWithOwnerOnlyModeAndKeepsAnExistingOne) {
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), kFlashSize));
  std::string bytes = bsp::test::read_file(kFlashFile);
  ASSERT_EQ(kFlashSize, bytes.size());
  EXPECT_EQ(std::string(kFlashSize, '\0'), bytes);
  struct stat st;
  ASSERT_EQ(0, stat(kFlashFile, &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  put_flash_bytes(0x1234, "mark");
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), kFlashSize));
  EXPECT_EQ("mark", flash_bytes(0x1234, 4));
  EXPECT_EQ(kFlashSize, bsp::test::read_file(kFlashFile).size());
  // An existing file is used whatever its length, and whatever length is asked.
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), 0));
  EXPECT_EQ(kFlashSize, bsp::test::read_file(kFlashFile).size());
}

// What /mnt/misc holds, one name per line, sorted.
std::string misc_listing() {
  bsp::test::sh("ls -A /mnt/misc > /mnt/listing");
  return bsp::test::read_file("/mnt/listing");
}

std::string pattern(size_t len) {
  std::string s(len, '\0');
  for (size_t i = 0; i < len; ++i) s[i] = static_cast<char>('a' + i % 23);
  return s;
}

// A new file appears at its path only whole, and nothing is left beside it; what a cut-off
// creation left there (an earlier build's fixed name or a temporary one) is cleared away.
TEST_F(FlashFront, CreationLeavesNoPartialFile) {
  bsp::test::write_file("/mnt/misc/flashfile.new", "left over from a power cut");
  bsp::test::write_file("/mnt/misc/flashfile.new.Xq3z9A", "left over from a power cut");
  bsp::test::write_file("/mnt/misc/flashfile.keep", "an operator's copy");
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), kFlashSize));
  EXPECT_EQ(std::string(kFlashSize, '\0'), bsp::test::read_file(kFlashFile));
  EXPECT_EQ("flashfile\nflashfile.keep\n", misc_listing());
}

// An existing file shorter than its declared length is extended with zeros, keeping its bytes;
// a longer one is left as it is.
TEST_F(FlashFront, ShortExistingFileIsExtendedKeepingItsContent) {
  const std::string content = pattern(0x12345);
  bsp::test::write_file(kFlashFile, content);
  chmod(kFlashFile, 0600);
  Output o = capture([] { EXPECT_EQ(0u, FLASH_CreateFlashFile(path(), kFlashSize)); });
  EXPECT_EQ("", o.all());
  const std::string bytes = bsp::test::read_file(kFlashFile);
  ASSERT_EQ(kFlashSize, bytes.size());
  EXPECT_EQ(content, bytes.substr(0, content.size()));
  EXPECT_EQ(std::string(kFlashSize - content.size(), '\0'), bytes.substr(content.size()));
  EXPECT_EQ("flashfile\n", misc_listing());

  bsp::test::write_file(kFlashFile, content);
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), 0x1000));
  EXPECT_EQ(content, bsp::test::read_file(kFlashFile));
}

// Anything at the path that cannot be opened as a regular file is reported, never taken as a
// flash file and never replaced; only a missing file is created.
TEST_F(FlashFront, PathsThatAreNotAFlashFileAreReported) {
  struct Case {
    const char *what;
    const char *make;
  };
  const Case cases[] = {
      {"a directory", "mkdir /mnt/misc/flashfile"},
      {"a link to itself", "ln -s flashfile /mnt/misc/flashfile"},
      {"a link to a directory", "mkdir /mnt/misc/d && ln -s d /mnt/misc/flashfile"},
      {"a pipe", "mkfifo /mnt/misc/flashfile"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fresh_board();
    ASSERT_EQ(0, bsp::test::sh(c.make));
    bsp::test::sh("ls -lA /mnt/misc > /mnt/before");
    const std::string before = bsp::test::read_file("/mnt/before");
    uint32_t rc = 0;
    Output o = capture([&] { rc = FLASH_CreateFlashFile(path(), kFlashSize); });
    EXPECT_EQ(kFail, rc);
    EXPECT_EQ("create file /mnt/misc/flashfile failed  \n", o.out);
    bsp::test::sh("ls -lA /mnt/misc > /mnt/after");
    EXPECT_EQ(before, bsp::test::read_file("/mnt/after"));
  }
}

// A flush that fails is a failed creation: nothing is installed.
TEST_F(FlashFront, CreationWhoseFlushFailsInstallsNothing) {
  uint32_t rc = 0;
  {
    CallFails fsync_fails(Call::Fsync, EIO);
    capture([&] { rc = FLASH_CreateFlashFile(path(), kFlashSize); });
  }
  EXPECT_EQ(kFail, rc);
  EXPECT_EQ("", misc_listing());
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), kFlashSize));
  EXPECT_EQ(kFlashSize, bsp::test::read_file(kFlashFile).size());
}

// /mnt/misc on a small file system of its own, too small for the flash emulation file.
class FullMisc : public FlashFront {
 protected:
  void SetUp() override {
    FlashFront::SetUp();
    ASSERT_EQ(0, bsp::test::sh("mount -t tmpfs -o size=1m bsp-small-misc /mnt/misc"));
  }
  void TearDown() override { bsp::test::sh("umount /mnt/misc"); }
};

TEST_F(FullMisc, ShortCreationFailsAndInstallsNothing) {
  uint32_t rc = 0;
  Output o = capture([&] { rc = FLASH_CreateFlashFile(path(), kFlashSize); });
  EXPECT_EQ(kFail, rc);
  EXPECT_EQ(0u, o.out.find(" flash file init failed ,acture length :")) << o.out;
  EXPECT_EQ("", misc_listing());
  // Every later start refuses it the same way, rather than taking a short file.
  capture([&] { rc = FLASH_CreateFlashFile(path(), kFlashSize); });
  EXPECT_EQ(kFail, rc);
  EXPECT_EQ("", misc_listing());
}

TEST_F(FullMisc, ShortExistingFileThatCannotGrowFailsAndKeepsItsContent) {
  const std::string content = pattern(0x3000);
  bsp::test::write_file(kFlashFile, content);
  uint32_t rc = 0;
  Output o = capture([&] { rc = FLASH_CreateFlashFile(path(), kFlashSize); });
  EXPECT_EQ(kFail, rc);
  EXPECT_EQ(0u, o.out.find(" flash file init failed ,acture length :")) << o.out;
  EXPECT_EQ(content, bsp::test::read_file(kFlashFile).substr(0, content.size()));
  EXPECT_EQ("flashfile\n", misc_listing());
}

TEST_F(FlashFront, CreationLimits) {
  struct Case {
    const char *file;
    unsigned size;
    uint32_t result;
    std::string message;
  };
  const Case cases[] = {
      {"/mnt/misc/eight", 0x800000, 0, ""},
      {"/mnt/misc/over", 0x800001, kFail, "invalid flash file path or length[file_size8388609] \n"},
      {nullptr, 16, kFail, "invalid flash file path or length[file_size16] \n"},
      {"/mnt/misc/zero", 0, kFail, ""},
      {"/mnt/nodir/file", 16, kFail, "create file /mnt/nodir/file failed  \n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file ? c.file : "(null)");
    uint32_t rc = 0;
    Output o = capture([&] { rc = FLASH_CreateFlashFile(const_cast<char *>(c.file), c.size); });
    EXPECT_EQ(c.result, rc);
    EXPECT_EQ(c.message, o.out);
    if (c.file != nullptr) {
      EXPECT_EQ(c.result == 0, bsp::test::file_exists(c.file));
    }
  }
  EXPECT_EQ(0x800000u, bsp::test::read_file("/mnt/misc/eight").size());
}

TEST_F(FlashFront, ReadsWritesAndExtends) {
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), 0x1000));
  const std::string data = "flash front data";
  EXPECT_EQ(0u, FLASH_WriteFlash(0x100, data.data(), data.size()));
  std::string back(data.size(), '\0');
  EXPECT_EQ(0u, FLASH_ReadFlash(0x100, back.data(), back.size()));
  EXPECT_EQ(data, back);
  // The file position takes the low 32 bits of the offset.
  EXPECT_EQ(0u, FLASH_ReadFlash(0x100000100ull, back.data(), back.size()));
  EXPECT_EQ(data, back);

  // A write past the end extends the file; a read past the end fails.
  EXPECT_EQ(0u, FLASH_WriteFlash(0x1ffc, "tail", 4));
  EXPECT_EQ(0x2000u, bsp::test::read_file(kFlashFile).size());
  char buf[8];
  Output o = capture([&] { EXPECT_EQ(kFail, FLASH_ReadFlash(0x1ffc, buf, 8)); });
  EXPECT_EQ(message("read /mnt/misc/flashfile device failed! !!\n"), o.messages());
}

TEST_F(FlashFront, ArgumentFailures) {
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), 0x1000));
  char buf[4];
  for (uint64_t len : {4ull, 0ull}) {
    Output o = capture([&] { EXPECT_EQ(kFail, FLASH_ReadFlash(0, len == 0 ? buf : nullptr, len)); });
    EXPECT_EQ(message("\n\r FLASH_ReadFlash failed, NULL == pOutBuf or readlen ==0.\n"), o.messages());
  }
  Output o = capture([&] {
    EXPECT_EQ(kFail, FLASH_WriteFlash(0, nullptr, 4));
    EXPECT_EQ(kFail, FLASH_WriteFlash(0, buf, 0));
    // A length with high bits can never be transferred in full.
    EXPECT_EQ(kFail, FLASH_WriteFlash(0, buf, 0x100000004ull));
  });
  EXPECT_EQ("", o.all());
}

TEST_F(FlashFront, MissingMtdListLeavesDescriptionEmpty) {
  MTD_INFORMATION info{};
  EXPECT_EQ(kFail, FLASH_GetMtdInfo(&info));
  EXPECT_EQ(FLASH_NAND, info.enFlashType);
  EXPECT_EQ(nullptr, info.pPartitionHead);
  EXPECT_EQ(kFail, FLASH_InitFlashDrv());
  EXPECT_EQ(0u, FLASH_GetFlashSize());
  // The front still works on the flash emulation file.
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), 0x100));
  EXPECT_EQ(0u, FLASH_WriteFlash(0, "ok", 2));
}

#ifndef STORAGE_TEST_LOADER

TEST_F(FlashFront, EraseRanges) {
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), kFlashSize));
  struct Case {
    uint64_t offset, len;
    uint32_t result;
  };
  const Case cases[] = {
      {kFlashSize - 1, 1, 0},
      {0x1000, 0x20, 0},
      {kFlashSize, 1, 1},
      {0, 0, 1},
      {0, 0x100000000ull, 1},
      {0x10, 0xFFFFFFFFFFFFFFF8ull, 1},  // offset + length wraps in 64 bits
      {kFlashSize + 1, 0, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.offset << "+" << c.len);
    EXPECT_EQ(c.result, FLASH_EraseFlash(c.offset, c.len));
  }
  EXPECT_EQ("\xff", flash_bytes(kFlashSize - 1, 1));
  EXPECT_EQ(std::string(0x20, '\xff'), flash_bytes(0x1000, 0x20));
  EXPECT_EQ(std::string(1, '\0'), flash_bytes(0x1020, 1));
}

TEST_F(FlashFront, AdaptLayerCarriesOffsetsInPointers) {
  ASSERT_EQ(0u, FLASH_CreateFlashFile(path(), kFlashSize));
  auto at = [](uintptr_t off) { return reinterpret_cast<unsigned char *>(off); };
  unsigned char data[4] = {1, 2, 3, 4}, back[4] = {};
  EXPECT_EQ(0u, FLASH_AdaptFlashWrite(at(0x3000), data, 4));
  EXPECT_EQ(0u, FLASH_AdaptFlashRead(back, at(0x3000), 4));
  EXPECT_EQ(0, memcmp(data, back, 4));
  EXPECT_EQ(0u, FLASH_AdaptFlashWriteDirect(at(0x3004), data, 4));
  EXPECT_EQ(0u, FLASH_DirectWriteFlash(0x3008, data, 4));
  EXPECT_EQ(0u, FLASH_AdaptFlashErase(at(0x3000), 4));
  EXPECT_EQ(std::string("\xff\xff\xff\xff\x01\x02\x03\x04\x01\x02\x03\x04", 12), flash_bytes(0x3000, 12));
  // A negative offset widens to a huge one: the erase refuses it.
  EXPECT_EQ(1u, FLASH_AdaptFlashErase(at(0x80000000u), 4));
  // Failures become 1 (a read past the end).
  capture([&] { EXPECT_EQ(1u, FLASH_AdaptFlashRead(back, at(kFlashSize), 4)); });
  FLASH_AdaptInit();
  EXPECT_EQ(0u, FLASH_SoftReset(0));
}

TEST_F(FlashFront, ConfigurationTableAndFeatureQueries) {
  unsigned long value = 77;
  EXPECT_EQ(1u, FLASH_FeatureGet(FLASH_FEATURE_SIZE, nullptr));
  EXPECT_EQ(1u, FLASH_FeatureGet_velnor(FLASH_FEATURE_SIZE, nullptr));
  // No table yet: success, value untouched.
  EXPECT_EQ(0u, FLASH_FeatureGet(FLASH_FEATURE_SIZE, &value));
  EXPECT_EQ(77u, value);
  EXPECT_EQ(1u, FLASH_InitFlashModule(nullptr));
  EXPECT_EQ(1u, FLASH_GetFlashInfo(nullptr, 4));

  FlashInfoData chips[3] = {};
  chips[0] = {1, 0x123456789ull, 0x800000, 0, 0, 0, 0, 0, 0, 0, 0, nullptr};
  chips[1] = {1, 0, 0x800000, 0, 0, 0, 0, 0, 0, 0, 0, nullptr};
  Output o = capture([&] { EXPECT_EQ(0u, FLASH_InitFlashModule(chips)); });
  EXPECT_EQ("flash init drv error \n ", o.out);  // no /proc/mtd on this board

  struct Case {
    unsigned long type;
    bool bytes;
    uint32_t result;
    unsigned long value;
  };
  const Case cases[] = {
      {FLASH_FEATURE_BASEADDR, false, 0, 0x23456789},
      {FLASH_FEATURE_SIZE, false, 0, 16},
      {FLASH_FEATURE_SIZE, true, 0, 0x1000000},
      {FLASH_FEATURE_BLOCKSIZE, false, 0, 0},
      {3, false, 1, 55},
      {3, true, 1, 55},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.type);
    value = 55;
    EXPECT_EQ(c.result, c.bytes ? FLASH_FeatureGet_velnor(c.type, &value) : FLASH_FeatureGet(c.type, &value));
    EXPECT_EQ(c.value, value);
  }
  FlashInfoData out[4] = {};
  EXPECT_EQ(1u, FLASH_GetFlashInfo(out, 1));
  EXPECT_EQ(2u, FLASH_GetFlashInfo(out, 4));
  EXPECT_EQ(0x123456789ull, out[0].u64FlashBaseAddress);
  EXPECT_EQ(static_cast<uint32_t>(FLASH_NAND), out[1].u32FlashType);

  // An entry of size 0 takes the MTD total divided among the entries (0 without /proc/mtd).
  chips[0].u64FlashSize = 0;
  capture([&] { EXPECT_EQ(0u, FLASH_InitFlashModule(chips)); });
  EXPECT_EQ(2u, FLASH_GetFlashInfo(out, 4));
  EXPECT_EQ(0u, out[0].u64FlashSize);
  // An empty list makes no table.
  FlashInfoData none = {};
  capture([&] { EXPECT_EQ(1u, FLASH_InitFlashModule(&none)); });
}

#endif

}  // namespace
