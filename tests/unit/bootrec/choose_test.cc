// The host's choice of the next package, and the fields the record carries through every rewrite.
#include <bsp/bootparam.h>
#include <bsp/loadstate.h>
#include <gtest/gtest.h>
#include <string.h>

#include "bootrec_env.h"
#include "support/capture.h"

extern "C" int cSecLogNum __attribute__((weak));
extern "C" char cSecLogBuf[32][512] __attribute__((weak));

namespace bootrec_test {
namespace {

using bsp::test::capture_stdout;

constexpr char kSavedOk[] = "\r\nSave load state word...OK!\r\n";

signed char *name_arg(const std::string &s) { return reinterpret_cast<signed char *>(const_cast<char *>(s.c_str())); }

// Fills every carried field with its own pattern.
void fill_carried(LOAD_STATE_WORD_CORE_S &set, uint8_t seed) {
  snprintf(set.acCfgFileName, sizeof set.acCfgFileName, "cfg-%u.cfg", seed);
  memset(set.acLicsFileName, 'L', sizeof set.acLicsFileName);  // even unterminated
  set.ucPatchStat = seed;
  snprintf(set.acPatchFileName, sizeof set.acPatchFileName, "patch-%u.pat", seed);
  snprintf(set.acVoiceFileName, sizeof set.acVoiceFileName, "voice-%u.bin", seed);
  for (size_t i = 0; i < sizeof set.aucReserve; ++i) set.aucReserve[i] = static_cast<uint8_t>(seed + i * 7);
}

LOAD_STATE_WORD_S record_with_carried_fields() {
  LOAD_STATE_WORD_S w;
  memset(&w, 0, sizeof w);
  w.ulMagicWord = LOAD_STATE_WORD_MAGIC;
  w.stLoadStateWordCur.ucPktValidFlag = 1;
  strcpy(w.stLoadStateWordCur.acPktFileName, "flash:/cur.cc");
  strcpy(w.stLoadStateWordPre.acPktFileName, "flash:/pre.cc");
  fill_carried(w.stLoadStateWordCur, 1);
  fill_carried(w.stLoadStateWordPre, 2);
  w.ucLoadFailTimes = 9;
  memset(w.acBackupPktFileName, 'B', sizeof w.acBackupPktFileName);
  for (size_t i = 0; i < sizeof w.aucReserve2; ++i) w.aucReserve2[i] = static_cast<uint8_t>(0xFF - i);
  return w;
}

// Everything but the package names, valid flags, selector and checksum.
std::string carried(const LOAD_STATE_WORD_S &w) {
  auto set_part = [](const LOAD_STATE_WORD_CORE_S &s) {
    auto *p = reinterpret_cast<const uint8_t *>(&s);
    return hex(std::vector<uint8_t>(p + 66, p + sizeof s));
  };
  auto *p = reinterpret_cast<const uint8_t *>(&w);
  return set_part(w.stLoadStateWordCur) + "|" + set_part(w.stLoadStateWordPre) + "|" +
         hex(std::vector<uint8_t>(p + 1685, p + sizeof w));
}

LOAD_STATE_WORD_S stored() {
  LOAD_STATE_WORD_S w;
  std::vector<uint8_t> b = stored_record();
  EXPECT_EQ(b.size(), sizeof w);
  memcpy(&w, b.data(), sizeof w);
  return w;
}

class ChooseBootFile : public ::testing::Test {
 protected:
  void SetUp() override {
    start_storage();
    forget_record();
    // The host's counters, non-zero so that their clearing shows.
    info_ = {~(5u + 1u + 2u), 5, 1, 2};
    log_ = {~3u, 3, 0, 0};
    g_pstBootParaFlag = &info_;
    g_u32SearchPktCnt = &log_;
  }
  void TearDown() override {
    g_pstBootParaFlag = nullptr;
    g_u32SearchPktCnt = nullptr;
  }
  void expect_counters_cleared() {
    EXPECT_EQ(info_.u32LoadFailTimes, 0u);
    EXPECT_EQ(info_.u32Checksum, ~(0u + 1u + 2u));
    EXPECT_EQ(log_.u32SearchCnt, 0u);
    EXPECT_EQ(log_.u32Checksum, ~0u);
  }

