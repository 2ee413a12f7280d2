// Formatted input: the entry points' rules and the format language, as tables of cases.
#include <bsp/boundc.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <locale.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

#include <string>

#include "support/capture.h"

namespace {

constexpr unsigned kNarrowLimit = 0x7FFFFFFF;

// ---- arguments and results of the entry points ----

TEST(ScanEntry, NullArguments) {
  int x = 7;
  EXPECT_EQ(sscanf_s(nullptr, "%d", &x), -1);
  EXPECT_EQ(sscanf_s("5", nullptr, &x), -1);
  EXPECT_EQ(fscanf_s(nullptr, "%d", &x), -1);
  EXPECT_EQ(fscanf_s(stdin, nullptr, &x), -1);
  EXPECT_EQ(scanf_s(nullptr, &x), -1);
  EXPECT_EQ(x, 7);
}

TEST(ScanEntry, EmptyBufferEmptiesTheFirstTextDestination) {
  struct Case {
    const char *format;
    unsigned size;
    bool emptied;
  } cases[] = {
      {"%s", 8, true},        {"%c", 8, true},       {"%[abc]", 8, true}, {"%5s", 8, true},
      {"x%%%s", 8, true},     {"%*s%s", 8, false},   {"%s", 0, false},    {"%d%s", 8, false},
      {"%hs", 8, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.format);
    char dest[8];
    memset(dest, '#', sizeof dest);
    if (!strncmp(c.format, "%d", 2)) {
      int i = 0;
      EXPECT_EQ(sscanf_s("", c.format, &i, dest, c.size), -1);
    } else {
      EXPECT_EQ(sscanf_s("", c.format, dest, c.size), -1);
    }
    EXPECT_EQ(dest[0] == '\0', c.emptied);
    EXPECT_EQ(dest[1], '#');
  }
  wchar_t wide[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_EQ(sscanf_s("", "%ls", wide, 4u), -1);
  EXPECT_EQ(wide[0], L'\0');
  EXPECT_EQ(wide[1], L'#');
}

TEST(ScanEntry, WordThatDoesNotFitEmptiesTheDestination) {
  char dest[8];
  memset(dest, '#', sizeof dest);
  EXPECT_EQ(sscanf_s("abcdefghi", "%s", dest, 8u), 0);
  EXPECT_EQ(dest[0], '\0');
  EXPECT_EQ(sscanf_s("abcdefg", "%s", dest, 8u), 1);
  EXPECT_STREQ(dest, "abcdefg");
  // The scan ends there: later fields stay unassigned.
  int n = -5;
  EXPECT_EQ(sscanf_s("12 abcdefghi 7", "%d %s %d", &n, dest, 8u, &n), 1);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(dest[0], '\0');
  // A width within the size reads only the width.
  EXPECT_EQ(sscanf_s("abcdefghi", "%3s", dest, 8u), 1);
  EXPECT_STREQ(dest, "abc");
}

// ---- integers ----

struct IntCase {
  const char *input;
  const char *format;
  int result;
  long long value;
};

TEST(ScanFormat, IntegersAndSaturation) {
  const IntCase cases[] = {
      {"99999999999", "%d", 1, INT_MAX},
      {"-99999999999", "%d", 1, INT_MIN},
      {"2147483647", "%d", 1, INT_MAX},
      {"-2147483648", "%d", 1, INT_MIN},
      {"2147483648", "%d", 1, INT_MAX},
      {"-2147483649", "%i", 1, INT_MIN},
      {"4294967295", "%u", 1, static_cast<int>(UINT_MAX)},
      {"4294967296", "%u", 1, static_cast<int>(UINT_MAX)},
      {"-5", "%u", 1, static_cast<int>(4294967291u)},
      {"0x1F", "%x", 1, 31},
      {"1f", "%x", 1, 31},
      {"0X1f", "%X", 1, 31},
      {"-0x10", "%x", 1, -16},
      {"fffffffff", "%x", 1, -1},
      {"0x10", "%i", 1, 16},
      {"010", "%i", 1, 8},
      {"-010", "%i", 1, -8},
      {"10", "%i", 1, 10},
      {"017", "%o", 1, 15},
      {"+12", "%d", 1, 12},
      {"  \t\n12", "%d", 1, 12},
      {"12345", "%3d", 1, 123},
      {"-12345", "%3d", 1, -12},
      {"0x1f", "%3x", 1, 1},
      {"x", "%d", 0, -7},
      {"-", "%d", 0, -7},
      {"   ", "%d", -1, -7},
      {"300", "%hhd", 1, 44},
      {"70000", "%hd", 1, 4464},
      {"5", "%Id", 1, 5},
      {"5", "%I32d", 1, 5},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.input) + " " + c.format);
    union {
      int i;
      short s;
      signed char c;
    } v;
    v.i = -7;
    EXPECT_EQ(sscanf_s(c.input, c.format, &v), c.result);
    if (strstr(c.format, "hh")) {
      EXPECT_EQ(v.c, c.value);
    } else if (strstr(c.format, "h")) {
      EXPECT_EQ(v.s, c.value);
    } else {
      EXPECT_EQ(v.i, static_cast<int>(c.value));
    }
  }
}

