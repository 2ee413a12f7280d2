// The board's debug commands on the sandboxed board, after the main start-up root.
#include <bsp/board.h>
#include <bsp/loadstate.h>
#include <bsp/pieces.h>
#include <bsp/shell.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/board_fs.h"
#include "support/capture.h"
#include "unit/shell/shell_test_util.h"

namespace {

using bsp::test::captured;
using bsp::test::capture_stdout;
using bsp::test::hooked_texts;
using bsp::test::run_line;

std::string pad26(const std::string &word) { return word.size() >= 26 ? word : word + std::string(26 - word.size(), ' '); }
std::string cmd_entry(const std::string &word, const std::string &help) { return "  " + pad26(word) + help + "\r\n"; }
std::string group_entry(const std::string &word) { return "  " + pad26(word) + "<Group> (null)\r\n"; }
std::string unrecognized(const std::string &word) { return "\r\n  Error: Unrecognized command: \"" + word + "\"\r\n\r\n"; }

const std::string kRootLevel = group_entry("bsp") + group_entry("display") + group_entry("clear") +
                               group_entry("test") + cmd_entry("help", "Obtain help for driver commands");
const std::string kBspLevel = group_entry("pieces") + group_entry("watchdog") + group_entry("softint") +
                              group_entry("show") + group_entry("init");
const std::string kShowLevel = cmd_entry("pieces", "") + group_entry("proc") +
                               cmd_entry("version", "bsp show version") + group_entry("load");
std::string crlf(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out += '\r';
    out += s[i];
  }
  return out;
}

const std::string kIncompleteParameters = "\r\n  Error: Incomplete parameters\r\n\r\n";

printhook g_root_hook = nullptr;

class BoardCommands : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    bsp::test::reset_board();
    capture_stdout([] { BSP_SoRoot(); });
    g_root_hook = pp.xprinthook;
    xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook));
  }
};

TEST_F(BoardCommands, TheShellStartPrintsToStandardOutput) {
  ASSERT_NE(nullptr, g_root_hook);
  xprinthookinit(reinterpret_cast<void *>(g_root_hook));
  xprintbufclear();
  std::string out = capture_stdout([] { DRV_Printf("shown %d\r\n", 1); });
  xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook));
  EXPECT_EQ("shown 1\r\n", out);
  EXPECT_EQ("shown 1\r\n", captured());
}

struct LineCase {
  const char *line;
  int rc;
  std::string out;
};

TEST_F(BoardCommands, ParserTableOnTheBoardTree) {
  const LineCase cases[] = {
      {"help", 0, kRootLevel + "\r\n"},
      {"bsp", -2, "\r\n  Error: Incomplete command\r\n\r\n" + kBspLevel + "\r\n"},
      {"bsp show versio", -1, unrecognized("versio") + kShowLevel + "\r\n"},
      {"BSP show version", -1, unrecognized("BSP") + kRootLevel + "\r\n"},
      {"bsp show version extra", -1, unrecognized("extra")},
      {"bsp show version 1", -2, "\r\n  Error: Too many parameters\r\n\r\n"},
      {"bsp watchdog enable", -2, kIncompleteParameters},
      {"bsp show proc info", -2, kIncompleteParameters},
      {"bsp show load state", -2, kIncompleteParameters},
      {"bsp softint trigger 1", -2, kIncompleteParameters},
      {"bsp show proc info 7", 1, "\r\nInfo: Input para error, please check!\r\n"},
      {"bsp show version\n", -1, unrecognized("\n")},
      {"bsp show version%", 0, "\r\n  Error: Unrecognized command: \"bsp show version%\"\r\n\r\n"},
      {"help bsp", 0, kBspLevel},
      {"help bsp show", 0, kShowLevel},
      {"help bsp show version", 0, "\r\n  SUMMARY\r\n\r\n     bsp show version\r\n\r\n  USAGE\r\n\r\n     NULL\r\n\r\n"},
      {"help bsp pieces write", 0,
       "\r\n  SUMMARY\r\n\r\n\r\n  USAGE\r\n\r\n     PieceNameId, ulOffset, uldata, ulLen\r\n\r\n"},
      {"help bsp show proc info", 0,
       "\r\n  SUMMARY\r\n\r\n     bsp show info\r\n\r\n  USAGE\r\n\r\n     infoid:\r\r\n            0:cmdline\r\r\n"
       "            1:cpuinfo\r\r\n            2:meminfo \r\r\n            3:interrupt info \r\r\n"
       "            4:softirqs info \r\r\n            5:version info \r\r\n            6:softint info \r\r\n\r\n"},
      {"help bsp init load state", 0,
       "\r\n  SUMMARY\r\n\r\n     bsp sorfint trigger\r\n\r\n  USAGE\r\n\r\n     id id\r\n\r\n"},
      {"help display", 0, group_entry("command") + group_entry("boundc")},
      {"help nothing", -1, "No help available for 'nothing'.\r\n\r\nType 'help' for a list of commands.\r\n"},
  };
  for (const auto &c : cases) {
    auto r = run_line(c.line);
    EXPECT_EQ(c.rc, r.rc) << c.line;
    EXPECT_EQ(c.out, r.out) << c.line;
  }
}

