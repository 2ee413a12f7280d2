// Pieces file system in the build this binary links: start-up reconciliation, file
// operations, limits, raw access and damaged layouts.
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <npth.h>
#include <limits.h>
#include <string.h>

#include <functional>
#include <string>

#include "storage_flavor.h"
#include "support/board_fs.h"
#include "syscall_faults.h"

using namespace storage_test;

namespace {

constexpr uint32_t kNull = 0x810401A1, kRange = 0x810401A9, kNoFile = 0x810401AB, kAlloc = 0x810404AA,
                   kFull = 0x81040CA3;
constexpr uint32_t kContent = 19584;

uint32_t write(const std::string &name, unsigned long offset, const std::string &data) {
  unsigned long act = 0;
  uint32_t rc = BSP_VfsPiecesFileWrite(const_cast<char *>(name.c_str()), offset,
                                       reinterpret_cast<unsigned char *>(const_cast<char *>(data.data())), data.size(), &act);
  if (rc == 0) {
    EXPECT_EQ(data.size(), act);
  }
  return rc;
}

uint32_t read(const std::string &name, unsigned long offset, unsigned long len, std::string *out = nullptr) {
  std::string buf(len, '\x5a');
  unsigned long act = 0;
  uint32_t rc = BSP_VfsPiecesFileRead(const_cast<char *>(name.c_str()), offset,
                                      reinterpret_cast<unsigned char *>(buf.data()), len, &act);
  if (out != nullptr) *out = rc == 0 ? buf : std::string();
  return rc;
}

std::string piece(const std::string &name, unsigned long len) {
  std::string out;
  EXPECT_EQ(0u, read(name, 0, len, &out)) << name;
  return out;
}

// The RAM image bytes at an area offset.
std::string ram(unsigned long offset, unsigned long len) {
  std::string buf(len, '\0');
  EXPECT_EQ(0u, BSP_VfsPiecesRead(reinterpret_cast<unsigned char *>(buf.data()), offset, len));
  return buf;
}

struct Des {
  std::string name;
  uint32_t size, offset, flag;
};

Des des(const std::string &area_bytes, uint32_t i) {
  size_t at = 128 + 76 * i;
  return {std::string(area_bytes.c_str() + at), le32(area_bytes, at + 64), le32(area_bytes, at + 68),
          le32(area_bytes, at + 72)};
}

std::string ram_area() { return std::string(16, '\0') + ram(16, kArea - 16); }

// An area built byte by byte, independent of the code under test.
struct AreaBuilder {
  std::string a = std::string(kArea, '\0');
  explicit AreaBuilder(const char *version = "PFS1.1") {
    memcpy(&a[16], version, strlen(version) + 1);
    const uint32_t fields[] = {kMain, kSpare, kArea, 256, 32, 64, 16, 128, kContent, kContent, kArea - kContent, 0};
    for (size_t i = 0; i < 12; ++i) put_le32(a, 80 + 4 * i, fields[i]);
  }
  uint32_t field(size_t at) const { return le32(a, at); }
  void set(size_t at, uint32_t v) { put_le32(a, at, v); }
  AreaBuilder &add(const std::string &name, const std::string &content) {
    uint32_t n = field(124), used = field(116), size = (static_cast<uint32_t>(content.size()) + 31) & ~31u;
    size_t at = 128 + 76 * n;
    memcpy(&a[at], name.c_str(), name.size() + 1);
    set(at + 64, size);
    set(at + 68, used);
    set(at + 72, 0x722);
    memcpy(&a[used], content.data(), content.size());
    set(116, used + size);
    set(120, field(120) - size);
    set(124, n + 1);
    return *this;
  }
  std::string stamped() const {
    std::string s = a;
    stamp(s);
    return s;
  }
};

void install(const std::string &main_area, const std::string &spare_area) {
  put_flash_bytes(kMain, main_area);
  put_flash_bytes(kSpare, spare_area);
}

std::string hex(uint32_t v) {
  char b[16];
  snprintf(b, sizeof b, "0x%x", v);
  return b;
}

class Pieces : public testing::Test {
 protected:
  void SetUp() override {
    set_debug(false);
    fresh_board();
    start_storage();
  }
  void TearDown() override { set_debug(false); }
};

TEST_F(Pieces, ZeroFileStartsStampedAndFormatsInMemory) {
  fresh_board();
  uint32_t rc = 99;
  Output o = capture([&] {
    FLASH_InitFlashDrv();
    FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), kFlashSize);
    BSP_VfsPiecesConfig(kMain, 2 * kArea);
    rc = BSP_VfsPiecesInit();
  });
  EXPECT_EQ(0u, rc);
  const std::string code_text = hex(code(0x810401AE));
  EXPECT_NE(std::string::npos, o.out.find("\r\nBSP_VfsPieceCheck mainArea fail!  ulRet = " + code_text));
  EXPECT_NE(std::string::npos, o.out.find("\r\nBSP_VfsPieceCheck mainArea&BackupArea fail! ulRet = " + code_text));
  if (kLoader) {
    EXPECT_NE(std::string::npos, o.log.find("\r\n Error :BSP VfsPieceCheck error \r\n"));
  }
  for (uint32_t base : {kMain, kSpare}) {
    std::string area = flash_bytes(base, kArea);
    EXPECT_EQ(0x59A2D6CFu, le32(area, 0));
    EXPECT_EQ(kArea, le32(area, 8));
    EXPECT_EQ(std::string(16, '\0'), area.substr(16, 16));  // the format is not yet committed
  }
  EXPECT_EQ("PFS1.1", std::string(ram(16, 7).c_str()));
  // The first write commits the formatted header.
  ASSERT_EQ(0u, write("first", 0, "1"));
  EXPECT_EQ("PFS1.1", std::string(flash_bytes(kMain + 16, 7).c_str()));
  EXPECT_EQ(flash_bytes(kMain, kArea), flash_bytes(kSpare, kArea));
  // A second start on agreeing areas is silent.
  EXPECT_EQ("", start_storage().out);
}

