// Flash front state shared by the storage modules of one build (not exported).
#pragma once

#include <bsp/flash.h>
#include <stdint.h>
#include <unistd.h>

#include "os/unique_fd.h"

extern "C" {
extern char *g_flash_file_path;
extern uint32_t g_flash_file_length;
extern MTD_INFORMATION gMtd_Info;
extern uint32_t g_u32MtdEraseSize[32];
extern unsigned char *g_flash_read_buf;
extern FlashInfoData *g_pFlashCfg;
extern uint32_t g_u32FlashNum;
}

namespace bsp::storage {

inline constexpr uint32_t kMaxFlashFileSize = 0x800000;
// The source name the front's bounded-function failures are logged under.
inline constexpr char kFlashSource[] = "bsp/drv/flash/flashApi_file";

// The front's messages for a flash emulation file that cannot be opened or locked; each gives
// the failure result of this build.
uint32_t report_open_failure();
uint32_t report_lock_failure();

// Takes a flock on fd, waiting as long as it takes (other nPth threads run meanwhile).
bool flock_wait(int fd, int operation);

// Writes all of buf; the total written, or the failing call's negative result if none was.
long total_write(int fd, const void *buf, size_t len);

// Parses an MTD partition list in the /proc/mtd line format into info.
uint32_t parse_mtd_list(const char *path, MTD_INFORMATION *info);

}  // namespace bsp::storage
