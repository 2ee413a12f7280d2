// Boot log records, rotation and the string helpers.
#include <stdarg.h>
#include <string.h>

#include "loader/loader.h"
#include "loader_board.h"
#include "storage/flavor.h"

namespace bsp::test {
namespace {

using BootLog = LoaderBoard;

TEST_F(BootLog, FirstRecordCreatesTheLog) {
  std::string out = capture_stdout([] { Boot_Record_Info("hello %d\r\n", 7); });
  EXPECT_EQ(boot_log(), "\r\n Info :hello 7\r\n");
  EXPECT_EQ(out, "");  // information records stay off the console
}

TEST_F(BootLog, ErrorRecordGoesToLogAndConsoleIdentically) {
  std::string out = capture_stdout([] { Boot_Record_Error("Get Current Subarea Path Fail\r\n"); });
  EXPECT_EQ(boot_log(), "\r\n Error :Get Current Subarea Path Fail\r\n");
  EXPECT_EQ(out, boot_log());
}

TEST_F(BootLog, PercentSignsReachTheConsoleAsTheyStand) {
  std::string out = capture_stdout([] { Boot_Record_Error("%s", "100%d %s %%n"); });
  EXPECT_EQ(out, "\r\n Error :100%d %s %%n");
  EXPECT_EQ(boot_log(), out);
}

TEST_F(BootLog, NullFormatDoesNothing) {
  std::string out = capture_stdout([] {
    Boot_Record_Info(nullptr);
    Boot_Record_Error(nullptr);
    Boot_WriteTofile(nullptr);
  });
  EXPECT_EQ(out, "");
  EXPECT_FALSE(file_exists("/mnt/flash/boot_log.txt"));
}

TEST_F(BootLog, MessageTooLongForItsBufferLeavesTheBarePrefix) {
  std::string fits(255, 'x'), too_long(256, 'y');
  Boot_Record_Info("%s", fits.c_str());
  Boot_Record_Info("%s", too_long.c_str());
  EXPECT_EQ(boot_log(), "\r\n Info :" + fits + "\r\n Info :");
}

// The append needs one byte more than a plain one: with the longer error prefix a message of
// 255 characters formats, but the record keeps only the prefix.
TEST_F(BootLog, ErrorRecordRoomIsOneByteShortOfTheFullMessage) {
  struct Case {
    size_t length;
    bool kept;
  } cases[] = {{254, true}, {255, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.length);
    sh("rm -f /mnt/flash/boot_log.txt");
    std::string message(c.length, 'e');
    std::string out = capture_stdout([&] { Boot_Record_Error("%s", message.c_str()); });
    std::string record = "\r\n Error :" + (c.kept ? message : std::string());
    EXPECT_EQ(boot_log(), record);
    EXPECT_EQ(out, (c.kept ? "" : "\r\n Error: Src is Too Long ,StrCat Failed!") + record);
  }
}

TEST_F(BootLog, RecordsAppendInOrder) {
  Boot_Record_Info("one\r\n");
  capture_stdout([] { Boot_Record_Error("two\r\n"); });
  Boot_WriteTofile("three");
  EXPECT_EQ(boot_log(), "\r\n Info :one\r\n\r\n Error :two\r\nthree");
}

TEST_F(BootLog, RotatesOnlyAboveTheLimit) {
  struct Case {
    size_t size;
    bool rotated;
  } cases[] = {{0x400000, false}, {0x400001, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.size);
    sh("rm -f /mnt/flash/boot_log*.txt");
    write_file("/mnt/flash/boot_log_bak.txt", "old backup");
    write_file("/mnt/flash/boot_log.txt", std::string(c.size, 'L'));
    Boot_Record_Info("next\r\n");
    if (c.rotated) {
      EXPECT_EQ(boot_log(), "\r\n Info :next\r\n");
      EXPECT_EQ(read_file("/mnt/flash/boot_log_bak.txt"), std::string(c.size, 'L'));
    } else {
      EXPECT_EQ(boot_log().size(), c.size + strlen("\r\n Info :next\r\n"));
      EXPECT_EQ(read_file("/mnt/flash/boot_log_bak.txt"), "old backup");
    }
  }
}

TEST_F(BootLog, UnopenableLogIsReportedOnTheConsoleOnly) {
  sh("rm -rf /mnt/flash");
  std::string out = capture_stdout([] { Boot_Record_Info("lost\r\n"); });
  EXPECT_EQ(out, "\r\n Error: Open Boot Log File : /mnt/flash/boot_log.txt Failed .\r\n");
}

TEST_F(BootLog, StorageMessagesBecomeRecords) {
  auto log = [](storage::flavor::LogKind kind, const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    storage::flavor::loader_log(kind, format, ap);
    va_end(ap);
  };
  std::string out = capture_stdout([&] {
    log(storage::flavor::LogKind::Info, "trace %u\r\n", 5u);
    log(storage::flavor::LogKind::Error, "BSP VfsPieceCheck error \r\n");
  });
  EXPECT_EQ(boot_log(), "\r\n Info :trace 5\r\n\r\n Error :BSP VfsPieceCheck error \r\n");
  EXPECT_EQ(out, "\r\n Error :BSP VfsPieceCheck error \r\n");
}

TEST(BootStrCpySafe, CopiesOrCutsWithAWarning) {
  const char *kWarn = "\r\n Warnning: SrcStr is Too Long , Will Be Cut.";
  struct Case {
    int32_t size;
    const char *expect;
    bool warned;
  } cases[] = {{8, "abcdefg", true}, {11, "abcdefghij", false}, {10, "abcdefghi", true}, {1, "", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.size);
    char buf[16];
    memset(buf, '#', sizeof buf);
    std::string out = capture_stdout([&] { Boot_StrCpy_Safe(buf, "abcdefghij", c.size); });
    EXPECT_STREQ(buf, c.expect);
    EXPECT_EQ(buf[c.size], '#');  // nothing written past the size
    EXPECT_EQ(out, c.warned ? kWarn : "");
  }
}

TEST(BootStrCpySafe, NullsAndZeroSizeDoNothing) {
  char buf[4] = "xyz";
  std::string out = capture_stdout([&] {
    Boot_StrCpy_Safe(nullptr, "a", 4);
    Boot_StrCpy_Safe(buf, nullptr, 4);
    Boot_StrCpy_Safe(buf, "a", 0);
    Boot_StrCpy_Safe(buf, "a", -3);
  });
  EXPECT_STREQ(buf, "xyz");
  EXPECT_EQ(out, "");
}

TEST(BootStrCatSafe, NeedsOneByteMoreThanAPlainAppend) {
  struct Case {
    size_t source_length;
    bool appended;
  } cases[] = {{0, true}, {241, true}, {242, false}, {300, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.source_length);
    char buf[256] = "thirteen char";
    ASSERT_EQ(strlen(buf), 13u);
    std::string src(c.source_length, 's');
    std::string out = capture_stdout([&] { Boot_StrCat_Safe(buf, src.c_str(), sizeof buf); });
    EXPECT_EQ(std::string(buf), c.appended ? "thirteen char" + src : "thirteen char");
    EXPECT_EQ(out, c.appended ? "" : "\r\n Error: Src is Too Long ,StrCat Failed!");
  }
}

TEST(BootStrCatSafe, UnterminatedDestinationIsRefused) {
  char buf[8];
  memset(buf, 'u', sizeof buf);
  std::string out = capture_stdout([&] { Boot_StrCat_Safe(buf, "a", sizeof buf); });
  EXPECT_EQ(out, "\r\n Error: Src is Too Long ,StrCat Failed!");
  EXPECT_EQ(std::string(buf, 8), "uuuuuuuu");
}

TEST_F(BootLog, FileSizeOrMinusOne) {
  write_file("/mnt/flash/f", std::string(1234, 'f'));
  EXPECT_EQ(Boot_GetFileSize("/mnt/flash/f"), 1234);
  EXPECT_EQ(Boot_GetFileSize("/mnt/flash/none"), -1);
  EXPECT_EQ(Boot_GetFileSize(nullptr), -1);
}

TEST_F(BootLog, StopRunAsksForAReboot) {
  Boot_StopRun();
  EXPECT_EQ(read_file(reboot_record()), "reboot \n");
}

}  // namespace
}  // namespace bsp::test