TEST_F(Pieces, DamagedMainAreaIsRepairedFromSpare) {
  ASSERT_EQ(0u, write("keep", 0, "spare copy"));
  std::string main_area = flash_bytes(kMain, kArea);
  main_area[kContent + 3] ^= 0x40;
  put_flash_bytes(kMain, main_area);
  Output o = start_storage();
  EXPECT_NE(std::string::npos, o.out.find("\r\nusCrcCheck = 0x"));
  EXPECT_NE(std::string::npos, o.out.find("\r\nBSP_VfsPieceCheck mainArea fail!  ulRet = " + hex(code(0x810404A1))));
  EXPECT_EQ("spare copy", piece("keep", 10));
  EXPECT_EQ(flash_bytes(kSpare, kArea), flash_bytes(kMain, kArea));
}

TEST_F(Pieces, GoodAreasThatDifferAreMadeEqualToMain) {
  ASSERT_EQ(0u, write("a", 0, "first"));
  std::string older = flash_bytes(kMain, kArea);
  ASSERT_EQ(0u, write("b", 0, "second"));
  put_flash_bytes(kSpare, older);
  EXPECT_EQ("", start_storage().out);
  EXPECT_EQ(flash_bytes(kMain, kArea), flash_bytes(kSpare, kArea));
  EXPECT_EQ("second", piece("b", 6));
}

TEST_F(Pieces, SizesRoundUpToThirtyTwoAndReadsStayInside) {
  ASSERT_EQ(0u, write("twelve", 0, "hello world!"));
  EXPECT_EQ("hello world!" + std::string(20, '\0'), piece("twelve", 32));
  EXPECT_EQ(code(kRange), read("twelve", 0, 33));
  EXPECT_EQ(code(kRange), read("twelve", 31, 2));
  EXPECT_EQ(code(kRange), read("twelve", 33, 0));
  // An offset and length whose sum wraps are out of range, not a read elsewhere in the image.
  EXPECT_EQ(code(kRange), read("twelve", ULONG_MAX, 2));
  std::string last;
  EXPECT_EQ(0u, read("twelve", 31, 1, &last));
  EXPECT_EQ(std::string(1, '\0'), last);
  EXPECT_EQ(code(kNoFile), read("absent", 0, 1));
  Des d = des(ram_area(), 0);
  EXPECT_EQ(32u, d.size);
  EXPECT_EQ(kContent, d.offset);
  EXPECT_EQ(0x722u, d.flag);
}

