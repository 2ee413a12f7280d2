// Creation of the flash emulation file. A new file is built under a temporary name beside its
// place, flushed, and only then linked into place, so the path never names a short file and an
// existing file is never replaced. Creators of several processes take turns under a lock on the
// directory; a file already there that is shorter than its declared length grows with zeros.
#include <bsp/boundc.h>
#include <bsp/flash.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;
using bsp::UniqueFd;

namespace bsp::storage {
namespace {

// The fixed name an earlier build built the file under, and the start of this build's names.
constexpr char kBuildingSuffix[] = ".new";
constexpr char kTemporaryTemplate[] = "XXXXXX";

enum class Found { Absent, Present, Refused };

// Only a missing file is absent; anything else at the path that is not a regular file, or that
// cannot be opened, is refused (a pipe is opened without waiting for a writer).
Found find_existing(const char *path) {
  UniqueFd fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? Found::Absent : Found::Refused;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Found::Refused;
  return Found::Present;
}

uint32_t refuse(const char *path) {
  flavor::console("create file %s failed  \n", path);
  return flavor::kFail;
}

// length zero bytes, or null after printing the allocation failure.
unsigned char *zeros(uint32_t length, unsigned int file_size) {
  auto *buffer = static_cast<unsigned char *>(calloc(1, length));
  if (buffer == nullptr) flavor::console(" alloc flashfile buffer failed FILESIZE[%x] \n", file_size);
  return buffer;
}

// Writes length zero bytes at the file position and flushes them; the count written when that
// fell short, so the caller can report it.
bool write_zeros(int fd, const unsigned char *buffer, uint32_t length, long *written) {
  *written = total_write(fd, buffer, length);
  return *written == static_cast<long>(length) && fsync(fd) == 0;
}

// Grows an existing file to length with zero bytes, keeping its content. It runs under the lock
// that pieces commits take, so no commit of another process is written over.
uint32_t grow_to(const char *path, unsigned int length) {
  struct stat st;
  if (stat(path, &st) == 0 && st.st_size >= static_cast<off_t>(length)) return 0;
  UniqueFd fd(open(path, O_RDWR | O_CLOEXEC));
  if (!fd.valid() || !flock_wait(fd.get(), LOCK_EX) || fstat(fd.get(), &st) != 0) return refuse(path);
  if (st.st_size >= static_cast<off_t>(length)) return 0;
  const auto missing = static_cast<uint32_t>(length - st.st_size);
  unsigned char *buffer = zeros(missing, length);
  if (buffer == nullptr) return flavor::kFail;
  long written = 0;
  bool whole = lseek(fd.get(), st.st_size, SEEK_SET) == st.st_size && write_zeros(fd.get(), buffer, missing, &written);
  free(buffer);
  if (!whole) {
    const long now = static_cast<long>(st.st_size) + (written > 0 ? written : 0);
    flavor::console(" flash file init failed ,acture length :%x   \n", static_cast<unsigned>(now));
    return flavor::kFail;
  }
  return 0;
}

// Takes an existing file as it is (grown when short) or refuses it.
uint32_t use_existing(Found found, const char *path, unsigned int length) {
  return found == Found::Present ? grow_to(path, length) : refuse(path);
}

// Removes what creations cut off by a power cut left in the directory: an earlier build's fixed
// name and this build's temporary names. Only done under the directory lock, where no creation
// of another process can be under way.
void clear_leftovers(int dir_fd, const char *fixed) {
  UniqueFd listing(dup(dir_fd));
  DIR *dir = listing.valid() ? fdopendir(listing.get()) : nullptr;
  if (dir == nullptr) return;
  listing.release();
  const size_t fixed_length = strlen(fixed), temporary_length = fixed_length + sizeof kTemporaryTemplate;
  while (const dirent *entry = readdir(dir)) {
    const char *name = entry->d_name;
    const size_t length = strlen(name);
    const bool temporary = length == temporary_length && name[fixed_length] == '.';
    if (strncmp(name, fixed, fixed_length) == 0 && (length == fixed_length || temporary)) {
      unlinkat(dirfd(dir), name, 0);
    }
  }
  closedir(dir);
}

// Links the built file into place without replacing anything there; false with errno.
bool install(const char *building, const char *path) {
  if (link(building, path) == 0) return true;
  if (errno == EEXIST) return false;
  // A file system without hard links: a rename that refuses an existing target.
  return renameat2(AT_FDCWD, building, AT_FDCWD, path, RENAME_NOREPLACE) == 0;
}

// Writes the zeros under the temporary name, flushes them and links the file into place; the
// temporary name is gone afterwards whatever happened.
uint32_t build(const char *path, char *building, const unsigned char *buffer, unsigned int length, int dir_fd) {
  UniqueFd fd(mkostemp(building, O_CLOEXEC));
  if (!fd.valid()) return refuse(path);
  long written = 0;
  if (!write_zeros(fd.get(), buffer, length, &written)) {
    unlink(building);
    flavor::console(" flash file init failed ,acture length :%x   \n", static_cast<unsigned>(written > 0 ? written : 0));
    return flavor::kFail;
  }
  const bool installed = install(building, path);
  const int install_error = errno;
  unlink(building);
  if (!installed) return install_error == EEXIST ? use_existing(find_existing(path), path, length) : refuse(path);
  // The new name is on storage too before the file counts as made.
  return fsync(dir_fd) == 0 ? 0 : refuse(path);
}

// The names a creation works with: the directory, the fixed name of an earlier build, and this
// creation's temporary name (a template until mkostemp fills it in).
struct Names {
  char dir[PATH_MAX];
  char fixed[NAME_MAX + 1];
  char building[PATH_MAX];
};

bool make_names(const char *path, Names *names) {
  const char *slash = strrchr(path, '/');
  const char *base = slash == nullptr ? path : slash + 1;
  const size_t dir_length = slash == nullptr ? 0 : slash == path ? 1 : static_cast<size_t>(slash - path);
  const int dir_rc = slash == nullptr ? strcpy_s(names->dir, sizeof names->dir, ".")
                                      : strncpy_s(names->dir, sizeof names->dir, path, dir_length);
  flavor::judge(dir_rc, slash == nullptr ? "strcpy_s" : "strncpy_s", kFlashSource, __LINE__);
  const int fixed_rc = sprintf_s(names->fixed, sizeof names->fixed, "%s%s", base, kBuildingSuffix);
  flavor::judge(fixed_rc, "sprintf_s", kFlashSource, __LINE__);
  const int building_rc =
      sprintf_s(names->building, sizeof names->building, "%s%s.%s", path, kBuildingSuffix, kTemporaryTemplate);
  flavor::judge(building_rc, "sprintf_s", kFlashSource, __LINE__);
  return dir_rc == 0 && fixed_rc >= 0 && building_rc >= 0;
}

uint32_t create_in_turn(const char *path, Names *names, const unsigned char *buffer, unsigned int length) {
  UniqueFd dir_fd(open(names->dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir_fd.valid() || !flock_wait(dir_fd.get(), LOCK_EX)) return refuse(path);
  // Another process may have made it while this one waited for its turn.
  if (Found found = find_existing(path); found != Found::Absent) return use_existing(found, path, length);
  clear_leftovers(dir_fd.get(), names->fixed);
  return build(path, names->building, buffer, length, dir_fd.get());
}

uint32_t create(const char *path, unsigned int length) {
  auto *names = static_cast<Names *>(calloc(1, sizeof(Names)));
  if (names == nullptr || !make_names(path, names)) {
    free(names);
    return refuse(path);
  }
  unsigned char *buffer = zeros(length, length);
  const uint32_t rc = buffer == nullptr ? flavor::kFail : create_in_turn(path, names, buffer, length);
  free(buffer);
  free(names);
  return rc;
}

}  // namespace
}  // namespace bsp::storage

extern "C" {

BSP_API uint32_t FLASH_CreateFlashFile(char *path, unsigned int file_size) {
  using namespace bsp::storage;
  if (path == nullptr || file_size > kMaxFlashFileSize) {
    flavor::console("invalid flash file path or length[file_size%u] \n", file_size);
    return flavor::kFail;
  }
  const Found found = find_existing(path);
  if (found == Found::Absent && file_size == 0) return flavor::kFail;
  uint32_t rc = found == Found::Absent ? create(path, file_size) : use_existing(found, path, file_size);
  if (rc != 0) return rc;
  g_flash_file_path = path;
  g_flash_file_length = file_size;
  return 0;
}

}  // extern "C"
