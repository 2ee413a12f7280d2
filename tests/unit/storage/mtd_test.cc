// Parsing of the MTD partition list (the /proc/mtd line format), through the parser both
// builds share, fed from fixture files.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "storage/flash_front.h"
#include "storage_flavor.h"
#include "support/board_fs.h"

using namespace storage_test;

namespace {

struct Part {
  std::string name;
  uint64_t offset, size;
};

std::vector<Part> parts(const MTD_INFORMATION &info) {
  std::vector<Part> out;
  for (auto *p = info.pPartitionHead; p != nullptr; p = p->pNext) out.push_back({p->pName, p->u64Offset, p->u64Size});
  return out;
}

// The test owns the descriptions it makes (the front's own one lives as long as the process).
void release(MTD_INFORMATION &info) {
  for (auto *p = info.pPartitionHead; p != nullptr;) {
    auto *next = p->pNext;
    free(p);
    p = next;
  }
  info = {};
}

MTD_INFORMATION parse(const std::string &text) {
  bsp::test::write_file("/mnt/mtd-fixture", text);
  MTD_INFORMATION info{};
  EXPECT_EQ(0u, bsp::storage::parse_mtd_list("/mnt/mtd-fixture", &info));
  return info;
}

TEST(MtdList, HeadingIsSkippedAndPartitionsLieEndToEnd) {
  MTD_INFORMATION info = parse(
      "dev:    size   erasesize  name\n"
      "mtd0: 00100000 00010000 \"boot\"\n"
      "mtd1: 00200000 00020000 \"rootfs\"\n");
  ASSERT_EQ(2u, parts(info).size());
  EXPECT_EQ("/dev/mtd0", parts(info)[0].name);
  EXPECT_EQ(0u, parts(info)[0].offset);
  EXPECT_EQ("/dev/mtd1", parts(info)[1].name);
  EXPECT_EQ(0x100000u, parts(info)[1].offset);
  EXPECT_EQ(0x200000u, parts(info)[1].size);
  EXPECT_EQ(0x300000u, info.u64TotalSize);
  EXPECT_EQ(0x20000u, info.u32EraseSize);
  EXPECT_EQ(FLASH_NAND, info.enFlashType);
  EXPECT_EQ(0x10000u, g_u32MtdEraseSize[0]);
  EXPECT_EQ(0x20000u, g_u32MtdEraseSize[1]);
  release(info);
}

TEST(MtdList, EraseTableHoldsNumbersBelow32Only) {
  for (auto &e : g_u32MtdEraseSize) e = 0;
  MTD_INFORMATION info = parse(
      "mtd31: 00001000 00000800 \"a\"\n"
      "mtd32: 00001000 00000400 \"b\"\n");
  EXPECT_EQ(2u, parts(info).size());
  EXPECT_EQ("/dev/mtd32", parts(info)[1].name);
  EXPECT_EQ(0x800u, g_u32MtdEraseSize[31]);
  for (uint32_t i = 0; i < 31; ++i) EXPECT_EQ(0u, g_u32MtdEraseSize[i]) << i;
  EXPECT_EQ(0x400u, info.u32EraseSize);
  release(info);
}

TEST(MtdList, LinesThatDoNotScanAreSkipped) {
  MTD_INFORMATION info = parse(
      "garbage\n"
      "mtd2: zz 1000 \"x\"\n"
      "mtd3: 1000\n"
      "mtd4: 00002000 00000200 \"a-name-that-is-far-too-long-for-the-field\"\n"
      "mtd5: 00004000 00000100 \"ok\"\n");
  ASSERT_EQ(1u, parts(info).size());
  EXPECT_EQ("/dev/mtd5", parts(info)[0].name);
  EXPECT_EQ(0x4000u, info.u64TotalSize);
  EXPECT_EQ(0x100u, info.u32EraseSize);
  release(info);
}

TEST(MtdList, EmptyListGivesNoEraseSize) {
  MTD_INFORMATION info = parse("dev:    size   erasesize  name\n");
  EXPECT_EQ(nullptr, info.pPartitionHead);
  EXPECT_EQ(0u, info.u32EraseSize);
  MTD_INFORMATION missing{};
  EXPECT_EQ(kFail, bsp::storage::parse_mtd_list("/mnt/no-such-list", &missing));
}

// A partition list is appended to what the description already holds.
TEST(MtdList, AppendsAtTheTail) {
  bsp::test::write_file("/mnt/mtd-fixture", "mtd0: 00001000 00001000 \"a\"\n");
  MTD_INFORMATION info{};
  ASSERT_EQ(0u, bsp::storage::parse_mtd_list("/mnt/mtd-fixture", &info));
  ASSERT_EQ(0u, bsp::storage::parse_mtd_list("/mnt/mtd-fixture", &info));
  ASSERT_EQ(2u, parts(info).size());
  EXPECT_EQ(0x1000u, parts(info)[1].offset);
  EXPECT_EQ(0x2000u, info.u64TotalSize);
  release(info);
}

}  // namespace
