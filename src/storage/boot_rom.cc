// Boot ROM update: the board keeps its boot ROM in the partitions named BOOT1 and BOOT2. The
// copy the board did not start from is made equal to the one it did, erase block by erase
// block, rewriting only the blocks that differ and reading each rewritten block back.
#include <bsp/boundc.h>
#include <bsp/bootrom.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "os/unique_fd.h"
#include "storage/flash_front.h"
#include "storage/flavor.h"
#include "storage/mtd_device.h"

namespace flavor = bsp::storage::flavor;
namespace mtd = bsp::storage::mtd;
using bsp::UniqueFd;

namespace {

constexpr char kBootSource[] = "product/zq_wrl_var/bdinfoImplement";
constexpr char kBootPosition[] = "/sys/module/norflash_adp/parameters/boot_pos";
constexpr size_t kNameBuffer = 64;
constexpr unsigned kNameMax = 32;  // device and partition names of /proc/mtd
constexpr int kModeBeforeCompare = 5;
constexpr int kModeAfterCompare = 4;
enum { FROMBOOT = 0, FROMBACKUP = 1 };

// Device names of BOOT1 (0) and BOOT2 (1), such as mtd0, for the length of one update.
char *g_patition[2] = {nullptr, nullptr};
// Erase size and size of BOOT1; both copies are compared over these.
uint32_t g_erase_size = 0;
uint32_t g_partiton_size = 0;

void copy_name(char *to, const char *from) {
  flavor::judge(strcpy_s(to, kNameBuffer, from), "strcpy_s", kBootSource, __LINE__);
}

uint32_t get_boot_mtd() {
  FILE *list = fopen("/proc/mtd", "r");
  if (list == nullptr) {
    printf("\n Cannot open control path to the driver ");
    return 1;
  }
  char line[128];
  while (fgets(line, sizeof line, list) != nullptr) {
    char device[kNameMax] = {};
    char name[kNameMax] = {};
    unsigned int size = 0, erase = 0;
    int rc = sscanf_s(line, "%s %x %x %s", device, kNameMax, &size, &erase, name, kNameMax);
    flavor::judge(rc, "sscanf_s", kBootSource, __LINE__);
    if (rc != 4) continue;
    if (char *colon = strchr(device, ':'); colon != nullptr) *colon = '\0';
    if (strstr(name, "BOOT1") != nullptr) {
      copy_name(g_patition[0], device);
      g_erase_size = erase;
      g_partiton_size = size;
    }
    if (strstr(name, "BOOT2") != nullptr) copy_name(g_patition[1], device);
  }
  fclose(list);
  return 0;
}

// 0 for BOOT1, 1 for BOOT2, -1 when the file gives no position (after its message).
int read_boot_position() {
  UniqueFd fd(open(kBootPosition, O_RDONLY));
  if (!fd.valid()) {
    printf("\n open flash boot file error ");
    return -1;
  }
  char text[16] = {};
  ssize_t n = read(fd.get(), text, sizeof text - 1);
  if (n <= 0) return -1;
  // Text without a number must not read as 0: that would copy BOOT1 over the copy in use.
  char *end = nullptr;
  errno = 0;
  long value = strtol(text, &end, 0);
  bool number = end != text && errno == 0;
  while (number && *end != '\0') {
    if (*end != '\n' && *end != ' ' && *end != '\t' && *end != '\r') number = false;
    ++end;
  }
  if (!number || (value != FROMBOOT && value != FROMBACKUP)) {
    printf("\n invalid boot postition! ");
    return -1;
  }
  return static_cast<int>(value);
}

int compare(const unsigned char *first, const unsigned char *second) { return memcmp(first, second, g_erase_size); }

// Rewrites one block of the copy the board did not start from, then reads it back: a block
// that did not take fails the update instead of passing for equal.
uint32_t flash_patition_update(int fd, unsigned char *WriteBuf, int WriteLength, long offset) {
  bool ok = WriteLength > 0 && offset >= 0 &&
            mtd::erase_range(fd, static_cast<uint32_t>(offset), static_cast<uint32_t>(WriteLength)) == 0 &&
            mtd::seek_to(fd, static_cast<uint64_t>(offset)) &&
            flavor::sys_write(fd, WriteBuf, static_cast<size_t>(WriteLength)) == WriteLength;
  if (ok) {
    auto *check = static_cast<unsigned char *>(BSP_malloc(static_cast<uint32_t>(WriteLength), 0));
    ok = check != nullptr && mtd::seek_to(fd, static_cast<uint64_t>(offset)) &&
         flavor::sys_read(fd, check, static_cast<size_t>(WriteLength)) == WriteLength &&
         memcmp(check, WriteBuf, static_cast<size_t>(WriteLength)) == 0;
    BSP_free(check);
  }
  if (!ok) {
    printf("  \n Updating data ERROR at offset 0x%lx ok \n", offset);
    return 1;
  }
  return 0;
}

// The two boot copies' devices. Each is opened read-only to set the mode before the
// comparison, then read-write for it. The mode after the comparison is set on every device
// still open, whatever the path, before both are closed.
class BootDevices {
 public:
  ~BootDevices() {
    for (UniqueFd &fd : fd_) {
      if (fd.valid()) mtd::set_file_mode(fd.get(), kModeAfterCompare);
    }
    for (UniqueFd &fd : fd_) fd.reset();
  }
  bool open_for_update(int i, const char *name) {
    char path[kNameBuffer + 8] = {};
    int rc = sprintf_s(path, sizeof path, "/dev/%s", name);
    flavor::judge(rc, "sprintf_s", kBootSource, __LINE__);
    UniqueFd probe(open(path, O_RDONLY));
    if (!probe.valid()) return false;
    mtd::set_file_mode(probe.get(), kModeBeforeCompare);
    probe.reset();
    fd_[i].reset(open(path, O_RDWR));
    return fd_[i].valid();
  }
  // Reads the block at offset of copy i; false on a short read.
  bool read_block(int i, uint64_t offset, unsigned char *buf, uint32_t len) const {
    return mtd::seek_to(fd_[i].get(), offset) && flavor::sys_read(fd_[i].get(), buf, len) == static_cast<ssize_t>(len);
  }
  int fd(int i) const { return fd_[i].get(); }

