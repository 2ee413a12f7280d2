#include "boot_records.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/unique_fd.h"
#include "storage/bootmem_layout.h"

namespace bsp::host {
namespace {

namespace bm = bsp::bootmem;

// Used when the boot parameter memory file is missing or too short.
alignas(8) unsigned char g_private_boot_info[bm::kRecordSize];
alignas(8) unsigned char g_private_search_log[bm::kRecordSize];

size_t file_size(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
}

// The file mapped for the life of the process, or null; only bytes that exist are used.
unsigned char *map_boot_memory(size_t &bytes) {
  UniqueFd fd(open(bm::kPath, O_RDWR | O_CLOEXEC));
  bytes = fd.get() >= 0 ? file_size(fd.get()) : 0;
  if (bytes == 0) return nullptr;
  if (bytes > bm::kFileSize) bytes = bm::kFileSize;
  void *base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
  return base == MAP_FAILED ? nullptr : static_cast<unsigned char *>(base);
}

unsigned char *record_in(unsigned char *base, size_t bytes, size_t offset, unsigned char *fallback) {
  return base != nullptr && offset + bm::kRecordSize <= bytes ? base + offset : fallback;
}

void point(void *lib, const char *symbol, void *record) {
  if (auto **p = static_cast<void **>(dlsym(lib, symbol))) *p = record;
}

}  // namespace

void point_boot_records(void *lib) {
  size_t bytes = 0;
  unsigned char *base = map_boot_memory(bytes);
  point(lib, "g_pstBootParaFlag", record_in(base, bytes, bm::kHostBootInfoOffset, g_private_boot_info));
  point(lib, "g_u32SearchPktCnt", record_in(base, bytes, bm::kHostSearchLogOffset, g_private_search_log));
}

bool mark_boot_good() {
  UniqueFd fd(open(bm::kPath, O_RDWR | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT;
  if (file_size(fd.get()) < bm::kLoadFailCountOffset + 2) return true;
  unsigned char zero[2] = {0, 0};
  return pwrite(fd.get(), zero, sizeof zero, bm::kLoadFailCountOffset) == sizeof zero && fsync(fd.get()) == 0;
}

}  // namespace bsp::host
