// Both builds of memcpy_s and memset_s (the load-time choice takes only one of them on a given
// processor): results and bytes equal to plain copies and fills, for every small size and
// alignment and for the refused cases.
#include <gtest/gtest.h>
#include <string.h>

#include <array>

#include "boundc/bound_internal.h"

namespace {

using bsp::boundc::copy_plain;
using bsp::boundc::copy_wide;
using bsp::boundc::fill_plain;
using bsp::boundc::fill_wide;

using Arena = std::array<unsigned char, 200>;

Arena pattern() {
  Arena a;
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<unsigned char>(i * 11 + 3);
  return a;
}

struct Builds {
  const char *name;
  errno_t (*copy)(void *, size_t, const void *, size_t);
  errno_t (*fill)(void *, size_t, int, size_t);
  bool available;
};

std::array<Builds, 2> builds() {
  return {{{"plain", copy_plain, fill_plain, true}, {"wide", copy_wide, fill_wide, bsp::boundc::wide_moves()}}};
}

TEST(Builds, CopiesEqualPlainMemcpy) {
  for (const Builds &b : builds()) {
    if (!b.available) continue;
    SCOPED_TRACE(b.name);
    for (size_t n = 0; n <= 130; ++n) {
      for (size_t da = 0; da < 8; ++da) {
        for (size_t sa = 0; sa < 8; ++sa) {
          Arena a = pattern(), ref = pattern();
          Arena src;
          for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(255 - i);
          ASSERT_EQ(0, b.copy(a.data() + da, n + 1, src.data() + sa, n));
          memcpy(ref.data() + da, src.data() + sa, n);
          ASSERT_EQ(ref, a) << "size " << n << " align " << da << "/" << sa;
        }
      }
    }
  }
}

TEST(Builds, FillsEqualPlainMemset) {
  for (const Builds &b : builds()) {
    if (!b.available) continue;
    SCOPED_TRACE(b.name);
    for (size_t n = 0; n <= 130; ++n) {
      for (size_t da = 0; da < 8; ++da) {
        Arena a = pattern(), ref = pattern();
        ASSERT_EQ(0, b.fill(a.data() + da, n + 1, 0x9D, n));
        memset(ref.data() + da, 0x9D, n);
        ASSERT_EQ(ref, a) << "size " << n << " align " << da;
      }
    }
  }
}

TEST(Builds, RefusalsAgree) {
  for (const Builds &b : builds()) {
    if (!b.available) continue;
    SCOPED_TRACE(b.name);
    Arena a = pattern();
    EXPECT_EQ(ERANGE, b.copy(a.data(), 0, a.data() + 100, 4));
    EXPECT_EQ(EINVAL, b.copy(nullptr, 10, a.data() + 100, 4));
    EXPECT_EQ(pattern(), a);
    EXPECT_EQ(BOUND_OVERLAP_CLEARED, b.copy(a.data(), 10, a.data() + 2, 5));
    EXPECT_EQ(BOUND_RANGE_CLEARED, b.copy(a.data() + 20, 10, a.data() + 100, 11));
    EXPECT_EQ(BOUND_INVALID_CLEARED, b.copy(a.data() + 40, 10, nullptr, 1));
    EXPECT_EQ(BOUND_RANGE_CLEARED, b.fill(a.data() + 60, 10, 0x41, 20));
    Arena ref = pattern();
    memset(ref.data(), 0, 10);
    memset(ref.data() + 20, 0, 10);
    memset(ref.data() + 40, 0, 10);
    memset(ref.data() + 60, 0x41, 10);
    EXPECT_EQ(ref, a);
  }
}

}  // namespace
