// The flash front's erase: 0xFF over a range, as flash leaves it. Apart from the rest of the
// library-only front so that the image tool's build of the flash-dynamic area has it too.
#include <bsp/flash.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;

extern "C" {

BSP_API uint32_t FLASH_EraseFlash(uint64_t u64GlobalOffset, uint64_t u64Len) {
  uint64_t length = g_flash_file_length;
  // Compared without forming offset + length, which could wrap past 64 bits.
  if (u64GlobalOffset > length || u64Len > length - u64GlobalOffset || static_cast<uint32_t>(u64Len) == 0) return 1;
  auto *buffer = static_cast<unsigned char *>(malloc(static_cast<size_t>(u64Len)));
  if (buffer == nullptr) {
    flavor::console("malloc %llx error !\n", static_cast<unsigned long long>(u64Len));
    return 1;
  }
  memset(buffer, 0xFF, static_cast<size_t>(u64Len));
  uint32_t rc = FLASH_WriteFlash(u64GlobalOffset, buffer, u64Len);
  free(buffer);
  return rc == 0 ? 0 : 1;
}

}  // extern "C"