TEST_F(Pieces, NameLengthLimit) {
  const std::string n63(63, 'n'), n64(64, 'n');
  EXPECT_EQ(0u, write(n63, 0, "ok"));
  EXPECT_EQ("ok", piece(n63, 2));
  EXPECT_EQ(code(kRange), write(n64, 0, "no"));
  EXPECT_EQ(code(kNoFile), read(n64, 0, 2));
  EXPECT_EQ(1u, BSP_VfsPiecesFileDebugMem());
}

TEST_F(Pieces, DescriptorTableHoldsAtMost256Files) {
  AreaBuilder b;
  for (int i = 0; i < 256; ++i) b.add("f" + std::to_string(i), "x");
  install(b.stamped(), b.stamped());
  start_storage();
  EXPECT_EQ("x", piece("f255", 1));
  EXPECT_EQ(code(kFull), write("one-more", 0, "y"));
  EXPECT_EQ(0u, write("f3", 0, "z"));  // existing files are still written
}

TEST_F(Pieces, GrowsLastInPlaceAndRelocatesEarlierFiles) {
  ASSERT_EQ(0u, write("a", 0, "AAAA"));
  ASSERT_EQ(0u, write("b", 0, "BBBB"));
  ASSERT_EQ(0u, write("b", 40, "bb"));  // last file: grows in place
  std::string area = ram_area();
  EXPECT_EQ(kContent + 32, des(area, 1).offset);
  EXPECT_EQ(64u, des(area, 1).size);
  EXPECT_EQ(kContent + 96, le32(area, 116));

  ASSERT_EQ(0u, write("a", 32, "aa"));  // not last: moves to the end, keeps its bytes
  area = ram_area();
  EXPECT_EQ("b", des(area, 0).name);
  EXPECT_EQ(kContent, des(area, 0).offset);
  EXPECT_EQ("a", des(area, 1).name);
  EXPECT_EQ(kContent + 64, des(area, 1).offset);
  EXPECT_EQ(64u, des(area, 1).size);
  EXPECT_EQ("AAAA" + std::string(28, '\0') + "aa", piece("a", 34));
  EXPECT_EQ("BBBB" + std::string(36, '\0') + "bb", piece("b", 42));
  EXPECT_EQ(kArea, le32(area, 116) + le32(area, 120));

  ASSERT_EQ(0u, write("empty", 0, ""));
  ASSERT_EQ(0u, write("after", 0, "x"));
  EXPECT_EQ(0u, des(ram_area(), 2).size);
  EXPECT_EQ(code(kAlloc), write("empty", 0, "cannot move"));
}

TEST_F(Pieces, DeletingMovesLaterFilesDown) {
  ASSERT_EQ(0u, write("one", 0, std::string(40, '1')));
  ASSERT_EQ(0u, write("two", 0, "22"));
  ASSERT_EQ(0u, write("three", 0, "333"));
  ASSERT_EQ(0u, BSP_VfsPiecesFileDelete(const_cast<char *>("one"), 1));
  std::string area = ram_area();
  EXPECT_EQ("two", des(area, 0).name);
  EXPECT_EQ(kContent, des(area, 0).offset);
  EXPECT_EQ("three", des(area, 1).name);
  EXPECT_EQ(kContent + 32, des(area, 1).offset);
  EXPECT_EQ(0x1979u, des(area, 2).flag);
  EXPECT_EQ(2u, le32(area, 124));
  EXPECT_EQ(kContent + 64, le32(area, 116));
  EXPECT_EQ(kArea, le32(area, 116) + le32(area, 120));
  EXPECT_EQ("22", piece("two", 2));
  EXPECT_EQ("333", piece("three", 3));
  EXPECT_EQ(code(kNoFile), read("one", 0, 1));
  EXPECT_EQ(kFail, BSP_VfsPiecesFileDelete(const_cast<char *>("one"), 1));
  // A name too long to look up is a file that is not there.
  EXPECT_EQ(kFail, BSP_VfsPiecesFileDelete(const_cast<char *>(std::string(64, 'n').c_str()), 1));
  EXPECT_EQ(kFail, BSP_VfsPiecesFileDelete_Unlock(const_cast<char *>("one"), 0));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileDelete(nullptr, 1));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileDelete_Unlock(nullptr, 1));
}

