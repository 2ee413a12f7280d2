// The two boot subareas: which one runs, what differs from the package, updates and copies.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "loader/boot_rules.h"
#include "loader/command.h"
#include "loader/loader.h"
#include "loader/package.h"
#include "loader/paths.h"

namespace {

using namespace bsp::loader;
using bsp::UniqueFd;

constexpr uint32_t kKernelCap = 0x800000;
constexpr uint32_t kImageCap = 0xC800000;
// Images are moved through a buffer of this size, whatever their length, when the kernel
// cannot move them itself.
constexpr size_t kCopyChunk = 1u << 20;
constexpr size_t kKernelChunk = 8u << 20;

// 1 when the running subarea is A, 0 for B, -1 when the command line cannot be read.
int running_subarea_is_a(char (&cmdline)[kPathSize]) {
  memset(cmdline, 0, sizeof cmdline);
  if (Boot_GetCurrentSubareaPath(kCmdlinePath, cmdline) != 0) return -1;
  return names_subarea_a(cmdline) ? 1 : 0;
}

void subarea_file(char (&path)[kPathSize], bool a, const char *name, const char *suffix) {
  path[0] = '\0';
  Boot_StrCpy_Safe(path, a ? kSubareaA : kSubareaB, kPathSize);
  Boot_StrCat_Safe(path, name, kPathSize);
  Boot_StrCat_Safe(path, suffix, kPathSize);
}

struct Free {
  void operator()(uint8_t *p) const { free(p); }
};

enum class CopyResult { kOk, kOpenFailed, kReadFailed, kWriteFailed };

// The kernel moves the bytes from the package into the image, without a copy through this
// process: copy_file_range where the two files' file system supports it (on one file system it
// may share the blocks), else sendfile, which works between any two files. A move of at most
// kKernelChunk per call keeps each call short. Returns false when neither can start here, so
// that the caller copies through its buffer; a short source is a read failure, a refused
// destination a write failure.
enum class KernelMove { kCopyFileRange, kSendfile };

bool cannot_start(int error) {
  return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP;
}

ssize_t kernel_move(KernelMove how, int from, off_t &at, int to, size_t want) {
  if (how == KernelMove::kCopyFileRange) {
    loff_t in = at;
    ssize_t n = copy_file_range(from, &in, to, nullptr, want, 0);
    if (n > 0) at = in;
    return n;
  }
  return sendfile(to, from, &at, want);
}

bool kernel_copy(int from, uint64_t offset, uint64_t length, int to, CopyResult &result) {
  for (KernelMove how : {KernelMove::kCopyFileRange, KernelMove::kSendfile}) {
    off_t at = static_cast<off_t>(offset);
    uint64_t done = 0;
    while (done < length) {
      size_t want = static_cast<size_t>(length - done < kKernelChunk ? length - done : kKernelChunk);
      ssize_t n = kernel_move(how, from, at, to, want);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && done == 0 && cannot_start(errno)) break;  // the next way, or the buffer
      if (n < 0) {
        result = CopyResult::kWriteFailed;
        return true;
      }
      if (n == 0) {
        result = CopyResult::kReadFailed;
        return true;
      }
      done += static_cast<uint64_t>(n);
    }
    if (done == length) {
      result = CopyResult::kOk;
      return true;
    }
  }
  return false;
}

// Writes length bytes of the package from offset as a new file, a chunk at a time.
// The file is flushed before it counts as written.
CopyResult copy_to_file(int from, uint64_t offset, uint64_t length, const char *path, uint8_t *chunk) {
  // Not waiting for a reader: a FIFO in the image's place fails like any file that is no image.
  UniqueFd to(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666));
  struct stat st;
  if (to.valid() && (fstat(to.get(), &st) != 0 || !S_ISREG(st.st_mode))) to.reset();
  if (!to.valid()) return CopyResult::kOpenFailed;
  if (length == 0) return CopyResult::kWriteFailed;  // an empty image is no image
  auto finish = [&to] {
    if (fsync(to.get()) != 0) return CopyResult::kWriteFailed;
    return close(to.release()) == 0 ? CopyResult::kOk : CopyResult::kWriteFailed;
  };
  CopyResult result;
  if (kernel_copy(from, offset, length, to.get(), result)) {
    if (result != CopyResult::kOk) return result;
    return finish();
  }
  for (uint64_t done = 0; done < length;) {
    size_t want = static_cast<size_t>(length - done < kCopyChunk ? length - done : kCopyChunk);
    if (read_at(from, {chunk, want}, offset + done) < want) return CopyResult::kReadFailed;
    for (size_t put = 0; put < want;) {
      ssize_t n = write(to.get(), chunk + put, want - put);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return CopyResult::kWriteFailed;
      put += static_cast<size_t>(n);
    }
    done += want;
  }
  return finish();
}

