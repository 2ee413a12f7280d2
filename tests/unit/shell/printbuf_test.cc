// Print capture and memory dump.
#include <bsp/shell.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "unit/shell/shell_test_util.h"

namespace {

using bsp::test::captured;
using bsp::test::hooked_texts;
using bsp::test::recording_hook;

class PrintBuffer : public testing::Test {
 protected:
  void SetUp() override {
    xprinthookinit(reinterpret_cast<void *>(recording_hook));
    xprintbufclear();
    hooked_texts().clear();
  }
  void TearDown() override { xprinthookinit(reinterpret_cast<void *>(bsp::test::quiet_hook)); }
};

// Must stay the first test of this binary: nothing has printed yet.
TEST(PrintBufferUnused, IsEmptyAndExtractsNothing) {
  ASSERT_EQ(nullptr, pp.fillpointer);
  EXPECT_EQ(&pp, xprintBufferMngGet());
  EXPECT_EQ(1, xprintbufferisempty());
  EXPECT_EQ(0, xprintbuffersizeget());
  int len = 77;
  EXPECT_EQ(nullptr, xprintbufextract(&len));
  EXPECT_EQ(0, len);
}

TEST_F(PrintBuffer, TooLongOrEmptyOutputIsNeitherPrintedNorCaptured) {
  std::string big(5000, 'x');
  EXPECT_EQ(-1, DRV_Printf("%s", big.c_str()));
  EXPECT_EQ(-1, DRV_Printf("%s", ""));
  EXPECT_TRUE(hooked_texts().empty());
  EXPECT_EQ(0, xprintbuffersizeget());
  std::string exact(4096, 'y');
  EXPECT_EQ(4096, DRV_Printf("%s", exact.c_str()));
  EXPECT_EQ(exact, captured());
}

TEST_F(PrintBuffer, CaptureIsLinearAndStopsWhenFull) {
  std::string a(3000, 'a'), b(2000, 'b');
  EXPECT_EQ(3000, DRV_Printf("%s", a.c_str()));
  EXPECT_EQ(2000, DRV_Printf("%s", b.c_str()));
  EXPECT_EQ(6, DRV_Printf("third%c", '!'));
  ASSERT_EQ(3u, hooked_texts().size());
  EXPECT_EQ(a, hooked_texts()[0]);
  EXPECT_EQ(b, hooked_texts()[1]);
  EXPECT_EQ("third!", hooked_texts()[2]);
  EXPECT_EQ(a + std::string(1096, 'b'), captured());
  EXPECT_EQ(4096, xprintbuffersizeget());
  EXPECT_EQ('\0', pp.buffer[4096]);
}

TEST_F(PrintBuffer, ExtractsInChunksAndContinuesWhereItStopped) {
  std::string text;
  for (int i = 0; i < 2500; ++i) text += static_cast<char>('a' + i % 26);
  DRV_Printf("%s", text.c_str());
  std::string got;
  for (int expected : {1024, 1024, 452}) {
    int len = -1;
    char *chunk = xprintbufextract(&len);
    ASSERT_NE(nullptr, chunk);
    ASSERT_EQ(expected, len);
    got.append(chunk, len);
  }
  EXPECT_EQ(text, got);
  int len = -1;
  EXPECT_EQ(nullptr, xprintbufextract(&len));
  EXPECT_EQ(0, len);
  EXPECT_EQ(0, xprintbuffersizeget());
  EXPECT_EQ(1, xprintbufferisempty());

  DRV_Printf("more");
  char *chunk = xprintbufextract(&len);
  ASSERT_EQ(4, len);
  EXPECT_STREQ("more", chunk);  // the last chunk ends at the fill position, so it is terminated
}

TEST_F(PrintBuffer, PrintPassesTheWholeCaptureToTheHookAndClears) {
  DRV_Printf("one ");
  DRV_Printf("two");
  int len;
  xprintbufextract(&len);
  hooked_texts().clear();
  xprintbufprint();
  ASSERT_EQ(1u, hooked_texts().size());
  EXPECT_EQ("one two", hooked_texts()[0]);
  EXPECT_EQ(0, xprintbuffersizeget());
  EXPECT_EQ("", captured());

  DRV_Printf("three");
  xprinthookinit(nullptr);
  hooked_texts().clear();
  xprintbufprint();
  EXPECT_TRUE(hooked_texts().empty());
  EXPECT_EQ(0, xprintbuffersizeget());
}

TEST_F(PrintBuffer, WithoutHookTheDefaultWriterPrints) {
  xprinthookinit(nullptr);
  ASSERT_NE(nullptr, default_printf);
  fflush(stdout);
  testing::internal::CaptureStdout();
  DRV_Printf("to %s\r\n", "stdout");
  fflush(stdout);
  EXPECT_EQ("to stdout\r\n", testing::internal::GetCapturedStdout());
  EXPECT_EQ("to stdout\r\n", captured());
}

// ---- memory dump ----

std::string hex8(const void *p) {
  char b[16];
  snprintf(b, sizeof b, "%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
  return b;
}

std::string blanks(size_t n) { return std::string(n, ' '); }

class Dump : public PrintBuffer {
 protected:
  alignas(16) unsigned char region_[64] = {};
};

TEST_F(Dump, ByteModeLineWithAsciiColumn) {
  unsigned char *at = region_ + 3;
  const unsigned char bytes[] = {'A', 'B', 0x00, 0x7F, 0x80};
  memcpy(at, bytes, sizeof bytes);
  DRV_DumpMemory(at, 5, 0x2, nullptr);
  std::string expected = hex8(region_) + ":  " + blanks(9) + "41 42 00 7f 80 " + blanks(24) + "   AB.\x7f." +
                         blanks(8) + "\r\n";
  EXPECT_EQ(expected, captured());
  EXPECT_EQ(11u + 48 + 16 + 2, captured().size());
}

TEST_F(Dump, LinesStartOnSixteenByteBoundaries) {
  for (int i = 0; i < 64; ++i) region_[i] = static_cast<unsigned char>(i);
  DRV_DumpMemory(region_ + 0xC, 20, 0, "at %s", "C");
  std::string line1 = hex8(region_) + ":  " + blanks(36) + "0c 0d 0e 0f \r\n";
  std::string line2 = hex8(region_ + 16) + ":  10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f \r\n";
  EXPECT_EQ("\r\nat C" + line1 + line2, captured());
}

TEST_F(Dump, ZeroLength) {
  DRV_DumpMemory(region_, 0, 0, "desc %d", 5);
  EXPECT_EQ("\r\ndesc 5DRV_DumpMemory length is zero.\r\n", captured());
  xprintbufclear();
  DRV_DumpMemory(region_, 0, 0x6, nullptr);
  EXPECT_EQ("DRV_DumpMemory length is zero.\r\n", captured());
}

TEST_F(Dump, AsciiColumnShowsOnlyPrintableBytes) {
  for (int i = 0; i < 16; ++i) region_[i] = static_cast<unsigned char>(0x1E + i);
  region_[15] = 0xFF;
  DRV_DumpMemory(region_, 16, 0x2 | 0x100, nullptr);
  std::string line = captured();
  EXPECT_EQ(".. !\"#$%&'()*+,.\r\n", line.substr(11 + 48));
}

TEST_F(Dump, WordModeReadsLittleEndianWords) {
  for (int i = 0; i < 16; ++i) region_[i] = static_cast<unsigned char>(i + 1);
  DRV_DumpMemory(region_, 8, 0x4 | 0x2, nullptr);
  EXPECT_EQ(hex8(region_) + ":  04030201 08070605 " + blanks(18) + "\r\n", captured());
  EXPECT_EQ(11u + 36 + 2, captured().size());

  xprintbufclear();
  DRV_DumpMemory(region_ + 5, 4, 0x4 | 0x2, nullptr);
  // Columns before the start are blank (one blank in the ASCII column); the word is read
  // from the start itself.
  EXPECT_EQ(hex8(region_) + ":  " + blanks(18) + "09080706 " + blanks(9) + " \r\n", captured());
}

TEST_F(Dump, WordModeNeverReadsPastTheEnd) {
  // A heap block of exactly 6 bytes: a sanitizer build reports any read beyond it.
  auto *six = static_cast<unsigned char *>(malloc(6));
  ASSERT_NE(nullptr, six);
  for (int i = 0; i < 6; ++i) six[i] = static_cast<unsigned char>(i + 1);
  DRV_DumpMemory(six, 6, 0x4, nullptr);
  if (reinterpret_cast<uintptr_t>(six) % 16 == 0) {
    EXPECT_EQ(hex8(six) + ":  04030201 0605     " + blanks(18) + "\r\n", captured());
  } else {
    EXPECT_NE(std::string::npos, captured().find("0605     ")) << captured();
  }
  free(six);

  auto *block = static_cast<unsigned char *>(aligned_alloc(16, 16));
  ASSERT_NE(nullptr, block);
  for (int i = 0; i < 16; ++i) block[i] = static_cast<unsigned char>(i + 1);
  for (unsigned long len : {1ul, 3ul}) {
    xprintbufclear();
    DRV_DumpMemory(block + 8, len, 0x4, nullptr);
    std::string tail = len == 1 ? "09       " : "0b0a09   ";
    EXPECT_EQ(hex8(block) + ":  " + blanks(18) + tail + blanks(9) + "\r\n", captured());
  }
  free(block);
}

}  // namespace
