// Reads, writes and erases in the MTD address space, against the system-call double: bad
// blocks, injected failures, the partition ends and the front lock around every device access.
#include <bsp/mtd.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mtd_board.h"

using namespace mtd_test;

namespace {

// Three partitions end to end, each with its own erase size:
//   mtd0 [0x000000, 0x040000) erase 0x10000, mtd1 [0x040000, 0x0C0000) erase 0x20000,
//   mtd2 [0x0C0000, 0x150000) erase 0x30000.
constexpr char kList[] =
    "dev:    size   erasesize  name\n"
    "mtd0: 00040000 00010000 \"first\"\n"
    "mtd1: 00080000 00020000 \"second\"\n"
    "mtd2: 00090000 00030000 \"third\"\n";
constexpr uint32_t kE0 = 0x10000, kE1 = 0x20000;
constexpr uint32_t kMtd1 = 0x40000, kMtd2 = 0xC0000, kTotal = 0x150000;

class Mtd : public ::testing::Test {
 protected:
  void SetUp() override {
    board.file("mtd0", pattern(0x40000, kE0, 0x10));
    board.file("mtd1", pattern(0x80000, kE1, 0x20));
    board.file("mtd2", pattern(0x90000, 0x30000, 0x30));
    board.partitions(kList);
    mtd0 = board.file("mtd0");
  }
  void TearDown() override { board.expect_device_access_locked(); }

  Call read(uint32_t offset, uint32_t len, std::string &out) {
    out.assign(len, '\x5A');
    return board.call([&] { return FLASH_ReadFlashMtd(offset, out.data(), len); });
  }
  // The operations on the devices that contain one of the filters, without their lock note.
  std::vector<std::string> ops(const std::vector<std::string> &filters) {
    std::vector<std::string> out;
    for (const std::string &line : board.log()) {
      for (const std::string &f : filters) {
        if (line.find(f) == std::string::npos) continue;
        out.push_back(line.substr(0, line.find(" lock=")));
        break;
      }
    }
    return out;
  }
  std::vector<std::string> ops(const char *filter) { return ops(std::vector<std::string>{filter}); }

