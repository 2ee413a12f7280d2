// The functions this board connects to board API slots, and the two non-dispatching calls.
#include <bsp/api.h>
#include <bsp/board.h>
#include <bsp/probe.h>
#include <gtest/gtest.h>
#include <string.h>

#include "unit/board/board_doubles.h"

using namespace board_test;

namespace {

constexpr unsigned long kThisBoard = 0xFFFFFFFF;

class TivStubs : public testing::Test {
 protected:
  void SetUp() override {
    g_BDIF_BoardInfo = {};
    // Board type 0x155, BOM version 6, PCB version 5, slot bits even (no slot).
    use_word_source(WordSource::Given, 0x155u << 4 | 6u << 26 | 5u << 29 | 0x03u << 16);
  }
  void TearDown() override {
    g_BDIF_BoardInfo = {};
    use_word_source(WordSource::Board);
  }
};

TEST_F(TivStubs, BoardTypeAndVersionsOfThisBoard) {
  EXPECT_EQ(1u, TIV_StubIsVirtualInsertValid());

  unsigned long type = 0;
  EXPECT_EQ(0u, TIV_StubBoardTypeGet(kThisBoard, &type));
  EXPECT_EQ(0x155ul, type);
  type = 42;
  EXPECT_EQ(0u, TIV_StubBoardTypeGet(2, &type));  // another slot: the library stub, storing nothing
  EXPECT_EQ(42ul, type);
  EXPECT_EQ(1u, TIV_StubBoardTypeGet(kThisBoard, nullptr)) << "no pointer, no answer";

  unsigned char version = 0xEE;
  EXPECT_EQ(1u, TIV_StubMabVersionGet(kThisBoard, nullptr));
  EXPECT_EQ(1u, TIV_StubMabVersionGet(1, &version));
  EXPECT_EQ(0xEE, version);
  EXPECT_EQ(0u, TIV_StubMabVersionGet(kThisBoard, &version));
  EXPECT_EQ(6, version);

  version = 0xEE;
  EXPECT_EQ(1u, TIV_StubPcbVersionGet(kThisBoard, nullptr));
  EXPECT_EQ(0u, TIV_StubPcbVersionGet(1, &version));
  EXPECT_EQ(0xEE, version);
  EXPECT_EQ(0u, TIV_StubPcbVersionGet(kThisBoard, &version));
  EXPECT_EQ(5, version);
}

TEST_F(TivStubs, SlotNumberNeedsValidParity) {
  unsigned char slot = 0xEE;
  EXPECT_EQ(1u, TIV_StubBoardSlotNumGet(nullptr));
  EXPECT_EQ(1u, TIV_StubBoardSlotNumGet(&slot));
  EXPECT_EQ(0xEE, slot);
  BSP_InitTiv();
  EXPECT_EQ(1u, BSP_ApiBoardSlotNumGet(&slot));
  BDIF_SetSlotNum(9);
  EXPECT_EQ(0u, TIV_StubBoardSlotNumGet(&slot));
  EXPECT_EQ(9, slot);
  slot = 0;
  EXPECT_EQ(0u, BSP_ApiBoardSlotNumGet(&slot));
  EXPECT_EQ(9, slot);
}

TEST_F(TivStubs, SlotOnlineStatusIsAlwaysZero) {
  EXPECT_EQ(1u, TIV_StubSlotOnlineStatusGet(1, nullptr));
  for (unsigned long s : {0ul, 7ul, kThisBoard}) {
    unsigned long status = 5;
    EXPECT_EQ(0u, TIV_StubSlotOnlineStatusGet(s, &status));
    EXPECT_EQ(0ul, status);
  }
}

TEST_F(TivStubs, BiosVersionStringsByType) {
  char text[16];
  memset(text, 'x', sizeof text);
  EXPECT_EQ(1u, TIV_StubBiosVersionStringGet(1, 0, nullptr));
  EXPECT_EQ(0u, TIV_StubBiosVersionStringGet(1, 0, text));  // the boot ROM gives no text
  EXPECT_EQ('x', text[0]);
  EXPECT_EQ(1u, TIV_StubBiosVersionStringGet(2, 0, text));  // no boot loader piece on this board
  EXPECT_EQ(1u, TIV_StubBiosVersionStringGet(3, 0, text));
  EXPECT_EQ(1u, TIV_StubBiosVersionStringGet(0, 0, text));
}

TEST_F(TivStubs, MemorySizeOfTypeZeroOnly) {
  unsigned long size = 3;
  EXPECT_EQ(1u, TIV_StubGetMemSize(0, nullptr));
  EXPECT_EQ(1u, TIV_StubGetMemSize(1, &size));
  EXPECT_EQ(3ul, size);
  EXPECT_EQ(0u, TIV_StubGetMemSize(0, &size));
  EXPECT_EQ(BSP_GetDDRRamSize(), size);
  EXPECT_EQ(0ul, size % 0x100000) << "whole GiB in KiB";
}

TEST_F(TivStubs, NeutralStubsStoreNothing) {
  unsigned char b[4] = {1, 2, 3, 4};
  unsigned long act = 9;
  EXPECT_EQ(0u, TIV_StubCpldVersionGet(0, b));
  EXPECT_EQ(0u, TIV_StubOpticRead(0, 0, b, 4, &act));
  EXPECT_EQ(0u, TIV_StubRtcDateGet(&b[0], &b[1], &b[2], &b[3]));
  EXPECT_EQ(0u, TIV_StubRtcTimeGet(&b[0], &b[1], &b[2]));
  EXPECT_EQ(0u, TIV_StubRtcDateSet(24, 5, 17, 5));
  EXPECT_EQ(0u, TIV_StubRtcTimeSet(23, 59, 58));
  EXPECT_EQ(1u, TIV_StubBackPlanePcbVersionGet(nullptr));
  EXPECT_EQ(0u, TIV_StubBackPlanePcbVersionGet(b));
  EXPECT_EQ(9ul, act);
  EXPECT_EQ(1, b[0]);
  EXPECT_EQ(2, b[1]);
  EXPECT_EQ(3, b[2]);
  EXPECT_EQ(4, b[3]);
  // Through its slot, the optic read is reached with the entry point's six arguments.
  BSP_InitTiv();
  EXPECT_EQ(0u, BSP_ApiOpticRead(1, 0x50, 0, b, 4, &act));
  EXPECT_EQ(9ul, act);

  uint32_t addresses[2] = {5, 6};
  EXPECT_EQ(0u, BSP_GetPciDeviceAddress(0x1234, addresses, 2));
  EXPECT_EQ(5u, addresses[0]);
  EXPECT_EQ(6u, addresses[1]);
}

}  // namespace