TEST(ScanFormat, SixtyFourBitSizes) {
  const struct {
    const char *input;
    const char *format;
    unsigned long long value;
  } cases[] = {
      {"99999999999999999999", "%lld", static_cast<unsigned long long>(LLONG_MAX)},
      {"-99999999999999999999", "%lld", static_cast<unsigned long long>(LLONG_MIN)},
      {"99999999999999999999", "%llu", ULLONG_MAX},
      {"-1", "%llu", ULLONG_MAX},
      {"-2", "%I64u", ULLONG_MAX - 1},
      {"123456789012", "%qd", 123456789012ull},
      {"123456789012", "%jd", 123456789012ull},
      {"123456789012", "%Ld", 123456789012ull},
      {"ffffffffffffffffff", "%llx", ULLONG_MAX},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.input) + " " + c.format);
    unsigned long long v = 7;
    EXPECT_EQ(sscanf_s(c.input, c.format, &v), 1);
    EXPECT_EQ(v, c.value);
  }
}

TEST(ScanFormat, PlatformWidthSizes) {
  // l, z, t and p store at the platform's width of long, size_t, ptrdiff_t and pointers.
  struct {
    long l;
    int guard;
  } a{0, 0x5A5A};
  char text[64];
  snprintf(text, sizeof text, "%ld", LONG_MAX);
  EXPECT_EQ(sscanf_s(text, "%ld", &a.l), 1);
  EXPECT_EQ(a.l, LONG_MAX);
  EXPECT_EQ(a.guard, 0x5A5A);
  EXPECT_EQ(sscanf_s("99999999999999999999999", "%ld", &a.l), 1);
  EXPECT_EQ(a.l, LONG_MAX);
  EXPECT_EQ(sscanf_s("-99999999999999999999999", "%ld", &a.l), 1);
  EXPECT_EQ(a.l, LONG_MIN);
  unsigned long ul = 0;
  EXPECT_EQ(sscanf_s("99999999999999999999999", "%lu", &ul), 1);
  EXPECT_EQ(ul, ULONG_MAX);
  size_t z = 0;
  snprintf(text, sizeof text, "%zu", SIZE_MAX);
  EXPECT_EQ(sscanf_s(text, "%zu", &z), 1);
  EXPECT_EQ(z, SIZE_MAX);
  ptrdiff_t t = 0;
  snprintf(text, sizeof text, "%td", PTRDIFF_MIN);
  EXPECT_EQ(sscanf_s(text, "%td", &t), 1);
  EXPECT_EQ(t, PTRDIFF_MIN);
  void *p = nullptr;
  void *want = reinterpret_cast<void *>(UINTPTR_MAX - 0xF);
  snprintf(text, sizeof text, "%p", want);
  EXPECT_EQ(sscanf_s(text, "%p", &p), 1);
  EXPECT_EQ(p, want);
  // An int stays an int: nothing beyond its 4 bytes is written.
  struct {
    int i;
    int guard;
  } b{0, 0x5A5A};
  EXPECT_EQ(sscanf_s("99999999999", "%d", &b.i), 1);
  EXPECT_EQ(b.guard, 0x5A5A);
}

