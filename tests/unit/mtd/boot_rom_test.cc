// Boot ROM update between BOOT1 and BOOT2, against the system-call double.
#include <bsp/bootrom.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mtd_board.h"

using namespace mtd_test;

namespace {

constexpr uint32_t kE = 0x10000, kSize = 0x40000;

std::string boot_list(const std::string &boot1, const std::string &boot2, const char *erase = "00010000") {
  return std::string("dev:    size   erasesize  name\n") + "mtd0: 00100000 00010000 \"kernel\"\n" + boot1 +
         ": 00040000 " + erase + " \"BOOT1\"\n" + boot2 + ": 00040000 00010000 \"BOOT2\"\n";
}

class BootRom : public ::testing::Test {
 protected:
  void SetUp() override { lay_out("mtd1", "mtd2"); }
  void TearDown() override {
    board.expect_device_access_locked();
    // Every device opened was closed, and each one kept open got the mode after the comparison.
    size_t opened = 0, kept = 0;
    for (const std::string &line : board.log("open /dev/")) {
      opened += line.find("-> ok") != std::string::npos;
      kept += line.find(" rw -> ok") != std::string::npos;
    }
    EXPECT_EQ(opened, board.log("close /dev/").size());
    EXPECT_EQ(kept, board.log("filemode 4").size());
  }

  void lay_out(const std::string &boot1, const std::string &boot2) {
    b1 = boot1, b2 = boot2;
    image = pattern(kSize, kE, 0x40);
    board.file(b1, image);
    board.file(b2, image);
    board.file("boot_pos", "0\n");
    board.file("proc_mtd", boot_list(b1, b2));
  }
  // Block j of a copy with new content.
  void change(const std::string &device, size_t j, char fill) {
    std::string bytes = board.file(device);
    bytes.replace(j * kE, kE, std::string(kE, fill));
    board.file(device, bytes);
  }
  Call update() {
    board.clear_log();
    return board.call([] { return flash_update_boot(); });
  }
  std::vector<std::string> changes() {
    std::vector<std::string> out;
    for (const std::string &line : board.log()) {
      if (line.find(" erase ") != std::string::npos || line.rfind("write ", 0) == 0)
        out.push_back(line.substr(0, line.find(" lock=")));
    }
    return out;
  }

