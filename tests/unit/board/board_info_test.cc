// Board information decoded from the board-information word, the slot number with its parity,
// master and slave, the print, and the board configuration database.
#include <bsp/board.h>
#include <gtest/gtest.h>

#include <string>

#include "support/capture.h"
#include "unit/board/board_doubles.h"

using namespace board_test;

namespace {

constexpr uint32_t kInvalid = 0xFFFFFFFF;

struct Fields {
  uint32_t ddr, cpld, mpu, type, flash, slot, bit22, master_slave, cpu, bom, pcb;
};
uint32_t word_of(const Fields &f) {
  return f.ddr | f.cpld << 2 | f.mpu << 3 | f.type << 4 | f.flash << 14 | f.slot << 16 | f.bit22 << 22 |
         f.master_slave << 23 | f.cpu << 25 | f.bom << 26 | f.pcb << 29;
}

std::string print_of(uint32_t valid, const Fields &f, uint32_t slot_bits, uint32_t master, uint32_t slave) {
  char buf[1024];
  snprintf(buf, sizeof buf,
           "\r\n Board Info\r\n IsValid    : 0x%x\r\n DdrMult    : 0x%x\r\n HasCpld    : 0x%x\r\n IsMpu      : 0x%x"
           "\r\n BoardType  : 0x%x\r\n FlashMult  : 0x%x\r\n CpuNum     : 0x%x\r\n BomVer     : 0x%x"
           "\r\n PcbVer     : 0x%x\r\n SlotNum    : 0x%x\r\n OnBoard    : 0x0\r\n Master :0x%x  Slave: 0x%x \r\n\r\n",
           valid, f.ddr, f.cpld, f.mpu, f.type, f.flash, f.cpu, f.bom, f.pcb, slot_bits, master, slave);
  return buf;
}

class BoardInfo : public testing::Test {
 protected:
  void SetUp() override {
    g_BDIF_BoardInfo = {};  // not decoded yet
    use_word_source(WordSource::Board);
  }
  void TearDown() override {
    g_BDIF_BoardInfo = {};
    use_word_source(WordSource::Board);
  }
};

TEST_F(BoardInfo, ThisBoardsWordDecodesAsZeroWithoutASlot) {
  uint32_t word = 0x12345678;
  EXPECT_EQ(0u, BDIF_GetBdInfoValue(&word));  // through to the library's own source
  EXPECT_EQ(0x12345678u, word);

  EXPECT_EQ(1u, BDIF_CheckBoardInfoPara());
  EXPECT_EQ(0xCC33AA55u, g_BDIF_BoardInfo.u32IsValid);
  for (uint32_t value : {BDIF_GetDdrMult(), BDIF_GetBoardType(), BDIF_GetFlashMult(), BDIF_GetCpuNum(),
                         BDIF_GetBomVer(), BDIF_GetPcbVer(), BDIF_HasCpld(), BDIF_IsMpu()})
    EXPECT_EQ(0u, value);
  EXPECT_EQ(kInvalid, BDIF_GetSlotNum());
  uint32_t sru0 = 7, sru1 = 7;
  EXPECT_EQ(0u, BDIF_GetMasterSlave(&sru0, &sru1));
  EXPECT_EQ(0u, sru0);
  EXPECT_EQ(0u, sru1);
  EXPECT_EQ(print_of(0xcc33aa55, Fields{}, 0, 0, 0), bsp::test::capture_stdout(BDIF_PrintfBoardinfo));
  EXPECT_EQ("", bsp::test::capture_stdout(BDIF_PrintfVersion));
}

TEST_F(BoardInfo, EveryFieldOfTheWordIsDecodedOnceAndPrintedRaw) {
  const Fields f{3, 1, 1, 0x2A5, 2, 0x25, 1, 2, 1, 5, 6};
  use_word_source(WordSource::Given, word_of(f));
  EXPECT_EQ(3u, BDIF_GetDdrMult());
  const int reads = word_reads();
  EXPECT_EQ(1u, BDIF_HasCpld());
  EXPECT_EQ(1u, BDIF_IsMpu());
  EXPECT_EQ(0x2A5u, BDIF_GetBoardType());
  EXPECT_EQ(2u, BDIF_GetFlashMult());
  EXPECT_EQ(5u, BDIF_GetSlotNum());  // 0x25: three bits set, odd parity
  EXPECT_EQ(1u, BDIF_GetCpuNum());
  EXPECT_EQ(5u, BDIF_GetBomVer());
  EXPECT_EQ(6u, BDIF_GetPcbVer());
  EXPECT_EQ(0x25u, g_BDIF_BoardInfo.u32SlotNum);
  EXPECT_EQ(reads, word_reads()) << "the record is decoded once";

  // Later changes of the word are not seen by the getters.
  use_word_source(WordSource::Given, 0);
  EXPECT_EQ(0x2A5u, BDIF_GetBoardType());
  use_word_source(WordSource::Given, word_of(f));
  EXPECT_EQ(print_of(0xcc33aa55, f, 0x25, 0, 1), bsp::test::capture_stdout(BDIF_PrintfBoardinfo));
}

TEST_F(BoardInfo, AnUnreadableWordGivesInvalidAnswersUntilItCanBeRead) {
  use_word_source(WordSource::Unreadable);
  EXPECT_EQ(0u, BDIF_CheckBoardInfoPara());
  for (uint32_t value : {BDIF_GetDdrMult(), BDIF_GetBoardType(), BDIF_GetFlashMult(), BDIF_GetCpuNum(),
                         BDIF_GetBomVer(), BDIF_GetPcbVer(), BDIF_HasCpld(), BDIF_IsMpu(), BDIF_GetSlotNum()})
    EXPECT_EQ(kInvalid, value);
  BDIF_SetSlotNum(3);
  EXPECT_EQ(0u, g_BDIF_BoardInfo.u32SlotNum);
  uint32_t sru0 = 7, sru1 = 8;
  EXPECT_EQ(1u, BDIF_GetMasterSlave(&sru0, &sru1));
  EXPECT_EQ(7u, sru0);
  EXPECT_EQ(8u, sru1);
  EXPECT_EQ("\r\nBoard info Error\r\n", bsp::test::capture_stdout(BDIF_PrintfBoardinfo));
  EXPECT_EQ(0u, g_BDIF_BoardInfo.u32IsValid);

  use_word_source(WordSource::Given, 0x099u << 4);
  EXPECT_EQ(0x099u, BDIF_GetBoardType());
}

TEST_F(BoardInfo, SlotNumberIsStoredWithOddParity) {
  struct Case {
    uint32_t set, stored, got;
  } cases[] = {{3, 0x23, 3}, {7, 0x07, 7}, {0, 0x20, 0}, {35, 0x23, 3}, {31, 0x1F, 31}, {30, 0x3E, 30}, {1, 0x01, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.set);
    BDIF_SetSlotNum(c.set);
    EXPECT_EQ(c.stored, g_BDIF_BoardInfo.u32SlotNum);
    EXPECT_EQ(c.got, BDIF_GetSlotNum());
  }
  EXPECT_NE(std::string::npos, bsp::test::capture_stdout(BDIF_PrintfBoardinfo).find("\r\n SlotNum    : 0x1\r\n"));
}

TEST_F(BoardInfo, SlotBitsWithEvenParityGiveNoSlot) {
  for (uint32_t bits : {0x03u, 0x00u, 0x3Fu, 0x21u}) {
    SCOPED_TRACE(bits);
    g_BDIF_BoardInfo = {};
    use_word_source(WordSource::Given, bits << 16);
    EXPECT_EQ(kInvalid, BDIF_GetSlotNum());
  }
}

TEST_F(BoardInfo, MasterAndSlaveComeFromAFreshWord) {
  use_word_source(WordSource::Given, 0);
  ASSERT_EQ(1u, BDIF_CheckBoardInfoPara());
  struct Case {
    uint32_t code, sru0, sru1;
  } cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {3, 0, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.code);
    use_word_source(WordSource::Given, c.code << 23 | 1u << 22 | 1u << 25);
    uint32_t sru0 = 9, sru1 = 9;
    EXPECT_EQ(0u, BDIF_GetMasterSlave(&sru0, &sru1));
    EXPECT_EQ(c.sru0, sru0);
    EXPECT_EQ(c.sru1, sru1);
  }
  EXPECT_EQ(0u, BDIF_GetCpuNum()) << "the cached record stays as first decoded";
  uint32_t sru = 9;
  EXPECT_EQ(1u, BDIF_GetMasterSlave(&sru, nullptr));
  EXPECT_EQ(1u, BDIF_GetMasterSlave(nullptr, &sru));
  EXPECT_EQ(9u, sru);
}

