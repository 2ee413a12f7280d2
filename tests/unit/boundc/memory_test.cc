// memcpy_s, memmove_s, memset_s and their entry variants: check order, clearing, overlap and
// the small-size paths against plain copies and fills.
#include <bsp/boundc.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <array>
#include <vector>

namespace {

constexpr size_t kArena = 160;
constexpr size_t kDestAt = 48;  // dest sits here, so sources below and above it fit in the arena

struct Arena {
  std::array<unsigned char, kArena> bytes;
  Arena() {
    for (size_t i = 0; i < kArena; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
  }
  unsigned char *at(ptrdiff_t off) { return bytes.data() + kDestAt + off; }
};

enum class Src { Distinct, Null, Same, Plus2, Minus2, Plus5, Minus5 };
enum class After { Untouched, Cleared, Copied, Filled };

const void *source(Arena &a, Src kind) {
  switch (kind) {
    case Src::Distinct: return a.at(64);
    case Src::Null: return nullptr;
    case Src::Same: return a.at(0);
    case Src::Plus2: return a.at(2);
    case Src::Minus2: return a.at(-2);
    case Src::Plus5: return a.at(5);
    case Src::Minus5: return a.at(-5);
  }
  return nullptr;
}

struct CopyCase {
  const char *what;
  size_t destMax;
  bool nullDest;
  Src src;
  size_t count;
  errno_t copyResult;  // memcpy_s and its variants
  After copyAfter;
  errno_t moveResult;  // memmove_s
  After moveAfter;
};

constexpr size_t kHuge = 0x80000000u;
constexpr size_t kLimit = 0x7FFFFFFFu;

const CopyCase kCopyCases[] = {
    {"destMax 0", 0, false, Src::Distinct, 4, ERANGE, After::Untouched, ERANGE, After::Untouched},
    {"destMax 0 wins over null dest", 0, true, Src::Null, 4, ERANGE, After::Untouched, ERANGE, After::Untouched},
    {"destMax above limit", kHuge, false, Src::Distinct, 4, ERANGE, After::Untouched, ERANGE, After::Untouched},
    {"destMax all ones", SIZE_MAX, true, Src::Null, 4, ERANGE, After::Untouched, ERANGE, After::Untouched},
    {"destMax at limit", kLimit, false, Src::Distinct, 4, 0, After::Copied, 0, After::Copied},
    {"null dest", 10, true, Src::Distinct, 4, EINVAL, After::Untouched, EINVAL, After::Untouched},
    {"null dest wins over null src", 10, true, Src::Null, 40, EINVAL, After::Untouched, EINVAL, After::Untouched},
    {"null src", 10, false, Src::Null, 4, BOUND_INVALID_CLEARED, After::Cleared, BOUND_INVALID_CLEARED, After::Cleared},
    {"null src wins over count", 10, false, Src::Null, 11, BOUND_INVALID_CLEARED, After::Cleared, BOUND_INVALID_CLEARED, After::Cleared},
    {"count 11 into 10", 10, false, Src::Distinct, 11, BOUND_RANGE_CLEARED, After::Cleared, BOUND_RANGE_CLEARED, After::Cleared},
    {"count wins over overlap", 10, false, Src::Plus2, 11, BOUND_RANGE_CLEARED, After::Cleared, BOUND_RANGE_CLEARED, After::Cleared},
    {"count equals destMax", 10, false, Src::Distinct, 10, 0, After::Copied, 0, After::Copied},
    {"count 0", 10, false, Src::Distinct, 0, 0, After::Untouched, 0, After::Untouched},
    {"same pointers", 10, false, Src::Same, 5, 0, After::Untouched, 0, After::Untouched},
    {"source 2 above", 10, false, Src::Plus2, 5, BOUND_OVERLAP_CLEARED, After::Cleared, 0, After::Copied},
    {"source 2 below", 10, false, Src::Minus2, 5, BOUND_OVERLAP_CLEARED, After::Cleared, 0, After::Copied},
    {"source adjacent above", 10, false, Src::Plus5, 5, 0, After::Copied, 0, After::Copied},
    {"source adjacent below", 10, false, Src::Minus5, 5, 0, After::Copied, 0, After::Copied},
    {"overlap by one byte", 10, false, Src::Plus5, 6, BOUND_OVERLAP_CLEARED, After::Cleared, 0, After::Copied},
};

using CopyFn = errno_t (*)(void *, size_t, const void *, size_t);

// What the arena must hold after a call: the reference applies the plain library function.
Arena expected(const CopyCase &c, After after) {
  Arena ref;
  switch (after) {
    case After::Untouched: break;
    case After::Cleared: memset(ref.at(0), 0, c.destMax); break;
    case After::Copied: memmove(ref.at(0), source(ref, c.src), c.count); break;
    case After::Filled: break;
  }
  return ref;
}

void run_copy_table(const char *name, CopyFn fn, bool move) {
  for (const CopyCase &c : kCopyCases) {
    SCOPED_TRACE(std::string(name) + ": " + c.what);
    Arena a;
    void *dest = c.nullDest ? nullptr : a.at(0);
    errno_t r = fn(dest, c.destMax, source(a, c.src), c.count);
    EXPECT_EQ(move ? c.moveResult : c.copyResult, r);
    EXPECT_EQ(expected(c, move ? c.moveAfter : c.copyAfter).bytes, a.bytes);
  }
}

TEST(MemcpyS, CheckOrderAndResults) {
  run_copy_table("memcpy_s", memcpy_s, false);
  run_copy_table("memcpy_sOptAsm", memcpy_sOptAsm, false);
}

TEST(MemmoveS, CheckOrderAndOverlapAllowed) { run_copy_table("memmove_s", memmove_s, true); }

TEST(MemcpyS, TrustedEntryAgreesExceptForTheUpperLimitOnItsFastPath) {
  for (const CopyCase &c : kCopyCases) {
    if (c.destMax > kLimit) continue;
    SCOPED_TRACE(c.what);
    Arena a;
    void *dest = c.nullDest ? nullptr : a.at(0);
    EXPECT_EQ(c.copyResult, memcpy_sOptTc(dest, c.destMax, source(a, c.src), c.count));
    EXPECT_EQ(expected(c, c.copyAfter).bytes, a.bytes);
  }
  Arena a, ref;
  EXPECT_EQ(0, memcpy_sOptTc(a.at(0), kHuge, a.at(64), 4));
  memcpy(ref.at(0), ref.at(64), 4);
  EXPECT_EQ(ref.bytes, a.bytes);
  // A count with its sign bit set never takes the fast path.
  Arena b;
  EXPECT_EQ(ERANGE, memcpy_sOptTc(b.at(0), SIZE_MAX, b.at(64), kHuge));
  EXPECT_EQ(Arena().bytes, b.bytes);
  EXPECT_EQ(ERANGE, memcpy_sOptTc(b.at(0), kHuge, nullptr, 4));
}

TEST(MemcpyS, ElevenBytesIntoTenClearsAllTen) {
  unsigned char dest[12];
  memset(dest, 0x5A, sizeof dest);
  const unsigned char src[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  EXPECT_EQ(162, memcpy_s(dest, 10, src, 11));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(0, dest[i]) << i;
  EXPECT_EQ(0x5A, dest[10]);
  EXPECT_EQ(0x5A, dest[11]);
}

struct FillCase {
  const char *what;
  size_t destMax;
  bool nullDest;
  int c;
  size_t count;
  errno_t result;
  size_t filled;  // bytes of the destination that hold (unsigned char)c afterwards
};

const FillCase kFillCases[] = {
    {"destMax 0", 0, false, 0x41, 4, ERANGE, 0},
    {"destMax 0 wins over null dest", 0, true, 0x41, 4, ERANGE, 0},
    {"destMax above limit", kHuge, false, 0x41, 4, ERANGE, 0},
    {"null dest", 10, true, 0x41, 4, EINVAL, 0},
    {"null dest wins over count", 10, true, 0x41, 40, EINVAL, 0},
    {"20 into 10 fills all 10 with the byte", 10, false, 0x41, 20, BOUND_RANGE_CLEARED, 10},
    {"count 0", 10, false, 0x41, 0, 0, 0},
    {"count within", 10, false, 0x41, 7, 0, 7},
    {"count equals destMax", 10, false, 0x41, 10, 0, 10},
    {"byte taken from int", 10, false, 0x1C3, 5, 0, 5},
    {"negative int", 10, false, -1, 5, 0, 5},
    {"destMax at limit", kLimit, false, 0x41, 9, 0, 9},
};

using FillFn = errno_t (*)(void *, size_t, int, size_t);

TEST(MemsetS, CheckOrderAndResults) {
  const std::pair<const char *, FillFn> fns[] = {
      {"memset_s", memset_s}, {"memset_sOptAsm", memset_sOptAsm}, {"memset_sOptTc", memset_sOptTc}};
  for (auto [name, fn] : fns) {
    for (const FillCase &c : kFillCases) {
      if (fn == memset_sOptTc && c.destMax > kLimit) continue;
      SCOPED_TRACE(std::string(name) + ": " + c.what);
      Arena a, ref;
      memset(ref.at(0), c.c, c.filled);
      EXPECT_EQ(c.result, fn(c.nullDest ? nullptr : a.at(0), c.destMax, c.c, c.count));
      EXPECT_EQ(ref.bytes, a.bytes);
    }
  }
  Arena a, ref;
  EXPECT_EQ(0, memset_sOptTc(a.at(0), kHuge, 0x33, 6));
  memset(ref.at(0), 0x33, 6);
  EXPECT_EQ(ref.bytes, a.bytes);
  EXPECT_EQ(ERANGE, memset_sOptTc(a.at(0), SIZE_MAX, 0x33, kHuge));
  EXPECT_EQ(ref.bytes, a.bytes);
}

// Every size of the straight-line paths and beyond, at every alignment of both addresses.
TEST(SmallPaths, CopiesEqualPlainMemcpy) {
  const CopyFn fns[] = {memcpy_s, memcpy_sOptAsm, memcpy_sOptTc, memmove_s};
  for (CopyFn fn : fns) {
    for (size_t n = 0; n <= 72; ++n) {
      for (size_t da = 0; da < 8; ++da) {
        for (size_t sa = 0; sa < 8; ++sa) {
          Arena a, ref;
          unsigned char *d = a.bytes.data() + da, *s = a.bytes.data() + 80 + sa;
          ASSERT_EQ(0, fn(d, n + 3, s, n)) << n;
          memcpy(ref.bytes.data() + da, ref.bytes.data() + 80 + sa, n);
          ASSERT_EQ(ref.bytes, a.bytes) << "size " << n << " align " << da << "/" << sa;
        }
      }
    }
  }
}

TEST(SmallPaths, FillsEqualPlainMemset) {
  const FillFn fns[] = {memset_s, memset_sOptAsm, memset_sOptTc};
  for (FillFn fn : fns) {
    for (size_t n = 0; n <= 72; ++n) {
      for (size_t da = 0; da < 8; ++da) {
        Arena a, ref;
        ASSERT_EQ(0, fn(a.bytes.data() + da, n + 1, 0xC5, n));
        memset(ref.bytes.data() + da, 0xC5, n);
        ASSERT_EQ(ref.bytes, a.bytes) << "size " << n << " align " << da;
      }
    }
  }
}

TEST(MemmoveS, LargeOverlappingMoveBothWays) {
  std::vector<unsigned char> buf(10000), ref;
  for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<unsigned char>(i * 13);
  ref = buf;
  EXPECT_EQ(0, memmove_s(buf.data() + 100, 9900, buf.data(), 9000));
  memmove(ref.data() + 100, ref.data(), 9000);
  EXPECT_EQ(ref, buf);
  EXPECT_EQ(0, memmove_s(buf.data(), 10000, buf.data() + 3, 9000));
  memmove(ref.data(), ref.data() + 3, 9000);
  EXPECT_EQ(ref, buf);
}

// Fills around the size from which the string store takes over, at every offset within a
// cache line: exactly count bytes change, the guards on both sides stay.
TEST(MemsetS, LargeFillsAtEveryAlignment) {
  const FillFn fns[] = {memset_s, memset_sOptAsm, memset_sOptTc};
  for (FillFn fn : fns) {
    for (size_t n : {size_t{65}, size_t{2047}, size_t{2048}, size_t{2049}, size_t{2111}, size_t{5000}}) {
      for (size_t at = 0; at < 64; ++at) {
        std::vector<unsigned char> buf(5000 + 128), ref;
        for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<unsigned char>(i * 5 + 1);
        ref = buf;
        ASSERT_EQ(0, fn(buf.data() + at, n, 0xE7, n)) << n << " at " << at;
        memset(ref.data() + at, 0xE7, n);
        ASSERT_EQ(ref, buf) << n << " at " << at;
      }
    }
  }
}

TEST(MemcpyS, LargeCopy) {
  std::vector<unsigned char> src(4096 + 7), dest(4096 + 7, 0);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(0, memcpy_s(dest.data(), dest.size(), src.data() + 3, 4096));
  EXPECT_EQ(0, memcmp(dest.data(), src.data() + 3, 4096));
  EXPECT_EQ(0, dest[4096]);
}

}  // namespace