  Board board;
  std::string b1, b2, image;
};

TEST_F(BootRom, IdenticalCopiesWriteNothing) {
  Call c = update();
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("", c.out);
  EXPECT_TRUE(changes().empty());
  // The mode before the comparison on each device, the mode after it on both at the end.
  std::vector<std::string> modes;
  for (const std::string &line : board.log()) {
    if (line.find("filemode") != std::string::npos || line.rfind("open /dev/", 0) == 0 ||
        line.rfind("close /dev/", 0) == 0)
      modes.push_back(line.substr(0, line.find(" lock=")));
  }
  EXPECT_EQ((std::vector<std::string>{
                "open /dev/mtd1 ro -> ok", "ioctl /dev/mtd1 filemode 5 -> 0", "close /dev/mtd1 -> 0",
                "open /dev/mtd1 rw -> ok", "open /dev/mtd2 ro -> ok", "ioctl /dev/mtd2 filemode 5 -> 0",
                "close /dev/mtd2 -> 0", "open /dev/mtd2 rw -> ok", "ioctl /dev/mtd1 filemode 4 -> 0",
                "ioctl /dev/mtd2 filemode 4 -> 0", "close /dev/mtd1 -> 0", "close /dev/mtd2 -> 0"}),
            modes);
  EXPECT_EQ(8u, board.log("read /dev/").size());  // four blocks of each copy
}

TEST_F(BootRom, OnlyTheDifferingBlockIsRewrittenFromTheCopyInUse) {
  struct Case {
    const char *boot_pos;
    const char *changed, *target;
  } cases[] = {
      {"1\n", "mtd1", "/dev/mtd1"},  // booted from BOOT2: BOOT1 takes its block
      {"0x1", "mtd1", "/dev/mtd1"},
      {"0\n", "mtd2", "/dev/mtd2"},  // booted from BOOT1: BOOT2 takes its block
  };
  for (const Case &k : cases) {
    lay_out("mtd1", "mtd2");
    board.file("boot_pos", k.boot_pos);
    change(k.changed, 2, 'x');
    Call c = update();
    EXPECT_EQ(0u, c.rc) << k.boot_pos;
    EXPECT_EQ("", c.out);
    EXPECT_EQ((std::vector<std::string>{std::string("ioctl ") + k.target + " erase 0x20000 0x10000 -> 0",
                                        std::string("write ") + k.target + " 0x20000 0x10000 -> 0x10000"}),
              changes())
        << k.boot_pos;
    EXPECT_TRUE(same_bytes(image, board.file("mtd1"))) << k.boot_pos;
    EXPECT_TRUE(same_bytes(image, board.file("mtd2"))) << k.boot_pos;
  }
}

// Names of ten and more characters' numbers fit the device path: mtd10 and mtd11 update as
// mtd1 and mtd2 do.
TEST_F(BootRom, TwoDigitDevicesAreUpdated) {
  lay_out("mtd10", "mtd11");
  change("mtd11", 1, 'y');
  change("mtd11", 3, 'z');
  Call c = update();
  EXPECT_EQ(0u, c.rc);
  EXPECT_EQ("", c.out);
  EXPECT_TRUE(same_bytes(image, board.file("mtd11")));
  EXPECT_EQ((std::vector<std::string>{"ioctl /dev/mtd11 erase 0x10000 0x10000 -> 0",
                                      "write /dev/mtd11 0x10000 0x10000 -> 0x10000",
                                      "ioctl /dev/mtd11 erase 0x30000 0x10000 -> 0",
                                      "write /dev/mtd11 0x30000 0x10000 -> 0x10000"}),
            changes());
}

TEST_F(BootRom, PartialLastBlockIsNotCompared) {
  board.file("proc_mtd", "mtd1: 00048000 00010000 \"BOOT1\"\nmtd2: 00048000 00010000 \"BOOT2\"\n");
  board.file("mtd1", image + std::string(0x8000, 'a'));
  board.file("mtd2", image + std::string(0x8000, 'b'));
  Call c = update();
  EXPECT_EQ(0u, c.rc);
  EXPECT_TRUE(changes().empty());
}

TEST_F(BootRom, RefusedBeforeAnyDeviceIsOpened) {
  struct Case {
    const char *what;
    std::string proc_mtd;  // empty: no /proc/mtd
    const char *boot_pos;  // nullptr: no boot_pos file
    std::string out;
  } cases[] = {
      {"no BOOT2", "mtd1: 00040000 00010000 \"BOOT1\"\n", "0\n", "\n INVALID BOOT MTD INFO "},
      {"no BOOT1", "mtd2: 00040000 00010000 \"BOOT2\"\n", "0\n", "\n INVALID BOOT MTD INFO "},
      {"erase size 0", boot_list("mtd1", "mtd2", "00000000"), "0\n", "\n INVALID BOOT MTD INFO "},
      {"no /proc/mtd", "", "0\n", "\n Cannot open control path to the driver  \n GET BOOT MTD INFO ERROR "},
      {"boot_pos 2", boot_list("mtd1", "mtd2"), "2\n", "\n invalid boot postition! "},
      {"boot_pos -1", boot_list("mtd1", "mtd2"), "-1", "\n invalid boot postition! "},
      // Text that holds no number is no position: read as 0 it would overwrite BOOT2.
      {"boot_pos text", boot_list("mtd1", "mtd2"), "on\n", "\n invalid boot postition! "},
      {"boot_pos 1 and text", boot_list("mtd1", "mtd2"), "1 or 0\n", "\n invalid boot postition! "},
      {"boot_pos empty", boot_list("mtd1", "mtd2"), "", ""},
      {"no boot_pos", boot_list("mtd1", "mtd2"), nullptr, "\n open flash boot file error "},
  };
  for (const Case &k : cases) {
    if (k.proc_mtd.empty()) {
      board.remove("proc_mtd");
    } else {
      board.file("proc_mtd", k.proc_mtd);
    }
    if (k.boot_pos == nullptr) {
      board.remove("boot_pos");
    } else {
      board.file("boot_pos", k.boot_pos);
    }
    change("mtd2", 0, 'q');
    Call c = update();
    EXPECT_EQ(1u, c.rc) << k.what;
    EXPECT_EQ(k.out, c.out) << k.what;
    EXPECT_TRUE(board.log("/dev/").empty()) << k.what;
  }
}

TEST_F(BootRom, FailuresStopTheUpdateWithOne) {
  struct Case {
    const char *what, *faults;
    std::string out;
    std::vector<std::string> changes;
  } cases[] = {
      {"BOOT1 device missing", "open mtd1\n", " \n Open mtd1 device failed!\n", {}},
      {"BOOT2 device missing", "open mtd2\n", " \n Open mtd2 device failed!\n", {}},
      {"read fails", "read mtd2 0x10000\n", " \n error reading data from mtd2 \n", {}},
      // A failed erase is not written over: the data would land on unerased flash.
      {"erase fails", "erase mtd2 0x20000\n", "  \n Updating data ERROR at offset 0x20000 ok \n",
       {"ioctl /dev/mtd2 erase 0x20000 0x10000 -> EIO"}},
      {"write fails", "write mtd2 0x20000\n", "  \n Updating data ERROR at offset 0x20000 ok \n",
       {"ioctl /dev/mtd2 erase 0x20000 0x10000 -> 0", "write /dev/mtd2 0x20000 0x10000 -> EIO"}},
      // The block reports written but kept nothing: the read back catches it.
      {"block does not take", "lose mtd2 0x20000\n", "  \n Updating data ERROR at offset 0x20000 ok \n",
       {"ioctl /dev/mtd2 erase 0x20000 0x10000 -> 0", "write /dev/mtd2 0x20000 0x10000 -> 0x10000"}},
  };
  for (const Case &k : cases) {
    lay_out("mtd1", "mtd2");
    change("mtd2", 2, 'x');
    change("mtd2", 3, 'z');
    board.faults(k.faults);
    Call c = update();
    EXPECT_EQ(1u, c.rc) << k.what;
    EXPECT_EQ(k.out, c.out) << k.what;
    EXPECT_EQ(k.changes, changes()) << k.what;
    EXPECT_TRUE(same_bytes(image, board.file("mtd1"))) << k.what;
    // The comparison stopped at the failure: the last block was left as it was.
    EXPECT_TRUE(same_bytes(std::string(kE, 'z'), block(board.file("mtd2"), 3, kE))) << k.what;
  }
}

// Blocks rewritten before a failure stay rewritten; the next update resumes from the start.
TEST_F(BootRom, RewrittenBlocksStayAfterAFailure) {
  change("mtd2", 1, 'x');
  change("mtd2", 3, 'z');
  board.faults("erase mtd2 0x30000\n");
  EXPECT_EQ(1u, update().rc);
  EXPECT_TRUE(same_bytes(block(image, 1, kE), block(board.file("mtd2"), 1, kE)));
  board.faults("");
  EXPECT_EQ(0u, update().rc);
  EXPECT_TRUE(same_bytes(image, board.file("mtd2")));
  EXPECT_EQ((std::vector<std::string>{"ioctl /dev/mtd2 erase 0x30000 0x10000 -> 0",
                                      "write /dev/mtd2 0x30000 0x10000 -> 0x10000"}),
            changes());
}

}  // namespace
