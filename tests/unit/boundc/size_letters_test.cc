// The size letters through both engines: what the print engine reads as an argument of some
// width, the scan engine stores at the same width; where the two letter sets differ ("Z", an
// "I" that is no size, "F"), each engine keeps its own reading.
#include <bsp/boundc.h>
#include <gtest/gtest.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <string>

namespace {

#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

std::string all_ones(size_t bytes) {
  return bytes == 8 ? "18446744073709551615" : std::to_string((uint64_t{1} << (8 * bytes)) - 1);
}

TEST(SizeLetters, IntegerWidthsAgreeBetweenPrintAndScan) {
  const struct {
    const char *size;
    size_t bytes;
  } cases[] = {
      {"", 4},     {"hh", 1},  {"h", 2},   {"l", sizeof(long)}, {"ll", 8},
      {"L", 8},    {"q", 8},   {"j", 8},   {"I64", 8},          {"I32", 4},
      {"I", 4},    {"z", sizeof(size_t)},  {"t", sizeof(ptrdiff_t)},
      {"N", 4},    {"Nh", 2},  {"hN", 2},  {"hhh", 2},          {"lll", sizeof(long)},
  };
  for (const auto &c : cases) {
    const std::string format = std::string("%") + c.size + "u";
    SCOPED_TRACE(format);
    // Print: an argument of all ones is read at the size's width.
    char text[32];
    int n = c.bytes == 8 ? sprintf_s(text, sizeof text, format.c_str(), ~0ull)
                         : sprintf_s(text, sizeof text, format.c_str(), ~0u);
    ASSERT_GT(n, 0);
    EXPECT_EQ(all_ones(c.bytes), text);

    // Scan: that text stored back at the same width, and not one byte further.
    unsigned char stored[16];
    memset(stored, 0xA5, sizeof stored);
    EXPECT_EQ(1, sscanf_s(text, format.c_str(), stored));
    EXPECT_EQ(std::string(c.bytes, '\xFF'), std::string(stored, stored + c.bytes));
    EXPECT_EQ(std::string(sizeof stored - c.bytes, '\xA5'), std::string(stored + c.bytes, stored + sizeof stored));
  }
}

TEST(SizeLetters, NarrowAndWideTextAgreeBetweenPrintAndScan) {
  const struct {
    const char *conversion;
    bool wide;
  } cases[] = {{"%s", false}, {"%hs", false}, {"%ls", true}, {"%ws", true},   {"%S", true},
               {"%hS", false}, {"%hhS", false}, {"%lS", true}, {"%Is", false}, {"%I64s", false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.conversion);
    char printed[16];
    int n = c.wide ? sprintf_s(printed, sizeof printed, c.conversion, L"xyz")
                   : sprintf_s(printed, sizeof printed, c.conversion, "xyz");
    // "I" before anything but an integer conversion is text to print; scan takes it as a size.
    const bool i_is_text = c.conversion[1] == 'I' && c.conversion[2] != '6';
    if (i_is_text) {
      EXPECT_EQ(2, n);
      EXPECT_STREQ("Is", printed);
    } else {
      EXPECT_EQ(3, n);
      EXPECT_STREQ("xyz", printed);
    }
    if (c.wide) {
      wchar_t w[8];
      EXPECT_EQ(1, sscanf_s("xyz", c.conversion, w, 8u));
      EXPECT_EQ(std::wstring(L"xyz"), w);
    } else {
      char s[8];
      EXPECT_EQ(1, sscanf_s("xyz", c.conversion, s, 8u));
      EXPECT_STREQ("xyz", s);
    }
  }
}

TEST(SizeLetters, LettersOfOneEngineOnly) {
  char text[32];
  // "Z" sizes a print argument like "z"; to scan it is a character to match.
  EXPECT_EQ(static_cast<int>(all_ones(sizeof(size_t)).size()), sprintf_s(text, sizeof text, "%Zu", SIZE_MAX));
  EXPECT_EQ(all_ones(sizeof(size_t)), text);
  size_t z = 7;
  EXPECT_EQ(-1, sscanf_s("5", "%Zu", &z));
  EXPECT_EQ(7u, z);
  EXPECT_EQ(0, sscanf_s("Zu", "%Zu", &z));
  EXPECT_EQ(7u, z);

  // "F" converts a float in print; in scan it is ignored before a conversion letter.
  EXPECT_EQ(9, sprintf_s(text, sizeof text, "%Fd", 1.5));
  EXPECT_STREQ("1.500000d", text);
  int i = 0;
  EXPECT_EQ(1, sscanf_s("42", "%Fd", &i));
  EXPECT_EQ(42, i);
  float f = 0;
  EXPECT_EQ(1, sscanf_s("2.5", "%F", &f));
  EXPECT_EQ(2.5f, f);

  // A lone "I" before a conversion that is not an integer: text in print, a size in scan.
  EXPECT_EQ(2, sprintf_s(text, sizeof text, "%Ic", 'x'));
  EXPECT_STREQ("Ic", text);
  char ch[2] = {0, 0};
  EXPECT_EQ(1, sscanf_s("x", "%Ic", ch, 1u));
  EXPECT_EQ('x', ch[0]);
}

}  // namespace
