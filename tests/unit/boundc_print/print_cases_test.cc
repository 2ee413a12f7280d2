// Formatted output: the entry points' rules and the format language, as tables of cases.
#include <bsp/boundc.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <locale.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <string>

namespace {

#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-zero-length"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wformat-overflow"
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wformat-invalid-specifier"
#endif

constexpr size_t kLimit = 0x7FFFFFFF;

// A destination of 32 bytes inside a guarded area that starts filled with '#'.
struct Dest {
  char area[64];
  Dest() { memset(area, '#', sizeof area); }
  char *p() { return area + 8; }
  bool untouched() const {
    for (char c : area)
      if (c != '#') return false;
    return true;
  }
  bool guards_intact(size_t destMax) const {
    for (size_t i = 0; i < 8; ++i)
      if (area[i] != '#') return false;
    for (size_t i = 8 + destMax; i < sizeof area; ++i)
      if (area[i] != '#') return false;
    return true;
  }
};

std::string fmt(const char *format, ...) {
  static char buf[8192];
  va_list ap;
  va_start(ap, format);
  int r = vsprintf_s(buf, sizeof buf, format, ap);
  va_end(ap);
  return r < 0 ? std::string("<fail>") : std::string(buf, static_cast<size_t>(r));
}

// ---- the entry points' argument checks ----

TEST(PrintEntry, RefusesBadDestinationsWithoutWriting) {
  struct Case {
    const char *what;
    bool null_dest;
    size_t destMax;
  } cases[] = {
      {"null destination", true, 10},
      {"size 0", false, 0},
      {"size above the limit", false, kLimit + 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Dest d;
    char *dest = c.null_dest ? nullptr : d.p();
    EXPECT_EQ(sprintf_s(dest, c.destMax, "x"), -1);
    EXPECT_EQ(snprintf_s(dest, c.destMax, 5, "x"), -1);
    EXPECT_EQ(snprintf_truncated_s(dest, c.destMax, "x"), -1);
    EXPECT_TRUE(d.untouched());
  }
}

TEST(PrintEntry, NullFormatClearsTheDestination) {
  Dest d;
  EXPECT_EQ(sprintf_s(d.p(), 10, nullptr), -1);
  EXPECT_EQ(d.p()[0], '\0');
  EXPECT_EQ(d.p()[1], '#');
  Dest e;
  EXPECT_EQ(snprintf_s(e.p(), 10, 3, nullptr), -1);
  EXPECT_EQ(e.p()[0], '\0');
  Dest f;
  EXPECT_EQ(snprintf_truncated_s(f.p(), 10, nullptr), -1);
  EXPECT_EQ(f.p()[0], '\0');
}

// What each entry point leaves for one format, by destination size and count.
struct FitCase {
  const char *what;
  int entry;  // 0 sprintf_s, 1 snprintf_s, 2 snprintf_truncated_s
  size_t destMax;
  size_t count;
  const char *format;
  int result;
  const char *text;  // nullptr: destination first byte NUL (cleared)
};

int call(const FitCase &c, char *dest) {
  switch (c.entry) {
    case 0: return sprintf_s(dest, c.destMax, c.format, 42);
    case 1: return snprintf_s(dest, c.destMax, c.count, c.format, 42);
    default: return snprintf_truncated_s(dest, c.destMax, c.format, 42);
  }
}

TEST(PrintEntry, OutputThatDoesNotFit) {
  const size_t all_ones32 = 0xFFFFFFFFu;
  const FitCase cases[] = {
      {"sprintf_s fits", 0, 11, 0, "abcdefghij", 10, "abcdefghij"},
      {"sprintf_s 10 chars into 4 bytes", 0, 4, 0, "abcdefghij", -1, nullptr},
      {"sprintf_s exactly no room for NUL", 0, 10, 0, "abcdefghij", -1, nullptr},
      {"sprintf_s conversion overflows", 0, 3, 0, "%d", 2, "42"},
      {"sprintf_s conversion overflows", 0, 2, 0, "%d", -1, nullptr},
      {"snprintf_s count 4 of destMax 10", 1, 10, 4, "abcdefghij", -1, "abcd"},
      {"snprintf_s count fits", 1, 10, 4, "ab%d", 4, "ab42"},
      {"snprintf_s count 0", 1, 10, 0, "abc", -1, ""},
      {"snprintf_s count 0 empty", 1, 10, 0, "", 0, ""},
      {"snprintf_s count above destMax", 1, 4, 8, "abcdefghij", -1, nullptr},
      {"snprintf_s count equal destMax", 1, 4, 4, "abc", 3, "abc"},
      {"snprintf_s count equal destMax overflow", 1, 4, 4, "abcd", -1, nullptr},
      {"snprintf_s all-ones count", 1, 4, all_ones32, "abcdef", -1, nullptr},
      {"snprintf_s all-ones count fits", 1, 8, all_ones32, "abcdef", 6, "abcdef"},
      {"snprintf_s size_t all-ones", 1, 8, SIZE_MAX, "abcdef", 6, "abcdef"},
      {"snprintf_s count above limit", 1, 8, 0x7FFFFFFF, "abc", -1, nullptr},
      {"snprintf_s count at limit", 1, 8, 0x7FFFFFFE, "abc", 3, "abc"},
      {"snprintf_s truncation then refused conversion", 1, 10, 2, "abc%n", -1, nullptr},
      {"truncated_s 10 chars into 4", 2, 4, 0, "abcdefghij", 3, "abc"},
      {"truncated_s exact fit", 2, 4, 0, "abc", 3, "abc"},
      {"truncated_s into 1 byte", 2, 1, 0, "abc", 0, ""},
      {"truncated_s empty", 2, 1, 0, "", 0, ""},
      {"truncated_s refused conversion after truncation", 2, 4, 0, "abcdef%a", -1, nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Dest d;
    EXPECT_EQ(call(c, d.p()), c.result);
    if (c.text == nullptr) {
      EXPECT_EQ(d.p()[0], '\0');
    } else {
      EXPECT_STREQ(d.p(), c.text);
    }
    EXPECT_TRUE(d.guards_intact(c.destMax < 32 ? c.destMax : 32));
  }
}

TEST(PrintEntry, LongRunsAndTruncationAtEveryLength) {
  // Runs both below and above the block-copy threshold, cut at every position.
  const std::string text = "0123456789abcdefghijklmnopqrstuv";
  for (size_t destMax = 1; destMax <= 32; ++destMax) {
    SCOPED_TRACE(destMax);
    Dest d;
    int r = snprintf_truncated_s(d.p(), destMax, "%s", text.c_str());
    size_t keep = destMax - 1 < text.size() ? destMax - 1 : text.size();
    EXPECT_EQ(r, static_cast<int>(keep));
    EXPECT_EQ(std::string(d.p()), text.substr(0, keep));
    EXPECT_TRUE(d.guards_intact(destMax));
    Dest e;
    r = snprintf_truncated_s(e.p(), destMax, "0123456789abcdefghijklmnopqrstuv");
    EXPECT_EQ(r, static_cast<int>(keep));
    EXPECT_EQ(std::string(e.p()), text.substr(0, keep));
    EXPECT_TRUE(e.guards_intact(destMax));
  }
}

TEST(PrintEntry, PaddedFieldsCutAtEveryLength) {
  // Every kind of padding (blanks before, zeros after the sign, blanks after), cut inside the
  // padding, the sign and the digits; the text kept is the head of the whole text.
  const std::string whole = "[    -42|-0000042|-42    |  ab|ab  |xyz]";
  for (size_t destMax = 1; destMax <= whole.size() + 2; ++destMax) {
    SCOPED_TRACE(destMax);
    Dest d;
    int r = snprintf_truncated_s(d.p(), destMax, "[%7d|%08d|%-7d|%4s|%-4s|%s]", -42, -42, -42, "ab", "ab", "xyz");
    size_t keep = destMax - 1 < whole.size() ? destMax - 1 : whole.size();
    EXPECT_EQ(r, static_cast<int>(keep));
    EXPECT_EQ(std::string(d.p()), whole.substr(0, keep));
    EXPECT_TRUE(d.guards_intact(destMax));
  }
}

// ---- the engine ----

int engine(char *dest, size_t count, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int r = SecVsnprintfImpl(dest, count, format, ap);
  va_end(ap);
  return r;
}

TEST(PrintEngine, Results) {
  char buf[16];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(engine(buf, 8, "%s", "abc"), 3);
  EXPECT_STREQ(buf, "abc");
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(engine(buf, 4, "%s", "abcdef"), -2);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[4], '#');
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(engine(buf, 4, "abcdef%n", nullptr), -1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(engine(nullptr, 4, "x"), -1);
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(engine(buf, 0, "x"), -1);
  EXPECT_EQ(buf[0], '#');
}

// ---- the format language ----

struct Row {
  std::string got;
  const char *want;
};

#define ROW(want, ...) Row{fmt(__VA_ARGS__), want}

TEST(PrintFormat, RefusedAndMalformedConversionsFail) {
  int n = 0;
  const Row rows[] = {
      ROW("<fail>", "abc%n", &n),
      ROW("<fail>", "%hn", &n),
      ROW("<fail>", "%a", 1.0),
      ROW("<fail>", "%A", 1.0),
      ROW("<fail>", "%y", 1),
      ROW("<fail>", "%k"),
      ROW("<fail>", "%5"),
      ROW("<fail>", "abc%"),
      ROW("<fail>", "%-"),
      ROW("<fail>", "%.5"),
      ROW("<fail>", "%l"),
      ROW("<fail>", "%5.3-d", 1),
      ROW("<fail>", "%.*5d", 1, 2),
      ROW("<fail>", "%*5d", 1, 2),
      ROW("<fail>", "%ld%", 1L),
      ROW("<fail>", "%5%"),
      ROW("<fail>", "%hy", 1),
  };
  for (const auto &r : rows) EXPECT_EQ(r.got, r.want);
  EXPECT_EQ(n, 0);
}

TEST(PrintFormat, FlagsWidthPrecision) {
  const Row rows[] = {
      ROW("%", "%%"),
      ROW("a%b", "a%%b"),
      ROW("7  |", "%5-3d|", 7),          // a width after a flag starts anew
      ROW("7    |", "%5-d|", 7),
      ROW("7  |", "%5-03d|", 7),          // "0" after a flag is a flag, "3" a new width
      ROW("7  |", "%*d|", -3, 7),         // negative '*' width: left-justified
      ROW("7     0", "%.*d%*d", -1, 7, 6, 0),
      ROW("7", "%.*d", -5, 7),             // negative '*' precision: none
      ROW("00007", "%.*d", 5, 7),
      ROW("+7", "%+d", 7),
      ROW(" 7", "% d", 7),
      ROW("+7", "%+ d", 7),
      ROW("-007", "%04d", -7),
      ROW("  007", "%05.3d", 7),          // zero flag ignored with a precision
      ROW("", "%.0d", 0),
      ROW("+", "%+.0d", 0),
      ROW("0", "%#o", 0),
      ROW("010", "%#o", 8),
      ROW("010", "%#.3o", 8),
      ROW("0x1f", "%#x", 31),
      ROW("0X1F", "%#X", 31),
      ROW("0", "%#x", 0),
      ROW("0x001f", "%#06x", 31),
      ROW("   ab", "%05s", "ab"),
      ROW("    c", "%05c", 'c'),
      ROW("abc", "%.3s", "abcdef"),
      ROW("(null)", "%s", static_cast<const char *>(nullptr)),
      ROW("  (null)", "%8s", static_cast<const char *>(nullptr)),
      ROW("(nil)", "%p", static_cast<void *>(nullptr)),
      ROW("   (nil)", "%8p", static_cast<void *>(nullptr)),
      ROW("0x1234", "%p", reinterpret_cast<void *>(0x1234)),
      ROW("  0x1234", "%8p", reinterpret_cast<void *>(0x1234)),
      ROW("0x00001234", "%010p", reinterpret_cast<void *>(0x1234)),
      ROW("+0x1234", "%+p", reinterpret_cast<void *>(0x1234)),
      ROW("  +0x001234", "%+#11.6p", reinterpret_cast<void *>(0x1234)),
  };
  for (const auto &r : rows) EXPECT_EQ(r.got, r.want);
}

TEST(PrintFormat, ZeroFlagWithWidthDigitsAfterIt) {
  // "0" directly after "%" or a flag is the zero flag; after width digits it is a digit.
  EXPECT_EQ(fmt("%-05d|", 7), "7    |");
  EXPECT_EQ(fmt("%05d", 7), "00007");
  EXPECT_EQ(fmt("%10d", 7), "         7");
  EXPECT_EQ(fmt("%-010d|", 7), "7         |");
}

TEST(PrintFormat, Sizes) {
  const Row rows[] = {
      ROW("44", "%hhd", 300),
      ROW("-1", "%hhd", 255),
      ROW("255", "%hhu", -1),
      ROW("4464", "%hd", 70000),
      ROW("65535", "%hu", -1),
      ROW("-9223372036854775808", "%lld", LLONG_MIN),
      ROW("18446744073709551615", "%llu", ULLONG_MAX),
      ROW("9223372036854775807", "%I64d", LLONG_MAX),
      ROW("-1", "%qd", -1LL),
      ROW("-1", "%jd", static_cast<intmax_t>(-1)),
      ROW("-1", "%Ld", -1LL),
      ROW("ffffffff", "%I32x", 0xFFFFFFFFu),
      ROW("-5", "%Id", -5),
      ROW("Iq", "%Iq"),        // "I" that is no size is text
      ROW("I5", "%-8I5"),
      ROW("I", "%I"),
      ROW("7", "%Nd", 7),
      ROW("A", "%wc", static_cast<wint_t>(L'A')),
      ROW("xyz", "%ws", L"xyz"),
      ROW("xyz", "%S", L"xyz"),
      ROW("A", "%C", static_cast<wint_t>(L'A')),
      ROW("  xy", "%4.2ls", L"xyz"),
      ROW("(null)", "%ls", static_cast<const wchar_t *>(nullptr)),
      ROW("<fail>", "%lc", static_cast<wint_t>(0x20AC)),   // no multibyte form here
      ROW("<fail>", "%ls", L"a\x20AC"),
      ROW("ab", "%hs", "ab"),
  };
  for (const auto &r : rows) EXPECT_EQ(r.got, r.want);
}

TEST(PrintFormat, PlatformWidthSizes) {
  // l, z, Z, t and p read the argument at the platform's width of long, size_t, ptrdiff_t
  // and pointers: 32-bit on the appliance, 64-bit on a 64-bit host.
  char want[64];
  snprintf(want, sizeof want, "%ld", LONG_MIN);
  EXPECT_EQ(fmt("%ld", LONG_MIN), want);
  snprintf(want, sizeof want, "%lu|%lx", ULONG_MAX, ULONG_MAX);
  EXPECT_EQ(fmt("%lu|%lx", ULONG_MAX, ULONG_MAX), want);
  snprintf(want, sizeof want, "%zu", SIZE_MAX);
  EXPECT_EQ(fmt("%zu", SIZE_MAX), want);
  EXPECT_EQ(fmt("%Zu", SIZE_MAX), want);
  snprintf(want, sizeof want, "%td", PTRDIFF_MIN);
  EXPECT_EQ(fmt("%td", PTRDIFF_MIN), want);
  void *high = reinterpret_cast<void *>(UINTPTR_MAX - 0x10);
  snprintf(want, sizeof want, "%p", high);
  EXPECT_EQ(fmt("%p", high), want);
  // The next argument is read from the right place after a wide one.
  snprintf(want, sizeof want, "%ld %d %zu %d", LONG_MAX, 5, SIZE_MAX, 6);
  EXPECT_EQ(fmt("%ld %d %zu %d", LONG_MAX, 5, SIZE_MAX, 6), want);
  EXPECT_EQ(sizeof(long) == 4, fmt("%lu", ULONG_MAX) == "4294967295");
}

TEST(PrintFormat, IntegerPrecisionIsCappedAt512) {
  std::string s = fmt("%.600d", 1);
  ASSERT_EQ(s.size(), 512u);
  EXPECT_EQ(s, std::string(511, '0') + "1");
  EXPECT_EQ(fmt("%.512x", 1).size(), 512u);
  EXPECT_EQ(fmt("%.513x", 1).size(), 512u);
  EXPECT_EQ(fmt("%+.600d", 5).size(), 513u);
  EXPECT_EQ(fmt("%#.600o", 8).size(), 512u);
  EXPECT_EQ(fmt("%#.600x", 1).size(), 514u);
  EXPECT_EQ(fmt("%700.600d", 1).size(), 700u);
}

TEST(PrintFormat, WidthAndPrecisionLimits) {
  char small[8];
  // Literal digits: a value above 21474836 takes no further digit.
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%214748369d", 1), 7);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%214748370d", 1), -1);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%.214748369d", 1), 7);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%.2147483647d", 1), -1);
  // '*': a magnitude above 214748360 fails.
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%*d", 214748360, 1), 7);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%*d", -214748360, 1), 7);
  EXPECT_EQ(small[0], '1');
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%*d", 214748361, 1), -1);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%*d", INT_MIN, 1), -1);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%.*d", 214748361, 1), -1);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%.*d", INT_MIN, 1), 1);
}

