// UBI volume devices against the system-call double: length, positioned reads and writes, the
// whole-volume update, and the front lock around each of them.
#include <bsp/mtd.h>
#include <gtest/gtest.h>

#include <string>

#include "mtd_board.h"

using namespace mtd_test;

namespace {

char kVolume[] = "/dev/ubi0_1";
char kMissing[] = "/dev/ubi0_7";

class Ubi : public ::testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 256);
    board.file("ubi0_1", content);
  }
  void TearDown() override { board.expect_device_access_locked(); }

  Board board;
  std::string content = std::string(0x3000, '\0');
};

TEST_F(Ubi, LengthIsTheVolumeSize) {
  Call c = board.call([] { return FLASH_Read_Ubi_File_Length(kVolume); });
  EXPECT_EQ(0x3000u, c.rc);
  EXPECT_EQ((std::vector<std::string>{"open /dev/ubi0_1 ro -> ok lock=held", "lseek /dev/ubi0_1 0x0 2 -> 0x3000 lock=held",
                                      "close /dev/ubi0_1 -> 0 lock=held"}),
            board.log());

  c = board.call([] { return FLASH_Read_Ubi_File_Length(nullptr); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("\n\r filename  NULL.\r\n", c.out);
  c = board.call([] { return FLASH_Read_Ubi_File_Length(kMissing); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("\r\n FLASH_Read_Ubi_File_Length Open /dev/ubi0_7 device failed! \r\n", c.out);
}

TEST_F(Ubi, ReadAtAnOffset) {
  std::string got(0x800, '\0');
  Call c = board.call([&] { return FLASH_Read_Ubi_Vol(0x1000, kVolume, got.data(), got.size()); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ(content.substr(0x1000, 0x800), got);
  EXPECT_EQ("", c.out);
}

TEST_F(Ubi, ReadFailures) {
  char buf[0x100];
  struct Case {
    const char *what;
    uint64_t offset;
    char *name;
    char *out;
    uint64_t len;
    std::string printed, error;
  } cases[] = {
      {"past the end", 0x2F80, kVolume, buf, 0x100,
       "\r\n FLASH_Read_Ubi_Vol read /dev/ubi0_1 fileHandle[3],iRet[128],offPosition[0x2f80] u64ReadLen[0x100]\r\n",
       "\r\n------------->FLASH_Read_Ubi_Vol read error:"},
      // A refused seek must not read from the start of the volume instead.
      {"offset beyond the volume", 0x4000, kVolume, buf, 0x100,
       "\r\n FLASH_Read_Ubi_Vol read /dev/ubi0_1 fileHandle[3],iRet[-1],offPosition[0x4000] u64ReadLen[0x100]\r\n",
       "\r\n------------->FLASH_Read_Ubi_Vol read error:: Invalid argument\n"},
      // The whole 64-bit offset: its low 32 bits alone (0x1000) would read inside the volume.
      {"offset beyond 4 GiB", 0x100001000ull, kVolume, buf, 0x100,
       "\r\n FLASH_Read_Ubi_Vol read /dev/ubi0_1 fileHandle[3],iRet[-1],offPosition[0x1000] u64ReadLen[0x100]\r\n",
       "\r\n------------->FLASH_Read_Ubi_Vol read error:: Invalid argument\n"},
      {"missing volume", 0, kMissing, buf, 0x100,
       "\r\n FLASH_Read_Ubi_Vol Open /dev/ubi0_7 device failed! fileHandle[-1] \r\n",
       "\r\n------------->FLASH_Read_Ubi_Vol open error:: No such file or directory\n"},
      {"null buffer", 0, kVolume, nullptr, 0x100, "\n\r FLASH_Read_Ubi_Vol failed, NULL == pOutBuf or readlen ==0.\r\n",
       ""},
      {"null name", 0, nullptr, buf, 0x100, "\n\r FLASH_Read_Ubi_Vol failed, NULL == pOutBuf or readlen ==0.\r\n", ""},
      {"nothing to read", 0, kVolume, buf, 0, "\n\r FLASH_Read_Ubi_Vol failed, NULL == pOutBuf or readlen ==0.\r\n",
       ""},
  };
  for (const Case &k : cases) {
    Call c = board.call([&] { return FLASH_Read_Ubi_Vol(k.offset, k.name, k.out, k.len); });
    EXPECT_EQ(1u, c.rc) << k.what;
    // The descriptor number depends on what else the process has open.
    std::string printed = c.out;
    if (size_t at = printed.find("fileHandle["); at != std::string::npos && printed.compare(at, 13, "fileHandle[-1") != 0)
      printed.replace(at + 11, printed.find(']', at) - at - 11, "3");
    EXPECT_EQ(k.printed, printed) << k.what;
    EXPECT_EQ(0u, c.err.find(k.error)) << k.what << ": " << c.err;
  }
}

TEST_F(Ubi, WriteAtAnOffset) {
  const std::string data(0x200, '\xA5');
  Call c = board.call([&] { return FLASH_Write_Ubi_Vol(0x1000, kVolume, data.data(), data.size()); });
  EXPECT_EQ(0u, c.rc);
  std::string expect = content;
  expect.replace(0x1000, 0x200, data);
  EXPECT_TRUE(same_bytes(expect, board.file("ubi0_1")));
  EXPECT_EQ((std::vector<std::string>{"open /dev/ubi0_1 rw -> ok lock=held",
                                      "lseek /dev/ubi0_1 0x1000 0 -> 0x1000 lock=held",
                                      "write /dev/ubi0_1 0x1000 0x200 -> 0x200 lock=held",
                                      "close /dev/ubi0_1 -> 0 lock=held"}),
            board.log());
}

TEST_F(Ubi, WriteFailures) {
  const std::string data(0x100, 'w');
  struct Case {
    const char *what;
    uint64_t offset;
    char *name;
    const void *in;
    uint64_t len;
    std::string printed;
    bool perror;
  } cases[] = {
      {"past the end", 0x2F80, kVolume, data.data(), 0x100,
       "\r\n FLASH_Write_Ubi_Vol write /dev/ubi0_1 device failed! iWrRet[128],u64WriteLen[0x100]\r\n", true},
      {"offset beyond the volume", 0x4000, kVolume, data.data(), 0x100,
       "\r\n FLASH_WriteEfs_Ubi_Vol lseek /dev/ubi0_1 fileHandle[0x3],u64Offset[0x4000],offPosition[-1]\r\n", false},
      {"missing volume", 0, kMissing, data.data(), 0x100,
       "\r\n FLASH_Write_Ubi_Vol Open /dev/ubi0_7 device failed! readfile[-1] \r\n", false},
      {"null data", 0, kVolume, nullptr, 0x100,
       "\n\r FLASH_Write_Ubi_Vol failed, NULL == pOutBuf or u64WriteLen ==0.\r\n", false},
      {"nothing to write", 0, kVolume, data.data(), 0,
       "\n\r FLASH_Write_Ubi_Vol failed, NULL == pOutBuf or u64WriteLen ==0.\r\n", false},
  };
  for (const Case &k : cases) {
    Call c = board.call([&] { return FLASH_Write_Ubi_Vol(k.offset, k.name, k.in, k.len); });
    EXPECT_EQ(1u, c.rc) << k.what;
    std::string printed = c.out;
    if (size_t at = printed.find("fileHandle[0x"); at != std::string::npos)
      printed.replace(at + 13, printed.find(']', at) - at - 13, "3");
    EXPECT_EQ(k.printed, printed) << k.what;
    EXPECT_EQ(k.perror, c.err.find("\r\n------------->FLASH_Write_Ubi_Vol write error:") == 0) << k.what;
  }
  // The volume keeps its size: a write does not grow it.
  EXPECT_TRUE(same_bytes(content.substr(0, 0x2F80) + std::string(0x80, 'w'), board.file("ubi0_1")));
}

// The update announces the new size, which empties the volume, then writes the new content.
TEST_F(Ubi, UpdateReplacesTheWholeVolume) {
  const std::string image(0x1234, 'U');
  Call c = board.call([&] { return FLASH_Update_Ubi_Vol(kVolume, image.data(), image.size()); });
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("", c.out);
  EXPECT_TRUE(same_bytes(image, board.file("ubi0_1")));
  EXPECT_EQ((std::vector<std::string>{"open /dev/ubi0_1 rw -> ok lock=held", "ioctl /dev/ubi0_1 volup 0x1234 -> 0 lock=held",
                                      "write /dev/ubi0_1 0x0 0x1234 -> 0x1234 lock=held",
                                      "close /dev/ubi0_1 -> 0 lock=held"}),
            board.log());
  c = board.call([] { return FLASH_Read_Ubi_File_Length(kVolume); });
  EXPECT_EQ(0x1234u, c.rc);
}

TEST_F(Ubi, UpdateFailures) {
  const std::string image(0x100, 'U');
  const std::string bad_args = "\n\r FLASH_Write_Ubi_Vol failed, NULL == pOutBuf or u64WriteLen ==0.\r\n";
  EXPECT_EQ(bad_args, board.call([&] { return FLASH_Update_Ubi_Vol(kVolume, nullptr, 0x100); }).out);
  EXPECT_EQ(bad_args, board.call([&] { return FLASH_Update_Ubi_Vol(nullptr, image.data(), 0x100); }).out);
  EXPECT_EQ(bad_args, board.call([&] { return FLASH_Update_Ubi_Vol(kVolume, image.data(), 0); }).out);

  Call c = board.call([&] { return FLASH_Update_Ubi_Vol(kMissing, image.data(), image.size()); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("\r\n FLASH_Update_Ubi_Vol Open /dev/ubi0_7 device failed! fileHandle[-1] \r\n", c.out);
  EXPECT_EQ("\r\n------------->FLASH_Update_Ubi_Vol open error:: No such file or directory\n", c.err);

  board.faults("volup ubi0_1\n");
  board.clear_log();
  c = board.call([&] { return FLASH_Update_Ubi_Vol(kVolume, image.data(), image.size()); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_NE(std::string::npos, c.out.find("\r\n FLASH_Write_Ubi_Vol ioctl /dev/ubi0_1  failed,fileHandle:[0x"));
  EXPECT_NE(std::string::npos, c.out.find("],u64WriteLen:[0x100],iRet[-1] \r\n"));
  EXPECT_TRUE(board.log("write").empty());
  EXPECT_TRUE(same_bytes(content, board.file("ubi0_1")));

  board.faults("write ubi0_1\n");
  c = board.call([&] { return FLASH_Update_Ubi_Vol(kVolume, image.data(), image.size()); });
  EXPECT_EQ(1u, c.rc);
  EXPECT_EQ("\r\n FLASH_Write_Ubi_Vol write /dev/ubi0_1 device failed! u64RdRet[0xffffffffffffffff],u64WriteLen[0x100]\r\n",
            c.out);
}

}  // namespace