// ---- results ----

TEST(ScanFormat, Results) {
  int a = -7, b = -7;
  const struct {
    const char *input;
    const char *format;
    int result;
  } cases[] = {
      {"5", "%d %d", 1},            // the input ended after one field
      {"abc", "abc%d", -1},         // the input ended before any field
      {"5 x", "%d %d", 1},          // no digits: the scan ends
      {"5x", "%d,%d", 1},           // an ordinary character that does not match
      {"a", "b%d", 0},
      {"5 %", "%d %%", 1},
      {"5 x", "%d %%", -1},         // "%%" that does not match is a format error
      {"5 x", "%d %k", -1},
      {"5 k", "%d %k", 1},
      {"5", "%d%", -1},             // the format ends inside a conversion
      {"5 6", "%0d", -1},           // a width written as 0
      {"5 6", "%d %214748370d", -1},
      {"5 6", "%d %214748369d", 2},
      {"5", "%*d", 0},
      {"5 6", "%*d %d", 1},
      {"5", "%*d %d", 0},           // a suppressed field matched before the input ended
      {"ab", "%*s%d", 0},
      {"ab", "%*2c%d", 0},
      {"5", "%*d%n %d", 0},
      {"x", "%*d %d", 0},           // nothing matched, but the scan ended on a mismatch
      {" ", "%*d %d", -1},          // nothing matched before the input ended
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.input) + " | " + c.format);
    EXPECT_EQ(sscanf_s(c.input, c.format, &a, &b), c.result);
  }
}

TEST(ScanFormat, NullDestinationFailsEvenAfterFields) {
  int a = 0;
  EXPECT_EQ(sscanf_s("1 2", "%d %d", &a, static_cast<int *>(nullptr)), -1);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(sscanf_s("1 ab", "%d %s", &a, static_cast<char *>(nullptr), 4u), -1);
  EXPECT_EQ(sscanf_s("1 2", "%d %n", &a, static_cast<int *>(nullptr)), -1);
}

TEST(ScanFormat, CharacterCountIsNoField) {
  int n1 = -1, n2 = -1, v = 0;
  char w[8];
  EXPECT_EQ(sscanf_s("abc  12", "%s%n %d%n", w, 8u, &n1, &v, &n2), 2);
  EXPECT_EQ(n1, 3);
  EXPECT_EQ(n2, 7);
  short hn = -1;
  EXPECT_EQ(sscanf_s("abc", "%*s%hn", &hn), 0);
  EXPECT_EQ(hn, 3);
}

// ---- text conversions ----

