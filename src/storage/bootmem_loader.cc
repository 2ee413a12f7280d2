// The loader's boot parameter memory: created with zeros on the first boot, then only mapped.
#include "os/le_bytes.h"
#include "storage/bootmem.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "storage/bootmem_layout.h"
#include "storage/flavor.h"

extern "C" {
uintptr_t g_BootMemAddr = 0;
BOOTINFO *g_pstBootParaFlag = nullptr;
SearchPktLog *g_u32SearchPktCnt = nullptr;
}

namespace {

namespace bm = bsp::bootmem;
namespace flavor = bsp::storage::flavor;

constexpr size_t kZeroBlock = 4096;

// Bytes of the file that exist behind the mapping; a record past them is never touched.
size_t g_file_bytes = 0;


bool write_all(int fd, const void *data, size_t size) {
  auto *p = static_cast<const char *>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool fill_with_zeros(int fd) {
  static const char zeros[kZeroBlock] = {};
  for (size_t done = 0; done < bm::kFileSize; done += kZeroBlock) {
    if (!write_all(fd, zeros, kZeroBlock)) return false;
  }
  return lseek(fd, 0, SEEK_SET) == 0;
}

template <typename Record>
Record *record_at(size_t offset) {
  if (g_BootMemAddr == 0 || offset + bm::kRecordSize > g_file_bytes) return nullptr;
  return reinterpret_cast<Record *>(g_BootMemAddr + offset);
}

uint8_t *count_bytes() {
  return g_pstBootParaFlag == nullptr ? nullptr : reinterpret_cast<uint8_t *>(g_pstBootParaFlag) + 2;
}
uint8_t *search_index_bytes() {
  return g_u32SearchPktCnt == nullptr ? nullptr : reinterpret_cast<uint8_t *>(g_u32SearchPktCnt) + 4;
}

// A counter is kept only once it is in the file: the early failures reboot at once, and a
// forced reboot would lose a change still in the page cache (and with it the rollback).
void flush_counter(uint8_t *p, size_t size) {
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t at = reinterpret_cast<uintptr_t>(p), start = at & ~(page - 1);
  if (msync(reinterpret_cast<void *>(start), at + size - start, MS_SYNC) != 0)
    flavor::error_log("\r\n Msync  bootMem.dat errno = %s\r\n", strerror(errno));
}

}  // namespace

extern "C" {

intptr_t Boot_GetMemAddr(void) {
  if (g_BootMemAddr != 0) return static_cast<intptr_t>(g_BootMemAddr);
  int fd = open(bm::kPath, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    flavor::error_log("\r\n Can not open bootMem.dat errno = %s\r\n", strerror(errno));
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    flavor::error_log("\r\n Can not open bootMem.dat errno = %s\r\n", strerror(errno));
    close(fd);
    return -1;
  }
  size_t file_bytes = static_cast<size_t>(st.st_size);
  if (file_bytes == 0) {
    if (!fill_with_zeros(fd)) {
      flavor::error_log("\r\n Write  bootMem.dat errno = %s\r\n", strerror(errno));
      close(fd);
      return -1;
    }
    file_bytes = bm::kFileSize;
  }
  void *base = mmap(nullptr, bm::kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    flavor::error_log("\r\n Mmap  bootMem.dat errno = %s\r\n", strerror(errno));
    close(fd);
    return -1;
  }
  // The descriptor stays open with the mapping for the life of the process.
  g_file_bytes = file_bytes;
  g_BootMemAddr = reinterpret_cast<uintptr_t>(base);
  return static_cast<intptr_t>(g_BootMemAddr);
}

int32_t Boot_BootinfoInit(void) {
  if (Boot_GetMemAddr() == -1) return -1;
  // A file shorter than its records (cut short while being created) keeps what it has; a
  // record beyond its end stays unused, as with a failed mapping.
  g_pstBootParaFlag = record_at<BOOTINFO>(bm::kBootInfoOffset);
  g_u32SearchPktCnt = record_at<SearchPktLog>(bm::kSearchLogOffset);
  return 0;
}

int32_t Boot_IncrLoadFailTimes(void) {
  if (uint8_t *p = count_bytes()) {
    bsp::store_le16(p, static_cast<uint16_t>(bsp::load_le16(p) + 1));
    flush_counter(p, 2);
  }
  return 0;
}

int32_t Boot_ClearLoadFailTimes(void) {
  if (uint8_t *p = count_bytes()) {
    bsp::store_le16(p, 0);
    flush_counter(p, 2);
  }
  return 0;
}

int32_t Boot_GetLoadFailTimes(void) {
  const uint8_t *p = count_bytes();
  return p == nullptr ? 0 : static_cast<int32_t>(bsp::load_le16(p));
}

uint32_t Boot_GetSearchPktCnt(void) {
  const uint8_t *p = search_index_bytes();
  return p == nullptr ? 0 : bsp::load_le32(p);
}

void Boot_SetSearchPktCnt(uint32_t count) {
  if (uint8_t *p = search_index_bytes()) {
    bsp::store_le32(p, count);
    flush_counter(p, 4);
  }
}

}  // extern "C"
