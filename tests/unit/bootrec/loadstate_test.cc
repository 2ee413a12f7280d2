// The load state word's record operations, run in both builds (one binary per build).
#include <bsp/loadstate.h>
#include <bsp/pieces.h>
#include <gtest/gtest.h>
#include <string.h>

#include "bootrec_env.h"
#include "support/capture.h"

namespace bootrec_test {
namespace {

using bsp::test::capture_stdout;

constexpr char kCreated[] = "\r\nGet load start word fail! Creat a new one now.";
constexpr char kInvalid[] = "\r\nLoad start word invalid! Delete and Creat a new one now.";
constexpr char kSavedOk[] = "\r\nSave load state word...OK!\r\n";
constexpr char kSaveFailed[] = "\r\nSave load state word...\r\nWrite to flash pieces FAIL!\r\n";

class LoadStateWord : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { start_storage(); }
  void SetUp() override { forget_record(); }

  static uint32_t get(LOAD_STATE_WORD_S &w, std::string &out) {
    uint32_t rc = 0;
    out = capture_stdout([&] { rc = BSP_GetLoadStateWord(&w); });
    return rc;
  }
};

TEST_F(LoadStateWord, EmptyFileSystemGetsTheDefaultRecordByteForByte) {
  LOAD_STATE_WORD_S w;
  memset(&w, 0xA5, sizeof w);
  std::string out;
  ASSERT_EQ(get(w, out), 0u);
  EXPECT_EQ(out, std::string(kCreated) + kSavedOk);
  EXPECT_EQ(hex(bytes_of(w)), hex(default_record_bytes()));
  EXPECT_EQ(hex(stored_record()), hex(default_record_bytes()));

  LOAD_STATE_WORD_S again;
  memset(&again, 0, sizeof again);
  ASSERT_EQ(get(again, out), 0u);
  EXPECT_EQ(out, "");
  EXPECT_EQ(again.ulMagicWord, LOAD_STATE_WORD_MAGIC);
  EXPECT_EQ(hex(bytes_of(again)), hex(default_record_bytes()));
}

TEST_F(LoadStateWord, InitWritesAndLeavesTheDefaultRecord) {
  LOAD_STATE_WORD_S w;
  memset(&w, 0x5A, sizeof w);
  uint32_t rc = 1234;
  std::string out = capture_stdout([&] { rc = BSP_InitLoadStateWord(&w); });
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(out, kSavedOk);
  EXPECT_EQ(hex(bytes_of(w)), hex(default_record_bytes()));
  EXPECT_EQ(hex(stored_record()), hex(default_record_bytes()));
}

struct StoredCase {
  const char *what;
  uint32_t magic;
  bool spoil_checksum;
  bool replaced;
};

class StoredRecord : public LoadStateWord, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredRecord, IsAcceptedOnlyWithTheMagicWord) {
  const StoredCase &c = GetParam();
  std::vector<uint8_t> rec = default_record_bytes();
  memcpy(&rec[66 + 6], "config.cfg", 10);  // something the default does not hold
  for (int i = 0; i < 4; ++i) rec[i] = static_cast<uint8_t>(c.magic >> (8 * i));
  uint16_t crc = crc16(&rec[6], 2257);
  if (c.spoil_checksum) crc ^= 0x0101;
  rec[4] = static_cast<uint8_t>(crc), rec[5] = static_cast<uint8_t>(crc >> 8);
  store_raw(rec);

