// Flash front: the flash address space is the flash emulation file, addressed by offset.
// Every access opens the file, transfers under the front lock with synchronous I/O, flushes
// and closes, so a completed call is on storage when it returns.
#include <bsp/boundc.h>
#include <bsp/flash.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;
using bsp::UniqueFd;

extern "C" {
char *g_flash_file_path = nullptr;
uint32_t g_flash_file_length = 0;
MTD_INFORMATION gMtd_Info = {};
uint32_t g_u32MtdEraseSize[32] = {};
unsigned char *g_flash_read_buf = nullptr;
FlashInfoData *g_pFlashCfg = nullptr;
uint32_t g_u32FlashNum = 0;
}

namespace bsp::storage {
namespace {

constexpr char kMtdList[] = "/proc/mtd";
constexpr size_t kMtdLineMax = 256;
constexpr size_t kMtdNameMax = 32;
constexpr uint32_t kMtdNumbers = 32;

enum class Direction { Read, Write };

uint32_t transfer(Direction dir, uint64_t offset, void *buf, uint64_t len) {
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    report_lock_failure();
    return lock.result();
  }
  const char *path = g_flash_file_path != nullptr ? g_flash_file_path : "(null)";
  int flags = (dir == Direction::Read ? O_RDONLY : O_RDWR) | O_SYNC;
  UniqueFd fd(g_flash_file_path == nullptr ? -1 : open(path, flags));
  if (!fd.valid()) return report_open_failure();
  if (lseek(fd.get(), static_cast<off_t>(static_cast<uint32_t>(offset)), SEEK_SET) < 0) {
    flavor::message("lseek %s device failed! !!\n", path);
    return flavor::kFail;
  }
  size_t count = static_cast<uint32_t>(len);
  ssize_t done = dir == Direction::Read ? flavor::sys_read(fd.get(), buf, count)
                                        : flavor::sys_write(fd.get(), buf, count);
  uint32_t result = 0;
  // A length beyond 32 bits can never be transferred: compare with the whole length.
  if (done < 0 || static_cast<uint64_t>(done) != len) {
    if (dir == Direction::Read) flavor::message("read %s device failed! !!\n", path);
    result = flavor::kFail;
  }
  // Data that did not reach storage were not written.
  if (fsync(fd.get()) != 0 && dir == Direction::Write) result = flavor::kFail;
  return result;
}

// "/dev/" and the device name, or an empty name when it does not fit (a bounded print).
void device_path(char (&out)[kMtdNameMax], const char *device) {
  int n = snprintf(out, sizeof out, "/dev/%s", device);
  if (n < 0 || static_cast<size_t>(n) >= sizeof out) {
    out[0] = '\0';
    flavor::judge(-1, "sprintf_s", kFlashSource, __LINE__);
  }
}

}  // namespace

uint32_t report_open_failure() {
  flavor::message("Open %s device failed! !!\n", g_flash_file_path != nullptr ? g_flash_file_path : "(null)");
  return flavor::kFail;
}

uint32_t report_lock_failure() {
  flavor::message("Cannot obtain shared lock on flash device file");
  return flavor::kFail;
}

bool flock_wait(int fd, int operation) {
  flavor::Blocking blocking;
  int rc;
  while ((rc = flock(fd, operation)) != 0 && errno == EINTR) {
  }
  return rc == 0;
}

long total_write(int fd, const void *buf, size_t len) {
  const auto *p = static_cast<const unsigned char *>(buf);
  size_t total = 0;
  while (total < len) {
    ssize_t n = flavor::sys_write(fd, p + total, len - total);
    if (n <= 0) return total != 0 ? static_cast<long>(total) : static_cast<long>(n < 0 ? n : -1);
    total += static_cast<size_t>(n);
  }
  return static_cast<long>(total);
}