// The failure-log commands that every table registration brings along.
TEST_F(BoardCommands, FailureLogCommands) {
  const LineCase listings[] = {
      {"help display boundc", 0, cmd_entry("log", "boundc log, max is 32")},
      {"help clear boundc", 0, cmd_entry("log", "clear boundc log")},
      {"help test boundc", 0, cmd_entry("log", "test boundc log") + cmd_entry("judge", "test boundc judge")},
      {"help display boundc log", 0,
       "\r\n  SUMMARY\r\n\r\n     boundc log, max is 32\r\n\r\n  USAGE\r\n\r\n\r\n"},
      {"display boundc log 1", -2, "\r\n  Error: Too many parameters\r\n\r\n"},
      {"test boundc", -2, "\r\n  Error: Incomplete command\r\n\r\n" + cmd_entry("log", "test boundc log") +
                              cmd_entry("judge", "test boundc judge") + "\r\n"},
  };
  for (const auto &c : listings) {
    auto r = run_line(c.line);
    EXPECT_EQ(c.rc, r.rc) << c.line;
    EXPECT_EQ(c.out, r.out) << c.line;
  }

  // What the handlers print goes to standard output, not into the capture.
  const std::string judged = "memset_s err, ret:162, file is ";
  struct {
    const char *line;
    std::string printed;  // start of the standard output
  } runs[] = {
      {"clear boundc log", ""},
      {"display boundc log", "no boundc log!\r\n"},
      {"test boundc judge", ""},
      {"display boundc log", "cSecLogNum:1\r\n" + judged},
      {"test boundc log", ""},
      {"display boundc log", "cSecLogNum:2\r\n" + judged},
      {"clear boundc log", ""},
      {"display boundc log", "no boundc log!\r\n"},
  };
  for (const auto &c : runs) {
    bsp::test::LineResult r{};
    std::string out = capture_stdout([&] { r = run_line(c.line); });
    EXPECT_EQ(0, r.rc) << c.line;
    EXPECT_EQ("", r.out) << c.line;
    EXPECT_EQ(c.printed, out.substr(0, c.printed.size())) << c.line;
    if (c.printed.empty()) {
      EXPECT_EQ("", out) << c.line;
    }
  }
}

TEST_F(BoardCommands, VersionPrintsTheBuildStampAndTheKernelFile) {
  auto r = run_line("bsp show version");
  const std::string head = "\r\nbsp so Creation Date : ";
  EXPECT_EQ(0u, r.out.find(head)) << r.out;
  if (access("/proc/bspversion", R_OK) != 0) {
    EXPECT_EQ(1, r.rc);
    const std::string tail = "\r\nThis board not support this query\r\n";
    ASSERT_GT(r.out.size(), tail.size());
    EXPECT_EQ(tail, r.out.substr(r.out.size() - tail.size()));
  } else {
    EXPECT_EQ(0, r.rc);
  }
}

