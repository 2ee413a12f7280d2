// EEPROM layer: board EEPROMs by slot number, through a fixed table of their I2C device names.
#include <bsp/boundc.h>
#include <bsp/i2c.h>
#include <bsp/osadapt.h>
#include <bsp/seclog.h>
#include <bsp/stub.h>
#include <stdio.h>

namespace {

constexpr char kSource[] = "bsp/drv/eeprom";
constexpr uint32_t kFail = 1;
constexpr uint32_t kUnresolved = 0xFFFFFFFF;
// A physical slot lookup that answers this leaves the caller's slot number as it is.
constexpr uint32_t kNoPhysicalSlot = 0xFFFFFFFF;

}  // namespace

extern "C" {

BSP_API BSP_EEPROM_CFG g_astBspEepromCfg[] = {
    {0xC9, "eepromcard", kUnresolved},
    {0xFFFFFFFF, "eeprom3410", kUnresolved},
    {1, "eepromslot1", kUnresolved},
    {2, "eepromslot2", kUnresolved},
    {3, "eepromslot3", kUnresolved},
    {4, "eepromslot4", kUnresolved},
    {5, "eepromslot5", kUnresolved},
    {6, "eepromslot6", kUnresolved},
    {7, "eepromslot7", kUnresolved},
    {8, "eepromslot8", kUnresolved},
    {9, "eepromslot9", kUnresolved},
    {10, "eepromslot10", kUnresolved},
    {11, "eepromslot11", kUnresolved},
    {12, "eepromslot12", kUnresolved},
    {0xD1, "backplan_page0", kUnresolved},
    {0xD8, "backplan_page1", kUnresolved},
    {0xD9, "backplan_page2", kUnresolved},
    {0xDA, "backplan_page3", kUnresolved},
    {0xCA, "dspdimm0", kUnresolved},
    {0xCF, "dspdimm1", kUnresolved},
    {0xD0, "dspdimm2", kUnresolved},
    {0xCD, "sfp0_page0", kUnresolved},
    {0xCE, "sfp0_page1", kUnresolved},
    {0xD6, "sfp1_page0", kUnresolved},
    {0xD7, "sfp1_page1", kUnresolved},
    {0xDE, "sfp2_page0", kUnresolved},
    {0xDF, "sfp2_page1", kUnresolved},
    {0xE0, "sfp3_page0", kUnresolved},
    {0xE1, "sfp3_page1", kUnresolved},
    {0xD2, "eeprompower1", kUnresolved},
    {0xD3, "eeprompower2", kUnresolved},
    {0xD4, "eeprompower3", kUnresolved},
    {0xD5, "eeprompower4", kUnresolved},
    {0xE4, "eepromcard_page0", kUnresolved},
    {0xE5, "eepromcard_page1", kUnresolved},
    {0xE6, "eepromcard_page2", kUnresolved},
    {0xE7, "eepromcard_page3", kUnresolved},
    {0xE2, "eepromcard1", kUnresolved},
    {0, nullptr, 0},
};
static_assert(sizeof g_astBspEepromCfg / sizeof g_astBspEepromCfg[0] == 38 + 1);

BSP_API uint32_t g_ulEepromDebugPrint = 0;

BSP_API uint32_t EEPROM_Init(void) {
  for (BSP_EEPROM_CFG *row = g_astBspEepromCfg; row->ulSlotNum != 0; ++row) {
    // A device number from an earlier registry must not name another device of this one.
    uint32_t id = kUnresolved;
    row->u32DevId = I2CBUS_FindDeviceIdByName(row->pcDevName, &id) == 0 ? id : kUnresolved;
  }
  return 0;
}

BSP_API uint32_t EEPROM_GetEepromCfg(uint32_t ulBoardSlot, BSP_EEPROM_CFG **ppCfg) {
  if (ppCfg == nullptr) return kFail;
  uint32_t slot = BSPSMS_GetPhySlotNum(ulBoardSlot);
  if (slot == kNoPhysicalSlot) slot = ulBoardSlot;
  for (BSP_EEPROM_CFG *row = g_astBspEepromCfg; row->ulSlotNum != 0; ++row) {
    if (row->ulSlotNum == slot) {
      *ppCfg = row;
      return 0;
    }
  }
  if (g_ulEepromDebugPrint != 0) printf("Get eeprom cfg failed! Slot Num = 0x%x invalid!\r\n", ulBoardSlot);
  return kFail;
}

BSP_API uint32_t EEPROM_Read(uint32_t ulBoardSlot, uint32_t ulRegOffset, uint8_t *pucOut, uint32_t ulLen,
                             uint32_t *pulActLen) {
  BSP_EEPROM_CFG *row = nullptr;
  if (pulActLen == nullptr || EEPROM_GetEepromCfg(ulBoardSlot, &row) != 0) return kFail;
  const bool ok = I2CBUS_ApiRead(row->u32DevId, ulRegOffset, pucOut, ulLen) == 0;
  *pulActLen = ok ? ulLen : 0;
  return ok ? 0 : kFail;
}

BSP_API uint32_t EEPROM_Write(uint32_t ulBoardSlot, uint32_t ulRegOffset, uint8_t *pucData, uint32_t ulLen,
                              uint32_t *pulActLen) {
  BSP_EEPROM_CFG *row = nullptr;
  if (pulActLen == nullptr || EEPROM_GetEepromCfg(ulBoardSlot, &row) != 0) return kFail;
  const bool ok = I2CBUS_ApiWrite(row->u32DevId, ulRegOffset, pucData, ulLen) == 0;
  *pulActLen = ok ? ulLen : 0;
  return ok ? 0 : kFail;
}

BSP_API uint32_t EEPROM_Dump(uint32_t ulBoardSlot, uint32_t ulRegOffset, uint32_t ulLen) {
  if (ulLen == 0) return kFail;
  auto *bytes = static_cast<uint8_t *>(BSP_malloc(ulLen, 0));
  if (bytes == nullptr) return kFail;
  DRV_SecJudge(memset_s(bytes, ulLen, 0, ulLen), const_cast<char *>("memset_s"), const_cast<char *>(kSource),
               __LINE__);
  uint32_t done = 0;
  EEPROM_Read(ulBoardSlot, ulRegOffset, bytes, ulLen, &done);  // a failed read dumps zeros
  puts("\r");
  for (uint32_t i = 0; i < ulLen; ++i) printf("%08x : %02x\r\n", ulRegOffset + i, bytes[i]);
  BSP_free(bytes);
  return 0;
}

BSP_API uint32_t EEPROM_SetDataWidth(uint32_t ulBoardSlot, uint32_t ulWidth) {
  BSP_EEPROM_CFG *row = nullptr;
  if (EEPROM_GetEepromCfg(ulBoardSlot, &row) != 0) return kFail;
  if (ulWidth != 1 && ulWidth != 2) {
    printf("set eeprom data width error ulWidth = %u\r\n", ulWidth);
    return kFail;
  }
  return I2CBUS_SetDevDataWidth(row->u32DevId, ulWidth);
}

BSP_API void EEPROM_SetDbgPrint(uint32_t u32DbgSet) { g_ulEepromDebugPrint = u32DbgSet; }

}  // extern "C"