uint32_t parse_mtd_list(const char *path, MTD_INFORMATION *info) {
  info->enFlashType = FLASH_NAND;
  if (access(path, F_OK) != 0) return flavor::kFail;
  FILE *list = fopen(path, "r");
  if (list == nullptr) {
    flavor::message("Cannot open control path to the driver");
    return flavor::kFail;
  }
  uint32_t last_erase = 0;
  char line[kMtdLineMax];
  while (fgets(line, sizeof line, list) != nullptr) {
    char device[kMtdLineMax], part[kMtdLineMax];
    unsigned long long size = 0;
    unsigned int erase = 0;
    if (sscanf(line, "%255s %llx %x %255s", device, &size, &erase, part) != 4) continue;
    // The bounded scan refuses names that do not fit their 32-byte fields.
    if (strlen(device) >= kMtdNameMax || strlen(part) >= kMtdNameMax) continue;
    last_erase = erase;
    if (char *colon = strchr(device, ':'); colon != nullptr) *colon = '\0';
    if (strlen(device) > 3) {
      char *end = nullptr;
      unsigned long number = strtoul(device + 3, &end, 10);
      if (end != device + 3 && number < kMtdNumbers) g_u32MtdEraseSize[number] = erase;
    }
    auto *node = static_cast<MTD_PARTITION_INFO *>(flavor::mem_alloc(sizeof(MTD_PARTITION_INFO)));
    if (node == nullptr) {
      flavor::message("\n bsp malloc  error ! \n");
      break;
    }
    memset(node, 0, sizeof *node);
    device_path(node->pName, device);
    node->u64Offset = info->u64TotalSize;
    node->u64Size = size;
    node->pNext = nullptr;
    info->u64TotalSize += size;
    if (info->pPartitionTail != nullptr) {
      info->pPartitionTail->pNext = node;
    } else {
      info->pPartitionHead = node;
    }
    info->pPartitionTail = node;
  }
  info->u32EraseSize = last_erase;
  fclose(list);
  return 0;
}

}  // namespace bsp::storage

extern "C" {

BSP_API uint32_t FLASH_InitFlashDrv(void) {
  gMtd_Info.u64TotalSize = 0;
  gMtd_Info.enFlashType = FLASH_INVALID;
  gMtd_Info.pPartitionHead = nullptr;
  gMtd_Info.pPartitionTail = nullptr;
  // A second start keeps the lock: a new one would let a thread in beside a holder of the old.
  if (gMtd_Info.u32PthreadMutex == nullptr && flavor::lock_create(&gMtd_Info.u32PthreadMutex) != 0) {
    flavor::message("\n flash api pthread mutex  init error ! \n");
    return flavor::kFail;
  }
  uint32_t rc = FLASH_GetMtdInfo(&gMtd_Info);
  if (rc != 0) return rc;
  if (g_flash_read_buf != nullptr) return 0;
  uint32_t size = gMtd_Info.u32EraseSize;
  g_flash_read_buf = size == 0 ? nullptr : static_cast<unsigned char *>(flavor::mem_alloc(size));
  if (g_flash_read_buf == nullptr) {
    flavor::message("\n flash read buffer init error ! \n");
    return 0;
  }
  memset(g_flash_read_buf, 0, size);
  return 0;
}

BSP_API uint32_t FLASH_GetMtdInfo(MTD_INFORMATION *pMtd_Info) {
  if (pMtd_Info == nullptr) return flavor::kFail;
  return bsp::storage::parse_mtd_list(bsp::storage::kMtdList, pMtd_Info);
}

BSP_API uint32_t FLASH_ReadFlash(uint64_t u64GlobalOffset, void *pOutBuf, uint64_t u64ReadLen) {
  if (pOutBuf == nullptr || u64ReadLen == 0) {
    flavor::message("\n\r FLASH_ReadFlash failed, NULL == pOutBuf or readlen ==0.\n");
    return flavor::kFail;
  }
  return bsp::storage::transfer(bsp::storage::Direction::Read, u64GlobalOffset, pOutBuf, u64ReadLen);
}

BSP_API uint32_t FLASH_WriteFlash(uint64_t u64GlobalOffset, const void *pData, uint64_t u64DataLen) {
  if (pData == nullptr || u64DataLen == 0) return flavor::kFail;
  return bsp::storage::transfer(bsp::storage::Direction::Write, u64GlobalOffset, const_cast<void *>(pData),
                                u64DataLen);
}

BSP_API uint32_t FLASH_GetFlashInfo(FlashInfoData *pInfo, unsigned int u32MaxInfoNum) {
  if (pInfo == nullptr) return flavor::kFail;
  uint32_t copied = 0;
  for (; copied < u32MaxInfoNum && copied < g_u32FlashNum; ++copied) {
    int rc = memcpy_s(&pInfo[copied], sizeof(FlashInfoData), &g_pFlashCfg[copied], sizeof(FlashInfoData));
    flavor::judge(rc, "memcpy_s", bsp::storage::kFlashSource, __LINE__);
  }
  return copied;
}

BSP_API uint64_t FLASH_GetFlashSize(void) { return gMtd_Info.u64TotalSize; }

BSP_API uint32_t FLASH_SoftReset(uint64_t) { return 0; }

}  // extern "C"
