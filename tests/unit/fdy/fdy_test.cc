// Flash-dynamic area in one process: layouts after saves, rewrites and formats (read back from
// the flash emulation file with this suite's own decoder), loads, the check, the listing, the
// traces, the building blocks, and descriptor values that are out of range.
#include <bsp/diag.h>
#include <bsp/fdy.h>
#include <bsp/flash.h>
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "area_image.h"
#include "support/board_fs.h"
#include "support/capture.h"

using namespace fdy_test;

namespace {

constexpr uint32_t kData = kStart + kHead;  // 0x1A0000
constexpr uint64_t kEnd = kStart + kSize;   // 0x380000
const std::regex kTrace("Tracd bsp/common/FlashDynamic/FlashDynamic\\[[0-9]+\\]\r\n");

uint32_t save(uint32_t id, size_t len, uint32_t mode = 1) {
  std::string c = pattern(id, len);
  return FDY_SaveFileByFileId(id, c.data(), static_cast<uint32_t>(len), mode);
}

// The file as the library loads it, or a marker.
std::string load(uint32_t id) {
  unsigned len = 0;
  if (FDY_GetFileLengthByFileId(id, &len) != 0) return "<none>";
  std::string buf(len, '\0');
  return FDY_LoadFileByFileId(id, buf.data(), len) == len ? buf : "<failed>";
}

Area area() { return decode(flash()); }

std::string head() { return flash().substr(kStart, kHead); }
void put_head(const std::string &h) { put_flash(kStart, h); }
void put_entry(uint32_t k, const Entry &e) { put_flash(kStart + 8 + 24 * k, entry_bytes(e)); }

std::vector<uint32_t> offsets(const Area &a) {
  std::vector<uint32_t> v;
  for (const Entry &e : a.files) v.push_back(e.offset);
  return v;
}
std::vector<uint32_t> allocs(const Area &a) {
  std::vector<uint32_t> v;
  for (const Entry &e : a.files) v.push_back(e.alloc);
  return v;
}

std::string with_debug(uint32_t level, const std::function<void()> &fn) {
  g_u32BspDebug = level;
  std::string out = bsp::test::capture_stdout(fn);
  g_u32BspDebug = 0;
  return out;
}

// The area is started once per process (later starts do nothing); each test gets a new flash
// emulation file with an empty area on it.
class Fdy : public testing::Test {
 protected:
  void SetUp() override {
    bsp::test::reset_board();
    bsp::test::sh("mkdir -p /mnt/misc");
    static bool started = false;
    if (!started) FLASH_InitFlashDrv();
    ASSERT_EQ(0u, FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), kFlashSize));
    if (!started) {
      bsp::test::capture_stdout([] { ASSERT_EQ(0u, FDY_InitFlashDyna(kStart, kSize)); });
      started = true;
    } else {
      ASSERT_EQ(0u, FDY_FormatFlashDyna());
    }
    ASSERT_TRUE(area().magic);
  }
  void TearDown() override { g_u32BspDebug = 0; }

  // Every file of the area holds what was last saved under its identifier.
  void expect_contents(const std::vector<std::pair<uint32_t, size_t>> &files) {
    const std::string f = flash();
    const Area a = decode(f);
    ASSERT_EQ(files.size(), a.files.size());
    for (size_t k = 0; k < files.size(); ++k) {
      SCOPED_TRACE("file " + std::to_string(files[k].first));
      EXPECT_EQ(files[k].first, a.files[k].id);
      EXPECT_EQ(files[k].second, a.files[k].len);
      EXPECT_TRUE(content(f, a.files[k]) == pattern(files[k].first, files[k].second));
      EXPECT_TRUE(load(files[k].first) == pattern(files[k].first, files[k].second));
    }
    EXPECT_EQ("", layout_fault(a));
    EXPECT_EQ(0u, FDY_CheckFlashDyna());
  }
};