TEST_F(Pieces, DeleteWithoutCommitComesBackAfterRestart) {
  ASSERT_EQ(0u, write("volatile", 0, "v"));
  ASSERT_EQ(0u, write("gone", 0, "g"));
  ASSERT_EQ(0u, BSP_VfsPiecesFileDelete_Unlock(const_cast<char *>("volatile"), 0));
  EXPECT_EQ(code(kNoFile), read("volatile", 0, 1));
  ASSERT_EQ(0u, BSP_VfsPiecesFileDelete(const_cast<char *>("gone"), 1));  // commits both deletes
  start_storage();
  EXPECT_EQ(code(kNoFile), read("volatile", 0, 1));
  EXPECT_EQ(code(kNoFile), read("gone", 0, 1));

  ASSERT_EQ(0u, write("back", 0, "b"));
  ASSERT_EQ(0u, BSP_VfsPiecesFileDelete(const_cast<char *>("back"), 0));
  start_storage();
  EXPECT_EQ("b", piece("back", 1));
}

// A commit that cannot reach flash fails with the front's result and keeps the change in memory;
// the next commit writes it.
TEST_F(Pieces, FailedCommitIsRetriedByTheNextOne) {
  ASSERT_EQ(0u, write("kept", 0, "k"));
  bsp::test::sh("rm /mnt/misc/flashfile");
  Output o = capture([] { EXPECT_EQ(kFail, write("pending", 0, "p")); });
  EXPECT_NE(std::string::npos, o.messages().find(message("Open /mnt/misc/flashfile device failed! !!\n")));
  EXPECT_EQ("p", piece("pending", 1));
  capture([] { FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), kFlashSize); });
  ASSERT_EQ(0u, write("later", 0, "l"));
  start_storage();
  EXPECT_EQ("k", piece("kept", 1));
  EXPECT_EQ("p", piece("pending", 1));
  EXPECT_EQ("l", piece("later", 1));
}

// A commit runs only under the lock on the flash emulation file, and only a flushed write counts:
// otherwise the operation fails as a failed commit does, its change kept for the next commit.
TEST_F(Pieces, CommitsNeedTheFileLockAndAFlush) {
  struct Case {
    const char *what;
    Call call;
    int error;
    std::string message;
    bool flash_untouched;
  };
  const Case cases[] = {
      {"lock refused", Call::Flock, ENOLCK, message("Cannot obtain shared lock on flash device file"), true},
      {"flush failed", Call::Fsync, EIO, "", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fresh_board();
    start_storage();
    ASSERT_EQ(0u, write("kept", 0, "k"));
    ASSERT_EQ(0u, write("doomed", 0, "d"));
    const std::string before = flash_bytes(kMain, 2 * kArea);
    Output o = capture([&] {
      CallFails fails(c.call, c.error);
      EXPECT_EQ(kFail, write("pending", 0, "p"));
      EXPECT_EQ(kFail, BSP_VfsPiecesFileDelete(const_cast<char *>("doomed"), 1));
      EXPECT_EQ("p", piece("pending", 1));
    });
    if (!c.message.empty()) {
      EXPECT_NE(std::string::npos, o.messages().find(c.message)) << o.all();
    }
    if (c.flash_untouched) {
      EXPECT_TRUE(before == flash_bytes(kMain, 2 * kArea)) << "the areas changed";
    }
    ASSERT_EQ(0u, write("later", 0, "l"));
    start_storage();
    EXPECT_EQ("k", piece("kept", 1));
    EXPECT_EQ("p", piece("pending", 1));
    EXPECT_EQ("l", piece("later", 1));
    EXPECT_EQ(code(kNoFile), read("doomed", 0, 1));
  }
}

// Moving a file to the end needs free space for its whole new length before its old place is
// given back; the boundary lies at the need itself, not at the need rounded up.
TEST_F(Pieces, RelocationComparesTheFreeSpaceWithTheNeed) {
  constexpr uint32_t kOddArea = kArea + 16;  // so the free space is not a multiple of 32
  fresh_board();
  capture([] {
    FLASH_InitFlashDrv();
    FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), kFlashSize);
    BSP_VfsPiecesConfig(kMain, 2 * kOddArea);
    EXPECT_EQ(0u, BSP_VfsPiecesInit());
  });
  ASSERT_EQ(0u, write("moved", 0, "MM"));
  const std::string filler(kOddArea - kContent - 32 - 48, 'f');
  ASSERT_EQ(0u, write("filler", 0, filler));
  ASSERT_EQ(48u, le32(ram(120, 4), 0));

  EXPECT_EQ(code(kFull), write("moved", 0, std::string(49, 'x')));
  EXPECT_EQ("MM", piece("moved", 2));
  ASSERT_EQ(0u, write("moved", 0, std::string(48, 'y')));
  EXPECT_EQ(std::string(48, 'y') + std::string(16, '\0'), piece("moved", 64));
  EXPECT_EQ(filler, piece("filler", filler.size()));
  EXPECT_EQ(16u, le32(ram(120, 4), 0));
  EXPECT_EQ(kContent + static_cast<uint32_t>(filler.size()), le32(ram(128 + 76 + 68, 4), 0));
}