 private:
  UniqueFd fd_[2];
};

// Heap block buffers freed on every path.
struct BlockBuffer {
  explicit BlockBuffer(uint32_t size) : data(static_cast<unsigned char *>(BSP_malloc(size, 0))) {
    if (data != nullptr) flavor::judge(memset_s(data, size, 0, size), "memset_s", kBootSource, __LINE__);
  }
  ~BlockBuffer() { BSP_free(data); }
  BlockBuffer(const BlockBuffer &) = delete;
  BlockBuffer &operator=(const BlockBuffer &) = delete;
  unsigned char *data;
};

uint32_t compare_blocks(int bootfrom, const BootDevices &dev) {
  if (g_erase_size == 0) return 1;
  BlockBuffer boot(g_erase_size);
  if (boot.data == nullptr) {
    printf("\n Alloc memory for  bootrom FAIL ");
    return 1;
  }
  BlockBuffer backup(g_erase_size);
  if (backup.data == nullptr) {
    printf(" \n Alloc memory for backup bootrom FAIL ");
    return 1;
  }
  unsigned char *block[2] = {boot.data, backup.data};
  const int to = bootfrom == FROMBOOT ? 1 : 0;
  const uint32_t blocks = g_partiton_size / g_erase_size;  // a partial last block is not compared
  for (uint32_t j = 0; j < blocks; ++j) {
    const uint64_t offset = static_cast<uint64_t>(j) * g_erase_size;
    for (int i = 0; i < 2; ++i) {
      if (!dev.read_block(i, offset, block[i], g_erase_size)) {
        printf(" \n error reading data from %s \n", g_patition[i]);
        return 1;
      }
    }
    if (compare(block[0], block[1]) == 0) continue;
    if (flash_patition_update(dev.fd(to), block[1 - to], static_cast<int>(g_erase_size),
                              static_cast<long>(offset)) != 0)
      return 1;
  }
  return 0;
}

uint32_t flash_patition_cmp(int bootfrom) {
  // The devices are used under the flash front lock, as every other raw flash access.
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    printf("Cannot obtain shared lock on flash device file");
    return 1;
  }
  BootDevices dev;  // closed before the lock is released
  for (int i = 0; i < 2; ++i) {
    if (!dev.open_for_update(i, g_patition[i])) {
      printf(" \n Open %s device failed!\n", g_patition[i]);
      return 1;
    }
  }
  return compare_blocks(bootfrom, dev);
}

char *new_name_buffer() {
  auto *name = static_cast<char *>(BSP_malloc(kNameBuffer, 0));
  if (name != nullptr) flavor::judge(memset_s(name, kNameBuffer, 0, kNameBuffer), "memset_s", kBootSource, __LINE__);
  return name;
}

}  // namespace

extern "C" {

BSP_API uint32_t flash_update_boot(void) {
  uint32_t result = 1;
  g_patition[0] = new_name_buffer();
  g_patition[1] = new_name_buffer();
  if (g_patition[0] == nullptr || g_patition[1] == nullptr) {
    puts("\n malloc error ");
  } else if (get_boot_mtd() != 0) {
    printf(" \n GET BOOT MTD INFO ERROR ");
  } else if (g_erase_size == 0 || g_patition[0][0] == '\0' || g_patition[1][0] == '\0') {
    printf("\n INVALID BOOT MTD INFO ");
  } else if (int from = read_boot_position(); from >= 0) {
    result = flash_patition_cmp(from);
  }
  for (char *&name : g_patition) {
    BSP_free(name);
    name = nullptr;
  }
  return result;
}

}  // extern "C"