bool flush_path(const char *path, int flags) {
  UniqueFd fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags));
  return fd.valid() && fsync(fd.get()) == 0;
}

// A directory's entries reach the disk only with the directory itself.
bool flush_dir(const char *dir) { return flush_path(dir, O_DIRECTORY); }

// Set once a write into the other subarea failed in this boot: it may hold a broken image,
// whatever its .efs files say, and GRUB must not be pointed at it.
bool g_other_write_failed = false;

int32_t failed_write() {
  g_other_write_failed = true;
  return -1;
}

// The files a subarea needs to boot: each image before its .efs file.
constexpr const char *kBootFiles[] = {"bzImage", "bzImage.efs", "rootfs.gz", "rootfs.gz.efs"};

// True when the subarea holds both images and both .efs files, all of them and the directory
// flushed to the disk; otherwise records why not.
bool ready_to_boot(bool a) {
  for (const char *name : kBootFiles) {
    char path[kPathSize];
    subarea_file(path, a, name, "");
    UniqueFd fd = open_read(path);
    if (!fd.valid()) {
      Boot_Record_Error("%s Missing, GRUB Not Switched\r\n", path);
      return false;
    }
    struct stat st;
    bool efs = strstr(name, ".efs") != nullptr;
    if (fstat(fd.get(), &st) != 0 || st.st_size < (efs ? static_cast<off_t>(kEfsSize) : 1)) {
      Boot_Record_Error("%s Too Short, GRUB Not Switched\r\n", path);
      return false;
    }
    if (fsync(fd.get()) != 0) {
      Boot_Record_Error("Flush %s Failed, GRUB Not Switched\r\n", path);
      return false;
    }
  }
  const char *dir = a ? kSubareaA : kSubareaB;
  if (!flush_dir(dir)) {
    Boot_Record_Error("Flush %s Failed, GRUB Not Switched\r\n", dir);
    return false;
  }
  return true;
}

// What one synchronisation pass compares and copies, with its log texts.
struct SyncItem {
  const char *efs;
  const char *copy_a_to_b;
  const char *copy_b_to_a;
  const char *backup_unreadable;
  const char *console;
  const char *record;
  const char *done_a_to_b;
  const char *done_b_to_a;
};

constexpr SyncItem kSyncItems[] = {
    {"rootfs.gz.efs", "cp  /boot/boot_A/rootfs* /boot/boot_B/", "cp  /boot/boot_B/rootfs* /boot/boot_A/",
     "Get Backup File ESF Info Fail\r\n", "\r\nBackup Rootfs!\r", "\r\nBackup Rootfs\r\n",
     "Backup Rootfs boot A to B \r\n", "Backup Rootfs boot B to A \r\n"},
    {"bzImage.efs", "cp  /boot/boot_A/bzImage* /boot/boot_B/", "cp  /boot/boot_B/bzImage* /boot/boot_A/",
     " Get Backup File ESF Info Fail\r\n", "\r\nBackup Kernel!\r", "\r\nBackup kernel\r\n",
     "Backup kernel boot A to B \r\n", "Backup kernel boot B to A \r\n"},
};

}  // namespace

