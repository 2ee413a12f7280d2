// strcpy_s, strncpy_s, strcat_s, strncat_s and the two exported full-check paths.
#include <bsp/boundc.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <array>
#include <string>

namespace {

constexpr size_t kHuge = 0x80000000u;
constexpr size_t kLimit = 0x7FFFFFFFu;

// A 64-byte working area: dest at offset 16, initial text in it, the rest filled with '#'.
struct Area {
  std::array<char, 64> b;
  explicit Area(const char *destText = "") {
    b.fill('#');
    memcpy(b.data() + 16, destText, strlen(destText) + 1);
  }
  char *at(ptrdiff_t off) { return b.data() + 16 + off; }
  // The area with the destination's first byte set to NUL and nothing else changed.
  Area cleared() const {
    Area a = *this;
    a.b[16] = '\0';
    return a;
  }
};

// ---- strcpy_s ----

using CopyFn = errno_t (*)(char *, size_t, const char *);

struct StrcpyCase {
  const char *what;
  const char *dest;  // initial destination text
  size_t destMax;
  bool nullDest;
  const char *src;   // nullptr: null source
  errno_t result;
  const char *after;  // destination text afterwards ("" cleared); nullptr: untouched area
};

const StrcpyCase kStrcpyCases[] = {
    {"destMax 0", "old", 0, false, "abc", ERANGE, nullptr},
    {"destMax 0 wins over null dest", "old", 0, true, nullptr, ERANGE, nullptr},
    {"destMax above limit", "old", kHuge, false, "abc", ERANGE, nullptr},
    {"null dest", "old", 10, true, "abc", EINVAL, nullptr},
    {"null src", "old", 10, false, nullptr, BOUND_INVALID_CLEARED, ""},
    {"9 characters into 10", "old", 10, false, "123456789", 0, "123456789"},
    {"10 characters into 10", "old", 10, false, "1234567890", BOUND_RANGE_CLEARED, ""},
    {"empty source", "old", 10, false, "", 0, ""},
    {"destMax 1 and empty source", "old", 1, false, "", 0, ""},
    {"destMax at limit", "old", kLimit, false, "xy", 0, "xy"},
    {"33 characters", "", 40, false, "abcdefghijklmnopqrstuvwxyz0123456", 0, "abcdefghijklmnopqrstuvwxyz0123456"},
};

void run_strcpy_table(const char *name, CopyFn fn) {
  for (const StrcpyCase &c : kStrcpyCases) {
    SCOPED_TRACE(std::string(name) + ": " + c.what);
    Area a(c.dest), ref(c.dest);
    if (c.after != nullptr) memcpy(ref.at(0), c.after, strlen(c.after) + 1);
    EXPECT_EQ(c.result, fn(c.nullDest ? nullptr : a.at(0), c.destMax, c.src));
    EXPECT_EQ(ref.b, a.b);
  }
}

TEST(StrcpyS, CheckOrderAndResults) {
  run_strcpy_table("strcpy_s", strcpy_s);
  run_strcpy_table("strcpy_error", strcpy_error);
}

TEST(StrcpyS, SamePointerAndOverlap) {
  for (CopyFn fn : {strcpy_s, strcpy_error}) {
    Area a("abcdef");
    Area before = a;
    EXPECT_EQ(0, fn(a.at(0), 10, a.at(0)));
    EXPECT_EQ(before.b, a.b);
    // The same pointer still has to fit.
    EXPECT_EQ(BOUND_RANGE_CLEARED, fn(a.at(0), 6, a.at(0)));
    EXPECT_EQ(before.cleared().b, a.b);

    Area s("abcdef");
    before = s;
    EXPECT_EQ(BOUND_OVERLAP_CLEARED, fn(s.at(0), 10, s.at(2)));  // source inside destination
    EXPECT_EQ(before.cleared().b, s.b);
    Area t("abcdef");
    before = t;
    EXPECT_EQ(BOUND_OVERLAP_CLEARED, fn(t.at(3), 10, t.at(0)));  // destination inside source
    before.b[19] = '\0';
    EXPECT_EQ(before.b, t.b);
    // A destination right after the source's NUL does not overlap.
    Area u("abc");
    EXPECT_EQ(0, fn(u.at(4), 10, u.at(0)));
    EXPECT_STREQ("abc", u.at(4));
  }
}

TEST(StrcpyS, EveryLengthAndAlignmentEqualsStrcpy) {
  std::string text;
  for (int i = 0; i < 80; ++i) text.push_back(static_cast<char>('A' + i % 50));
  for (size_t len = 0; len < 72; ++len) {
    std::string s = text.substr(0, len);
    for (size_t da = 0; da < 8; ++da) {
      for (size_t sa = 0; sa < 8; ++sa) {
        std::array<char, 96> dest, ref;
        std::array<char, 96> src{};
        dest.fill('#');
        ref.fill('#');
        memcpy(src.data() + sa, s.c_str(), len + 1);
        ASSERT_EQ(0, strcpy_s(dest.data() + da, len + 1 + (sa & 1), src.data() + sa));
        strcpy(ref.data() + da, src.data() + sa);
        ASSERT_EQ(ref, dest) << "length " << len << " align " << da << "/" << sa;
      }
    }
  }
}

// ---- strncpy_s ----

using NCopyFn = errno_t (*)(char *, size_t, const char *, size_t);

struct StrncpyCase {
  const char *what;
  size_t destMax;
  bool nullDest;
  const char *src;
  size_t count;
  errno_t result;
  const char *after;
};

const StrncpyCase kStrncpyCases[] = {
    {"destMax 0", 0, false, "abc", 2, ERANGE, nullptr},
    {"destMax above limit", kHuge, false, "abc", 2, ERANGE, nullptr},
    {"null dest", 10, true, "abc", 2, EINVAL, nullptr},
    {"null src", 10, false, nullptr, 2, BOUND_INVALID_CLEARED, ""},
    {"null src wins over count", 10, false, nullptr, kHuge, BOUND_INVALID_CLEARED, ""},
    {"count above limit", 10, false, "abc", kHuge, BOUND_RANGE_CLEARED, ""},
    {"count 0", 10, false, "abc", 0, 0, ""},
    {"count 3 of 6 characters", 10, false, "abcdef", 3, 0, "abc"},
    {"count 10 into 4", 4, false, "abcdef", 10, BOUND_RANGE_CLEARED, ""},
    {"count above destMax but source fits", 4, false, "abc", 10, 0, "abc"},
    {"count equals destMax, source fits", 4, false, "abc", 4, 0, "abc"},
    {"count equals destMax, source too long", 4, false, "abcd", 4, BOUND_RANGE_CLEARED, ""},
    {"count one below destMax cuts", 4, false, "abcdefg", 3, 0, "abc"},
    {"count longer than short source", 10, false, "ab", 8, 0, "ab"},
    {"count at limit", 10, false, "ab", kLimit, 0, "ab"},
    {"40 characters", 50, false, "0123456789012345678901234567890123456789", 45, 0,
     "0123456789012345678901234567890123456789"},
};

TEST(StrncpyS, CheckOrderAndResults) {
  const std::pair<const char *, NCopyFn> fns[] = {{"strncpy_s", strncpy_s}, {"strncpy_error", strncpy_error}};
  for (auto [name, fn] : fns) {
    for (const StrncpyCase &c : kStrncpyCases) {
      SCOPED_TRACE(std::string(name) + ": " + c.what);
      Area a("old"), ref("old");
      if (c.after != nullptr) memcpy(ref.at(0), c.after, strlen(c.after) + 1);
      EXPECT_EQ(c.result, fn(c.nullDest ? nullptr : a.at(0), c.destMax, c.src, c.count));
      EXPECT_EQ(ref.b, a.b);
    }
  }
}

TEST(StrncpyS, SamePointerAndOverlapBoundaries) {
  for (NCopyFn fn : {strncpy_s, strncpy_error}) {
    Area a("abcdef");
    EXPECT_EQ(0, fn(a.at(0), 10, a.at(0), 3));  // same pointer: cut in place
    EXPECT_STREQ("abc", a.at(0));
    EXPECT_EQ('e', *a.at(4));

    struct Gap {
      ptrdiff_t srcOff;  // source relative to destination
      errno_t result;
    };
    // n = 3 characters: the source must start more than 3 bytes away.
    const Gap gaps[] = {{2, BOUND_OVERLAP_CLEARED}, {3, BOUND_OVERLAP_CLEARED}, {4, 0},
                        {-2, BOUND_OVERLAP_CLEARED}, {-3, BOUND_OVERLAP_CLEARED}, {-4, 0}};
    for (const Gap &g : gaps) {
      SCOPED_TRACE(g.srcOff);
      Area b("");
      memcpy(b.at(-8), "0123456789abcdefghij", 21);
      errno_t r = fn(b.at(0), 10, b.at(g.srcOff), 3);
      EXPECT_EQ(g.result, r);
      if (r == 0) {
        EXPECT_EQ(std::string("0123456789abcdefghij").substr(8 + g.srcOff, 3), std::string(b.at(0)));
      } else {
        EXPECT_EQ('\0', *b.at(0));
      }
    }
  }
}

// ---- strcat_s / strncat_s ----

struct CatCase {
  const char *what;
  const char *dest;
  size_t destMax;
  bool nullDest;
  const char *src;
  size_t count;  // strncat_s only
  errno_t catResult;
  const char *catAfter;
  errno_t ncatResult;
  const char *ncatAfter;
};

const CatCase kCatCases[] = {
    {"destMax 0", "ab", 0, false, "cd", 2, ERANGE, nullptr, ERANGE, nullptr},
    {"destMax above limit", "ab", kHuge, false, "cd", 2, ERANGE, nullptr, ERANGE, nullptr},
    {"null dest", "ab", 10, true, "cd", 2, EINVAL, nullptr, EINVAL, nullptr},
    {"null src", "ab", 10, false, nullptr, 2, BOUND_INVALID_CLEARED, "", BOUND_INVALID_CLEARED, ""},
    {"count above limit", "ab", 10, false, "cd", kHuge, 0, "abcd", BOUND_RANGE_CLEARED, ""},
    {"plain append", "abc", 10, false, "def", 10, 0, "abcdef", 0, "abcdef"},
    {"count cuts the source", "abc", 10, false, "defgh", 2, 0, "abcdefgh", 0, "abcde"},
    {"count 0", "abc", 10, false, "defgh", 0, 0, "abcdefgh", 0, "abc"},
    {"fills exactly", "abc", 9, false, "defgh", 5, 0, "abcdefgh", 0, "abcdefgh"},
    {"one too long", "abc", 8, false, "defgh", 5, BOUND_RANGE_CLEARED, "", BOUND_RANGE_CLEARED, ""},
    {"count keeps it within", "abc", 8, false, "defgh", 4, BOUND_RANGE_CLEARED, "", 0, "abcdefg"},
    {"no NUL within destMax", "abcdefghij", 10, false, "x", 1, BOUND_INVALID_CLEARED, "",
     BOUND_INVALID_CLEARED, ""},
    {"no NUL, empty source", "abcdefghij", 10, false, "", 0, BOUND_INVALID_CLEARED, "",
     BOUND_INVALID_CLEARED, ""},
    {"empty onto empty", "", 1, false, "", 0, 0, "", 0, ""},
    {"long source", "0123456789", 60, false, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJ", 40, 0,
     "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ", 0, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ"},
};

TEST(StrcatS, CheckOrderAndResults) {
  for (const CatCase &c : kCatCases) {
    for (bool n : {false, true}) {
      SCOPED_TRACE(std::string(n ? "strncat_s: " : "strcat_s: ") + c.what);
      Area a(c.dest), ref(c.dest);
      const char *after = n ? c.ncatAfter : c.catAfter;
      if (after != nullptr) memcpy(ref.at(0), after, strlen(after) + 1);
      char *dest = c.nullDest ? nullptr : a.at(0);
      errno_t r = n ? strncat_s(dest, c.destMax, c.src, c.count) : strcat_s(dest, c.destMax, c.src);
      EXPECT_EQ(n ? c.ncatResult : c.catResult, r);
      EXPECT_EQ(ref.b, a.b);
    }
  }
}

TEST(StrcatS, OverlapAndSamePointer) {
  using Fn = errno_t (*)(char *, size_t, const char *);
  const Fn cat = strcat_s;
  const Fn ncat = [](char *d, size_t m, const char *s) { return strncat_s(d, m, s, 20); };
  for (Fn fn : {cat, ncat}) {
    Area a("ab");
    EXPECT_EQ(BOUND_RANGE_CLEARED, fn(a.at(0), 10, a.at(0)));  // same pointer
    EXPECT_EQ('\0', *a.at(0));

    Area b("abcdef");
    EXPECT_EQ(BOUND_OVERLAP_CLEARED, fn(b.at(0), 20, b.at(2)));  // source inside the text
    EXPECT_EQ('\0', *b.at(0));

    Area c("hello");
    EXPECT_EQ(BOUND_OVERLAP_CLEARED, fn(c.at(2), 20, c.at(0)));  // source runs into dest
    EXPECT_EQ('\0', *c.at(2));

    // Unterminated destination with the source right after its destMax bytes.
    Area d("abcdefgh");
    EXPECT_EQ(BOUND_INVALID_CLEARED, fn(d.at(0), 4, d.at(4)));
    EXPECT_EQ('\0', *d.at(0));
    EXPECT_EQ('e', *d.at(4));

    // A source after the destination's room, far enough away: plain append.
    Area e("ab");
    memcpy(e.at(20), "xyz", 4);
    EXPECT_EQ(0, fn(e.at(0), 8, e.at(20)));
    EXPECT_STREQ("abxyz", e.at(0));
  }
}

}  // namespace
