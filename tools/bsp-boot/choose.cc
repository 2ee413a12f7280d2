// choose flash:/NAME.cc and mark-good.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../bsp-shell/boot_records.h"
#include "boot.h"
#include "common/text.h"
#include "host.h"
#include "loader/file_io.h"
#include "loader/loader.h"
#include "loader/package.h"
#include "loader/paths.h"
#include "os/le_bytes.h"
#include "os/unique_fd.h"
#include "storage/bootmem_layout.h"

namespace bsp::boot {
namespace {

namespace bm = bsp::bootmem;
using bsp::UniqueFd;

// What a startup package must hold for the loader to update from it and mount it.
constexpr const char *kSubfiles[] = {"bzImage", "rootfs.gz", "app_squashfs"};
constexpr size_t kNameField = sizeof(LOAD_STATE_WORD_CORE_S::acPktFileName);

const char *kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

bool package_name(const std::string &name) {
  const size_t prefix = strlen(loader::kVfsPrefix);
  if (name.compare(0, prefix, loader::kVfsPrefix) != 0 || name.size() >= kNameField) return false;
  const std::string file = name.substr(prefix);
  return file.size() > 3 && file.find('/') == std::string::npos &&
         strcasecmp(file.c_str() + file.size() - 3, ".cc") == 0;
}

// Refuses anything but a regular file that holds the three subfiles, each whole inside it
// with an image before its EFS block. Nothing waits: a FIFO is refused by its type.
int check_package(const Context &c, const char *path) {
  struct stat st;
  if (stat(path, &st) != 0) return fail(c, kFailed, "%s: %s", path, strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail(c, kFailed, "%s: %s, not a startup package", path, kind_of(st.st_mode));
  UniqueFd fd = loader::open_read(path);  // the loader's own opener: regular files only, no wait
  if (!fd.valid()) return fail(c, kFailed, "%s: cannot be opened as a regular file", path);
  if (fstat(fd.get(), &st) != 0) return fail(c, kFailed, "%s: %s", path, strerror(errno));
  for (const char *sub : kSubfiles) {
    uint64_t offset = 0;
    uint32_t length = 0;
    if (Boot_GetSubFileInfo(path, sub, &offset, &length) != 0) {
      std::string reason = take_reader_error();
      return fail(c, kFailed, "%s: not a startup package: no subfile \"%s\"%s%s%s", path, sub,
                  reason.empty() ? "" : " (", reason.c_str(), reason.empty() ? "" : ")");
    }
    if (length <= loader::kEfsSize || offset + length > static_cast<uint64_t>(st.st_size)) {
      return fail(c, kFailed, "%s: not a startup package: subfile \"%s\" %s", path, sub,
                  length <= loader::kEfsSize ? "holds no image before its EFS block" : "reaches past the end of the file");
    }
  }
  return kOk;
}

}  // namespace

int run_choose(Context &c, const std::string &name) {
  if (!package_name(name)) {
    return fail(c, kUsage, "%s is no package name: flash:/NAME.cc, at most %zu characters",
                tools::printable(name).c_str(), kNameField - 1);
  }
  char path[loader::kPathSize] = {0};
  if (Boot_VFSFilePathIntoLinuxFilePath(name.c_str(), path) != 0) {
    return fail(c, kUsage, "%s cannot be made a path", tools::printable(name).c_str());
  }
  take_reader_error();
  if (int rc = check_package(c, path); rc != kOk) return rc;
  Library lib;
  std::string why;
  if (!lib.start(c.library, why)) return fail(c, kFailed, "%s", why.c_str());
  if (uint32_t rc = lib.save_boot_file_name(name); rc != 0) {
    return fail(c, kFailed, "BSP_SaveBootFileName(\"%s\") failed (%u)", name.c_str(), rc);
  }
  fprintf(c.out, "next boot: %s (%s)\n", name.c_str(), path);
  return kOk;
}

int run_mark_good(Context &c) {
  uint8_t count[2] = {0, 0};
  bool known = false;
  {
    UniqueFd fd(open(bm::kPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    known = fd.valid() && pread(fd.get(), count, sizeof count, bm::kLoadFailCountOffset) == sizeof count;
  }
  if (!bsp::host::mark_boot_good()) {
    return fail(c, kFailed, "cannot clear the boot-attempt count in %s: %s", bm::kPath, strerror(errno));
  }
  if (known) {
    fprintf(c.out, "boot marked good: boot-attempt count %u -> 0\n", load_le16(count));
  } else {
    fprintf(c.out, "boot marked good: no boot-attempt count in %s to clear\n", bm::kPath);
  }
  return kOk;
}

}  // namespace bsp::boot