  Board board;
  std::string mtd0;
};

TEST_F(Mtd, ReadSkipsABadBlockAndReportsItOnce) {
  board.bad("mtd0 0x10000\n");
  std::string got;
  Call c = read(0, 0x20000, got);
  EXPECT_EQ(0u, c.rc);
  EXPECT_TRUE(same_bytes(block(mtd0, 0, kE0) + block(mtd0, 2, kE0), got));
  EXPECT_EQ("bad block at /dev/mtd0 device 10000 block(s) \r\n", c.out);
  // The data come from the block device, the bad-block answers from the character device.
  EXPECT_EQ(3u, ops("read /dev/mtdblock0").size());
  EXPECT_EQ((std::vector<std::string>{"ioctl /dev/mtd0 getbad 0x0 -> 0", "ioctl /dev/mtd0 getbad 0x10000 -> 1",
                                      "ioctl /dev/mtd0 getbad 0x20000 -> 0"}),
            ops("getbad"));
  EXPECT_EQ((std::vector<std::string>{"open /dev/mtd0 ro -> ok", "open /dev/mtdblock0 rw -> ok"}), ops("open"));
  EXPECT_EQ(2u, ops("close").size());
}

TEST_F(Mtd, ReadsInsideAndAcrossBlocks) {
  struct Case {
    uint32_t offset, len;
    std::string device;
    uint32_t at;  // where in the device the bytes come from
  } cases[] = {
      {0x100, 0x50, "mtd0", 0x100},
      {0x8000, 0x10000, "mtd0", 0x8000},           // one read across a block boundary
      {kMtd1 + 0x20010, 0x30000, "mtd1", 0x20010},  // second partition, its own erase size
      {kMtd2, 0x30000, "mtd2", 0},
  };
  for (const Case &k : cases) {
    std::string got;
    Call c = read(k.offset, k.len, got);
    EXPECT_EQ(0u, c.rc) << k.offset;
    EXPECT_TRUE(same_bytes(board.file(k.device).substr(k.at, k.len), got)) << k.offset;
    EXPECT_EQ("", c.out);
  }
}

TEST_F(Mtd, ReadThatRunsOutOfItsPartitionFails) {
  std::string got;
  // The block at 0x30000 is the last one of mtd0; the read does not go on into mtd1.
  Call c = read(0x30000, 0x20000, got);
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("read no enough space at /dev/mtd0 device !!!\n", c.out);
  EXPECT_TRUE(ops("mtd1").empty());
}

TEST_F(Mtd, ReadErrorOfABlockSkipsItWithoutConsumingData) {
  board.faults("read mtd0 0x10000\n");
  std::string got;
  Call c = read(0, 0x20000, got);
  EXPECT_EQ(0u, c.rc);
  EXPECT_TRUE(same_bytes(block(mtd0, 0, kE0) + block(mtd0, 2, kE0), got));
  EXPECT_EQ("read /dev/mtdblock0 device offset 0x10000 errno=5 read return=-1!!\n", c.out);
}

TEST_F(Mtd, FailedBadBlockQueryEndsTheRead) {
  board.faults("getbad mtd0\n");
  std::string got;
  Call c = read(0, 0x100, got);
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("---------ioctl (MEMGETBADBLOCK) /dev/mtd0 device offset 0x0 errno=5 iRet=-1!!\n", c.out);
}

TEST_F(Mtd, DeviceThatDoesNotOpenFailsAndClosesTheOther) {
  board.faults("open mtdblock0\n");
  std::string got;
  Call c = read(0, 0x100, got);
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("Open /dev/mtdblock0 device failed! !!\n", c.out);
  EXPECT_EQ((std::vector<std::string>{"close /dev/mtd0 -> 0"}), ops("close"));

  board.faults("open mtd0\n");
  c = board.call([] { return FLASH_WriteFlashMtd(0, "x", 1); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("Open /dev/mtd0 device failed! !!\n", c.out);
  c = board.call([] { return FLASH_EraseFlashMtd(0, kE0); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("Open /dev/mtd0 device failed! !!\n", c.out);
  EXPECT_EQ(0x40000u, board.file("mtd0").size());
}

// Offsets outside the MTD address space, bad arguments: nothing is opened, the lock stays free.
TEST_F(Mtd, RefusedBeforeAnyDeviceIsOpened) {
  char buf[16];
  struct Case {
    const char *what;
    std::function<uint64_t()> fn;
    std::string out;
  } cases[] = {
      {"read at the total size", [&] { return FLASH_ReadFlashMtd(kTotal, buf, 1); }, ""},
      {"write at the total size", [] { return FLASH_WriteFlashMtd(kTotal, "x", 1); }, ""},
      {"erase at the total size", [] { return FLASH_EraseFlashMtd(kTotal, kE0); }, ""},
      {"read beyond", [&] { return FLASH_ReadFlashMtd(kTotal + 1, buf, 1); },
       "\rFLASH_ReadFlashMtd u64TotalSize:0x150000,u64GlobalOffset:0x150001"},
      {"write beyond", [] { return FLASH_WriteFlashMtd(kTotal + 1, "x", 1); },
       "\r\nFLASH_WriteFlashMtd u64TotalSize 0x150000,u64GlobalOffset 0x150001"},
      {"erase beyond", [] { return FLASH_EraseFlashMtd(kTotal + 1, kE0); },
       "\r\n FLASH_EraseFlashMtd u64TotalSize 0x150000,u64GlobalOffset 0x150001"},
      {"read of nothing", [&] { return FLASH_ReadFlashMtd(0x10, buf, 0); },
       "\n\r FLASH_ReadFlash failed, NULL == pOutBuf or readlen =0x0.u64GlobalOffset0x10\n"},
      {"read into null", [] { return FLASH_ReadFlashMtd(0x10, nullptr, 4); },
       "\n\r FLASH_ReadFlash failed, NULL == pOutBuf or readlen =0x4.u64GlobalOffset0x10\n"},
      {"write of nothing", [] { return FLASH_WriteFlashMtd(0, "x", 0); }, ""},
      {"write from null", [] { return FLASH_WriteFlashMtd(0, nullptr, 4); }, ""},
      {"erase of nothing", [] { return FLASH_EraseFlashMtd(0, 0); },
       "\r\n FLASH_EraseFlashMtd u64TotalSize 0x150000,u64GlobalOffset 0x0"},
  };
  for (const Case &k : cases) {
    board.clear_log();
    Call c = board.call(k.fn);
    EXPECT_EQ(1u, c.rc) << k.what;
    EXPECT_EQ(k.out, c.out) << k.what;
    EXPECT_TRUE(board.log().empty()) << k.what;
  }
}

TEST_F(Mtd, WriteIsClampedAtThePartitionEnd) {
  const std::string data(0x200, '\xC3');
  Call c = board.call([&] { return FLASH_WriteFlashMtd(0x40000 - 0x100, data.data(), 0x200); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("", c.out);
  std::string expect = mtd0;
  expect.replace(0x40000 - 0x100, 0x100, data.substr(0, 0x100));
  EXPECT_TRUE(same_bytes(expect, board.file("mtd0")));
  EXPECT_TRUE(same_bytes(pattern(0x80000, kE1, 0x20), board.file("mtd1")));
  EXPECT_EQ((std::vector<std::string>{"write /dev/mtdblock0 0x3ff00 0x100 -> 0x100"}), ops("write"));
}

TEST_F(Mtd, WriteSkipsABadBlock) {
  board.bad("mtd0 0x10000\n");
  const std::string data = std::string(kE0, 'a') + std::string(kE0, 'b');
  Call c = board.call([&] { return FLASH_WriteFlashMtd(0, data.data(), 0x20000); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("bad block at 10000 block(s) \r\n", c.out);
  std::string expect = mtd0;
  expect.replace(0, kE0, std::string(kE0, 'a'));
  expect.replace(0x20000, kE0, std::string(kE0, 'b'));
  EXPECT_TRUE(same_bytes(expect, board.file("mtd0")));
}

// A block that fails the write with EIO is marked bad and the same data go to the next block.
TEST_F(Mtd, WriteErrorMarksTheBlockBadAndMovesOn) {
  board.faults("write mtd0 0x10000\n");
  const std::string data = std::string(kE0, 'a') + std::string(kE0, 'b');
  Call c = board.call([&] { return FLASH_WriteFlashMtd(0, data.data(), 0x20000); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("mtd0 0x10000\n", board.file("bad"));
  EXPECT_EQ((std::vector<std::string>{
                "ioctl /dev/mtd0 getbad 0x0 -> 0", "write /dev/mtdblock0 0x0 0x10000 -> 0x10000",
                "ioctl /dev/mtd0 getbad 0x10000 -> 0", "write /dev/mtdblock0 0x10000 0x10000 -> EIO",
                "ioctl /dev/mtd0 setbad 0x10000 -> 0", "ioctl /dev/mtd0 getbad 0x20000 -> 0",
                "write /dev/mtdblock0 0x20000 0x10000 -> 0x10000"}),
            ops({"getbad", "setbad", "write /dev"}));
  std::string expect = mtd0;
  expect.replace(0, kE0, std::string(kE0, 'a'));
  expect.replace(0x20000, kE0, std::string(kE0, 'b'));
  EXPECT_TRUE(same_bytes(expect, board.file("mtd0")));
}

TEST_F(Mtd, WriteFailures) {
  struct Case {
    const char *what, *faults, *bad;
    uint32_t offset, len;
    std::string out;
  } cases[] = {
      {"marking fails", "write mtd0 0x0\nsetbad mtd0\n", "", 0, 0x100, "ioctl (MEMSETBADBLOCK) errno = 5\r\n"},
      {"bad-block query fails", "getbad mtd0\n", "", 0, 0x100, "---------ioctl (MEMGETBADBLOCK) errno = 5 iRet=-1\r\n"},
      {"no room left", "", "mtd0 0x30000\n", 0x20000, 0x20000,
       "bad block at 30000 block(s) \r\nnot enough space to write at device /dev/mtd0 !!!\n"},
  };
  for (const Case &k : cases) {
    board.faults(k.faults);
    board.bad(k.bad);
    const std::string data(k.len, 'w');
    Call c = board.call([&] { return FLASH_WriteFlashMtd(k.offset, data.data(), k.len); });
    EXPECT_EQ(1u, c.rc) << k.what;
    EXPECT_EQ(k.out, c.out) << k.what;
  }
}

// A device shorter than its listed partition takes only part of a write: that ends the write
// with its own message; only EIO marks a block bad.
TEST_F(Mtd, ShortWriteWithoutEioEndsTheWrite) {
  board.file("mtd1", std::string(0x30000, '\0'));
  const std::string data(0x100, 'w');
  Call c = board.call([&] { return FLASH_WriteFlashMtd(kMtd1 + 0x2FF80, data.data(), 0x100); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("write /dev/mtdblock1 device failed u64WrRet = 128 errno = 0!!!\n", c.out);
  EXPECT_TRUE(board.file("bad").empty());
}

TEST_F(Mtd, EraseFillsWholeBlocks) {
  Call c = board.call([] { return FLASH_EraseFlashMtd(0x10000, 0x20000); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("", c.out);
  std::string expect = mtd0;
  expect.replace(0x10000, 0x20000, std::string(0x20000, '\xFF'));
  EXPECT_TRUE(same_bytes(expect, board.file("mtd0")));
  EXPECT_EQ((std::vector<std::string>{"ioctl /dev/mtd0 erase 0x10000 0x10000 -> 0",
                                      "ioctl /dev/mtd0 erase 0x20000 0x10000 -> 0"}),
            ops("erase"));
  EXPECT_EQ((std::vector<std::string>{"open /dev/mtd0 rw -> ok"}), ops("open"));

  // The second partition erases in its own blocks.
  c = board.call([] { return FLASH_EraseFlashMtd(kMtd1 + 0x20000, 0x20000); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ(std::string(0x20000, '\xFF'), board.file("mtd1").substr(0x20000, 0x20000));
  EXPECT_EQ("ioctl /dev/mtd1 erase 0x20000 0x20000 -> 0", ops("erase").back());
}

TEST_F(Mtd, EraseSkipsBadBlocksAndReachesFurther) {
  board.bad("mtd0 0x10000\n");
  Call c = board.call([] { return FLASH_EraseFlashMtd(0, 0x20000); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("bad block at /dev/mtd0 device 0x10000 block(s) \r\n", c.out);
  EXPECT_EQ(std::string(kE0, '\xFF') + block(mtd0, 1, kE0) + std::string(kE0, '\xFF') + block(mtd0, 3, kE0),
            board.file("mtd0"));
}

TEST_F(Mtd, EraseErrorMarksTheBlockBad) {
  board.faults("erase mtd0 0x10000\n");
  Call c = board.call([] { return FLASH_EraseFlashMtd(0, 0x20000); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("ioctl (MEMERASE) /dev/mtd0 device offset 0x10000 failed with bad block!!!\n", c.out);
  EXPECT_EQ("mtd0 0x10000\n", board.file("bad"));
  EXPECT_EQ((std::vector<std::string>{"ioctl /dev/mtd0 erase 0x0 0x10000 -> 0",
                                      "ioctl /dev/mtd0 erase 0x10000 0x10000 -> EIO",
                                      "ioctl /dev/mtd0 setbad 0x10000 -> 0",
                                      "ioctl /dev/mtd0 erase 0x20000 0x10000 -> 0"}),
            ops({"erase", "setbad"}));
  EXPECT_EQ(std::string(kE0, '\xFF'), block(board.file("mtd0"), 2, kE0));
}

TEST_F(Mtd, EraseFailures) {
  struct Case {
    const char *what, *faults, *bad;
    uint32_t offset, len;
    std::string out;
  } cases[] = {
      {"marking fails", "erase mtd0 0x0\nsetbad mtd0\n", "", 0, kE0,
       "ioctl (MEMERASE) /dev/mtd0 device offset 0x0 failed with bad block!!!\n"
       "ioctl (MEMSETBADBLOCK) at erase /dev/mtd0 device offset 0x0 errno = 5\r\n"},
      {"bad-block query fails", "getbad mtd0\n", "", 0, kE0,
       "------------ioctl (MEMGETBADBLOCK) /dev/mtd0 device offset 0x0 failed errno = 5 !!!\n"},
      {"no room left", "", "mtd0 0x30000\n", 0x20000, 0x20000,
       "bad block at /dev/mtd0 device 0x30000 block(s) \r\n"
       "erase no enough space at /dev/mtd0 device offset = 0x40000 !!!\n"},
      {"offset not aligned", "", "", 0x100, kE0,
       "\r\n erase device error u64GlobalOffset:100 u64Len:10000 u32EraseSize:10000 !!\n"},
      {"end not aligned", "", "", 0x10000, 0x100,
       "\r\n erase device error u64GlobalOffset:10000 u64Len:100 u32EraseSize:10000 !!\n"},
      {"aligned to another partition's blocks", "", "", kMtd1 + 0x10000, 0x20000,
       "\r\n erase device error u64GlobalOffset:50000 u64Len:20000 u32EraseSize:20000 !!\n"},
  };
  for (const Case &k : cases) {
    board.faults(k.faults);
    board.bad(k.bad);
    board.clear_log();
    Call c = board.call([&] { return FLASH_EraseFlashMtd(k.offset, k.len); });
    EXPECT_EQ(1u, c.rc) << k.what;
    EXPECT_EQ(k.out, c.out) << k.what;
    EXPECT_EQ(1u, ops("close /dev/mtd").size()) << k.what;
    if (k.out.find("erase device error") != std::string::npos) {
      EXPECT_TRUE(ops("erase").empty()) << k.what;
    }
  }
}

// The end of an erase is formed in 64 bits: in 32 bits offset + length would wrap to 0,
// which passes for aligned, and the whole partition would be erased.
TEST_F(Mtd, EraseWhoseEndWrapsIsRefused) {
  const std::string mtd2 = board.file("mtd2");
  Call c = board.call([] { return FLASH_EraseFlashMtd(kMtd2, 0u - kMtd2); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("\r\n erase device error u64GlobalOffset:c0000 u64Len:fff40000 u32EraseSize:30000 !!\n", c.out);
  EXPECT_TRUE(ops("erase").empty());
  EXPECT_TRUE(same_bytes(mtd2, board.file("mtd2")));
}

// Partitions the erase-size table cannot describe: numbered 32 or more, or listed with an
// erase size of 0. Their block loops could not advance: refused before anything is opened.
TEST_F(Mtd, PartitionWithoutEraseSizeIsRefused) {
  board.file("mtd32", std::string(0x20000, 'x'));
  board.file("mtd3", std::string(0x20000, 'x'));
  board.partitions(
      "mtd32: 00020000 00010000 \"high\"\n"
      "mtd3: 00020000 00000000 \"zero\"\n");
  for (uint32_t offset : {0u, 0x20000u}) {
    const char *name = offset == 0 ? "/dev/mtd32" : "/dev/mtd3";
    const std::string refused = std::string("no erase size for ") + name + " device !!!\n";
    char buf[16];
    Call c = board.call([&] { return FLASH_ReadFlashMtd(offset, buf, sizeof buf); });
    EXPECT_EQ(1u, c.rc);
    EXPECT_EQ(refused, c.out);
    c = board.call([&] { return FLASH_WriteFlashMtd(offset, "data", 4); });
    EXPECT_EQ(1u, c.rc);
    EXPECT_EQ(refused, c.out);
    c = board.call([&] { return FLASH_EraseFlashMtd(offset, 0x10000); });
    EXPECT_EQ(1u, c.rc);
    EXPECT_EQ(refused, c.out);
  }
  EXPECT_TRUE(board.log("/dev/").empty());
}

// A list whose running offsets wrap past 64 bits: the offset falls in the huge partition
// that holds it, not in a later one whose wrapped offset happens to lie below it.
TEST_F(Mtd, SelectionDoesNotWrap) {
  board.file("mtd3", std::string(0x40000, 'h'));
  board.file("mtd4", std::string(0x40000, 'l'));
  board.partitions(
      "mtd0: 00010000 00010000 \"a\"\n"
      "mtd3: ffffffffffff0000 00010000 \"huge\"\n"
      "mtd4: 00100000 00010000 \"late\"\n");
  std::string got;
  Call c = read(0x20000, 0x10, got);
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ(std::string(0x10, 'h'), got);
  EXPECT_TRUE(ops("mtd4").empty());
}

TEST_F(Mtd, ErrorCountAddsTheThreeCounters) {
  struct Case {
    const char *content;  // nullptr: no file
    uint32_t sum;
  } cases[] = {
      {"1 2 a\n", 13},
      {nullptr, 0},
      {"ffffffff ffffffff 2\n", 0xFFFFFFFF},
      {"80000000 7fffffff 1\n", 0xFFFFFFFF},
      {"80000000 7fffffff 0\n", 0xFFFFFFFF},
      {"1 1 1\n5 0 0\n", 5},  // a later line replaces an earlier one
      {"", 0},
  };
  for (const Case &k : cases) {
    if (k.content == nullptr) {
      board.remove("flash_err");
    } else {
      board.file("flash_err", k.content);
    }
    Call c = board.call([] { return flashGetErrorCount(); });
    EXPECT_EQ(k.sum, c.rc) << (k.content ? k.content : "(no file)");
  }
}

}  // namespace