TEST_F(Pieces, OtherVersionsOfTheFormatAreAccepted) {
  AreaBuilder b("PFS9.9");
  b.add("old", "kept");
  install(b.stamped(), b.stamped());
  EXPECT_EQ("", start_storage().out);
  EXPECT_EQ("kept", piece("old", 4));
  EXPECT_EQ("PFS9.9", std::string(ram(16, 7).c_str()));
}

// Areas too small for the header and descriptor table are refused; an image made for another
// size is never used with the new one.
TEST_F(Pieces, AreaSizesThatCannotHoldTheTablesAreRefused) {
  ASSERT_EQ(0u, write("sized", 0, "s"));
  for (unsigned long total : {0ul, 2ul * (kContent - 32)}) {
    SCOPED_TRACE(total);
    BSP_VfsPiecesConfig(kMain, total);
    uint32_t rc = 0;
    capture([&] { rc = BSP_VfsPiecesInit(); });
    EXPECT_EQ(kFail, rc);
    EXPECT_EQ(code(kNull), read("sized", 0, 1));
    EXPECT_EQ(code(kNull), write("sized", 0, "t"));
    unsigned char buf[4];
    EXPECT_EQ(code(kNull), BSP_VfsPiecesRead(buf, 16, 4));
  }
  start_storage();
  EXPECT_EQ("s", piece("sized", 1));
}

TEST_F(Pieces, ForcedInitFormatsAndCommits) {
  ASSERT_EQ(0u, write("wiped", 0, "w"));
  EXPECT_EQ(0u, BSP_VfsPiecesFileInit(1));
  EXPECT_EQ(code(kNoFile), read("wiped", 0, 1));
  start_storage();
  EXPECT_EQ(code(kNoFile), read("wiped", 0, 1));
  EXPECT_EQ(0u, BSP_VfsPiecesFileInit(0));
}

