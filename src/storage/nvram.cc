// The NVRAM window: the host maps it and hands its address to NVRAM_Init. The window takes
// only aligned 16-bit loads and stores; a byte copy that starts or ends inside a unit reads
// the unit, merges its byte and stores the unit back, so the neighbouring byte keeps its value.
#include <bsp/boundc.h>
#include <bsp/nvram.h>
#include <bsp/osadapt.h>
#include <stdint.h>
#include <stdio.h>

#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;

namespace {

constexpr char kNvramSource[] = "bsp/drv/nvram/nvram";

// Full width in both builds: the window's address does not fit 32 bits in a 64-bit process.
unsigned long g_ulNvram_Base_Addr = 0;
uint32_t g_ulNvram_Size = 0;
uint32_t g_ulNvram_Width = 1;  // recorded, not used by the copies

volatile uint16_t *unit_at(uintptr_t address) { return reinterpret_cast<volatile uint16_t *>(address); }

// The copy must lie inside the window; compared without forming offset + size, which wraps.
// A window at address 0 or at an odd address has no aligned units to reach it by.
bool in_window(unsigned long offset, unsigned long size) {
  const unsigned long window = g_ulNvram_Size;
  if (g_ulNvram_Base_Addr == 0 || (g_ulNvram_Base_Addr & 1u) != 0) return false;
  return offset < window && size <= window - offset;
}

}  // namespace

extern "C" {

BSP_API uint32_t NVRAM_Init(unsigned long ulBaseAddr, NVRAM_INFO *pInfo) {
  g_ulNvram_Base_Addr = ulBaseAddr;
  if (pInfo != nullptr) {
    g_ulNvram_Size = pInfo->ulSize;
    g_ulNvram_Width = pInfo->ulWidth;
  }
  return 0;
}

BSP_API uint32_t NVRAM_GetSize(void) { return g_ulNvram_Size; }

BSP_API unsigned long NVRAM_GetBaseAddress(void) { return g_ulNvram_Base_Addr; }

BSP_API uint32_t NVRAM_Read(unsigned char *pucSdramAddr, unsigned long ulSramOffset, unsigned long ulSize) {
  if (ulSize == 0) return 0;
  if (pucSdramAddr == nullptr || !in_window(ulSramOffset, ulSize)) return 1;
  uintptr_t a = g_ulNvram_Base_Addr + ulSramOffset;
  unsigned char *out = pucSdramAddr;
  unsigned long left = ulSize;
  if ((a & 1u) != 0) {
    *out++ = static_cast<unsigned char>(*unit_at(a - 1));
    ++a;
    --left;
  }
  for (; left >= 2; left -= 2, a += 2) {
    const uint16_t unit = *unit_at(a);
    *out++ = static_cast<unsigned char>(unit >> 8);
    *out++ = static_cast<unsigned char>(unit);
  }
  if (left == 1) *out = static_cast<unsigned char>(*unit_at(a) >> 8);
  return 0;
}

BSP_API uint32_t NVRAM_Write(unsigned long ulSramOffset, const unsigned char *pucSdramAddr, unsigned long ulSize) {
  if (ulSize == 0) return 0;
  if (pucSdramAddr == nullptr || ulSize > g_ulNvram_Size || !in_window(ulSramOffset, ulSize)) return 1;
  uintptr_t a = g_ulNvram_Base_Addr + ulSramOffset;
  const unsigned char *in = pucSdramAddr;
  unsigned long left = ulSize;
  if ((a & 1u) != 0) {
    volatile uint16_t *unit = unit_at(a - 1);
    *unit = static_cast<uint16_t>((*unit & 0xFF00u) | *in++);
    ++a;
    --left;
  }
  for (; left >= 2; left -= 2, a += 2, in += 2) *unit_at(a) = static_cast<uint16_t>((in[0] << 8) | in[1]);
  if (left == 1) {
    volatile uint16_t *unit = unit_at(a);
    *unit = static_cast<uint16_t>((*unit & 0x00FFu) | (*in << 8));
  }
  return 0;
}

BSP_API void NvRam_Test(unsigned long ulLen) {
  // BSP_malloc takes a 32-bit count: a longer test cannot have its buffers.
  const uint32_t len = ulLen > UINT32_MAX ? 0 : static_cast<uint32_t>(ulLen);
  auto *written = static_cast<unsigned char *>(len == 0 ? nullptr : BSP_malloc(len, 0));
  if (written == nullptr) {
    puts("\r\n NvRam_Test malloc pWbuff failed \r");
    return;
  }
  auto *read = static_cast<unsigned char *>(BSP_malloc(len, 0));
  if (read == nullptr) {
    puts("\r\n NvRam_Test malloc pRbuff failed \r");
    BSP_free(written);
    return;
  }
  flavor::judge(memset_s(written, len, 0x5A, len), "memset_s", kNvramSource, __LINE__);
  flavor::judge(memset_s(read, len, 0, len), "memset_s", kNvramSource, __LINE__);
  NVRAM_Write(0, written, len);
  NVRAM_Read(read, 0, len);
  for (uint32_t i = 0; i < len; ++i) {
    if (written[i] != read[i]) {
      printf("\r\n i %d pWbuff[i] = %d (UCHAR*)pRbuff[i] = %d", static_cast<int>(i), written[i], read[i]);
    }
  }
  BSP_free(read);
  BSP_free(written);
}

}  // extern "C"