TEST_F(Fdy, TheFirstTwoFiles) {
  ASSERT_EQ(0u, save(5, 100));
  EXPECT_EQ(std::vector<Entry>({{5, kData, 100, 0x2000, 0, 0}}), area().files);
  ASSERT_EQ(0u, save(7, 100));
  EXPECT_EQ(std::vector<Entry>({{5, kData, 100, 0x2000, 0, 0}, {7, kData + 0x2000, 100, 0x2000, 0, 0}}),
            area().files);
  expect_contents({{5, 100}, {7, 100}});
  // Nothing behind the new entry turned into a file.
  EXPECT_EQ(std::string(24, '\xFF'), head().substr(8 + 2 * 24, 24));
}

TEST_F(Fdy, RewritesKeepGrowOrShrinkTheAllocation) {
  struct Case {
    const char *what;
    std::vector<size_t> lens;  // files 1, 2, ... saved in this order
    uint32_t id;
    size_t new_len;
    std::vector<uint32_t> allocs;  // afterwards, in table order
  } cases[] = {
      {"grow the first of two, the second moves up", {100, 100}, 1, 0x3000, {0x4000, 0x2000}},
      {"keep at 80 %", {0x3000, 100}, 1, 0x3400, {0x4000, 0x2000}},
      {"keep at exactly 80 %", {0x3000, 100}, 1, 0x3333, {0x4000, 0x2000}},
      {"below 80 % with the same allocation", {0x3000, 100}, 1, 0x3332, {0x4000, 0x2000}},
      {"shrink, the files behind move down", {0x3000, 100, 0x2800}, 1, 0x2000, {0x2000, 0x2000, 0x4000}},
      {"grow the middle of three", {100, 100, 0x3000}, 2, 0x2001, {0x2000, 0x4000, 0x4000}},
      {"grow far beyond the files behind", {100, 100}, 1, 0x8000, {0xA000, 0x2000}},
      {"grow the last file", {100, 100}, 2, 0x5000, {0x2000, 0x6000}},
      {"shrink the last file", {100, 0x3000}, 2, 0x100, {0x2000, 0x2000}},
      {"grow one byte past the allocation", {0x3000, 100}, 1, 0x4001, {0x6000, 0x2000}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(0u, FDY_FormatFlashDyna());
    std::vector<std::pair<uint32_t, size_t>> files;
    for (size_t k = 0; k < c.lens.size(); ++k) {
      ASSERT_EQ(0u, save(static_cast<uint32_t>(k + 1), c.lens[k]));
      files.emplace_back(k + 1, c.lens[k]);
    }
    ASSERT_EQ(0u, save(c.id, c.new_len, 0));
    files[c.id - 1].second = c.new_len;
    const Area a = area();
    EXPECT_EQ(c.allocs, allocs(a));
    std::vector<uint32_t> expected_offsets;
    uint32_t at = kData;
    for (uint32_t alloc : c.allocs) expected_offsets.push_back(at), at += alloc;
    EXPECT_EQ(expected_offsets, offsets(a));
    expect_contents(files);
  }
}

TEST_F(Fdy, SaveModes) {
  struct Case {
    bool exists;
    uint32_t mode;
    uint32_t rc;
  } cases[] = {{false, 0, 1}, {false, 1, 0}, {false, 2, 1}, {false, 3, 1},
               {true, 0, 0},  {true, 1, 0},  {true, 2, 1},  {true, 7, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.exists ? "existing" : "new") + " file, mode " + std::to_string(c.mode));
    ASSERT_EQ(0u, FDY_FormatFlashDyna());
    if (c.exists) {
      ASSERT_EQ(0u, save(3, 50));
    }
    const std::string before = flash();
    EXPECT_EQ(c.rc, save(3, 60, c.mode));
    if (c.rc == 0) {
      expect_contents({{3, 60}});
    } else {
      EXPECT_TRUE(before == flash());
    }
  }
  EXPECT_EQ(1u, FDY_SaveFileByFileId(3, nullptr, 10, 1));
}