TEST_F(BoardCommands, WatchdogCommands) {
  struct {
    const char *line;
    int rc;
    const char *printed;
    uint32_t flag;
  } cases[] = {
      {"bsp watchdog enable 5", 0, "out of range!!\r\nwatchdog flag 5\r\n", 5},
      {"bsp 1 watchdog enable", 0, "watchdog flag 1\r\n", 1},
      {"bsp watchdog enable 0", 0, "watchdog flag 0\r\n", 0},
      {"bsp watchdog close 1", 0, "watchdog closed\r\n", 0},
      {"bsp watchdog close 0", 0, "watchdog closed\r\n", 0},
  };
  for (const auto &c : cases) {
    int rc = 99;
    std::string out = capture_stdout([&] { rc = run_line(c.line).rc; });
    EXPECT_EQ(c.rc, rc) << c.line;
    EXPECT_EQ(c.printed, out) << c.line;
    EXPECT_EQ(c.flag, watchdog_flag) << c.line;
  }
  // A descriptor that is no watchdog refuses the request.
  bsp::test::write_file("/mnt/not-a-watchdog", "x");
  int fd = open("/mnt/not-a-watchdog", O_RDWR);
  ASSERT_GT(fd, 0);
  g_wdg_fd = fd;
  int rc = 99;
  std::string out = capture_stdout([&] { rc = run_line("bsp watchdog close 1").rc; });
  g_wdg_fd = 0;
  close(fd);
  EXPECT_EQ(1, rc);
  EXPECT_EQ("watchdog close fail\r\n", out);
}

TEST_F(BoardCommands, SoftIntTriggerReportsWithoutALineEnd) {
  int rc = 99;
  std::string out = capture_stdout([&] { rc = run_line("bsp softint trigger 7 2").rc; });
  EXPECT_EQ(0, rc);
  const std::string tail = "sotfint trigger u32IntId 7 u32CoreId 2";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(tail, out.substr(out.size() - tail.size()));
}

std::string read_piece(const char *name, unsigned long len) {
  std::vector<unsigned char> buf(len + 1, 0);
  unsigned long got = 0;
  if (BSP_VfsPiecesFileRead(const_cast<char *>(name), 0, buf.data(), len, &got) != 0) return "<unreadable>";
  return std::string(buf.begin(), buf.begin() + static_cast<long>(got));
}

TEST_F(BoardCommands, PiecesWriteAndReadGoThroughAHundredTwentyEightByteBuffer) {
  EXPECT_EQ(0, run_line("bsp pieces write 3 0 0x41 16").rc);
  EXPECT_EQ(std::string(16, 'A'), read_piece("VfsPiecesFile3", 16));
  EXPECT_EQ(0, run_line("bsp pieces write 4 0 0x142 128").rc);
  EXPECT_EQ(std::string(128, 'B'), read_piece("VfsPiecesFile4", 128));
  EXPECT_EQ(0, run_line("bsp pieces read 4 0 0 128").rc);

  for (const char *line : {"bsp pieces write 5 0 0x43 129", "bsp pieces read 4 0 0 4096"}) {
    auto r = run_line(line);
    EXPECT_EQ(1, r.rc) << line;
    EXPECT_NE(std::string::npos, r.out.find("above 128 bytes")) << r.out;
  }
  EXPECT_EQ("<unreadable>", read_piece("VfsPiecesFile5", 1));
  // With no numbers: zero bytes at offset 0 of VfsPiecesFile0.
  EXPECT_EQ(0, run_line("bsp pieces write").rc);
}

TEST_F(BoardCommands, ShowPiecesListsBothAreas) {
  int rc = 99;
  std::string out = capture_stdout([&] { rc = run_line("bsp show pieces").rc; });
  EXPECT_EQ(0, rc);
  EXPECT_NE(std::string::npos, out.find("MainArea"));
  EXPECT_NE(std::string::npos, out.find("BackupArea"));
  EXPECT_EQ(-2, run_line("bsp show pieces 1").rc);
}

