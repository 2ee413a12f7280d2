// The Linux MTD requests the raw flash code issues, with their arguments passed the way the
// kernel reads them (library build only).
#pragma once

#include <errno.h>
#include <mtd/mtd-user.h>
#include <stdint.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "storage/flavor.h"

namespace bsp::storage::mtd {

// MEMGETBADBLOCK and MEMSETBADBLOCK read a 64-bit offset through the pointer.
static_assert(sizeof(long long) == 8, "the kernel's loff_t is 64-bit");
static_assert(sizeof(erase_info_user) == 8, "MEMERASE takes two 32-bit words");

// 0 good block, 1 bad block, anything else a failure (errno set).
inline int block_is_bad(int fd, uint64_t offset) {
  long long at = static_cast<long long>(offset);
  return ioctl(fd, MEMGETBADBLOCK, &at);
}

inline int mark_block_bad(int fd, uint64_t offset) {
  long long at = static_cast<long long>(offset);
  return ioctl(fd, MEMSETBADBLOCK, &at);
}

// An erase can take long on the chip: other nPth threads run meanwhile.
inline int erase_range(int fd, uint32_t start, uint32_t length) {
  erase_info_user range{start, length};
  int rc, err;
  {
    flavor::Blocking blocking;
    rc = ioctl(fd, MEMERASE, &range);
    err = errno;
  }
  errno = err;
  return rc;
}

// MTDFILEMODE takes the mode itself as the argument, not a pointer to it.
inline int set_file_mode(int fd, int mode) { return ioctl(fd, MTDFILEMODE, static_cast<unsigned long>(mode)); }

inline bool seek_to(int fd, uint64_t offset) {
  return offset <= static_cast<uint64_t>(INT64_MAX) && lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

}  // namespace bsp::storage::mtd