// An empty file is refused before anything moves: the files behind a large allocation stay.
TEST_F(Fdy, AnEmptySaveChangesNothing) {
  ASSERT_EQ(0u, save(1, 0x3000));
  ASSERT_EQ(0u, save(2, 100));
  const std::string before = flash();
  char byte = 0;
  EXPECT_EQ(1u, FDY_SaveFileByFileId(1, &byte, 0, 1));
  EXPECT_EQ(1u, FDY_SaveFileByFileId(9, &byte, 0, 1));
  EXPECT_TRUE(before == flash());
}

TEST_F(Fdy, LoadsAndRandomLoads) {
  ASSERT_EQ(0u, save(9, 1000));
  const std::string file = pattern(9, 1000);
  std::string buf(2000, '\0');
  EXPECT_EQ(0u, FDY_LoadFileByFileId(9, buf.data(), 999));
  EXPECT_EQ(1000u, FDY_LoadFileByFileId(9, buf.data(), 1000));
  EXPECT_TRUE(buf.substr(0, 1000) == file);
  EXPECT_EQ(1000u, FDY_LoadFileByFileId(9, buf.data(), 2000));
  EXPECT_EQ(0u, FDY_LoadFileByFileId(8, buf.data(), 2000));
  EXPECT_EQ(0u, FDY_LoadFileByFileId(9, nullptr, 2000));

  struct Case {
    uint32_t offset, rdlen, buflen, count;
  } cases[] = {
      {990, 100, 100, 10},          {990, 100, 10, 10},     {990, 100, 9, 0},   {1000, 1, 100, 0},
      {5000, 1, 100, 0},            {0, 1000, 1000, 1000},  {0, 999, 999, 999}, {5, 10, 10, 10},
      {5, 0xFFFFFFFFu, 995, 995},   {999, 1, 1, 1},         {0, 0, 10, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("offset " + std::to_string(c.offset) + " length " + std::to_string(c.rdlen) + " buffer " +
                 std::to_string(c.buflen));
    std::string out(c.buflen + 1, '\x5a');
    bsp::test::capture_stdout([&] {
      EXPECT_EQ(c.count, FDY_RandomLoadFileByFileId(9, c.offset, c.rdlen, out.data(), c.buflen));
    });
    if (c.count != 0) {
      EXPECT_TRUE(out.substr(0, c.count) == file.substr(c.offset, c.count));
    }
    EXPECT_EQ('\x5a', out[c.count]) << "wrote past the count";
  }
  unsigned len = 0;
  EXPECT_EQ(0u, FDY_GetFileLengthByFileId(9, &len));
  EXPECT_EQ(1000u, len);
  EXPECT_EQ(1u, FDY_GetFileLengthByFileId(8, &len));
  EXPECT_EQ(1u, FDY_GetFileLengthByFileId(9, nullptr));
}

TEST_F(Fdy, ANearlyFullDataArea) {
  ASSERT_EQ(0u, save(1, 0x1D0000));  // 120 % would not fit: the length in whole blocks
  ASSERT_EQ(0u, save(2, 0xE000));    // leaves one block free
  EXPECT_EQ(allocs(area()), std::vector<uint32_t>({0x1D0000, 0xE000}));
  EXPECT_EQ(1u, save(3, 0x2001));
  ASSERT_EQ(0u, save(3, 0x2000));
  EXPECT_EQ(1u, save(4, 1));
  const std::string full = flash();
  EXPECT_EQ(1u, save(2, 0x10000, 0));  // no room to grow
  EXPECT_TRUE(full == flash());
  expect_contents({{1, 0x1D0000}, {2, 0xE000}, {3, 0x2000}});
  FDY_FILE_DESCR_S d;
  EXPECT_EQ(kStart + 8 + 3 * 24, FDY_FindFreeDesc(&d));
  EXPECT_EQ(kEnd, d.u32Offset);
}

TEST_F(Fdy, TheCheckRefusesBrokenTables) {
  ASSERT_EQ(0u, save(5, 100));     // 0x1A0000 + 0x2000
  ASSERT_EQ(0u, save(7, 0x3000));  // 0x1A2000 + 0x4000
  ASSERT_EQ(0u, save(9, 100));     // 0x1A6000 + 0x2000
  const std::string good = head();
  auto field = [](uint32_t entry, uint32_t at) { return 8 + 24 * entry + at; };
  struct Case {
    const char *what;
    std::function<void(std::string &)> damage;
    uint32_t rc;
    bool traced;
  } cases[] = {
      {"intact", [](std::string &) {}, 0, false},
      {"first magic word", [](std::string &h) { h[0] ^= 1; }, 1, false},
      {"second magic word", [](std::string &h) { h[7] ^= 0x80; }, 1, false},
      {"erased identifier in use", [&](std::string &h) { put_le32(h, field(1, 0), kErased); }, 1, true},
      {"offset below the data area", [&](std::string &h) { put_le32(h, field(0, 4), kData - 24); }, 1, true},
      {"offset beyond the area", [&](std::string &h) { put_le32(h, field(2, 4), kEnd + 1); }, 1, true},
      {"content beyond the area", [&](std::string &h) { put_le32(h, field(2, 8), kEnd - 0x1A6000 + 1); }, 1, true},
      {"content whose end wraps 32 bits", [&](std::string &h) { put_le32(h, field(2, 8), 0xFFFFF000u); }, 1, true},
      {"a gap between files", [&](std::string &h) { put_le32(h, field(1, 4), kData + 0x4000); }, 1, true},
      {"a first file not at the data start", [&](std::string &h) { put_le32(h, field(0, 4), kData + 0x2000); }, 1,
       true},
      {"an earlier end of the table", [&](std::string &h) { put_le32(h, field(1, 16), kErased); }, 0, false},
      {"anything behind the end", [&](std::string &h) { h.replace(field(4, 0), 48, std::string(48, '\x11')); }, 0,
       false},
      {"an empty table", [](std::string &h) { h.replace(8, kHead - 8, std::string(kHead - 8, '\xFF')); }, 0, false},
      {"a zeroed table", [](std::string &h) { h.replace(8, kHead - 8, std::string(kHead - 8, '\0')); }, 1, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string h = good;
    c.damage(h);
    put_head(h);
    for (uint32_t level : {0u, 1u, 2u}) {
      uint32_t rc = 99;
      const std::string out = with_debug(level, [&] { rc = FDY_CheckFlashDyna(); });
      EXPECT_EQ(c.rc, rc);
      EXPECT_EQ(level == 1 && c.traced, std::regex_match(out, kTrace)) << out;
      if (level != 1 || !c.traced) {
        EXPECT_EQ("", out);
      }
    }
  }
}

TEST_F(Fdy, FormatErasesTheWholeArea) {
  ASSERT_EQ(0u, save(5, 0x3000));
  ASSERT_EQ(0u, save(6, 100));
  put_flash(kStart + 3, std::string(1, '\0'));  // a damaged magic too
  ASSERT_EQ(0u, FDY_FormatFlashDyna());
  const std::string f = flash();
  EXPECT_EQ(std::string("\x66\x99\x55\xAA\x99\x66\xAA\x55", 8), f.substr(kStart, 8));
  EXPECT_TRUE(std::string(kSize - 8, '\xFF') == f.substr(kStart + 8, kSize - 8));
  EXPECT_TRUE(area().files.empty());
  EXPECT_EQ(0u, FDY_CheckFlashDyna());
}

TEST_F(Fdy, TheStartUpFormatKeepsAFirstFileSix) {
  ASSERT_EQ(0u, save(6, 0x2800));  // allocation 0x4000
  ASSERT_EQ(0u, save(7, 100));
  ASSERT_EQ(0u, save(8, 0x3000));
  const Entry six = area().files[0];
  put_flash(kStart, std::string(8, '\0'));  // the magic damaged: the start-up case
  ASSERT_EQ(0u, FDY_FormatFlashDynaWithoutFpga());
  const std::string f = flash();
  const Area a = decode(f);
  EXPECT_TRUE(a.magic) << "the format that keeps file 6 also writes the magic";
  EXPECT_EQ(std::vector<Entry>({six}), a.files);
  EXPECT_TRUE(content(f, six) == pattern(6, 0x2800));
  EXPECT_TRUE(std::string(kHead - 32, '\xFF') == f.substr(kStart + 32, kHead - 32));
  EXPECT_TRUE(std::string(kEnd - kData - 0x4000, '\xFF') == f.substr(kData + 0x4000, kEnd - kData - 0x4000));
  EXPECT_EQ(0u, FDY_CheckFlashDyna());
  ASSERT_EQ(0u, save(9, 100));
  expect_contents({{6, 0x2800}, {9, 100}});
  EXPECT_EQ(kData + 0x4000, area().files[1].offset);
}

TEST_F(Fdy, TheStartUpFormatErasesAllWhenFileSixIsNotFirstOrNotWhole) {
  struct Case {
    const char *what;
    std::function<void()> setup;
  } cases[] = {
      {"file 6 second", [] { save(5, 100), save(6, 100); }},
      {"file 6 first with a length beyond its allocation",
       [] { save(6, 100), put_entry(0, {6, kData, 0x3000, 0x2000, 0, 0}); }},
      {"file 6 first with an allocation beyond the area",
       [] { save(6, 100), put_entry(0, {6, kData, 100, 0x1F0000, 0, 0}); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(0u, FDY_FormatFlashDyna());
    c.setup();
    ASSERT_EQ(0u, FDY_FormatFlashDynaWithoutFpga());
    const std::string f = flash();
    EXPECT_TRUE(decode(f).magic);
    EXPECT_TRUE(std::string(kSize - 8, '\xFF') == f.substr(kStart + 8, kSize - 8));
  }
}

TEST_F(Fdy, TheListing) {
  const std::string empty = bsp::test::capture_stdout([] { FDY_ListFileInFlash(); });
  const std::string frame =
      "\r\nFlash Dynamic Area :0x180000 + 0x200000\r\n"
      "Description Area : 0x180008 + 0x20000\r\n"
      "Data Area : 0x1a0000 + 0x1e0000\r\n"
      "Block is 0x2000\r\n";
  EXPECT_EQ(frame + "\r\nFile number is 0 / 5461.\r\n", empty);
  ASSERT_EQ(0u, save(5, 100));
  ASSERT_EQ(0u, save(0x12345, 0x3000));
  EXPECT_EQ(frame +
                "1:[0x0005] : 0x1a0000 + (0x0064 / 0x2000)\r\n"
                "2:[0x12345] : 0x1a2000 + (0x3000 / 0x4000)\r\n"
                "\r\nFile number is 2 / 5461.\r\n",
            bsp::test::capture_stdout([] { FDY_ListFileInFlash(); }));
}

TEST_F(Fdy, TracesOnlyWhileTheDebugSwitchIsOne) {
  for (uint32_t level : {0u, 1u, 2u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(level);
    const std::string out = with_debug(level, [] { EXPECT_EQ(0u, FDY_CalcAllocSize(0x3000, 0x2000)); });
    if (level == 1) {
      EXPECT_TRUE(std::regex_match(out, kTrace)) << out;
    } else {
      EXPECT_EQ("", out);
    }
  }
}

TEST_F(Fdy, ChangingAnIdentifier) {
  ASSERT_EQ(0u, save(5, 100));
  ASSERT_EQ(0u, save(7, 200));
  EXPECT_EQ(0u, FDY_ChangeFileID(5, 11));
  EXPECT_EQ(11u, area().files[0].id);
  EXPECT_TRUE(load(11) == pattern(5, 100));
  EXPECT_EQ("<none>", load(5));
  EXPECT_EQ(1u, FDY_ChangeFileID(5, 12));
  // A name already in use may be given again: a search finds the first.
  EXPECT_EQ(0u, FDY_ChangeFileID(7, 11));
  EXPECT_TRUE(load(11) == pattern(5, 100));
  EXPECT_EQ(kStart + 8, FDY_FindDescByFileId(11));
  EXPECT_EQ(0u, FDY_CheckFlashDyna());
}

// 0xFFFFFFFF names erased entries: it is never a file, and no file can be given it.
TEST_F(Fdy, TheErasedIdentifierIsNoFile) {
  ASSERT_EQ(0u, save(5, 100));
  const std::string before = flash();
  char data[4] = {1, 2, 3, 4};
  unsigned len = 0;
  EXPECT_EQ(1u, FDY_SaveFileByFileId(kErased, data, 4, 1));
  EXPECT_EQ(1u, FDY_SaveFileByFileId(kErased, data, 4, 0));
  EXPECT_EQ(1u, FDY_GetFileLengthByFileId(kErased, &len));
  EXPECT_EQ(0u, FDY_LoadFileByFileId(kErased, data, 4));
  EXPECT_EQ(1u, FDY_ChangeFileID(5, kErased));
  EXPECT_EQ(1u, FDY_ChangeFileID(kErased, 8));
  EXPECT_TRUE(before == flash());
  EXPECT_EQ(0u, FDY_CheckFlashDyna());
  // The building block itself searches as it always did: the first erased entry matches.
  EXPECT_EQ(kStart + 8 + 24, FDY_FindDescByFileId(kErased));
}

TEST_F(Fdy, BuildingBlocks) {
  struct Alloc {
    uint32_t file, free, alloc;
  } sizes[] = {{100, 0x100000, 0x2000},    {0, 0x2000, 0x2000},         {0x2000, 0x2000, 0x2000},
               {0x2001, 0x100000, 0x4000}, {0x10000, 0x100000, 0x14000}, {0x10000, 0x12000, 0x10000},
               {0x4800, 0x5000, 0x5000},   {100, 0x1FFF, 0},             {0x3000, 0x2000, 0}};
  for (const Alloc &s : sizes) {
    EXPECT_EQ(s.alloc, FDY_CalcAllocSize(s.file, s.free)) << s.file << " in " << s.free;
  }

  ASSERT_EQ(0u, save(5, 100));
  ASSERT_EQ(0u, save(7, 100));
  EXPECT_EQ(kStart + 8, FDY_FindDescByFileId(5));
  EXPECT_EQ(kStart + 32, FDY_FindDescByFileId(7));
  EXPECT_EQ(0u, FDY_FindDescByFileId(9));

  FDY_FILE_DESCR_S d;
  memset(&d, 0x77, sizeof d);
  EXPECT_EQ(kStart + 56, FDY_FindFreeDesc(&d));
  EXPECT_EQ(0u, d.u32FileID);
  EXPECT_EQ(kData + 0x4000, d.u32Offset);
  EXPECT_EQ(0u, d.u32FileLen);
  EXPECT_EQ(0u, d.u32AllocLen);
  EXPECT_EQ(0u, d.u32Status);
  EXPECT_EQ(0u, FDY_FindFreeDesc(nullptr));

  // A new allocation is sized for the length asked for.
  memset(&d, 0, sizeof d);
  d.u32FileLen = 0x3000;
  EXPECT_EQ(kStart + 56, FDY_AllocFileSpace(&d, 0));
  EXPECT_EQ(kData + 0x4000, d.u32Offset);
  EXPECT_EQ(0x4000u, d.u32AllocLen);
  EXPECT_EQ(0x3000u, d.u32FileLen);

  // Zoom: the first file's allocation grows and the second moves, the table stays valid.
  memset(&d, 0, sizeof d);
  d.u32FileLen = 0x3000;
  EXPECT_EQ(kStart + 8, FDY_ZoomFileSpace(&d, kStart + 8));
  EXPECT_EQ(kData, d.u32Offset);
  EXPECT_EQ(0x4000u, d.u32AllocLen);
  EXPECT_EQ(offsets(area()), std::vector<uint32_t>({kData, kData + 0x4000}));
  EXPECT_TRUE(load(7) == pattern(7, 100));
  EXPECT_EQ(0u, FDY_CheckFlashDyna());
  d.u32FileLen = 0x3400;  // fits the new allocation: kept
  EXPECT_EQ(kStart + 8, FDY_ZoomFileSpace(&d, kStart + 8));
  EXPECT_EQ(0x4000u, d.u32AllocLen);
  EXPECT_EQ(0u, FDY_ZoomFileSpace(&d, kStart + 9));  // not an entry
  EXPECT_EQ(0u, FDY_ZoomFileSpace(&d, kStart + 56));  // not in use

  // Move: the second file's data and entry go 0x2000 further; nothing else changes.
  EXPECT_EQ(0u, FDY_MoveFileSpace(kStart + 32, kStart + 32, kData + 0x6000));
  const Area a = area();
  EXPECT_EQ(offsets(a), std::vector<uint32_t>({kData, kData + 0x6000}));
  EXPECT_TRUE(content(flash(), a.files[1]) == pattern(7, 100));
  EXPECT_EQ(1u, FDY_MoveFileSpace(kStart + 32, kStart + 8, kData));      // end before start
  EXPECT_EQ(1u, FDY_MoveFileSpace(kStart + 33, kStart + 33, kData));     // not an entry
  EXPECT_EQ(1u, FDY_MoveFileSpace(kStart + 32, kStart + 32, kEnd - 0x1000));  // would leave the area
  EXPECT_EQ(1u, FDY_MoveFileSpace(kStart + 8, kStart + 8, kStart));      // into the table
}

// Values in a descriptor whose sums would wrap 32 bits are out of range: nothing is read or
// written elsewhere in the flash address space.
TEST_F(Fdy, DescriptorValuesThatWouldWrapAreOutOfRange) {
  ASSERT_EQ(0u, save(5, 100));
  put_flash(0, std::string(0x2000, '\x42'));  // what a wrapped read would find

  put_entry(0, {5, 0xFFFFF000u, 0x2000, 0x2000, 0, 0});
  std::string buf(0x2000, '\0');
  EXPECT_EQ(0u, FDY_RandomLoadFileByFileId(5, 0x1000, 0x10, buf.data(), 0x10));
  EXPECT_EQ(0u, FDY_LoadFileByFileId(5, buf.data(), 0x2000));

  put_entry(0, {5, kData, 0xFFFFFFF0u, 0x2000, 0, 0});
  char small[16];
  EXPECT_EQ(0u, FDY_LoadFileByFileId(5, small, 0xFFFFFFFFu));  // a claimed length must not be read
  EXPECT_EQ(0u, FDY_RandomLoadFileByFileId(5, 0, 16, small, 16));

  // A last allocation reaching past 4 GiB: a new file finds no place rather than a wrapped one.
  put_entry(0, {5, kData, 100, 0xFFFFF000u, 0, 0});
  const std::string before = flash();
  EXPECT_EQ(1u, save(6, 100));
  EXPECT_EQ(1u, save(5, 0x3000, 0));
  EXPECT_TRUE(before == flash());
  FDY_FILE_DESCR_S d{};
  EXPECT_EQ(0u, FDY_FindFreeDesc(&d));
  d.u32FileLen = 100;
  EXPECT_EQ(0u, FDY_AllocFileSpace(&d, 0));
}

}  // namespace
