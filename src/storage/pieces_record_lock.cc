// Cross-process lock for a read-change-write of a piece file.
#include "storage/pieces_record_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/types.h>

#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace bsp::storage::pieces {
namespace {

// Beyond any flash emulation file (at most kMaxFlashFileSize bytes), in a 32-bit off_t too.
constexpr off_t kLockByte = 0x7FFF0000;
static_assert(kLockByte > kMaxFlashFileSize);

}  // namespace

RecordLock::RecordLock() {
  if (g_flash_file_path == nullptr) return;
  // A write lock needs a descriptor open for writing; nothing is written through it.
  fd_.reset(open(g_flash_file_path, O_RDWR | O_CLOEXEC));
  if (!fd_.valid()) return;
  struct flock range = {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = kLockByte;
  range.l_len = 1;
  flavor::Blocking blocking;
  while (fcntl(fd_.get(), F_OFD_SETLKW, &range) != 0 && errno == EINTR) {
  }
}

}  // namespace bsp::storage::pieces
