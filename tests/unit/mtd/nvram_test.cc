// The NVRAM window on memory the test maps, ending where an inaccessible page begins: an
// access beyond the window, or a 16-bit unit read across its end, ends the test.
#include <bsp/nvram.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/capture.h"

namespace {

constexpr uint32_t kWindow = 16;

// Runs first in this program: the library starts with no window.
TEST(NvramBeforeInit, EveryCopyIsRefused) {
  ASSERT_EQ(0u, NVRAM_GetBaseAddress());
  EXPECT_EQ(0u, NVRAM_GetSize());
  unsigned char byte = 0x11;
  EXPECT_EQ(1u, NVRAM_Read(&byte, 0, 1));
  EXPECT_EQ(1u, NVRAM_Write(0, &byte, 1));
  EXPECT_EQ(0u, NVRAM_Read(&byte, 0, 0));
  EXPECT_EQ(0u, NVRAM_Write(0, &byte, 0));
}

// A window of kWindow bytes at the end of an accessible page.
class Nvram : public ::testing::Test {
 protected:
  void SetUp() override {
    const long page = sysconf(_SC_PAGESIZE);
    map = static_cast<unsigned char *>(mmap(nullptr, 3 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(MAP_FAILED, map);
    ASSERT_EQ(0, mprotect(map + page, page, PROT_READ | PROT_WRITE));
    pages = 3 * page;
    window = map + 2 * page - kWindow;
    for (uint32_t i = 0; i < kWindow / 2; ++i) unit(i) = static_cast<uint16_t>(0xA000 + i * 0x0101);
    NVRAM_INFO info{};
    info.ulSize = kWindow;
    info.ulWidth = 2;
    NVRAM_Init(reinterpret_cast<unsigned long>(window), &info);
  }
  void TearDown() override {
    NVRAM_Init(0, nullptr);
    munmap(map, pages);
  }
  volatile uint16_t &unit(uint32_t i) { return reinterpret_cast<volatile uint16_t *>(window)[i]; }
  std::vector<uint16_t> units() {
    std::vector<uint16_t> out;
    for (uint32_t i = 0; i < kWindow / 2; ++i) out.push_back(static_cast<uint16_t>(unit(i)));
    return out;
  }

  unsigned char *map = nullptr, *window = nullptr;
  size_t pages = 0;
};

TEST_F(Nvram, InitRecordsBaseAndSize) {
  EXPECT_EQ(reinterpret_cast<unsigned long>(window), NVRAM_GetBaseAddress());
  EXPECT_EQ(kWindow, NVRAM_GetSize());
  // Without a description only the base changes.
  NVRAM_Init(reinterpret_cast<unsigned long>(window + 2), nullptr);
  EXPECT_EQ(reinterpret_cast<unsigned long>(window + 2), NVRAM_GetBaseAddress());
  EXPECT_EQ(kWindow, NVRAM_GetSize());
}

// The even byte is the high half of its unit; partial units keep their other byte.
TEST_F(Nvram, WritesMergePartialUnits) {
  const unsigned char bytes[] = {0x11, 0x22, 0x33};
  ASSERT_EQ(0u, NVRAM_Write(1, bytes, 3));
  std::vector<uint16_t> expect = {0xA011, 0x2233, 0xA202, 0xA303, 0xA404, 0xA505, 0xA606, 0xA707};
  EXPECT_EQ(expect, units());
  unsigned char back[3] = {};
  ASSERT_EQ(0u, NVRAM_Read(back, 1, 3));
  EXPECT_EQ(std::string("\x11\x22\x33"), std::string(reinterpret_cast<char *>(back), 3));

  struct Case {
    uint32_t offset;
    std::string data;
    std::vector<uint16_t> units;
  } cases[] = {
      {4, "\x44", {0xA000, 0xA101, 0x4402, 0xA303, 0xA404, 0xA505, 0xA606, 0xA707}},
      {5, "\x55", {0xA000, 0xA101, 0xA255, 0xA303, 0xA404, 0xA505, 0xA606, 0xA707}},
      {2, std::string("\x12\x34\x56\x78", 4), {0xA000, 0x1234, 0x5678, 0xA303, 0xA404, 0xA505, 0xA606, 0xA707}},
      {15, "\xEE", {0xA000, 0xA101, 0xA202, 0xA303, 0xA404, 0xA505, 0xA606, 0xA7EE}},
      {0, std::string(16, '\x01'), std::vector<uint16_t>(8, 0x0101)},
  };
  for (const Case &k : cases) {
    for (uint32_t i = 0; i < kWindow / 2; ++i) unit(i) = static_cast<uint16_t>(0xA000 + i * 0x0101);
    ASSERT_EQ(0u, NVRAM_Write(k.offset, reinterpret_cast<const unsigned char *>(k.data.data()), k.data.size()))
        << k.offset;
    EXPECT_EQ(k.units, units()) << k.offset;
    std::string back_bytes(k.data.size(), '\0');
    ASSERT_EQ(0u, NVRAM_Read(reinterpret_cast<unsigned char *>(back_bytes.data()), k.offset, k.data.size()));
    EXPECT_EQ(k.data, back_bytes) << k.offset;
  }
}

TEST_F(Nvram, ReadsTakeTheUnitsApart) {
  unsigned char all[kWindow];
  ASSERT_EQ(0u, NVRAM_Read(all, 0, kWindow));
  for (uint32_t i = 0; i < kWindow; ++i) EXPECT_EQ(i % 2 == 0 ? 0xA0 + i / 2 : i / 2 * 0x01, all[i]) << i;
  unsigned char last = 0;
  ASSERT_EQ(0u, NVRAM_Read(&last, 15, 1));
  EXPECT_EQ(0x07, last);
  ASSERT_EQ(0u, NVRAM_Read(&last, 14, 1));
  EXPECT_EQ(0xA7, last);
}

TEST_F(Nvram, CopiesStayInsideTheWindow) {
  unsigned char buf[kWindow + 1] = {};
  struct Case {
    unsigned long offset, size;
    uint32_t rc;
  } cases[] = {
      {0, kWindow, 0},      {kWindow - 3, 3, 0}, {kWindow - 3, 4, 1}, {kWindow, 1, 1},
      {0, kWindow + 1, 1},  {kWindow, 0, 0},
      // offset + size would wrap to 1, inside the window
      {2, ~0ul, 1},         {~0ul, 2, 1},
  };
  for (const Case &k : cases) {
    EXPECT_EQ(k.rc, NVRAM_Read(buf, k.offset, k.size)) << k.offset << "+" << k.size;
    EXPECT_EQ(k.rc, NVRAM_Write(k.offset, buf, k.size)) << k.offset << "+" << k.size;
  }
  EXPECT_EQ(1u, NVRAM_Read(nullptr, 0, 1));
  EXPECT_EQ(1u, NVRAM_Write(0, nullptr, 1));
  EXPECT_EQ(0u, NVRAM_Read(nullptr, 0, 0));
}

// A window at an odd address has no aligned units: nothing is copied.
TEST_F(Nvram, OddWindowIsRefused) {
  NVRAM_INFO info{};
  info.ulSize = kWindow - 2;
  NVRAM_Init(reinterpret_cast<unsigned long>(window + 1), &info);
  unsigned char byte = 0;
  EXPECT_EQ(1u, NVRAM_Read(&byte, 0, 1));
  EXPECT_EQ(1u, NVRAM_Write(0, &byte, 1));
}

TEST_F(Nvram, SelfTestPrintsTheBytesThatDiffer) {
  std::string out = bsp::test::capture_stdout([] { NvRam_Test(kWindow); });
  EXPECT_EQ("", out);
  EXPECT_EQ(std::vector<uint16_t>(8, 0x5A5A), units());
  // One byte more than the window: nothing is written or read, every byte differs.
  out = bsp::test::capture_stdout([] { NvRam_Test(3); });
  EXPECT_EQ("", out);
  NVRAM_INFO info{};
  info.ulSize = 2;
  NVRAM_Init(reinterpret_cast<unsigned long>(window), &info);
  out = bsp::test::capture_stdout([] { NvRam_Test(3); });
  EXPECT_EQ(
      "\r\n i 0 pWbuff[i] = 90 (UCHAR*)pRbuff[i] = 0"
      "\r\n i 1 pWbuff[i] = 90 (UCHAR*)pRbuff[i] = 0"
      "\r\n i 2 pWbuff[i] = 90 (UCHAR*)pRbuff[i] = 0",
      out);
  out = bsp::test::capture_stdout([] { NvRam_Test(0); });
  EXPECT_EQ("\r\n NvRam_Test malloc pWbuff failed \r\n", out);
}

}  // namespace