  LOAD_STATE_WORD_S w;
  std::string out;
  ASSERT_EQ(get(w, out), 0u) << c.what;
  if (c.replaced) {
    EXPECT_EQ(out, std::string(kInvalid) + kSavedOk) << c.what;
    EXPECT_EQ(hex(bytes_of(w)), hex(default_record_bytes())) << c.what;
    EXPECT_EQ(hex(stored_record()), hex(default_record_bytes())) << c.what;
  } else {
    EXPECT_EQ(out, "") << c.what;
    EXPECT_EQ(hex(bytes_of(w)), hex(rec)) << c.what;
    EXPECT_EQ(hex(stored_record()), hex(rec)) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredRecord,
    ::testing::Values(StoredCase{"right magic, right checksum", 0x12344321u, false, false},
                      StoredCase{"right magic, wrong checksum", 0x12344321u, true, false},
                      StoredCase{"magic 0", 0u, false, true},
                      StoredCase{"magic off by one", 0x12344322u, false, true},
                      StoredCase{"magic in the other byte order", 0x21433412u, false, true},
                      StoredCase{"all ones", 0xFFFFFFFFu, true, true}));

TEST_F(LoadStateWord, PieceFileShorterThanTheRecordIsReplacedByTheDefault) {
  std::vector<uint8_t> shorter(100, 0x11);
  unsigned long written = 0;
  ASSERT_EQ(BSP_VfsPiecesFileWrite(const_cast<char *>(kPieceName), 0, shorter.data(), shorter.size(), &written), 0u);
  LOAD_STATE_WORD_S w;
  std::string out;
  ASSERT_EQ(get(w, out), 0u);
  EXPECT_EQ(out, std::string(kCreated) + kSavedOk);
  EXPECT_EQ(hex(stored_record()), hex(default_record_bytes()));
}

// Every save stamps the CRC-16 of bytes 6 to the end; the magic word and the checksum itself
// are outside it.
TEST_F(LoadStateWord, SaveStampsTheChecksumOfEverythingAfterTheHeader) {
  struct Change {
    size_t offset;
    bool covered;
  };
  const Change changes[] = {{0, false}, {3, false}, {6, true},    {7, true},    {845, true},
                            {1684, true}, {1685, true}, {1751, true}, {2262, true}};
  LOAD_STATE_WORD_S base;
  ASSERT_EQ(BSP_GetLoadStateWord(&base), 0u);
  const uint16_t base_crc = stored_record()[4] | (stored_record()[5] << 8);
  for (const Change &c : changes) {
    LOAD_STATE_WORD_S w = base;
    reinterpret_cast<uint8_t *>(&w)[c.offset] ^= 0x40;
    std::string out;
    uint32_t rc = 1234;
    out = capture_stdout([&] { rc = BSP_SetLoadStateWord(&w); });
    ASSERT_EQ(rc, 0u) << c.offset;
    EXPECT_EQ(out, kSavedOk);
    std::vector<uint8_t> stored = stored_record();
    EXPECT_EQ(hex(stored), hex(bytes_of(w))) << "the caller's buffer keeps the new checksum";
    uint16_t crc = stored[4] | (stored[5] << 8);
    EXPECT_EQ(crc, crc16(&stored[6], 2257)) << c.offset;
    EXPECT_EQ(crc != base_crc, c.covered) << c.offset;
  }
}

TEST_F(LoadStateWord, NullBufferFailsAtOnceWithoutAMessage) {
  uint32_t get_rc = 0, set_rc = 0, init_rc = 0;
  std::string out = capture_stdout([&] {
    get_rc = BSP_GetLoadStateWord(nullptr);
    set_rc = BSP_SetLoadStateWord(nullptr);
    init_rc = BSP_InitLoadStateWord(nullptr);
  });
  EXPECT_EQ(get_rc, kFail);
  EXPECT_EQ(set_rc, kFail);
  EXPECT_EQ(init_rc, kFail);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(stored_record().empty());
}

// Fills the pieces content region so that the record no longer fits.
class FullPieces {
 public:
  FullPieces() {
    uint8_t field[4] = {};
    BSP_VfsPiecesRead(field, 120, sizeof field);  // free bytes left in the content region
    unsigned long free_bytes = field[0] | (field[1] << 8) | (field[2] << 16) | (static_cast<unsigned long>(field[3]) << 24);
    std::vector<uint8_t> filler(free_bytes - 64, 0x77);
    unsigned long written = 0;
    ok_ = BSP_VfsPiecesFileWrite(const_cast<char *>(kFiller), 0, filler.data(), filler.size(), &written) == 0;
  }
  ~FullPieces() { BSP_VfsPiecesFileDelete(const_cast<char *>(kFiller), 1); }
  bool ok() const { return ok_; }

 private:
  static constexpr char kFiller[] = "bootrec.filler";
  bool ok_ = false;
};

TEST_F(LoadStateWord, FailedWriteReportsAndLeavesTheBufferButTheChecksum) {
  FullPieces full;
  ASSERT_TRUE(full.ok());
  LOAD_STATE_WORD_S w;
  memset(&w, 0x3C, sizeof w);
  LOAD_STATE_WORD_S before = w;
  uint32_t rc = 0;
  std::string out = capture_stdout([&] { rc = BSP_SetLoadStateWord(&w); });
  EXPECT_EQ(rc, kFail);
  EXPECT_EQ(out, kSaveFailed);
  EXPECT_EQ(memcmp(&w, &before, 4), 0);
  EXPECT_EQ(memcmp(reinterpret_cast<uint8_t *>(&w) + 6, reinterpret_cast<uint8_t *>(&before) + 6, sizeof w - 6), 0);
  EXPECT_EQ(w.usCrcChkSum, crc16(reinterpret_cast<uint8_t *>(&w) + 6, 2257));

  out = capture_stdout([&] { rc = BSP_InitLoadStateWord(&w); });
  EXPECT_EQ(rc, kFail);
  EXPECT_EQ(out, kSaveFailed);

  out = capture_stdout([&] { rc = BSP_GetLoadStateWord(&w); });
  EXPECT_EQ(rc, kFail);
  EXPECT_EQ(out, std::string(kCreated) + kSaveFailed);
  EXPECT_TRUE(stored_record().empty());
}

}  // namespace
}  // namespace bootrec_test
