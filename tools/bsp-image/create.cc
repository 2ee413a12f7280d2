// create: a new flash image as a first start leaves it, with the pieces file system formatted
// in both areas and the flash-dynamic area formatted with its magic. It is built beside IMAGE under a temporary name by the storage code itself
// and linked into place only when complete, never over an existing file: a cut or a failure
// leaves no IMAGE, or the image as it was.
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fdy.h"
#include "image.h"
#include "os/unique_fd.h"
#include "storage/flash_map.h"

namespace bsp::image {
namespace {

namespace map = bsp::flash_map;

std::string dir_of(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the temporary file on every path that does not install it.
struct Building {
  std::string path;
  ~Building() {
    if (!path.empty()) unlink(path.c_str());
  }
};

bool install(const std::string &from, const std::string &to) {
  if (link(from.c_str(), to.c_str()) == 0) return true;
  if (errno == EEXIST) return false;
  // A file system without hard links: a rename that refuses an existing target.
  return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

}  // namespace

int run_create(Context &c) {
  struct stat st;
  if (lstat(c.image.c_str(), &st) == 0) return fail(c, kFailed, "exists; create never overwrites a file");
  if (errno != ENOENT) return fail(c, kUnusable, "%s", strerror(errno));

  // The same temporary names as the front's own creation, so that a leftover is cleared there.
  Building building;
  std::string name = c.image + ".new.XXXXXX";
  UniqueFd fd(mkostemp(name.data(), O_CLOEXEC));
  if (!fd.valid()) return fail(c, kFailed, "cannot create a file beside it: %s", strerror(errno));
  building.path = name;
  fd.reset();

  // The front grows the empty file with zeros to its length and flushes it, as at a first start.
  if (FLASH_CreateFlashFile(building.path.data(), map::kFlashFileSize) != 0) {
    return fail(c, kFailed, "cannot write %u bytes beside it", map::kFlashFileSize);
  }
  address(building.path);
  // The start-up stamps both zero areas; the forced format commits the header to both.
  if (BSP_VfsPiecesInit() != 0 || BSP_VfsPiecesFileInit(1) != 0) {
    return fail(c, kFailed, "cannot format the pieces file system");
  }
  if (int rc = fdy::format(c); rc != kOk) return rc;

  if (!install(building.path, c.image)) {
    if (errno == EEXIST) return fail(c, kFailed, "exists; create never overwrites a file");
    return fail(c, kFailed, "cannot put the image in place: %s", strerror(errno));
  }
  unlink(building.path.c_str());
  building.path.clear();
  // The new name is on storage too before the image counts as made.
  UniqueFd dir(open(dir_of(c.image).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const bool durable = dir.valid() && fsync(dir.get()) == 0;
  if (!durable) return fail(c, kFailed, "created, but its directory could not be flushed");
  fprintf(c.out, "%s: created, %u bytes, pieces file system formatted in both areas, flash-dynamic area formatted\n", c.image.c_str(),
          map::kFlashFileSize);
  return kOk;
}

}  // namespace bsp::image
