// Raw access to the MTD address space: the partitions of /proc/mtd laid end to end. Data go
// through the partition's block device; the character device answers the bad-block questions
// and erases. Every device is opened and closed under the flash front lock.
#include <bsp/boundc.h>
#include <bsp/mtd.h>
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

constexpr char kMtdSource[] = "bsp/drv/flash/flashApi_file";
constexpr char kDevicePrefix[] = "/dev/mtd";
constexpr char kLockMessage[] = "Cannot obtain shared lock on flash device file";
constexpr char kOpenMessage[] = "Open %s device failed! !!\n";
constexpr char kSeekMessage[] = "lseek %s device failed! !!\n";
constexpr unsigned kEraseTableSize = 32;
constexpr uint64_t kEraseReach = 0x100000000ull;  // MEMERASE addresses 32 bits

// The partition a global offset falls in, with what the block loops need.
struct Partition {
  const char *name = nullptr;  // the character device, /dev/mtdN
  uint64_t size = 0;
  uint64_t at = 0;     // the offset inside the partition
  uint32_t erase = 0;  // its erase block size
  char block[32] = {};
};

// Blocks are whole: the block that holds p is used only while it ends inside the partition
// (p itself need not be at the start of a block).
bool block_fits(uint64_t p, uint32_t erase, uint64_t size) { return erase <= size && p - p % erase <= size - erase; }

const MTD_PARTITION_INFO *partition_at(uint32_t global) {
  for (const MTD_PARTITION_INFO *p = gMtd_Info.pPartitionHead; p != nullptr; p = p->pNext) {
    // Compared without forming offset + size, which a hostile list could make wrap.
    if (global >= p->u64Offset && global - p->u64Offset < p->u64Size) return p;
  }
  return nullptr;
}

// N of "/dev/mtdN", or kEraseTableSize when the name is not of that form or N has no entry.
unsigned device_number(const char *name) {
  const size_t prefix = sizeof kDevicePrefix - 1;
  if (strncmp(name, kDevicePrefix, prefix) != 0) return kEraseTableSize;
  const char *digits = name + prefix;
  if (*digits < '0' || *digits > '9') return kEraseTableSize;
  char *end = nullptr;
  unsigned long n = strtoul(digits, &end, 10);
  if (*end != '\0' || n >= kEraseTableSize) return kEraseTableSize;
  return static_cast<unsigned>(n);
}

enum class Select { Found, None, Unusable };

// Finds the partition of the global offset. A partition without an entry in the erase-size
// table, or with an erase size of 0, is refused before any device is opened: its blocks
// could not be walked.
Select select_partition(uint32_t global, Partition &out) {
  const MTD_PARTITION_INFO *info = partition_at(global);
  if (info == nullptr) return Select::None;
  out.name = info->pName;
  out.size = info->u64Size;
  out.at = global - info->u64Offset;
  unsigned n = device_number(info->pName);
  out.erase = n < kEraseTableSize ? g_u32MtdEraseSize[n] : 0;
  if (out.erase == 0) {
    printf("no erase size for %s device !!!\n", info->pName);
    return Select::Unusable;
  }
  int rc = snprintf_s(out.block, sizeof out.block, sizeof out.block - 1, "/dev/mtdblock%u", n);
  flavor::judge(rc, "snprintf_s", kMtdSource, __LINE__);
  return rc < 0 ? Select::Unusable : Select::Found;
}

bool seek_both(int chr, const char *chr_name, int blk, const char *blk_name, uint64_t p) {
  if (!mtd::seek_to(chr, p)) {
    printf(kSeekMessage, chr_name);
    return false;
  }
  if (!mtd::seek_to(blk, p)) {
    printf(kSeekMessage, blk_name);
    return false;
  }
  return true;
}

// The open pair of devices of one partition: the character device and the block device.
struct Devices {
  UniqueFd chr, blk;
};

// Opens both devices (both with synchronous I/O); false after printing which one failed.
bool open_devices(const Partition &part, int chr_mode, Devices &dev) {
  dev.chr.reset(open(part.name, chr_mode | O_SYNC));
  if (!dev.chr.valid()) {
    printf(kOpenMessage, part.name);
    return false;
  }
  dev.blk.reset(open(part.block, O_RDWR | O_SYNC));
  if (!dev.blk.valid()) {
    printf(kOpenMessage, part.block);
    return false;
  }
  return true;
}

