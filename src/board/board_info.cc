// Board information: the board-information word decoded once into g_BDIF_BoardInfo, and the
// answers the library and the host take from it.
#include <bsp/board.h>
#include <bsp/stub.h>

#include <stdio.h>

extern "C" {
BSP_API BDIF_BoardInfo g_BDIF_BoardInfo = {};
}

namespace {

uint32_t bits(uint32_t word, unsigned low, unsigned count) { return (word >> low) & ((1u << count) - 1); }

// 1 when an odd number of the low `count` bits are set.
uint32_t parity(uint32_t value, unsigned count) {
  uint32_t p = 0;
  for (unsigned i = 0; i < count; ++i) p ^= (value >> i) & 1u;
  return p;
}

bool decoded() { return BDIF_CheckBoardInfoPara() == 1; }

uint32_t field_or_invalid(const uint32_t BDIF_BoardInfo::*field) {
  return decoded() ? g_BDIF_BoardInfo.*field : BDIF_INVALID;
}

uint32_t flag_or_invalid(const uint32_t BDIF_BoardInfo::*field) {
  return decoded() ? (g_BDIF_BoardInfo.*field != 0 ? 1u : 0u) : BDIF_INVALID;
}

}  // namespace

extern "C" {

BSP_API uint32_t BDIF_CheckBoardInfoPara(void) {
  BDIF_BoardInfo &info = g_BDIF_BoardInfo;
  if (info.u32IsValid == BDIF_BOARDINFO_VALID) return 1;
  uint32_t word = 0;
  if (BDIF_GetBdInfoValue(&word) != 0) return 0;
  info.u32DdrMult = bits(word, 0, 2);
  info.u32HasCpld = bits(word, 2, 1);
  info.u32IsMpu = bits(word, 3, 1);
  info.u32BoardType = bits(word, 4, 10);
  info.u32FlashMult = bits(word, 14, 2);
  info.u32SlotNum = bits(word, 16, 6);
  info.u32CpuNum = bits(word, 25, 1);
  info.u32BomVer = bits(word, 26, 3);
  info.u32PcbVer = bits(word, 29, 3);
  info.u32IsValid = BDIF_BOARDINFO_VALID;
  return 1;
}

BSP_API uint32_t BDIF_GetDdrMult(void) { return field_or_invalid(&BDIF_BoardInfo::u32DdrMult); }
BSP_API uint32_t BDIF_GetBoardType(void) { return field_or_invalid(&BDIF_BoardInfo::u32BoardType); }
BSP_API uint32_t BDIF_GetFlashMult(void) { return field_or_invalid(&BDIF_BoardInfo::u32FlashMult); }
BSP_API uint32_t BDIF_GetCpuNum(void) { return field_or_invalid(&BDIF_BoardInfo::u32CpuNum); }
BSP_API uint32_t BDIF_GetBomVer(void) { return field_or_invalid(&BDIF_BoardInfo::u32BomVer); }
BSP_API uint32_t BDIF_GetPcbVer(void) { return field_or_invalid(&BDIF_BoardInfo::u32PcbVer); }
BSP_API uint32_t BDIF_HasCpld(void) { return flag_or_invalid(&BDIF_BoardInfo::u32HasCpld); }
BSP_API uint32_t BDIF_IsMpu(void) { return flag_or_invalid(&BDIF_BoardInfo::u32IsMpu); }

BSP_API uint32_t BDIF_GetSlotNum(void) {
  if (!decoded()) return BDIF_INVALID;
  const uint32_t stored = g_BDIF_BoardInfo.u32SlotNum;
  return parity(stored, 6) == 1 ? (stored & 0x1F) : BDIF_INVALID;
}

BSP_API void BDIF_SetSlotNum(uint32_t u32SlotNum) {
  if (!decoded()) return;
  const uint32_t slot = u32SlotNum & 0x1F;
  g_BDIF_BoardInfo.u32SlotNum = parity(slot, 5) == 1 ? slot : (slot | 0x20);
}

BSP_API uint32_t BDIF_GetMasterSlave(uint32_t *pu32SRU0, uint32_t *pu32SRU1) {
  if (pu32SRU0 == nullptr || pu32SRU1 == nullptr) return 1;
  uint32_t word = 0;
  if (BDIF_GetBdInfoValue(&word) != 0) return 1;
  const uint32_t code = bits(word, 23, 2);
  *pu32SRU0 = code == 1 ? 1 : 0;
  *pu32SRU1 = code == 2 ? 1 : 0;
  return 0;
}

BSP_API void BDIF_PrintfBoardinfo(void) {
  if (!decoded()) {
    puts("\r\nBoard info Error\r");
    return;
  }
  const BDIF_BoardInfo &info = g_BDIF_BoardInfo;
  printf("\r\n Board Info");
  printf("\r\n IsValid    : 0x%x", info.u32IsValid);
  printf("\r\n DdrMult    : 0x%x", info.u32DdrMult);
  printf("\r\n HasCpld    : 0x%x", info.u32HasCpld);
  printf("\r\n IsMpu      : 0x%x", info.u32IsMpu);
  printf("\r\n BoardType  : 0x%x", info.u32BoardType);
  printf("\r\n FlashMult  : 0x%x", info.u32FlashMult);
  printf("\r\n CpuNum     : 0x%x", info.u32CpuNum);
  printf("\r\n BomVer     : 0x%x", info.u32BomVer);
  printf("\r\n PcbVer     : 0x%x", info.u32PcbVer);
  printf("\r\n SlotNum    : 0x%x", info.u32SlotNum);
  printf("\r\n OnBoard    : 0x%x", BDIF_IsOnBoard());
  uint32_t master = 0;
  uint32_t slave = 0;
  BDIF_GetMasterSlave(&master, &slave);
  printf("\r\n Master :0x%x  Slave: 0x%x \r\n\r\n", master, slave);
}

BSP_API void BDIF_PrintfVersion(void) {}

}  // extern "C"
