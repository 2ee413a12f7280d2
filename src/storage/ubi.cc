// UBI volume devices: length, positioned read and write, and the whole-volume update. Each call
// opens the volume under the flash front lock and closes it before the lock is released.
#include <bsp/mtd.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <mtd/ubi-user.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "os/unique_fd.h"
#include "storage/flash_front.h"
#include "storage/flavor.h"

namespace flavor = bsp::storage::flavor;
using bsp::UniqueFd;

namespace {

static_assert(sizeof(int64_t) == 8, "UBI_IOCVOLUP reads a 64-bit size through the pointer");

// Whole 64-bit offsets: the volume may be larger than 4 GiB and off_t is 64-bit in both builds.
off_t seek_volume(int fd, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    errno = EINVAL;
    return -1;
  }
  return lseek(fd, static_cast<off_t>(offset), SEEK_SET);
}

// One transfer of the whole length, or -1 when the length cannot be one transfer.
ssize_t read_all_at_once(int fd, void *buf, uint64_t len) {
  if (len > static_cast<uint64_t>(SSIZE_MAX)) {
    errno = EOVERFLOW;
    return -1;
  }
  return flavor::sys_read(fd, buf, static_cast<size_t>(len));
}

ssize_t write_all_at_once(int fd, const void *buf, uint64_t len) {
  if (len > static_cast<uint64_t>(SSIZE_MAX)) {
    errno = EOVERFLOW;
    return -1;
  }
  return flavor::sys_write(fd, buf, static_cast<size_t>(len));
}

bool transferred(ssize_t done, uint64_t len) { return done >= 0 && static_cast<uint64_t>(done) == len; }

// The system's text for the error of the failed call, after the message printed before it.
void report_error(int err, const char *prefix) {
  fflush(stdout);
  errno = err;
  perror(prefix);
}

}  // namespace

extern "C" {

BSP_API uint64_t FLASH_Read_Ubi_File_Length(char *filename) {
  if (filename == nullptr) {
    printf("\n\r filename  NULL.\r\n");
    return 1;
  }
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    printf("\r\n FLASH_Read_Ubi_File_Length Cannot obtain shared lock on flash device file\r\n");
    return lock.result();
  }
  UniqueFd fd(open(filename, O_RDONLY | O_SYNC));
  if (!fd.valid()) {
    printf("\r\n FLASH_Read_Ubi_File_Length Open %s device failed! \r\n", filename);
    return 1;
  }
  off_t end = lseek(fd.get(), 0, SEEK_END);
  if (end < 0) {
    printf("\r\n FLASH_Read_Ubi_File_Length lseek %s fileHandle[0x%x],offPosition[%d] \r\n", filename,
           static_cast<unsigned>(fd.get()), static_cast<int>(end));
    return 1;
  }
  return static_cast<uint64_t>(end);
}

BSP_API uint32_t FLASH_Read_Ubi_Vol(uint64_t u64Offset, char *filename, void *pOutBuf, uint64_t u64ReadLen) {
  if (pOutBuf == nullptr || filename == nullptr || u64ReadLen == 0) {
    printf("\n\r FLASH_Read_Ubi_Vol failed, NULL == pOutBuf or readlen ==0.\r\n");
    return 1;
  }
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    printf("\r\n FLASH_Read_Ubi_Vol Cannot obtain shared lock on flash device file\r\n");
    return lock.result();
  }
  UniqueFd fd(open(filename, O_RDONLY | O_SYNC));
  if (!fd.valid()) {
    int err = errno;
    printf("\r\n FLASH_Read_Ubi_Vol Open %s device failed! fileHandle[%d] \r\n", filename, fd.get());
    report_error(err, "\r\n------------->FLASH_Read_Ubi_Vol open error:");
    return 1;
  }
  // A refused seek must not read from wherever the volume stands.
  off_t at = seek_volume(fd.get(), u64Offset);
  ssize_t got = at < 0 ? at : read_all_at_once(fd.get(), pOutBuf, u64ReadLen);
  if (!transferred(got, u64ReadLen)) {
    int err = errno;
    printf("\r\n FLASH_Read_Ubi_Vol read %s fileHandle[%d],iRet[%d],offPosition[0x%x] u64ReadLen[0x%llx]\r\n",
           filename, fd.get(), static_cast<int>(got), static_cast<unsigned>(u64Offset),
           static_cast<unsigned long long>(u64ReadLen));
    report_error(err, "\r\n------------->FLASH_Read_Ubi_Vol read error:");
    return 1;
  }
  return 0;
}

