// Differential test against the C library: for the conversions, flags, widths, precisions
// and sizes where the text must equal snprintf's, thousands of generated formats.
#include <bsp/boundc.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>

namespace {

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

std::mt19937_64 rng(20261210);

uint64_t rnd() { return rng(); }
size_t pick(size_t n) { return static_cast<size_t>(rnd() % n); }

// A random value with a spread of magnitudes, so that small and extreme numbers both come up.
uint64_t spread() {
  switch (pick(5)) {
    case 0: return pick(10);
    case 1: return pick(100000);
    case 2: return rnd() >> pick(64);
    case 3: return ~uint64_t{0} - pick(3);
    default: return rnd();
  }
}

// Formats with both engines; then checks the three overflow rules on a smaller destination.
template <typename... A>
void compare(const std::string &format, A... args) {
  char want[1200];
  char got[1200];
  int n = snprintf(want, sizeof want, format.c_str(), args...);
  ASSERT_GE(n, 0) << format;
  ASSERT_LT(n, static_cast<int>(sizeof want)) << format;
  memset(got, '#', sizeof got);
  int r = sprintf_s(got, sizeof got, format.c_str(), args...);
  ASSERT_EQ(r, n) << format;
  ASSERT_EQ(memcmp(got, want, static_cast<size_t>(n) + 1), 0)
      << format << ": [" << std::string(got, static_cast<size_t>(n)) << "] want [" << want << "]";

  size_t destMax = 1 + pick(static_cast<size_t>(n) + 2);
  size_t keep = static_cast<size_t>(n) < destMax ? static_cast<size_t>(n) : destMax - 1;
  memset(got, '#', sizeof got);
  r = snprintf_truncated_s(got, destMax, format.c_str(), args...);
  ASSERT_EQ(r, static_cast<int>(keep)) << format << " destMax " << destMax;
  ASSERT_EQ(memcmp(got, want, keep), 0) << format;
  ASSERT_EQ(got[keep], '\0');
  ASSERT_EQ(got[destMax], '#');

  memset(got, '#', sizeof got);
  r = sprintf_s(got, destMax, format.c_str(), args...);
  if (static_cast<size_t>(n) < destMax) {
    ASSERT_EQ(r, n);
    ASSERT_EQ(memcmp(got, want, static_cast<size_t>(n) + 1), 0);
  } else {
    ASSERT_EQ(r, -1) << format << " destMax " << destMax;
    ASSERT_EQ(got[0], '\0');
  }
  ASSERT_EQ(got[destMax], '#');

  size_t count = pick(static_cast<size_t>(n) + 2);
  memset(got, '#', sizeof got);
  r = snprintf_s(got, sizeof got, count, format.c_str(), args...);
  if (static_cast<size_t>(n) <= count) {
    ASSERT_EQ(r, n);
  } else {
    ASSERT_EQ(r, -1) << format << " count " << count;
    ASSERT_EQ(memcmp(got, want, count), 0);
    ASSERT_EQ(got[count], '\0');
  }
}

struct Conversion {
  std::string text;
  bool star_width = false, star_precision = false;
  int width = 0, precision = 0;
};

// "%" flags width precision; the caller appends size and conversion.
Conversion random_conversion(int max_precision) {
  Conversion s;
  s.text = "%";
  static const char flags[] = "-+ #0";
  size_t nflags = pick(4);
  for (size_t i = 0; i < nflags; ++i) s.text += flags[pick(5)];
  switch (pick(4)) {
    case 0: break;
    case 1: s.text += std::to_string(1 + pick(30)); break;
    case 2: s.star_width = true; s.width = static_cast<int>(pick(61)) - 30; s.text += "*"; break;
    default: s.text += std::to_string(1 + pick(9)); break;
  }
  switch (pick(4)) {
    case 0: case 1: break;
    case 2: s.text += "." + (pick(4) == 0 ? std::string() : std::to_string(pick(max_precision + 1))); break;
    default:
      s.star_precision = true;
      s.precision = static_cast<int>(pick(max_precision + 6)) - 5;
      s.text += ".*";
      break;
  }
  return s;
}

template <typename T>
void compare_conversion(const Conversion &s, const std::string &format, T v) {
  if (s.star_width && s.star_precision) {
    compare(format, s.width, s.precision, v);
  } else if (s.star_width) {
    compare(format, s.width, v);
  } else if (s.star_precision) {
    compare(format, s.precision, v);
  } else {
    compare(format, v);
  }
}

std::string decorate(const std::string &conversion) {
  static const char *texts[] = {"", "x", "[", "value: ", "a longer literal run around it "};
  return texts[pick(5)] + conversion + texts[pick(5)];
}

TEST(PrintDiff, Integers) {
  static const char conversions[] = "diuoxX";
  static const char *sizes[] = {"", "hh", "h", "l", "ll", "z", "t", "j"};
  for (int i = 0; i < 12000; ++i) {
    Conversion s = random_conversion(40);
    const char *size = sizes[pick(8)];
    char conv = conversions[pick(6)];
    std::string format = decorate(s.text + size + conv);
    uint64_t v = spread();
    if (pick(2) == 0) v = 0 - v;
    SCOPED_TRACE(format);
    if (!strcmp(size, "")) compare_conversion(s, format, static_cast<int>(v));
    else if (!strcmp(size, "hh") || !strcmp(size, "h")) compare_conversion(s, format, static_cast<int>(v));
    else if (!strcmp(size, "l")) compare_conversion(s, format, static_cast<long>(v));
    else if (!strcmp(size, "ll") || !strcmp(size, "j")) compare_conversion(s, format, static_cast<long long>(v));
    else if (!strcmp(size, "z")) compare_conversion(s, format, static_cast<size_t>(v));
    else compare_conversion(s, format, static_cast<ptrdiff_t>(v));
    if (HasFatalFailure()) return;
  }
}

TEST(PrintDiff, IntegersWithLargePrecision) {
  for (int i = 0; i < 500; ++i) {
    Conversion s = random_conversion(512);
    std::string format = decorate(s.text + "ll" + "diuoxX"[pick(6)]);
    compare_conversion(s, format, static_cast<long long>(spread()));
    if (HasFatalFailure()) return;
  }
}

TEST(PrintDiff, CharactersStringsPointers) {
  static const char *words[] = {"", "a", "word", "a string longer than eleven", "tab\there"};
  for (int i = 0; i < 6000; ++i) {
    Conversion s = random_conversion(30);
    SCOPED_TRACE(s.text);
    switch (pick(4)) {
      case 0:
        compare_conversion(s, decorate(s.text + "c"), static_cast<int>(1 + pick(126)));
        break;
      case 1:
        compare_conversion(s, decorate(s.text + "s"), words[pick(5)]);
        break;
      case 2: {
        void *p = reinterpret_cast<void *>(static_cast<uintptr_t>(spread()));
        if (p == nullptr) p = &s;
        compare_conversion(s, decorate(s.text + "p"), p);
        break;
      }
      default:
        compare(decorate("%%") + decorate("%s"), "x");
        break;
    }
    if (HasFatalFailure()) return;
  }
  // The null pointer prints "(nil)" through the flags and width as text.
  for (const char *f : {"%p", "%10p", "%-10p|", "%+p", "% 8p"}) compare(f, static_cast<void *>(nullptr));
  // A null string prints "(null)" unless a precision cuts it (checked in the case tables).
  for (const char *f : {"%s", "%10s", "%-10s|", "%.6s", "%.8s"}) compare(f, static_cast<const char *>(nullptr));
}

TEST(PrintDiff, Floating) {
  static const char conversions[] = "efgEG";
  for (int i = 0; i < 8000; ++i) {
    Conversion s = random_conversion(60);
    char conv = conversions[pick(5)];
    double v;
    switch (pick(4)) {
      case 0: v = static_cast<double>(static_cast<int64_t>(spread())) / 1000.0; break;
      case 1: {
        uint64_t bits = rnd();
        memcpy(&v, &bits, sizeof v);
        break;
      }
      case 2: v = ldexp(static_cast<double>(pick(1000)), static_cast<int>(pick(200)) - 100); break;
      default: v = static_cast<double>(pick(1000)) / 8.0; break;
    }
    bool long_double = pick(4) == 0;
    std::string format = decorate(s.text + (long_double ? "L" : "") + conv);
    SCOPED_TRACE(format);
    if (long_double) compare_conversion(s, format, static_cast<long double>(v));
    else compare_conversion(s, format, v);
    if (HasFatalFailure()) return;
  }
}

TEST(PrintDiff, SeveralConversionsInOneFormat) {
  for (int i = 0; i < 3000; ++i) {
    Conversion a = random_conversion(20), b = random_conversion(20);
    if (a.star_width || a.star_precision || b.star_width || b.star_precision) continue;
    std::string format = decorate(a.text + "ld") + decorate(b.text + "s") + decorate("%" "lu");
    compare(format, static_cast<long>(spread()), "text", static_cast<unsigned long>(spread()));
    if (HasFatalFailure()) return;
  }
}

}  // namespace