uint32_t read_blocks(const Partition &part, const Devices &dev, unsigned char *out, uint32_t len) {
  const int chr = dev.chr.get(), blk = dev.blk.get();
  const uint32_t erase = part.erase;
  uint64_t p = part.at;
  uint32_t remaining = len;
  while (remaining != 0 && block_fits(p, erase, part.size)) {
    if (!seek_both(chr, part.name, blk, part.block, p)) return 1;
    uint32_t n = remaining < erase ? remaining : erase;
    errno = 0;
    ssize_t got = flavor::sys_read(blk, out, n);
    if (got != static_cast<ssize_t>(n)) {
      printf("read %s device offset 0x%x errno=%d read return=%d!!\n", part.block, static_cast<unsigned>(p), errno,
             static_cast<int>(got));
      p += erase;
      continue;
    }
    int bad = mtd::block_is_bad(chr, p);
    if (bad == 0) {
      out += n;
      remaining -= n;
      p += erase;
    } else if (bad == 1) {
      // What the bad block gave is overwritten by the next block's data.
      printf("bad block at %s device %x block(s) \r\n", part.name, static_cast<unsigned>(p));
      p += erase;
      if (!seek_both(chr, part.name, blk, part.block, p)) return 1;
    } else {
      printf("---------ioctl (MEMGETBADBLOCK) %s device offset 0x%x errno=%d iRet=%d!!\n", part.name,
             static_cast<unsigned>(p), errno, bad);
      return 1;
    }
  }
  if (remaining != 0) {
    printf("read no enough space at %s device !!!\n", part.name);
    return 1;
  }
  return 0;
}

uint32_t write_blocks(const Partition &part, const Devices &dev, const unsigned char *data, uint32_t len) {
  const int chr = dev.chr.get(), blk = dev.blk.get();
  const uint32_t erase = part.erase;
  uint64_t p = part.at;
  // Bytes beyond the partition end are dropped, not refused.
  uint64_t w = len < part.size - p ? len : part.size - p;
  if (!seek_both(chr, part.name, blk, part.block, p)) return 1;
  while (w != 0 && block_fits(p, erase, part.size)) {
    int bad = mtd::block_is_bad(chr, p);
    if (bad == 1) {
      printf("bad block at %x block(s) \r\n", static_cast<unsigned>(p));
      p += erase;
      if (!seek_both(chr, part.name, blk, part.block, p)) return 1;
      continue;
    }
    if (bad != 0) {
      printf("---------ioctl (MEMGETBADBLOCK) errno = %d iRet=%d\r\n", errno, bad);
      return 1;
    }
    uint32_t n = w < erase ? static_cast<uint32_t>(w) : erase;
    errno = 0;
    ssize_t put = flavor::sys_write(blk, data, n);
    if (put == static_cast<ssize_t>(n)) {
      w -= n;
      data += n;
      p += erase;  // the device position follows the data
      continue;
    }
    if (errno != EIO) {
      printf("write %s device failed u64WrRet = %d errno = %d!!!\n", part.block, static_cast<int>(put), errno);
      return 1;
    }
    // The block did not take the data: mark it and put the same data into the next one.
    if (mtd::mark_block_bad(chr, p) != 0) {
      printf("ioctl (MEMSETBADBLOCK) errno = %d\r\n", errno);
      return 1;
    }
    p += erase;
    if (!seek_both(chr, part.name, blk, part.block, p)) return 1;
  }
  if (w != 0) {
    printf("not enough space to write at device %s !!!\n", part.name);
    return 1;
  }
  return 0;
}

uint32_t erase_blocks(const Partition &part, int chr, uint32_t len) {
  const uint32_t erase = part.erase;
  uint64_t p = part.at;
  uint32_t remaining = len;
  // MEMERASE cannot name a block that ends beyond 4 GiB into the partition.
  while (remaining != 0 && block_fits(p, erase, part.size) && p - p % erase + erase <= kEraseReach) {
    int bad = mtd::block_is_bad(chr, p);
    if (bad == 1) {
      printf("bad block at %s device 0x%x block(s) \r\n", part.name, static_cast<unsigned>(p));
      p += erase;
      continue;
    }
    if (bad != 0) {
      printf("------------ioctl (MEMGETBADBLOCK) %s device offset 0x%x failed errno = %d !!!\n", part.name,
             static_cast<unsigned>(p), errno);
      return 1;
    }
    int rc = mtd::erase_range(chr, static_cast<uint32_t>(p), erase);
    if (rc == 0) {
      remaining = remaining > erase ? remaining - erase : 0;
      p += erase;
      continue;
    }
    int err = errno;
    if (err == EIO) {
      printf("ioctl (MEMERASE) %s device offset 0x%x failed with bad block!!!\n", part.name, static_cast<unsigned>(p));
      if (mtd::mark_block_bad(chr, p) != 0) {
        printf("ioctl (MEMSETBADBLOCK) at erase %s device offset 0x%x errno = %d\r\n", part.name,
               static_cast<unsigned>(p), errno);
        return 1;
      }
    } else {
      printf("ioctl (MEMERASE) %s device offset 0x%x failed errno = %d iRet = %d!!!\r\n", part.name,
             static_cast<unsigned>(p), err, rc);
    }
    p += erase;
  }
  if (remaining != 0) {
    printf("erase no enough space at %s device offset = 0x%x !!!\n", part.name, static_cast<unsigned>(p));
    return 1;
  }
  return 0;
}

