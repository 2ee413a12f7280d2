// Storage start-up of the loader: the same flash address space and pieces layout as the
// library's start-up roots, so both see the same piece files.
#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <unistd.h>

#include "loader/command.h"
#include "loader/loader.h"
#include "storage/bootmem.h"

namespace {

// The flash front keeps this pointer for the life of the process.
char g_flash_file[] = "/mnt/misc/flashfile";
constexpr unsigned int kFlashFileSize = 0x480000;
constexpr unsigned long kPiecesOffset = 0x80000;
constexpr unsigned long kPiecesSize = 0x100000;

}  // namespace

extern "C" int32_t Boot_Init(void) {
  // Failures before the pieces start-up show up later, as a load state word that cannot be read.
  Boot_BootinfoInit();
  BSP_CrcInit();
  FLASH_InitFlashDrv();
  if (access("/mnt/misc", F_OK) != 0) bsp::loader::run_command("mkdir /mnt/misc");
  FLASH_CreateFlashFile(g_flash_file, kFlashFileSize);
  BSP_VfsPiecesConfig(kPiecesOffset, kPiecesSize);
  return static_cast<int32_t>(BSP_VfsPiecesInit());
}