TEST(ScanFormat, TextSizes) {
  char d[8];
  const struct {
    const char *format;
    unsigned size;
    int result;
  } cases[] = {
      {"%s", 0, -1},
      {"%c", 0, -1},
      {"%[a-z]", 0, -1},
      {"%s", kNarrowLimit + 1u, -1},
      {"%s", 8, 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(sscanf_s("abc", c.format, d, c.size), c.result);
  }
  wchar_t wd[4];
  EXPECT_EQ(sscanf_s("abc", "%ls", wd, 0x20000000u), -1);
  EXPECT_EQ(sscanf_s("abc", "%ls", wd, 4u), 1);
  EXPECT_EQ(std::wstring(wd), L"abc");
  EXPECT_EQ(sscanf_s("abc", "%S", wd, 4u), 1);
  EXPECT_EQ(sscanf_s("xyz", "%lc", wd, 1u), 1);
  EXPECT_EQ(wd[0], L'x');
  EXPECT_EQ(sscanf_s("xyz", "%2C", wd, 2u), 1);
  EXPECT_EQ(wd[1], L'y');
}

TEST(ScanFormat, Characters) {
  char d[8];
  memset(d, '#', sizeof d);
  EXPECT_EQ(sscanf_s("abcdef", "%3c", d, 8u), 1);
  EXPECT_EQ(std::string(d, 4), "abc#");  // exactly the width, no NUL
  memset(d, '#', sizeof d);
  EXPECT_EQ(sscanf_s(" x", "%c", d, 1u), 1);
  EXPECT_EQ(d[0], ' ');                  // no whitespace skipped
  memset(d, '#', sizeof d);
  EXPECT_EQ(sscanf_s("abc", "%3c", d, 2u), 0);  // does not fit
  EXPECT_EQ(d[0], '\0');
  memset(d, '#', sizeof d);
  EXPECT_EQ(sscanf_s("ab", "%3c", d, 8u), 1);   // the input ends inside the field
  EXPECT_EQ(std::string(d, 3), "ab#");
}

TEST(ScanFormat, Sets) {
  const struct {
    const char *input;
    const char *format;
    int result;
    const char *text;  // nullptr: untouched
  } cases[] = {
      {"abcxyz", "%[abc]", 1, "abc"},
      {"abc,def", "%[^,]", 1, "abc"},
      {"]]a]b", "%[]a]", 1, "]]a]"},
      {"^]x", "%[^]x]", 1, "^"},
      {"abcdz", "%[a-c]", 1, "abc"},
      {"c-ab", "%[c-a]", 1, "c-a"},         // high to low: only the ends and '-'
      {"a-z", "%[a-]", 1, "a-"},
      {"xyz", "%[abc]", 0, nullptr},
      {"abc", "%[abc", 0, ""},               // no closing ']'
      {"abcdefghij", "%[a-j]", 0, ""},       // does not fit
      {"abcdefghij", "%4[a-j]", 1, "abcd"},
      {"  ab", "%[ab]", 0, nullptr},         // no whitespace skipped
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.input) + " " + c.format);
    char d[8];
    memset(d, '#', sizeof d);
    d[7] = '\0';
    EXPECT_EQ(sscanf_s(c.input, c.format, d, 8u), c.result);
    EXPECT_STREQ(d, c.text == nullptr ? "#######" : c.text);
  }
}

// ---- floating ----

TEST(ScanFormat, Floating) {
  float f = 0;
  double d = 0;
  long double ld = 0;
  EXPECT_EQ(sscanf_s("3.25", "%f", &f), 1);
  EXPECT_EQ(f, 3.25f);
  EXPECT_EQ(sscanf_s("-1.5e3", "%lf", &d), 1);
  EXPECT_EQ(d, -1500.0);
  EXPECT_EQ(sscanf_s("0.1", "%Lf", &ld), 1);
  EXPECT_EQ(ld, 0.1L);
  EXPECT_EQ(sscanf_s("0.1", "%f", &f), 1);
  EXPECT_EQ(f, 0.1f);  // converted as float, not rounded twice
  EXPECT_EQ(sscanf_s("1.2345", "%4lf", &d), 1);
  EXPECT_EQ(d, 1.23);
  EXPECT_EQ(sscanf_s("inf", "%lf", &d), 1);
  EXPECT_TRUE(isinf(d));
  EXPECT_EQ(sscanf_s("-nan", "%lf", &d), 1);
  EXPECT_TRUE(isnan(d));
  EXPECT_EQ(sscanf_s("0x1p4", "%lf", &d), 1);
  EXPECT_EQ(d, 16.0);
  EXPECT_EQ(sscanf_s(".", "%lf", &d), 0);
  EXPECT_EQ(sscanf_s("1e5x", "%E", &f), 1);
  EXPECT_EQ(f, 1e5f);
  EXPECT_EQ(sscanf_s("2.5", "%G", &f), 1);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(sscanf_s("2.5", "%F", &f), 1);
  EXPECT_EQ(f, 2.5f);
  // Longer than the in-place text: taken on the heap, converted whole.
  std::string longtext = "0." + std::string(600, '0') + "1e605";
  EXPECT_EQ(sscanf_s(longtext.c_str(), "%lf", &d), 1);
  EXPECT_DOUBLE_EQ(d, 10000.0);
}