// The partition holding offset, under the flash front lock with both devices open (closed
// before the lock is released): access(part, dev)'s result, else 1 (or the lock's result).
template <typename Access>
uint32_t with_devices(unsigned int offset, int chr_mode, Access access) {
  Partition part;
  if (select_partition(offset, part) != Select::Found) return 1;
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    printf(kLockMessage);
    return lock.result();
  }
  Devices dev;
  if (!open_devices(part, chr_mode, dev)) return 1;
  return access(part, dev);
}

}  // namespace

extern "C" {

BSP_API uint32_t FLASH_ReadFlashMtd(unsigned int u64GlobalOffset, void *pOutBuf, unsigned int u64ReadLen) {
  if (pOutBuf == nullptr || u64ReadLen == 0) {
    printf("\n\r FLASH_ReadFlash failed, NULL == pOutBuf or readlen =0x%x.u64GlobalOffset0x%x\n", u64ReadLen,
           u64GlobalOffset);
    return 1;
  }
  if (gMtd_Info.u64TotalSize < u64GlobalOffset) {
    printf("\rFLASH_ReadFlashMtd u64TotalSize:0x%llx,u64GlobalOffset:0x%x",
           static_cast<unsigned long long>(gMtd_Info.u64TotalSize), u64GlobalOffset);
    return 1;
  }
  return with_devices(u64GlobalOffset, O_RDONLY, [&](const Partition &part, Devices &dev) {
    return read_blocks(part, dev, static_cast<unsigned char *>(pOutBuf), u64ReadLen);
  });
}

BSP_API uint32_t FLASH_WriteFlashMtd(unsigned int u64GlobalOffset, const void *pData, unsigned int u64DataLen) {
  if (pData == nullptr || u64DataLen == 0) return 1;
  if (gMtd_Info.u64TotalSize < u64GlobalOffset) {
    printf("\r\nFLASH_WriteFlashMtd u64TotalSize 0x%llx,u64GlobalOffset 0x%x",
           static_cast<unsigned long long>(gMtd_Info.u64TotalSize), u64GlobalOffset);
    return 1;
  }
  return with_devices(u64GlobalOffset, O_RDWR, [&](const Partition &part, Devices &dev) {
    return write_blocks(part, dev, static_cast<const unsigned char *>(pData), u64DataLen);
  });
}

BSP_API uint32_t FLASH_EraseFlashMtd(unsigned int u64GlobalOffset, unsigned int u64Len) {
  if (gMtd_Info.u64TotalSize < u64GlobalOffset || u64Len == 0) {
    printf("\r\n FLASH_EraseFlashMtd u64TotalSize 0x%llx,u64GlobalOffset 0x%x",
           static_cast<unsigned long long>(gMtd_Info.u64TotalSize), u64GlobalOffset);
    return 1;
  }
  Partition part;
  if (select_partition(u64GlobalOffset, part) != Select::Found) return 1;
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    printf(kLockMessage);
    return 1;
  }
  UniqueFd chr(open(part.name, O_RDWR | O_SYNC));
  if (!chr.valid()) {
    printf(kOpenMessage, part.name);
    return 1;
  }
  // The end is formed in 64 bits: a 32-bit sum could wrap onto an aligned value.
  const uint64_t end = static_cast<uint64_t>(u64GlobalOffset) + u64Len;
  if (u64GlobalOffset % part.erase != 0 || end % part.erase != 0) {
    printf("\r\n erase device error u64GlobalOffset:%x u64Len:%x u32EraseSize:%x !!\n", u64GlobalOffset, u64Len,
           part.erase);
    return 1;
  }
  return erase_blocks(part, chr.get(), u64Len);
}

BSP_API uint32_t flashGetErrorCount(void) {
  FILE *counters = fopen("/proc/flash/flash_err", "r");
  if (counters == nullptr) return 0;
  unsigned int reads = 0, writes = 0, erases = 0;
  char line[256];
  while (fgets(line, sizeof line, counters) != nullptr) {
    int rc = sscanf_s(line, "%x %x %x", &reads, &writes, &erases);
    flavor::judge(rc, "sscanf_s", kMtdSource, __LINE__);
  }
  fclose(counters);
  uint64_t sum = static_cast<uint64_t>(reads) + writes + erases;
  return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(sum);
}

}  // extern "C"