// Areas whose CRC is right but whose layout cannot be followed count as damaged.
TEST_F(Pieces, InconsistentLayoutsAreDamaged) {
  struct Case {
    const char *what;
    std::function<void(AreaBuilder &)> spoil;
  };
  const size_t d0 = 128, d1 = 128 + 76;
  const Case cases[] = {
      {"count above the table", [](AreaBuilder &b) { b.set(124, 300); }},
      {"count above the maximum", [](AreaBuilder &b) { b.set(92, 1); }},
      {"maximum above the table", [](AreaBuilder &b) { b.set(92, 1000); b.set(124, 400); }},
      {"name limit above the field", [](AreaBuilder &b) { b.set(100, 200); }},
      {"offset outside the area", [&](AreaBuilder &b) { b.set(d1 + 68, 0xFFFFFF00u); }},
      {"size outside the area", [&](AreaBuilder &b) { b.set(d1 + 64, 0x7FFFFFE0u); }},
      {"offset inside the tables", [&](AreaBuilder &b) { b.set(d0 + 68, 64); }},
      {"overlapping contents", [&](AreaBuilder &b) { b.set(d1 + 68, kContent + 16); }},
      {"name without terminator", [&](AreaBuilder &b) { memset(&b.a[d1], 'N', 64); }},
      {"used end beyond the area", [](AreaBuilder &b) { b.set(116, kArea + 64); b.set(120, 0); }},
      {"free space beyond the area", [](AreaBuilder &b) { b.set(120, kArea); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fresh_board();
    AreaBuilder b;
    b.add("first", "1111").add("second", "2222");
    c.spoil(b);
    install(b.stamped(), b.stamped());
    Output o = start_storage();
    EXPECT_NE(std::string::npos, o.out.find("mainArea&BackupArea fail! ulRet = " + hex(code(0x810404A1))));
    EXPECT_EQ(code(kNoFile), read("second", 0, 4));
    EXPECT_EQ(0u, write("fresh", 0, "ok"));
    EXPECT_EQ("ok", piece("fresh", 2));

    // With a sound spare area the spare's files are served.
    fresh_board();
    AreaBuilder good;
    good.add("first", "1111").add("second", "2222");
    install(b.stamped(), good.stamped());
    start_storage();
    EXPECT_EQ("2222", piece("second", 4));
    EXPECT_EQ(flash_bytes(kSpare, kArea), flash_bytes(kMain, kArea));
  }
}

TEST_F(Pieces, WritesWhoseEndDoesNotFitAreRefused) {
  ASSERT_EQ(0u, write("w", 0, "x"));
  std::string before = flash_bytes(kMain, kArea);
  unsigned long act = 123;
  unsigned char buf[32] = {};
  EXPECT_EQ(code(kRange), BSP_VfsPiecesFileWrite(const_cast<char *>("w"), 0xFFFFFFF0ul, buf, 0x20, &act));
  EXPECT_EQ(code(kRange), BSP_VfsPiecesFileWrite(const_cast<char *>("new"), 0xFFFFFFFFul, buf, 1, &act));
  // A length beyond the free space is refused, never reported as written.
  EXPECT_EQ(code(kFull), BSP_VfsPiecesFileWrite(const_cast<char *>("huge"), 0, buf, 0xFFFFFFF0ul, &act));
  EXPECT_EQ(code(kFull), BSP_VfsPiecesFileWrite(const_cast<char *>("w"), 0, buf, kArea, &act));
#if ULONG_MAX > 0xFFFFFFFFul
  EXPECT_EQ(code(kRange), BSP_VfsPiecesFileWrite(const_cast<char *>("w"), 0x100000000ul, buf, 1, &act));
#endif
  EXPECT_EQ(123u, act);
  EXPECT_EQ(before, flash_bytes(kMain, kArea));
  EXPECT_EQ(code(kNoFile), read("huge", 0, 1));
}

TEST_F(Pieces, NullArguments) {
  unsigned long act = 0;
  unsigned char buf[4] = {};
  char name[] = "n";
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileWrite(nullptr, 0, buf, 1, &act));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileWrite(name, 0, buf, 1, nullptr));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileWrite(name, 0, nullptr, 1, &act));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileRead(nullptr, 0, buf, 1, &act));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileRead(name, 0, nullptr, 1, &act));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesFileRead(name, 0, buf, 1, nullptr));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesRead(nullptr, 16, 1));
  EXPECT_EQ(code(kNull), BSP_VfsPiecesMemWrite(16, nullptr, 1));
  EXPECT_EQ(code(kNull), BSP_VfsPieceSet(nullptr, kArea));
  EXPECT_EQ(code(kNull), BSP_VfsPieceCheck(nullptr, kArea, nullptr));
}

