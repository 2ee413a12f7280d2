// Cross-process serialisation of pieces commits and refresh of the RAM image.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "storage/flash_front.h"
#include "storage/flavor.h"
#include "storage/pieces_state.h"
#include "storage/pieces_sync.h"

namespace bsp::storage::pieces {
namespace {

struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};
  bool known = false;
};
FileStamp g_seen;

FileStamp stamp_now() {
  FileStamp s;
  struct stat st;
  if (g_flash_file_path == nullptr || stat(g_flash_file_path, &st) != 0) return s;
  s = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, true};
  return s;
}

bool same(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool same(const FileStamp &a, const FileStamp &b) {
  return a.known && b.known && a.dev == b.dev && a.ino == b.ino && a.size == b.size && same(a.mtime, b.mtime) &&
         same(a.ctime, b.ctime);
}

bool read_good_area(uint32_t offset, uint8_t *into) {
  return FLASH_ReadFlash(offset, into, g_ulPieceSize) == 0 && check_area(into, nullptr, Report::Quiet) == 0;
}

void ensure_formatted() {
  Volume v = ram_volume();
  if (g_pstPieceFileHead != nullptr && !(v.has_magic() && v.consistent())) v.format(g_ulPieceAddrMain, g_ulPieceAddrSpare);
}

}  // namespace

FileLock::FileLock(Mode mode) {
  if (g_flash_file_path == nullptr) return;
  fd_.reset(open(g_flash_file_path, O_RDONLY | O_CLOEXEC));
  if (!fd_.valid()) return;
  if (!flock_wait(fd_.get(), mode == Mode::Shared ? LOCK_SH : LOCK_EX)) {
    fd_.reset();
    state_ = State::NotLocked;
    return;
  }
  state_ = State::Held;
}

uint32_t FileLock::refusal() const {
  return state_ == State::NotLocked ? report_lock_failure() : report_open_failure();
}

void note_synced() {
  if (g_pucPieceSynced == nullptr || g_pucPieceBuff == nullptr) return;
  memcpy(g_pucPieceSynced, g_pucPieceBuff, g_ulPieceSize);
  g_seen = stamp_now();
}

void refresh_image(Refresh how, const FileLock &held) {
  uint8_t *image = g_pucPieceBuff, *synced = g_pucPieceSynced, *flash = g_pucBuffTmp;
  const uint32_t size = g_ulPieceSize;
  if (!held.held() || image == nullptr || synced == nullptr || flash == nullptr || size < kContentOffset) return;
  if (how == Refresh::Quick && same(g_seen, stamp_now())) {
    PIECES_HEAD_S head;
    if (held.fd() >= 0 && pread(held.fd(), &head, sizeof head, g_ulPieceAddrMain) == sizeof head &&
        memcmp(&head, synced, sizeof head) == 0) {
      return;
    }
  }
  const bool main_read = FLASH_ReadFlash(g_ulPieceAddrMain, flash, size) == 0;
  // Unchanged since this process last saw it: nothing to check or take over.
  const bool unchanged = main_read && memcmp(flash, synced, size) == 0;
  if (!unchanged && !(main_read && check_area(flash, nullptr, Report::Quiet) == 0) &&
      !read_good_area(g_ulPieceAddrSpare, flash)) {
    return;
  }
  if (!unchanged && memcmp(flash, synced, size) != 0) {
    if (memcmp(image, synced, size) == 0) {
      memcpy(image, flash, size);
      memcpy(synced, flash, size);
    } else {
      auto *seen = static_cast<uint8_t *>(malloc(size));
      if (seen == nullptr) return;  // our next commit wins; nothing else can be done here
      memcpy(seen, flash, size);
      Volume result(flash, size), base(synced, size), ours(image, size);
      merge_changes(result, base, ours, g_ulPieceAddrMain, g_ulPieceAddrSpare);
      memcpy(image, flash, size);
      memcpy(synced, seen, size);
      free(seen);
    }
    ensure_formatted();
  }
  g_seen = stamp_now();
}

}  // namespace bsp::storage::pieces
