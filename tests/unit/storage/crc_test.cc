// Checksums: check values, continuation, tables, and agreement with a bitwise model.
#include <bsp/crc.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Bit-by-bit models of the two checksums, independent of the tables.
uint16_t crc16_model(const std::string &s) {
  uint16_t r = 0;
  for (unsigned char c : s) {
    r ^= static_cast<uint16_t>(c << 8);
    for (int k = 0; k < 8; ++k) r = (r & 0x8000) ? static_cast<uint16_t>((r << 1) ^ 0x1021) : static_cast<uint16_t>(r << 1);
  }
  return r;
}

uint32_t reflect(uint32_t v, int width) {
  uint32_t out = 0;
  for (int i = 0; i < width; ++i)
    if (v & (1u << i)) out |= 1u << (width - 1 - i);
  return out;
}

uint32_t table32_model(uint32_t i) {
  uint32_t r = reflect(i, 8) << 24;
  for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
  return reflect(r, 32);
}

unsigned short crc16(const std::string &s) { return BSP_Crc16Cal(const_cast<char *>(s.data()), s.size()); }
unsigned int crc32(const std::string &s) {
  return BSP_Crc32Cal(const_cast<char *>(s.data()), static_cast<unsigned>(s.size()));
}

class Checksums : public testing::Test {
 protected:
  void SetUp() override { BSP_CrcInit(); }
};

TEST_F(Checksums, CheckValues) {
  struct Case {
    std::string text;
    uint16_t crc16;
    uint32_t crc32;
  };
  const Case cases[] = {
      {"123456789", 0x31C3, 0x4D3A139E},
      {"abc", 0x9DD6, 0x00616263},
      {"", 0, 0},
      {std::string(1, '\x01'), crc16_model(std::string(1, '\x01')), 0x00000001},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.crc16, crc16(c.text));
    EXPECT_EQ(c.crc32, crc32(c.text));
  }
}

TEST_F(Checksums, SixteenBitContinuesAcrossSplits) {
  unsigned short first = BSP_Crc16Cal(const_cast<char *>("1234"), 4);
  EXPECT_EQ(0x31C3, BSP_Crc16CalPlus(const_cast<char *>("56789"), 5, first));
  // A length of 0 leaves the register as it was.
  EXPECT_EQ(0xBEEF, BSP_Crc16CalPlus(const_cast<char *>("x"), 0, 0xBEEF));
  unsigned short reg = 0x1234;
  make_crc_checksume(reinterpret_cast<unsigned char *>(const_cast<char *>("x")), 0, &reg);
  EXPECT_EQ(0x1234, reg);
  make_crc_checksume(reinterpret_cast<unsigned char *>(const_cast<char *>("123456789")), 9, &(reg = 0));
  EXPECT_EQ(0x31C3, reg);
}

TEST_F(Checksums, NullDataGivesZeroThirtyTwoBitChecksum) {
  EXPECT_EQ(0u, BSP_Crc32Cal(nullptr, 0));
  EXPECT_EQ(0u, BSP_Crc32Cal(nullptr, 100));
}

TEST_F(Checksums, TablesMatchTheirDefinitions) {
  EXPECT_EQ(0x77073096u, crc32_tab[1]);
  EXPECT_EQ(0xEDB88320u, crc32_tab[128]);
  EXPECT_EQ(0x2D02EF8Du, crc32_tab[255]);
  EXPECT_EQ(0x1021, crc_tab[1]);
  for (uint32_t i = 0; i < 256; ++i) {
    EXPECT_EQ(table32_model(i), crc32_tab[i]) << i;
    EXPECT_EQ(crc16_model(std::string(1, static_cast<char>(i))), crc_tab[i]) << i;
  }
  std::vector<unsigned short> t16(crc_tab, crc_tab + 256);
  std::vector<unsigned int> t32(crc32_tab, crc32_tab + 256);
  init_crc_tabl();
  init_crc32_tabl();
  EXPECT_EQ(t16, std::vector<unsigned short>(crc_tab, crc_tab + 256));
  EXPECT_EQ(t32, std::vector<unsigned int>(crc32_tab, crc32_tab + 256));
}

TEST_F(Checksums, SixteenBitAgreesWithBitwiseModelOnRandomData) {
  std::mt19937 rng(7);
  for (int n = 0; n < 200; ++n) {
    std::string s(rng() % 300, '\0');
    for (char &c : s) c = static_cast<char>(rng());
    ASSERT_EQ(crc16_model(s), crc16(s)) << n;
  }
}

}  // namespace
