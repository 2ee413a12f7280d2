// The two deliverables meet only through the flash emulation file: a record one build writes
// is the record the other build reads, each in its own process.
#include <bsp/loadstate.h>
#include <gtest/gtest.h>
#include <string.h>

#include "bootrec_env.h"
#include "support/board_fs.h"
#include "tool_runner.h"

namespace bootrec_test {
namespace {

LOAD_STATE_WORD_S as_record(const std::vector<uint8_t> &b) {
  LOAD_STATE_WORD_S w;
  memset(&w, 0, sizeof w);
  if (b.size() == sizeof w) memcpy(&w, b.data(), sizeof w);
  return w;
}

class CrossBuild : public ::testing::Test {
 protected:
  void SetUp() override { bsp::test::reset_board(); }
};

TEST_F(CrossBuild, LoaderReadsTheLibrarysChoice) {
  auto chose = run_tool(Build::Library, {"choose", "flash:/new.cc"});
  ASSERT_EQ(chose.status, 0) << chose.err;
  EXPECT_NE(chose.out.find("\nrc=0\n"), std::string::npos) << chose.out;

  Got got = parse_get(run_tool(Build::Loader, {"get"}).out);
  ASSERT_EQ(got.rc, 0u);
  LOAD_STATE_WORD_S w = as_record(got.bytes);
  EXPECT_EQ(w.ulMagicWord, LOAD_STATE_WORD_MAGIC);
  EXPECT_EQ(w.ucCurDiskFlag, 0);
  EXPECT_EQ(w.stLoadStateWordCur.ucPktValidFlag, 1);
  EXPECT_STREQ(w.stLoadStateWordCur.acPktFileName, "flash:/new.cc");
  EXPECT_EQ(w.stLoadStateWordPre.ucPktValidFlag, 0);
  EXPECT_EQ(w.usCrcChkSum, crc16(got.bytes.data() + 6, 2257));
}

TEST_F(CrossBuild, LibraryReadsWhatTheLoaderRewrote) {
  // First boot: the loader creates the default; the host chooses; the loader rolls back.
  ASSERT_EQ(parse_get(run_tool(Build::Loader, {"get"}).out).bytes, default_record_bytes());
  ASSERT_EQ(run_tool(Build::Library, {"choose", "flash:/new.cc"}).status, 0);
  auto rolled = run_tool(Build::Loader, {"rollback"});
  ASSERT_EQ(rolled.status, 0) << rolled.err;
  EXPECT_NE(rolled.out.find("\nrc=0\n"), std::string::npos) << rolled.out;

  Got got = parse_get(run_tool(Build::Library, {"get"}).out);
  ASSERT_EQ(got.rc, 0u);
  LOAD_STATE_WORD_S w = as_record(got.bytes);
  EXPECT_EQ(w.ucCurDiskFlag, 1);
  EXPECT_EQ(w.stLoadStateWordCur.ucPktValidFlag, 0);
  EXPECT_STREQ(w.stLoadStateWordCur.acPktFileName, "flash:/new.cc");
  EXPECT_EQ(w.stLoadStateWordPre.ucPktValidFlag, 0);

  // The loader's search stores a found package in the (new) current set.
  ASSERT_EQ(run_tool(Build::Loader, {"found", "flash:/found.cc"}).status, 0);
  w = as_record(parse_get(run_tool(Build::Library, {"get"}).out).bytes);
  EXPECT_EQ(w.ucCurDiskFlag, 1);
  EXPECT_EQ(w.stLoadStateWordPre.ucPktValidFlag, 1);
  EXPECT_STREQ(w.stLoadStateWordPre.acPktFileName, "flash:/found.cc");
  EXPECT_STREQ(w.stLoadStateWordCur.acPktFileName, "flash:/new.cc");

  // The host's next choice goes into that current set, in place.
  ASSERT_EQ(run_tool(Build::Library, {"choose", "flash:/next.cc"}).status, 0);
  w = as_record(parse_get(run_tool(Build::Loader, {"get"}).out).bytes);
  EXPECT_EQ(w.ucCurDiskFlag, 1);
  EXPECT_STREQ(w.stLoadStateWordPre.acPktFileName, "flash:/next.cc");
  EXPECT_STREQ(w.stLoadStateWordCur.acPktFileName, "flash:/new.cc");
}

// Fields only the host interprets pass through the loader's rewrites and the host's choice.
TEST_F(CrossBuild, CarriedFieldsSurviveBothBuildsRewrites) {
  std::vector<uint8_t> rec = default_record_bytes();
  for (size_t set : {6u, 845u}) {
    for (size_t i = set + 66; i < set + 839; ++i) rec[i] = static_cast<uint8_t>(i * 7 + 1);
  }
  for (size_t i = 1685; i < rec.size(); ++i) rec[i] = static_cast<uint8_t>(i * 11 + 3);
  auto carried = [](const std::vector<uint8_t> &b) {
    if (b.size() != 2263) return std::string("(no record)");
    return hex(std::vector<uint8_t>(b.begin() + 6 + 66, b.begin() + 845)) + "|" +
           hex(std::vector<uint8_t>(b.begin() + 845 + 66, b.begin() + 1684)) + "|" +
           hex(std::vector<uint8_t>(b.begin() + 1685, b.end()));
  };
  ASSERT_EQ(run_tool(Build::Library, {"raw", hex(rec)}).status, 0);
  const std::vector<std::pair<Build, std::vector<std::string>>> steps = {
      {Build::Loader, {"rollback"}},        {Build::Library, {"choose", "flash:/a.cc"}},
      {Build::Loader, {"found", "flash:/b.cc"}}, {Build::Loader, {"rollback"}},
      {Build::Library, {"choose", "flash:/c.cc"}}};
  for (const auto &[build, args] : steps) {
    ASSERT_EQ(run_tool(build, args).status, 0) << args[0];
    for (Build reader : {Build::Library, Build::Loader}) {
      EXPECT_EQ(carried(parse_get(run_tool(reader, {"get"}).out).bytes), carried(rec)) << "after " << args[0];
    }
  }
}

// Whatever one build stores, the other reads back byte for byte, the checksum unchecked.
TEST_F(CrossBuild, RawRecordsReadTheSameInBothBuilds) {
  std::vector<uint8_t> rec = default_record_bytes();
  for (size_t i = 6; i < rec.size(); ++i) rec[i] = static_cast<uint8_t>(i * 13);
  rec[4] ^= 0xFF;  // a checksum that does not match
  for (Build writer : {Build::Library, Build::Loader}) {
    bsp::test::reset_board();
    ASSERT_EQ(run_tool(writer, {"raw", hex(rec)}).status, 0);
    for (Build reader : {Build::Library, Build::Loader}) {
      Got got = parse_get(run_tool(reader, {"get"}).out);
      EXPECT_EQ(got.rc, 0u);
      EXPECT_EQ(hex(got.bytes), hex(rec));
    }
  }
}

// A wrong magic word is replaced by the default in either build, with the build's result code.
TEST_F(CrossBuild, InvalidRecordIsReplacedInBothBuilds) {
  std::vector<uint8_t> rec = default_record_bytes();
  rec[0] = 0;
  for (Build build : {Build::Library, Build::Loader}) {
    bsp::test::reset_board();
    ASSERT_EQ(run_tool(build, {"raw", hex(rec)}).status, 0);
    auto r = run_tool(build, {"get"});
    EXPECT_NE(r.out.find("\r\nLoad start word invalid! Delete and Creat a new one now.\r\nSave load state word...OK!\r\n"),
              std::string::npos);
    Got got = parse_get(r.out);
    EXPECT_EQ(got.rc, 0u);
    EXPECT_EQ(hex(got.bytes), hex(default_record_bytes()));
    EXPECT_EQ(hex(parse_get(run_tool(build == Build::Library ? Build::Loader : Build::Library, {"get"}).out).bytes),
              hex(default_record_bytes()));
  }
}

}  // namespace
}  // namespace bootrec_test