// ---- files and standard input ----

struct TempFile {
  FILE *f;
  explicit TempFile(const std::string &content) {
    f = tmpfile();
    fwrite(content.data(), 1, content.size(), f);
    rewind(f);
  }
  ~TempFile() { fclose(f); }
};

TEST(ScanFile, PositionAfterConsumedCharacters) {
  TempFile t("12 abc rest");
  int v = 0;
  EXPECT_EQ(fscanf_s(t.f, "%d", &v), 1);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(ftell(t.f), 2);
  EXPECT_EQ(fgetc(t.f), ' ');
  char w[8];
  EXPECT_EQ(fscanf_s(t.f, "%s", w, 8u), 1);
  EXPECT_STREQ(w, "abc");
  EXPECT_EQ(fgetc(t.f), ' ');
}

TEST(ScanFile, ByteOrderMarkAndBlockBoundaries) {
  std::string content = "\xEF\xBB\xBF" + std::string(1500, 'a') + " 42 7";
  TempFile t(content);
  int v = 0;
  EXPECT_EQ(fscanf_s(t.f, "%*s %d", &v), 1);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(ftell(t.f), static_cast<long>(content.size() - 2));
  EXPECT_EQ(fscanf_s(t.f, "%d", &v), 1);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(fscanf_s(t.f, "%d", &v), -1);  // end of file
  // A word across the first block boundary.
  std::string word = std::string(1020, ' ') + "abcdefgh";
  TempFile u(word);
  char w[16];
  EXPECT_EQ(fscanf_s(u.f, "%s", w, 16u), 1);
  EXPECT_STREQ(w, "abcdefgh");
}

TEST(ScanFile, PipeIsReadNoFurtherThanNeeded) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "12 34 rest", 10), 10);
  close(fds[1]);
  FILE *f = fdopen(fds[0], "r");
  int a = 0, b = 0;
  EXPECT_EQ(fscanf_s(f, "%d", &a), 1);
  EXPECT_EQ(fscanf_s(f, "%d", &b), 1);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 34);
  EXPECT_EQ(fgetc(f), ' ');
  fclose(f);
}

TEST(ScanFile, PipeKeepsBytesReadWhileLookingForAByteOrderMark) {
  const struct {
    const char *input;
    size_t size;
  } cases[] = {{"\xEF" "12 x", 5}, {"\xEF\xBB" "12 x", 6}, {"\xEF\xBB\xBF" "12 x", 7}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.size);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], c.input, c.size), static_cast<ssize_t>(c.size));
    close(fds[1]);
    FILE *f = fdopen(fds[0], "r");
    int v = -1;
    std::string rest;
    bool mark = c.size == 7;
    EXPECT_EQ(fscanf_s(f, "%d", &v), mark ? 1 : 0);
    EXPECT_EQ(v, mark ? 12 : -1);
    for (int ch; (ch = fgetc(f)) != EOF;) rest += static_cast<char>(ch);
    // A real mark is skipped; anything else is left for the next read, whole.
    EXPECT_EQ(rest, mark ? std::string(" x") : std::string(c.input, c.size));
    fclose(f);
  }
}

TEST(ScanFile, StandardInput) {
  auto r = bsp::test::run_process({BOUNDC_SCAN_PROBE}, "41 word\n  17 tail");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "scanf_s=2 41 word|fscanf_s=1 17|rest= tail\n");
}

}  // namespace