TEST_F(BoardCommands, LoadStateShowAndInit) {
  int rc = 99;
  std::string out = capture_stdout([&] { rc = run_line("bsp init load state 0 0").rc; });
  EXPECT_EQ(0, rc);
  const std::string default_show =
      "\r\n\r\n************** Current Startup info ****************"
      "\r\nValid Flag State       : Valid\r\nBoot File Name         : flash:/zq.cc\r\nConfig File Name       : "
      "\r\nLicense File Name      : \r\nPatch File Name        : \r\nVoice File Name        : \r\n"
      "\r\n\r\n************** Pre Startup info ********************\r\nValid Flag State       : Invalid\r\n";
  ASSERT_GE(out.size(), default_show.size());
  EXPECT_EQ(default_show, out.substr(out.size() - default_show.size()));
  // What it stored is the storage's default record, its magic little-endian.
  auto stored = [] {
    std::vector<unsigned char> bytes(sizeof(LOAD_STATE_WORD_S));
    unsigned long got = 0;
    char name[] = "statemach.efs";
    EXPECT_EQ(0u, BSP_VfsPiecesFileRead(name, 0, bytes.data(), bytes.size(), &got));
    EXPECT_EQ(bytes.size(), got);
    return bytes;
  };
  const std::vector<unsigned char> by_command = stored();
  EXPECT_EQ((std::vector<unsigned char>{0x21, 0x43, 0x34, 0x12}),
            std::vector<unsigned char>(by_command.begin(), by_command.begin() + 4));
  LOAD_STATE_WORD_S by_storage{};
  capture_stdout([&] { ASSERT_EQ(0u, BSP_InitLoadStateWord(&by_storage)); });
  EXPECT_EQ(by_command, stored());

  // The second set is current; a name filling its whole field is shown within the field.
  LOAD_STATE_WORD_S word{};
  word.ulMagicWord = LOAD_STATE_WORD_MAGIC;
  word.ucCurDiskFlag = 1;
  word.stLoadStateWordCur.ucPktValidFlag = 2;
  strcpy(word.stLoadStateWordCur.acPktFileName, "flash:/hidden.cc");
  word.stLoadStateWordPre.ucPktValidFlag = 1;
  strcpy(word.stLoadStateWordPre.acPktFileName, "flash:/b.cc");
  strcpy(word.stLoadStateWordPre.acCfgFileName, "c.cfg");
  strcpy(word.stLoadStateWordPre.acLicsFileName, "l");
  memset(word.stLoadStateWordPre.acPatchFileName, 'p', sizeof word.stLoadStateWordPre.acPatchFileName);
  strcpy(word.stLoadStateWordPre.acVoiceFileName, "v");
  capture_stdout([&] { ASSERT_EQ(0u, BSP_SetLoadStateWord(&word)); });
  out = capture_stdout([&] { rc = run_line("bsp show load state 0 0").rc; });
  EXPECT_EQ(0, rc);
  EXPECT_EQ("\r\n\r\n************** Current Startup info ****************"
            "\r\nValid Flag State       : Valid\r\nBoot File Name         : flash:/b.cc"
            "\r\nConfig File Name       : c.cfg\r\nLicense File Name      : l\r\nPatch File Name        : " +
                std::string(65, 'p') +
                "\r\nVoice File Name        : v\r\n"
                "\r\n\r\n************** Pre Startup info ********************\r\nValid Flag State       : Valid\r\n",
            out);
}

// ---- file printer ----