TEST(PrintFormat, FloatingGoesToThePlatform) {
  struct Case {
    const char *format;
    double v;
  } cases[] = {
      {"%f", 3.25}, {"%.3e", -12345.678}, {"%G", 1e-10}, {"%#.0f", 2.0}, {"%+010.2f", 3.14159},
      {"%-12.4g|", 0.000123456}, {"%E", 1e300}, {"%f", 1e308}, {"%.600f", 1.0 / 3},
      {"%F", 1.0 / 0.0}, {"%e", -0.0}, {"% f", 0.5}, {"%.0e", 12345.0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.format);
    char want[2048];
    snprintf(want, sizeof want, c.format, c.v);
    EXPECT_EQ(fmt(c.format, c.v), want);
  }
  char want[8192];
  snprintf(want, sizeof want, "%Lf|%.30Le", 1e4000L, -1.5L);
  EXPECT_EQ(fmt("%Lf|%.30Le", 1e4000L, -1.5L), want);
  snprintf(want, sizeof want, "%*.*f|", -9, 2, 1.5);
  EXPECT_EQ(fmt("%*.*f|", -9, 2, 1.5), want);
}

TEST(PrintFormat, FloatingTruncationAndLimits) {
  char small[6];
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%f", 123.5), 5);
  EXPECT_STREQ(small, "123.5");
  EXPECT_EQ(sprintf_s(small, sizeof small, "%f", 123.5), -1);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%.100000f", 1.0), 5);
  EXPECT_STREQ(small, "1.000");
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%.214748012f", 1.0), -1);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%.214743389Lf", 1.0L), -1);
  EXPECT_EQ(snprintf_truncated_s(small, sizeof small, "%1000000f", 1.0), 5);
  EXPECT_STREQ(small, "     ");
}

}  // namespace