BSP_API uint32_t FLASH_Write_Ubi_Vol(uint64_t u64Offset, char *filename, const void *pData, uint64_t u64WriteLen) {
  if (pData == nullptr || filename == nullptr || u64WriteLen == 0) {
    printf("\n\r FLASH_Write_Ubi_Vol failed, NULL == pOutBuf or u64WriteLen ==0.\r\n");
    return 1;
  }
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    printf("\r\n FLASH_Write_Ubi_Vol Cannot obtain shared lock on flash device file\r\n");
    return lock.result();
  }
  UniqueFd fd(open(filename, O_RDWR | O_SYNC));
  if (!fd.valid()) {
    printf("\r\n FLASH_Write_Ubi_Vol Open %s device failed! readfile[%d] \r\n", filename, fd.get());
    return 1;
  }
  off_t at = seek_volume(fd.get(), u64Offset);
  if (at < 0) {
    printf("\r\n FLASH_WriteEfs_Ubi_Vol lseek %s fileHandle[0x%x],u64Offset[0x%llx],offPosition[%d]\r\n", filename,
           static_cast<unsigned>(fd.get()), static_cast<unsigned long long>(u64Offset), static_cast<int>(at));
    return 1;
  }
  ssize_t put = write_all_at_once(fd.get(), pData, u64WriteLen);
  if (!transferred(put, u64WriteLen)) {
    int err = errno;
    printf("\r\n FLASH_Write_Ubi_Vol write %s device failed! iWrRet[%d],u64WriteLen[0x%llx]\r\n", filename,
           static_cast<int>(put), static_cast<unsigned long long>(u64WriteLen));
    report_error(err, "\r\n------------->FLASH_Write_Ubi_Vol write error:");
    return 1;
  }
  return 0;
}

BSP_API uint32_t FLASH_Update_Ubi_Vol(char *filename, const void *pData, uint64_t u64WriteLen) {
  if (pData == nullptr || filename == nullptr || u64WriteLen == 0) {
    printf("\n\r FLASH_Write_Ubi_Vol failed, NULL == pOutBuf or u64WriteLen ==0.\r\n");
    return 1;
  }
  flavor::LockGuard lock(gMtd_Info.u32PthreadMutex);
  if (lock.result() != 0) {
    printf("\r\n FLASH_Update_Ubi_Vol Cannot obtain shared lock on flash device file\r\n");
    return lock.result();
  }
  UniqueFd fd(open(filename, O_RDWR | O_SYNC));
  if (!fd.valid()) {
    int err = errno;
    printf("\r\n FLASH_Update_Ubi_Vol Open %s device failed! fileHandle[%d] \r\n", filename, fd.get());
    report_error(err, "\r\n------------->FLASH_Update_Ubi_Vol open error:");
    return 1;
  }
  int64_t bytes = static_cast<int64_t>(u64WriteLen);
  int rc;
  {
    flavor::Blocking blocking;
    rc = ioctl(fd.get(), UBI_IOCVOLUP, &bytes);
  }
  if (rc < 0) {
    printf("\r\n FLASH_Write_Ubi_Vol ioctl %s  failed,fileHandle:[0x%x],u64WriteLen:[0x%llx],iRet[%d] \r\n", filename,
           static_cast<unsigned>(fd.get()), static_cast<unsigned long long>(u64WriteLen), rc);
    return 1;
  }
  ssize_t put = write_all_at_once(fd.get(), pData, u64WriteLen);
  if (!transferred(put, u64WriteLen)) {
    printf("\r\n FLASH_Write_Ubi_Vol write %s device failed! u64RdRet[0x%llx],u64WriteLen[0x%llx]\r\n", filename,
           static_cast<unsigned long long>(put), static_cast<unsigned long long>(u64WriteLen));
    return 1;
  }
  return 0;
}

}  // extern "C"