TEST_F(Pieces, RawAccessRanges) {
  struct Case {
    unsigned long offset, len;
    uint32_t result;
  };
  const Case cases[] = {
      {16, 0, 0},         {16, 4, 0},      {15, 1, kRange},         {kArea, 0, 0},
      {kArea - 1, 1, 0},  {kArea - 1, 2, kRange}, {kArea + 1, 0, kRange}, {16, kArea, kRange},
      {0xFFFFFFF0ul, 0x20, kRange},
  };
  std::string big(2 * kArea, 'r');
  auto *buf = reinterpret_cast<unsigned char *>(big.data());
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.offset << "+" << c.len);
    const uint32_t expected = c.result == 0 ? 0u : code(c.result);
    EXPECT_EQ(expected, BSP_VfsPiecesMemWrite(c.offset, buf, c.len));
    EXPECT_EQ(expected, BSP_VfsPiecesRead(buf, c.offset, c.len));
  }
  // The memory copy stays in memory until a commit.
  ASSERT_EQ(0u, write("anchor", 0, "a"));
  unsigned char mark[4] = {'M', 'A', 'R', 'K'};
  ASSERT_EQ(0u, BSP_VfsPiecesMemWrite(kArea - 4, mark, 4));
  EXPECT_NE("MARK", flash_bytes(kMain + kArea - 4, 4));
#ifndef STORAGE_TEST_LOADER
  ASSERT_EQ(0u, BSP_VfsPiecesWrite(kArea - 8, mark, 4));
  EXPECT_EQ("MARKMARK", flash_bytes(kMain + kArea - 8, 8));
  EXPECT_EQ("MARKMARK", flash_bytes(kSpare + kArea - 8, 8));
  EXPECT_EQ(code(kRange), BSP_VfsPiecesWrite(8, mark, 4));
#endif
}

TEST_F(Pieces, TracesFollowTheDebugSwitch) {
  ASSERT_EQ(0u, write("t", 0, "trace"));
  Output quiet = capture([] { piece("t", 5); });
  set_debug(true);
  Output loud = capture([] {
    piece("t", 5);
    read("t", 0, 64);
  });
  const std::string line = "\r\n BSP_VfsPiecesRead :: pucRamBuff :0x";
  const std::string too_long = "\n\r BSP_VfsPiecesFileRead 0x0, 0x40, 0x20";
  EXPECT_NE(std::string::npos, loud.messages().find(line));
  EXPECT_NE(std::string::npos, loud.messages().find(too_long));
  EXPECT_EQ(kLoader, quiet.messages().find(line) != std::string::npos);
}

#ifndef STORAGE_TEST_LOADER
struct Writer {
  std::string prefix;
  int failures = 0;
};

void *write_several(void *arg) {
  auto *w = static_cast<Writer *>(arg);
  for (int i = 0; i < 8; ++i) {
    std::string name = w->prefix + std::to_string(i);
    if (write(name, 0, name + "-data") != 0) ++w->failures;
    std::string back;
    if (read(name, 0, name.size() + 5, &back) != 0 || back != name + "-data") ++w->failures;
  }
  return nullptr;
}

// nPth threads of one process write and read at once: the pieces lock keeps every write.
TEST_F(Pieces, ThreadsOfOneProcessShareTheImage) {
  Writer writers[3] = {{"x"}, {"y"}, {"z"}};
  npth_t threads[3];
  for (int i = 0; i < 3; ++i) ASSERT_EQ(0, npth_create(&threads[i], nullptr, write_several, &writers[i]));
  for (npth_t t : threads) npth_join(t, nullptr);
  for (const Writer &w : writers) EXPECT_EQ(0, w.failures) << w.prefix;
  start_storage();
  for (const char *prefix : {"x", "y", "z"}) {
    for (int i = 0; i < 8; ++i) {
      std::string name = prefix + std::to_string(i);
      EXPECT_EQ(name + "-data", piece(name, name.size() + 5));
    }
  }
}