TEST(LineEnds, ParseAddsACarriageReturnBeforeBareLineFeeds) {
  struct {
    std::string src;
    unsigned dest_len;
    std::string out;
  } cases[] = {
      {std::string("a\nb\r\nc"), 64, std::string("a\r\nb\r\nc")},
      {std::string("\nx"), 64, std::string("\r\nx")},
      {std::string("\r\n"), 64, std::string("\r\n")},
      {std::string("ab\n"), 3, std::string("ab\r")},
      {std::string("ab\n"), 4, std::string("ab\r\n")},
      {std::string("a\0b", 3), 64, std::string("a\0b", 3)},
  };
  for (const auto &c : cases) {
    std::vector<unsigned char> src(c.src.begin(), c.src.end());
    std::vector<unsigned char> dest(64, 0xEE);
    unsigned n = BSPCMD_Parse(dest.data(), src.data(), c.dest_len, static_cast<unsigned>(src.size()));
    EXPECT_EQ(c.out, std::string(dest.begin(), dest.begin() + n));
    EXPECT_EQ(0xEE, dest[n]);
  }
  unsigned char d[4], s[4] = {'a'};
  EXPECT_EQ(0u, BSPCMD_Parse(d, s, 0, 1));
  EXPECT_EQ(0u, BSPCMD_Parse(d, s, 4, 0));
}

class FilePrinter : public testing::Test {
 protected:
  void SetUp() override {
    xprinthookinit(reinterpret_cast<void *>(bsp::test::recording_hook));
    hooked_texts().clear();
    xprintbufclear();
  }
  void TearDown() override { xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook)); }
  static unsigned long print(const std::string &path) {
    return BSPCMD_PrintFile(reinterpret_cast<signed char *>(const_cast<char *>(path.c_str())));
  }
};

TEST_F(FilePrinter, PrintsInChunksOf1023Bytes) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + i % 26);
  bsp::test::write_file("/mnt/three-thousand", text);
  EXPECT_EQ(0u, print("/mnt/three-thousand"));
  ASSERT_EQ(4u, hooked_texts().size());
  EXPECT_EQ(text.substr(0, 1023), hooked_texts()[0]);
  EXPECT_EQ(text.substr(1023, 1023), hooked_texts()[1]);
  EXPECT_EQ(text.substr(2046), hooked_texts()[2]);  // 955 bytes with the terminating zero
  EXPECT_EQ("\r\n", hooked_texts()[3]);
}

TEST_F(FilePrinter, EmptyMissingAndNull) {
  bsp::test::write_file("/mnt/empty", "");
  EXPECT_EQ(0u, print("/mnt/empty"));
  EXPECT_EQ("\r\n", captured());

  xprintbufclear();
  EXPECT_EQ(1u, print("/mnt/no-such-file"));
  EXPECT_EQ("This board not support this query\r\n", captured());

  xprintbufclear();
  EXPECT_EQ(1u, BSPCMD_PrintFile(nullptr));
  EXPECT_EQ("file name null.\r\n", captured());

  EXPECT_EQ(1u, BSP_DbgNPrintf(nullptr, 5));
}

TEST_F(FilePrinter, ConvertsLineEndsAndStopsAtNul) {
  bsp::test::write_file("/mnt/lines", std::string("one\ntwo\r\nthree\n\0hidden\n", 23));
  EXPECT_EQ(0u, print("/mnt/lines"));
  EXPECT_EQ("one\r\ntwo\r\nthree\r\n\r\n", captured());
}

// A file of line feeds alone doubles to the whole conversion room; the terminating zero
// still has its byte.
TEST_F(FilePrinter, FileOfLineFeedsOnly) {
  bsp::test::write_file("/mnt/feeds", std::string(4096, '\n'));
  EXPECT_EQ(0u, print("/mnt/feeds"));
  std::string all;
  for (const auto &t : hooked_texts()) all += t;
  std::string expected;
  for (int i = 0; i < 4096; ++i) expected += "\r\n";
  EXPECT_EQ(expected + "\r\n", all);
}

TEST_F(BoardCommands, ProcInfoPrintsTheKernelFile) {
  std::string cmdline = bsp::test::read_file("/proc/cmdline");
  ASSERT_FALSE(cmdline.empty());
  xprinthookinit(reinterpret_cast<void *>(bsp::test::recording_hook));
  hooked_texts().clear();
  int rc = run_line("bsp show proc info 0").rc;
  xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook));
  EXPECT_EQ(0, rc);
  std::string all;
  for (const auto &t : hooked_texts()) all += t;
  EXPECT_EQ(crlf(cmdline.substr(0, 4096)) + "\r\n", all);
}

}  // namespace