  BOOTINFO info_;
  SearchPktLog log_;
};

struct ChooseCase {
  const char *what;
  uint8_t selector;
  uint8_t current_valid;
  const char *current_name;
  std::string new_name;
  bool writes;
};

class ChooseCases : public ChooseBootFile, public ::testing::WithParamInterface<ChooseCase> {};

TEST_P(ChooseCases, OverwritesTheCurrentSetInPlace) {
  const ChooseCase &c = GetParam();
  LOAD_STATE_WORD_S w = record_with_carried_fields();
  w.ucCurDiskFlag = c.selector;
  LOAD_STATE_WORD_CORE_S &cur = c.selector == 0 ? w.stLoadStateWordCur : w.stLoadStateWordPre;
  LOAD_STATE_WORD_CORE_S &other = c.selector == 0 ? w.stLoadStateWordPre : w.stLoadStateWordCur;
  cur.ucPktValidFlag = c.current_valid;
  memset(cur.acPktFileName, 0, sizeof cur.acPktFileName);
  strcpy(cur.acPktFileName, c.current_name);
  other.ucPktValidFlag = 1;
  ASSERT_EQ(BSP_SetLoadStateWord(&w), 0u);
  const LOAD_STATE_WORD_S before = stored();

  uint32_t rc = 99;
  std::string out = capture_stdout([&] { rc = BSP_SaveBootFileName(name_arg(c.new_name)); });
  EXPECT_EQ(rc, 0u) << c.what;
  EXPECT_EQ(out, c.writes ? kSavedOk : "") << c.what;
  expect_counters_cleared();

  LOAD_STATE_WORD_S after = stored();
  const LOAD_STATE_WORD_CORE_S &acur = c.selector == 0 ? after.stLoadStateWordCur : after.stLoadStateWordPre;
  const LOAD_STATE_WORD_CORE_S &aother = c.selector == 0 ? after.stLoadStateWordPre : after.stLoadStateWordCur;
  EXPECT_EQ(std::string(acur.acPktFileName), c.new_name) << c.what;
  EXPECT_EQ(acur.acPktFileName[c.new_name.size()], '\0');
  EXPECT_EQ(acur.ucPktValidFlag, 1) << c.what;
  EXPECT_EQ(memcmp(&aother, &other, sizeof other), 0) << "the fallback set is never touched: " << c.what;
  EXPECT_EQ(after.ucCurDiskFlag, c.selector) << c.what;
  EXPECT_EQ(carried(after), carried(before)) << c.what;
  EXPECT_EQ(after.usCrcChkSum, crc16(reinterpret_cast<uint8_t *>(&after) + 6, 2257)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChooseCases,
    ::testing::Values(
        ChooseCase{"new name, selector 0", 0, 1, "flash:/cur.cc", "flash:/new.cc", true},
        ChooseCase{"new name, selector 1", 1, 1, "flash:/pre.cc", "flash:/new.cc", true},
        ChooseCase{"new name, any non-zero selector", 7, 1, "flash:/pre.cc", "flash:/new.cc", true},
        ChooseCase{"same name, valid set: no write", 0, 1, "flash:/cur.cc", "flash:/cur.cc", false},
        ChooseCase{"same name, valid set, selector 1: no write", 1, 1, "flash:/pre.cc", "flash:/pre.cc", false},
        ChooseCase{"same name, invalid set: rewritten valid", 0, 0, "flash:/cur.cc", "flash:/cur.cc", true},
        ChooseCase{"name that extends the stored one", 0, 1, "flash:/cur.cc", "flash:/cur.cc2", true},
        ChooseCase{"64 characters fit", 0, 1, "flash:/cur.cc", "flash:/" + std::string(54, 'x') + ".cc", true}));

TEST_F(ChooseBootFile, NullNameFails) {
  uint32_t rc = 0;
  std::string out = capture_stdout([&] { rc = BSP_SaveBootFileName(nullptr); });
  EXPECT_EQ(rc, 1u);
  EXPECT_EQ(out, "");
}

// A name longer than the field is refused; the stored record keeps its old, terminated name.
TEST_F(ChooseBootFile, TooLongNameIsRefusedAndNothingIsStored) {
  LOAD_STATE_WORD_S w = record_with_carried_fields();
  ASSERT_EQ(BSP_SetLoadStateWord(&w), 0u);
  const std::vector<uint8_t> before = stored_record();
  for (size_t len : {65u, 66u, 200u}) {
    std::string name = "flash:/" + std::string(len - 10, 'y') + ".cc";
    ASSERT_EQ(name.size(), len);
    int log_before = &cSecLogNum != nullptr ? cSecLogNum : 0;
    uint32_t rc = 0;
    std::string out = capture_stdout([&] { rc = BSP_SaveBootFileName(name_arg(name)); });
    EXPECT_EQ(rc, 1u) << len;
    EXPECT_EQ(out, "") << len;
    EXPECT_EQ(hex(stored_record()), hex(before)) << len;
    if (&cSecLogNum != nullptr && log_before < 32) {
      ASSERT_EQ(cSecLogNum, log_before + 1) << "the refused copy is in the failure log";
      EXPECT_EQ(strncmp(cSecLogBuf[log_before], "strcpy_s err", 12), 0) << cSecLogBuf[log_before];
    }
  }
}

TEST_F(ChooseBootFile, EmptyFileSystemGetsTheDefaultThenTheChoice) {
  uint32_t rc = 1;
  std::string out = capture_stdout([&] { rc = BSP_SaveBootFileName(name_arg("flash:/new.cc")); });
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(out, std::string("\r\nGet load start word fail! Creat a new one now.") + kSavedOk + kSavedOk);
  std::vector<uint8_t> expect = default_record_bytes();
  memset(&expect[7], 0, 65);
  memcpy(&expect[7], "flash:/new.cc", 13);
  uint16_t crc = crc16(&expect[6], 2257);
  expect[4] = static_cast<uint8_t>(crc), expect[5] = static_cast<uint8_t>(crc >> 8);
  EXPECT_EQ(hex(stored_record()), hex(expect));
}

// Carried fields survive any sequence of reads, choices, role swaps and saves byte for byte.
TEST_F(ChooseBootFile, CarriedFieldsSurviveEverySequence) {
  LOAD_STATE_WORD_S w = record_with_carried_fields();
  ASSERT_EQ(BSP_SetLoadStateWord(&w), 0u);
  const std::string want = carried(w);
  const std::vector<std::string> steps = {"choose a", "get",      "swap",    "choose b", "choose b",
                                          "set",      "choose a", "invalid", "choose a", "get"};
  for (const std::string &step : steps) {
    LOAD_STATE_WORD_S cur;
    ASSERT_EQ(BSP_GetLoadStateWord(&cur), 0u);
    if (step == "choose a") {
      EXPECT_EQ(BSP_SaveBootFileName(name_arg("flash:/a.cc")), 0u);
    } else if (step == "choose b") {
      EXPECT_EQ(BSP_SaveBootFileName(name_arg("flash:/b.cc")), 0u);
    } else if (step == "swap") {
      cur.ucCurDiskFlag = cur.ucCurDiskFlag == 0 ? 1 : 0;
      EXPECT_EQ(BSP_SetLoadStateWord(&cur), 0u);
    } else if (step == "invalid") {
      (cur.ucCurDiskFlag == 0 ? cur.stLoadStateWordCur : cur.stLoadStateWordPre).ucPktValidFlag = 0;
      EXPECT_EQ(BSP_SetLoadStateWord(&cur), 0u);
    } else if (step == "set") {
      EXPECT_EQ(BSP_SetLoadStateWord(&cur), 0u);
    }
    EXPECT_EQ(carried(stored()), want) << "after " << step;
  }
}

TEST_F(ChooseBootFile, SaveToMemDoesNothing) {
  LOAD_STATE_WORD_S w;
  memset(&w, 0x42, sizeof w);
  LOAD_STATE_WORD_S before = w;
  EXPECT_EQ(BSP_SaveStateLoadWordtoMem(&w), 0u);
  EXPECT_EQ(BSP_SaveStateLoadWordtoMem(nullptr), 0u);
  EXPECT_EQ(memcmp(&w, &before, sizeof w), 0);
  EXPECT_TRUE(stored_record().empty());
}

}  // namespace
}  // namespace bootrec_test
