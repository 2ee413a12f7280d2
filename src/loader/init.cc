// Storage start-up of the loader: the same flash address space and pieces layout as the
// library's start-up roots, so both see the same piece files.
#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <unistd.h>

#include "loader/command.h"
#include "loader/loader.h"
#include "storage/bootmem.h"
#include "storage/flash_map.h"

namespace map = bsp::flash_map;

extern "C" int32_t Boot_Init(void) {
  // Failures before the pieces start-up show up later, as a load state word that cannot be read.
  Boot_BootinfoInit();
  BSP_CrcInit();
  FLASH_InitFlashDrv();
  if (access(map::kMiscDir, F_OK) != 0) bsp::loader::run_command("mkdir /mnt/misc");
  // The front keeps the path for the life of the process and never writes through it.
  FLASH_CreateFlashFile(const_cast<char *>(map::kFlashFilePath), map::kFlashFileSize);
  BSP_VfsPiecesConfig(map::kPiecesBase, map::kPiecesSize);
  return static_cast<int32_t>(BSP_VfsPiecesInit());
}