TEST_F(Pieces, Listings) {
  ASSERT_EQ(0u, write("alpha", 0, "a"));
  ASSERT_EQ(0u, write("beta", 0, std::string(40, 'b')));
  Output show = capture([] { BSP_VfsPiecesFileShow(); });
  EXPECT_EQ(
      "\r\n************************MainArea*****************************"
      "\n\r\n\r NO     : 0\n\r Name   : alpha\n\r Size   : 32\n\r Offset : 0x4c80\n\r Flag   : USED"
      "\n\r\n\r NO     : 1\n\r Name   : beta\n\r Size   : 64\n\r Offset : 0x4ca0\n\r Flag   : USED"
      "\r\n************************BackupArea*****************************"
      "\n\r\n\r NO     : 0\n\r Name   : alpha\n\r Size   : 32\n\r Offset : 0x4c80\n\r Flag   : USED"
      "\n\r\n\r NO     : 1\n\r Name   : beta\n\r Size   : 64\n\r Offset : 0x4ca0\n\r Flag   : USED",
      show.out);
  Output debug = capture([] { BSP_VfsPiecesFileDebug(); });
  EXPECT_EQ(
      "\r\n\r\n************************MainArea pFileHead->ulPieceFileDesIndexNext=2******\r\n"
      "\r\n--+--MainArea NO=0, name=alpha, size=32, offset=0x4c80, flag=USED\r\n"
      "\r\n--+--MainArea NO=1, name=beta, size=64, offset=0x4ca0, flag=USED\r\n"
      "\r\n************************************************************"
      "\r\n************************BackupArea pFileHead->ulPieceFileDesIndexNext =2******\r\n"
      "\r\n--+--BackupArea NO=0, name=alpha, size=32, offset=0x4c80, flag=USED\r\n"
      "\r\n--+--BackupArea NO=1, name=beta, size=64, offset=0x4ca0, flag=USED\r\n"
      "\r\n************************************************************\r\n\r",
      debug.out);
  uint32_t count = 0;
  Output mem = capture([&] { count = BSP_VfsPiecesFileDebugMem(); });
  EXPECT_EQ(2u, count);
  EXPECT_EQ(
      "\r\n\r\n************************Mem g_pstPieceFileHead->ulPieceFileDesIndexNext=2******"
      "\r\n--+--Mem NO=0, name=alpha, size=32, offset=0x4c80, flag=USED\r\n"
      "\r\n--+--Mem NO=1, name=beta, size=64, offset=0x4ca0, flag=USED\r\n",
      mem.out);

  // A damaged spare area, and an erased-looking main area whose count is all ones.
  put_flash_bytes(kSpare + kContent, "X");
  std::string ones(kArea, '\xff');
  stamp(ones);
  put_flash_bytes(kMain, ones);
  Output damaged = capture([] { BSP_VfsPiecesFileShow(); });
  EXPECT_NE(std::string::npos, damaged.out.find("\n\r\n\r BackupArea FlashRead Fail"));
  Output ended = capture([] { BSP_VfsPiecesFileDebug(); });
  EXPECT_EQ("\r\n\r\n************************MainArea pFileHead->ulPieceFileDesIndexNext=-1******\r\n", ended.out);
}

// An area too small for its header and descriptor table is never listed, whatever it holds.
TEST_F(Pieces, ListingsNeverFollowAnAreaSmallerThanItsTables) {
  for (uint32_t small : {100u, kContent - 1}) {
    SCOPED_TRACE(small);
    std::string area(small, '\0');
    memcpy(&area[16], "PFS1.1", 7);
    if (small > 128) put_le32(area, 124, 2);  // a count that would reach into the tables
    stamp(area);
    put_flash_bytes(kMain, area);
    put_flash_bytes(kMain + small, area);
    BSP_VfsPiecesConfig(kMain, 2 * small);
    Output show = capture([] { BSP_VfsPiecesFileShow(); });
    EXPECT_EQ("\n\r\n\r MainArea FlashRead Fail\n\r\n\r BackupArea FlashRead Fail", show.out);
    Output debug = capture([] { BSP_VfsPiecesFileDebug(); });
    EXPECT_EQ("\n\r\n\r MainArea FlashRead Fail\n\r\n\r BackupArea FlashRead Fail", debug.out);
  }
}
#endif

}  // namespace