extern "C" {

int32_t Boot_SubFileIsNeedUpdate(const char *pktPath, const char *subFileName) {
  if (pktPath == nullptr || subFileName == nullptr) {
    Boot_Record_Error("Parameter is wrong\r\n");
    return -1;
  }
  uint8_t package_efs[kEfsSize] = {0};
  if (Boot_GetSubFileEfsInfo(pktPath, subFileName, package_efs) != 0) {
    Boot_Record_Error("Get SubFileEfsInfo from CC %s Fail\r\n", subFileName);
    return -1;
  }
  char cmdline[kPathSize];
  int a = running_subarea_is_a(cmdline);
  if (a < 0) {
    Boot_Record_Error("Get Current Subarea Path Fail\r\n");
    return -1;
  }
  char path[kPathSize];
  subarea_file(path, a == 1, subFileName, ".efs");
  uint8_t current_efs[kEfsSize] = {0};
  if (Bootload_GetFileEfsInfo(path, current_efs) != 0) {
    // The running images are taken to be the package's.
    Boot_Record_Info("Get Current File ESF Info Fail\r\n");
    if (Boot_SaveFileToImg(package_efs, kEfsSize, path) != 0) {
      Boot_Record_Error("Save File to Image Fail\r\n");
      return -1;
    }
    return 1;
  }
  unsigned package_crc = efs_code_crc(package_efs), current_crc = efs_code_crc(current_efs);
  Boot_Record_Info("stSubFileEfsInfo.usCodeCrc = %u\r\n", package_crc);
  Boot_Record_Info("stCurSubFileEfsInfo.usCodeCrc = %u\r\n", current_crc);
  return package_crc == current_crc ? 1 : 2;
}

int32_t Boot_UpdateSubfile(const char *pktPath, const char *subFileName) {
  if (pktPath == nullptr || subFileName == nullptr) {
    Boot_Record_Error("Parameter is wrong\r\n");
    return -1;
  }
  uint32_t cap = strcmp(subFileName, "bzImage") == 0 ? kKernelCap : kImageCap;
  char cmdline[kPathSize];
  int a = running_subarea_is_a(cmdline);
  if (a < 0) {
    Boot_Record_Error("Get Current Subarea Path Fail\r\n");
    return -1;
  }
  uint64_t offset = 0;
  uint32_t length = 0;
  if (Boot_GetSubFileInfo(pktPath, subFileName, &offset, &length) != 0) {
    Boot_Record_Error("Get SubFile %s Info Fail\r\n", subFileName);
    return -1;
  }
  if (length > cap) {
    Boot_Record_Error("Not enough buffer to copy boot file, ulFileLenth = %x,ulBufLen=%x\r\n", length, cap);
    return -1;
  }
  std::unique_ptr<uint8_t, Free> chunk(static_cast<uint8_t *>(calloc(1, kCopyChunk)));
  if (!chunk) {
    Boot_Record_Error("Malloc memory for update Fail\r\n");
    return -1;
  }
  UniqueFd package = open_read(pktPath);
  if (!package.valid()) {
    Boot_Record_Error("Open Startup Software %s Fail \r\n", pktPath);
    return -1;
  }
  // The whole subfile must be there before anything is written into the other subarea.
  struct stat st;
  if (fstat(package.get(), &st) != 0 || offset + length > static_cast<uint64_t>(st.st_size)) {
    Boot_Record_Error("Read %s Info Error\r\n", subFileName);
    return -1;
  }
  char image[kPathSize], efs_path[kPathSize];
  subarea_file(image, a == 0, subFileName, "");
  subarea_file(efs_path, a == 0, subFileName, ".efs");
  // An .efs file marks a complete image: it goes, and is gone on the disk, before the image
  // changes, and comes back only after the whole image is on the disk.
  bool removed = unlink(efs_path) == 0 ? flush_dir(a == 0 ? kSubareaA : kSubareaB) : errno == ENOENT;
  if (!removed) {
    Boot_Record_Error("%s Remove failed \r\n", efs_path);
    Boot_Record_Error("Write %s to Img Fail\r\n", subFileName);
    return failed_write();
  }
  uint64_t image_length = length >= kEfsSize ? length - kEfsSize : 0;
  switch (copy_to_file(package.get(), offset, image_length, image, chunk.get())) {
    case CopyResult::kOk: break;
    case CopyResult::kReadFailed:
      Boot_Record_Error("Read %s Info Error\r\n", subFileName);
      return failed_write();
    case CopyResult::kOpenFailed:
      Boot_Record_Error("%s Open failed \r\n", image);
      Boot_Record_Error("Write %s to Img Fail\r\n", subFileName);
      return failed_write();
    case CopyResult::kWriteFailed:
      Boot_Record_Error("%s Write failed \r\n", image);
      Boot_Record_Error("Write %s to Img Fail\r\n", subFileName);
      return failed_write();
  }
  uint8_t efs[kEfsSize];
  if (read_at(package.get(), efs, offset + image_length) < kEfsSize) {
    Boot_Record_Error("Read %s Info Error\r\n", subFileName);
    return failed_write();
  }
  if (Boot_SaveFileToImg(efs, kEfsSize, efs_path) != 0) {
    Boot_Record_Error("Write %s EFS to Img Fail\r\n", subFileName);
    return failed_write();
  }
  return 0;
}

int32_t Boot_CheckAndUpdate(const char *pktPath, const char *subFileName) {
  int32_t need = Boot_SubFileIsNeedUpdate(pktPath, subFileName);
  if (need == -1) {
    Boot_Record_Error("Can not Decide Update Rootfs or Not \r\n");
    return -1;
  }
  if (need != 2) return 0;
  printf("\r\nUpdate %s !!!\r\n", subFileName);
  if (Boot_UpdateSubfile(pktPath, subFileName) != 0) {
    Boot_Record_Error("Update %s Fail!\r\n", subFileName);
    return -1;
  }
  return 1;
}

int32_t Boot_SynTwoSubareaFileIs(const char *cmdline) {
  if (cmdline == nullptr) {
    Boot_Record_Error("Parameter is wrong\r\n");
    return -1;
  }
  bool a = names_subarea_a(cmdline);
  int32_t result = 0;
  for (const SyncItem &item : kSyncItems) {
    char path[kPathSize];
    uint8_t current[kEfsSize], backup[kEfsSize];
    subarea_file(path, a, item.efs, "");
    if (Bootload_GetFileEfsInfo(path, current) != 0) {
      Boot_Record_Error("Get Current File ESF Info Fail\r\n");
      return -1;
    }
    subarea_file(path, !a, item.efs, "");
    const char *copy = a ? item.copy_a_to_b : item.copy_b_to_a;
    int status = 0;
    if (Bootload_GetFileEfsInfo(path, backup) != 0) {
      Boot_Record_Info("%s", item.backup_unreadable);
      status = run_command(copy);
      Boot_Record_Info("System Execute %s \r\n", copy);
    } else if (efs_code_crc(current) != efs_code_crc(backup)) {
      puts(item.console);
      Boot_Record_Info("%s", item.record);
      status = run_command(copy);
      Boot_Record_Info("%s", a ? item.done_a_to_b : item.done_b_to_a);
    }
    if (status != 0) {
      // The copy goes on to the .efs file after a failed image: that file must not stay, so
      // that the image counts as missing and is copied again.
      Boot_Record_Error("System Execute %s  Fail \r\n", copy);
      unlink(path);
      result = -1;
    }
  }
  return result;
}

int32_t Boot_CheckAndSynSubarea(const char *pktPath) {
  g_other_write_failed = false;
  int32_t kernel = Boot_CheckAndUpdate(pktPath, "bzImage");
  int32_t rootfs = Boot_CheckAndUpdate(pktPath, "rootfs.gz");
  char cmdline[kPathSize];
  int a = running_subarea_is_a(cmdline);
  if (a < 0) {
    Boot_Record_Error("Get Current Subarea Path Fail\r\n");
    return -1;
  }
  // A failed write may have left a broken image behind: neither booted nor copied over, the
  // package is not mounted, and the counted attempt leads to the rollback if this repeats.
  if (g_other_write_failed) {
    Boot_Record_Error("Write into %s Failed, GRUB Not Switched\r\n", a ? kSubareaB : kSubareaA);
    return -1;
  }
  if (kernel + rootfs != 0) {
    if (!ready_to_boot(a == 0)) return -1;
    const char *sw = a ? "sed -i 's/boot_A/boot_B/g' /boot/grub/grub.cfg"
                       : "sed -i 's/boot_B/boot_A/g' /boot/grub/grub.cfg";
    run_command(sw);
    Boot_Record_Info("%s", sw);
    sync();
    sleep(1);
    puts("\r\nReboot system!\r");
    Boot_StopRun();
    return 0;
  }
  if (Boot_SynTwoSubareaFileIs(cmdline) == -1) Boot_Record_Info("Syn Two Subarea FileIs Fail\r\n");
  sync();
  sleep(1);
  return 0;
}

}  // extern "C"