TEST(BoardConfig, TheProductDatabase) {
  EXPECT_EQ(nullptr, g_ZQDefaultCfg.pVfsPiecesCfg);
  EXPECT_EQ(0x000u, g_ZQBoardCfgList[0].u32Key);
  EXPECT_EQ(&g_ZQDefaultCfg, g_ZQBoardCfgList[0].pItemData);
  EXPECT_EQ(0x099u, g_ZQBoardCfgList[1].u32Key);
  EXPECT_EQ(&g_ZQDefaultCfg, g_ZQBoardCfgList[1].pItemData);
  EXPECT_EQ(0u, g_ZQBoardCfgList[2].u32Key);
  EXPECT_EQ(nullptr, g_ZQBoardCfgList[2].pItemData);
  for (uint32_t key : {0x000u, 0x099u, 0x1099u, 0x055u, 0xFFFu})
    EXPECT_EQ(&g_ZQDefaultCfg, BCDB_GetBoardCfgDB(g_ZQBoardCfgList, key)) << key;
  EXPECT_EQ(nullptr, BCDB_GetBoardCfgDB(nullptr, 0));

  pBoardConfig = nullptr;
  pDefaultConfig = nullptr;
  BCDB_InitBoardCfg(0x055);
  EXPECT_EQ(&g_ZQDefaultCfg, pBoardConfig);
  EXPECT_EQ(&g_ZQDefaultCfg, pDefaultConfig);
}