namespace {

int v_sscanf(const char *b, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  int r = vsscanf_s(b, f, ap);
  va_end(ap);
  return r;
}
int v_fscanf(FILE *s, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  int r = vfscanf_s(s, f, ap);
  va_end(ap);
  return r;
}
void clear_dest(const char *b, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  SecClearDestBuf(b, f, ap);
  va_end(ap);
}
int engine(SecFileStream *s, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  int r = SecInputS(s, f, ap);
  va_end(ap);
  return r;
}

TEST(ScanEntry, ListFormsAndTheEngine) {
  int a = 0;
  char w[8];
  EXPECT_EQ(v_sscanf("7 xy", "%d %s", &a, w, 8u), 2);
  EXPECT_EQ(a, 7);
  EXPECT_STREQ(w, "xy");
  memset(w, '#', sizeof w);
  EXPECT_EQ(v_sscanf("", "%s", w, 8u), -1);
  EXPECT_EQ(w[0], '\0');
  TempFile t("\xEF\xBB\xBF" "5");
  EXPECT_EQ(v_fscanf(t.f, "%d", &a), 1);
  EXPECT_EQ(a, 5);

  const char text[] = "42 rest";
  SecFileStream s{};
  s.flag = SECUREC_FROM_STRING;
  s.cur = text;
  s.count = 7;
  s.oriFilePos = -1;
  EXPECT_EQ(engine(&s, "%d", &a), 1);
  EXPECT_EQ(a, 42);
  EXPECT_EQ(s.cur, text + 2);  // the record tells what was consumed
}

TEST(ScanEntry, ClearDestBufRules) {
  struct Case {
    const char *buffer;
    const char *format;
    bool emptied;
  } cases[] = {
      {"", "%s", true},      {"", "%c", true},         {"", "%[x]", true},  {"x", "%s", true},
      {"x", "%c", false},    {"x", "%[x]", false},     {"", "%*s", false},  {"", "%d", false},
      {"", "%%%s", true},    {"", "abc %12s", true},   {"", "%I64s", true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string("[") + c.buffer + "] " + c.format);
    char d[4] = {'#', '#', '#', '#'};
    clear_dest(c.buffer, c.format, d, 4u);
    EXPECT_EQ(d[0] == '\0', c.emptied);
    EXPECT_EQ(d[1], '#');
  }
  char d[2] = {'#', '#'};
  clear_dest("", "%s", d, 0u);
  EXPECT_EQ(d[0], '#');
  clear_dest("", "%s", static_cast<char *>(nullptr), 4u);  // no crash
  clear_dest(nullptr, "%s", d, 4u);
  EXPECT_EQ(d[0], '#');
}

TEST(ScanFormat, WideSets) {
  wchar_t w[8];
  EXPECT_EQ(sscanf_s("abcxyz", "%l[a-c]", w, 8u), 1);
  EXPECT_EQ(std::wstring(w), L"abc");
  EXPECT_EQ(sscanf_s("abcdefghij", "%l[a-j]", w, 8u), 0);
  EXPECT_EQ(w[0], L'\0');
}

class ScanUtf8 : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = setlocale(LC_ALL, nullptr);
    if (setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override { setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

TEST_F(ScanUtf8, MultibyteInputIntoWideDestinations) {
  wchar_t w[4];
  EXPECT_EQ(sscanf_s("a\xC3\xA9 z", "%ls", w, 4u), 1);
  EXPECT_EQ(std::wstring(w), L"a\u00E9");
  EXPECT_EQ(sscanf_s("\xE2\x82\xAC", "%lc", w, 1u), 1);
  EXPECT_EQ(w[0], L'\u20AC');
  // Three characters and the NUL fill four places; four characters do not fit.
  EXPECT_EQ(sscanf_s("\xC3\xA9\xC3\xA9\xC3\xA9", "%ls", w, 4u), 1);
  EXPECT_EQ(sscanf_s("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "%ls", w, 4u), 0);
  EXPECT_EQ(w[0], L'\0');
}

}  // namespace
