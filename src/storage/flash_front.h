// Flash front state shared by the storage modules of one build (not exported).
#pragma once

#include <bsp/flash.h>
#include <stdint.h>
#include <unistd.h>

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

// Owns one file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// Writes all of buf; the total written, or the failing call's negative result if none was.
long total_write(int fd, const void *buf, size_t len);

// Parses an MTD partition list in the /proc/mtd line format into info.
uint32_t parse_mtd_list(const char *path, MTD_INFORMATION *info);

}  // namespace bsp::storage
