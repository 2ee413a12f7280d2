#include "image.h"

#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/unique_fd.h"
#include "storage/flash_front.h"
#include "storage/flash_map.h"
#include "storage/flavor.h"
#include "storage/pieces_state.h"
#include "storage/pieces_sync.h"

namespace bsp::image {
namespace {

namespace map = bsp::flash_map;
namespace flavor = bsp::storage::flavor;
using namespace bsp::storage::pieces;

// The front keeps the path's pointer for the life of the process.
std::string g_path;

}  // namespace

void address(const std::string &path) {
  g_path = path;
  g_flash_file_path = g_path.data();
  g_flash_file_length = map::kFlashFileSize;
  // The front lock without the MTD list: the tool looks at nothing but IMAGE.
  if (gMtd_Info.u32PthreadMutex == nullptr) flavor::lock_create(&gMtd_Info.u32PthreadMutex);
  BSP_CrcInit();
  BSP_VfsPiecesConfig(map::kPiecesBase, map::kPiecesSize);
}

int attach(const Context &c) {
  // Not waiting on a FIFO or a device in IMAGE's place.
  UniqueFd fd(open(c.image.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return fail(c, kUnusable, "cannot open: %s", strerror(errno));
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return fail(c, kUnusable, "cannot read: %s", strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail(c, kUnusable, "not a regular file");
  if (st.st_size != static_cast<off_t>(map::kFlashFileSize)) {
    return fail(c, kUnusable, "wrong size: %lld bytes, a flash image has %u (0x%x)",
                static_cast<long long>(st.st_size), map::kFlashFileSize, map::kFlashFileSize);
  }
  address(c.image);
  return kOk;
}

int look_at_pieces(const Context &c, PiecesLook &look) {
  look.main.assign(g_ulPieceSize, 0);
  look.spare.assign(g_ulPieceSize, 0);
  {
    FileLock lock(FileLock::Mode::Shared);
    if (!lock.held()) return fail(c, kUnusable, "cannot lock the file: %s", strerror(errno));
    look.main_read = FLASH_ReadFlash(g_ulPieceAddrMain, look.main.data(), g_ulPieceSize) == 0;
    look.spare_read = FLASH_ReadFlash(g_ulPieceAddrSpare, look.spare.data(), g_ulPieceSize) == 0;
  }
  look.report = inspect_areas(look.main_read ? look.main.data() : nullptr,
                              look.spare_read ? look.spare.data() : nullptr);
  if (!look.main_read && !look.spare_read) return fail(c, kUnusable, "cannot read the pieces areas");
  return kOk;
}

std::string pieces_problem(const PiecesInspection &r) {
  auto word = [](const AreaInspection &a) -> const char * {
    switch (a.state) {
      case AreaState::Damaged: return "damaged";
      case AreaState::Unreadable: return "unreadable";
      case AreaState::Empty: return "empty";
      default: return nullptr;
    }
  };
  const char *main = word(r.main), *spare = word(r.spare);
  // A new image: a start-up only stamps both areas.
  if (r.main.state == AreaState::Empty && r.spare.state == AreaState::Empty) return {};
  if (main != nullptr && spare != nullptr) return "neither pieces area is usable";
  if (main != nullptr) return std::string("the main pieces area is ") + main;
  if (spare != nullptr) return std::string("the spare pieces area is ") + spare;
  if (r.repair != Repair::None) return "the two pieces areas differ (a commit was cut short)";
  return {};
}

int start_pieces_for_write(const Context &c, const PiecesLook &look) {
  if (std::string problem = pieces_problem(look.report); !problem.empty()) {
    return fail(c, kFailed, "%s; nothing written (bsp-image %s check --repair repairs it)", problem.c_str(),
                c.image.c_str());
  }
  if (BSP_VfsPiecesInit() != 0) return fail(c, kFailed, "cannot bring up the pieces file system");
  return kOk;
}

bool served_volume(const PiecesLook &look, Volume *out) {
  const PiecesInspection &r = look.report;
  if (r.served == nullptr || !r.keeps_files) return false;
  *out = Volume(const_cast<uint8_t *>(r.served), g_ulPieceSize);
  return true;
}

}  // namespace bsp::image