namespace {

// ---- the v-forms take the same paths as their variadic forms ----

int v_sprintf(char *d, size_t n, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  int r = vsprintf_s(d, n, f, ap);
  va_end(ap);
  return r;
}
int v_snprintf(char *d, size_t n, size_t c, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  int r = vsnprintf_s(d, n, c, f, ap);
  va_end(ap);
  return r;
}
int v_truncated(char *d, size_t n, const char *f, ...) {
  va_list ap;
  va_start(ap, f);
  int r = vsnprintf_truncated_s(d, n, f, ap);
  va_end(ap);
  return r;
}

TEST(PrintEntry, VariadicAndListFormsAgree) {
  char a[8], b[8];
  EXPECT_EQ(v_sprintf(a, 8, "%d-%s", 12, "ab"), 5);
  EXPECT_STREQ(a, "12-ab");
  EXPECT_EQ(v_sprintf(a, 4, "%d-%s", 12, "ab"), -1);
  EXPECT_STREQ(a, "");
  EXPECT_EQ(v_snprintf(a, 8, 3, "%d-%s", 12, "ab"), -1);
  EXPECT_EQ(snprintf_s(b, 8, 3, "%d-%s", 12, "ab"), -1);
  EXPECT_STREQ(a, "12-");
  EXPECT_STREQ(b, "12-");
  EXPECT_EQ(v_snprintf(a, 8, 0x7FFFFFFF, "x"), -1);
  EXPECT_EQ(v_truncated(a, 4, "%d-%s", 12, "ab"), 3);
  EXPECT_EQ(snprintf_truncated_s(b, 4, "%d-%s", 12, "ab"), 3);
  EXPECT_STREQ(a, "12-");
  EXPECT_STREQ(b, "12-");
  EXPECT_EQ(v_truncated(nullptr, 4, "x"), -1);
  EXPECT_EQ(v_truncated(a, 4, "%a", 1.0), -1);
}

// ---- multibyte text in a UTF-8 locale ----

class Utf8Locale : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = setlocale(LC_ALL, nullptr);
    if (setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override { setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

TEST_F(Utf8Locale, WideTextBecomesMultibyte) {
  EXPECT_EQ(fmt("%lc", static_cast<wint_t>(0x20AC)), "\xE2\x82\xAC");
  EXPECT_EQ(fmt("%ls", L"a\u00E9"), "a\xC3\xA9");
  EXPECT_EQ(fmt("%.3ls|", L"a\u00E9z"), "a\xC3\xA9|");
  EXPECT_EQ(fmt("%.2ls|", L"a\u00E9z"), "a|");  // never half a character
  EXPECT_EQ(fmt("%5ls|", L"\u00E9"), "   \xC3\xA9|");
  EXPECT_EQ(fmt("%lc", static_cast<wint_t>(0xD800)), "<fail>");
}

}  // namespace