TEST(BoardConfig, LookupByExactKeyOrTheNewestKnownPcb) {
  int a, b, c, d, e;
  BoardCfgDbItem db[] = {{0x010, &a}, {0x1010, &b}, {0x3010, &c}, {0x020, &d}, {0x2030, &e}, {0x4040, nullptr}};
  struct Case {
    uint32_t key;
    void *want;
  } cases[] = {
      {0x010, &a},   {0x1010, &b},  {0x3010, &c},
      {0x5010, &c},  // a newer PCB than any known: the newest known of its type
      {0x2010, &a},  // an unknown PCB below the newest: no exact item, the first record
      {0x1020, &d},  {0x9020, &d}, {0x030, &a}, {0x3030, &e}, {0x1030, &a}, {0x0040, &a},
  };
  for (const Case &k : cases) EXPECT_EQ(k.want, BCDB_GetBoardCfgDB(db, k.key)) << std::hex << k.key;
  BoardCfgDbItem empty[] = {{0x010, nullptr}};
  EXPECT_EQ(nullptr, BCDB_GetBoardCfgDB(empty, 0x010));
}

TEST(BoardConfig, LookupInADatabaseEndedByKey) {
  int a, b, z;
  BoardCfgDbItem db[] = {{1, &a}, {2, &b}, {0xFFFFFFFF, &z}};
  EXPECT_EQ(&a, BCDB_GetBoardCfgDBEndByKey(db, 1));
  EXPECT_EQ(&b, BCDB_GetBoardCfgDBEndByKey(db, 2));
  EXPECT_EQ(&z, BCDB_GetBoardCfgDBEndByKey(db, 9));
  EXPECT_EQ(nullptr, BCDB_GetBoardCfgDBEndByKey(nullptr, 1));
}

}  // namespace
