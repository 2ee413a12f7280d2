// Binds each start-up step to the subsystem that owns it.
#include "board/root_steps.h"

#include <bsp/shell.h>

#include <bsp/api.h>
#include <bsp/board.h>
#include <bsp/boundc.h>
#include <bsp/crc.h>
#include <bsp/fdy.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <bsp/seclog.h>

#include <stdio.h>

#include "storage/flash_map.h"

namespace bsp::root {

namespace map = bsp::flash_map;

void init_checksums() { BSP_CrcInit(); }
// The key carries the board type in bits 0 to 11 and a PCB version, always 0 here, above it.
void init_board_config() {
  constexpr uint32_t kPcbVersion = 0;
  BCDB_InitBoardCfg((BDIF_GetBoardType() & 0xFFF) | ((kPcbVersion << 12) & 0xFFFF));
}
void init_flash_front() { FLASH_InitFlashDrv(); }
// The path is a constant of the library: the front keeps the pointer for the process's life.
void create_flash_file(const char *path) { FLASH_CreateFlashFile(const_cast<char *>(path), map::kFlashFileSize); }
void init_pieces() {
  BSP_VfsPiecesConfig(map::kPiecesBase, map::kPiecesSize);
  BSP_VfsPiecesInit();
}
uint32_t init_flash_dynamic() { return FDY_InitFlashDyna(map::kFlashDynBase, map::kFlashDynSize); }
void init_api_tables() { BSP_InitTiv(); }
void init_debug_commands() { BSPCMD_Init(); }

// The stamp is reported under the start-up module's own source name.
void print_build_stamp(char *buffer, const char *date, const char *time) {
  int ret = sprintf_s(buffer, 256, "\r\n Bsp so creation Data : %s, %s\r\n", date, time);
  DRV_SecJudge(ret, const_cast<char *>("sprintf_s"), const_cast<char *>("product/zq_wrl_var/soInit/soInit"),
               __LINE__);
}

}  // namespace bsp::root
