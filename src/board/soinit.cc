// Start-up roots: one per host process kind, each bringing the board layer up in a fixed order.
#include <bsp/board.h>
#include <bsp/diag.h>
#include <bsp/osadapt.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "board/root_steps.h"
#include "board/watchdog_feeder.h"
#include "storage/flash_map.h"

extern "C" {
BSP_API uint32_t watchdog_flag = 0;
BSP_API int32_t g_wdg_fd = 0;
}

namespace {

const char kBuildDate[] = __DATE__;
const char kBuildTime[] = __TIME__;

enum class MiscDir { IfMissing, Always };

struct RootProfile {
  const char *banner;
  MiscDir misc_dir;
  bool soft_interrupt;
  bool debug_commands;
};

constexpr RootProfile kMainRoot{"\r\n Qor Bsp so creation Data : %s, %s\r\n", MiscDir::IfMissing, true, true};
constexpr RootProfile kLumRoot{"\r\n Lum Bsp so creation Data : %s, %s\r\n", MiscDir::Always, true, false};
constexpr RootProfile kMonitorRoot{"\r\n Monitor Bsp so creation Data : %s, %s\r\n", MiscDir::IfMissing, false,
                                   false};

void run_root(const RootProfile &root) {
  printf(root.banner, kBuildDate, kBuildTime);
  bsp::root::init_checksums();
  bsp::root::init_board_config();
  bsp::root::init_flash_front();
  printf("\r\n FLASH_CreateFlashFile %s\r\n", bsp::flash_map::kFlashFilePath);
  if (root.misc_dir == MiscDir::Always || access(bsp::flash_map::kMiscDir, F_OK) != 0) {
    system("mkdir /mnt/misc");
  }
  bsp::root::create_flash_file(bsp::flash_map::kFlashFilePath);
  bsp::root::init_pieces();
  if (bsp::root::init_flash_dynamic() != 0) {
    puts("\n\r\r\nInitializing FlashDynamic Module:FAIL\r");
  }
  bsp::root::init_api_tables();
  if (root.soft_interrupt) SOFTINT_UserInit();
  if (root.debug_commands) bsp::root::init_debug_commands();
}

}  // namespace

// Not started by any root: the host decides whether a feeder runs (see the reference host).
// It waits through the OS adaptation, so on the host's nPth thread the others keep running.
extern "C" __attribute__((used)) void *watchdog_thread_main(void *) {
  bsp::watchdog::feed(watchdog_flag, g_wdg_fd, [](unsigned seconds) { BSP_taskDelay(seconds * 1000u); });
  return nullptr;
}

extern "C" {

BSP_API void BSP_SoRoot(void) { run_root(kMainRoot); }
BSP_API void BSP_SoLumRoot(void) { run_root(kLumRoot); }
BSP_API void BSP_SoMonitorRoot(void) { run_root(kMonitorRoot); }

BSP_API void BSP_SoCompileTime(char **outbuf) {
  if (outbuf == nullptr || *outbuf == nullptr) return;
  bsp::root::print_build_stamp(*outbuf, kBuildDate, kBuildTime);
}

}  // extern "C"
