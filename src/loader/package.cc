// Reader of the startup package: subfile heads, EFS blocks, .efs files, flash volume names.
#include "loader/package.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "loader/loader.h"
#include "loader/paths.h"

namespace bsp::loader {

size_t read_at(int fd, std::span<uint8_t> out, uint64_t offset) {
  size_t done = 0;
  while (done < out.size()) {
    uint64_t at = offset + done;
    if (at > static_cast<uint64_t>(INT64_MAX)) break;
    ssize_t n = pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace bsp::loader

using namespace bsp::loader;
using bsp::UniqueFd;
using bsp::load_le16;
using bsp::load_le32;

extern "C" {

int32_t Boot_GetSubFileInfo(const char *pktPath, const char *subFileName, uint64_t *offset,
                            uint32_t *length) {
  if (pktPath == nullptr || subFileName == nullptr || offset == nullptr || length == nullptr) {
    Boot_Record_Error("Bootloader Get Pkt SquashFsOffset Input is Null \r\n");
    return -1;
  }
  UniqueFd fd = open_read(pktPath);
  if (!fd.valid()) {
    Boot_Record_Error("Open Startup Software %s Fail \r\n", pktPath);
    return -1;
  }
  uint8_t head[kPackageHeadSize];
  if (read_at(fd.get(), head, kPackageHeadOffset) < sizeof head) {
    Boot_Record_Error("Read Software Head Info Error\r\n");
    return -1;
  }
  uint8_t sub[kSubfileHeadSize];
  if (read_at(fd.get(), sub, kSubfileHeadsOffset) < sizeof sub) {
    Boot_Record_Error("Read Software Subfile Head Info Error\r\n");
    return -1;
  }
  // The count is not trusted: a head past the end of the file ends the search.
  uint32_t count = load_le32(head + kSubfileCountField);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = kSubfileHeadsOffset + static_cast<uint64_t>(kSubfileHeadSize) * i;
    // The first head is in sub already.
    if (i != 0 && read_at(fd.get(), sub, at) < sizeof sub) {
      Boot_Record_Error("Find Subfile,Read Subfile Head Info Error\r\n");
      return -1;
    }
    const char *name = reinterpret_cast<const char *>(sub);
    if (memchr(name, '\0', kSubfileNameSize) == nullptr || strcmp(name, subFileName) != 0) continue;
    *offset = kPackageHeadOffset + load_le32(sub + kSubfileOffsetField);
    *length = load_le32(sub + kSubfileLengthField);
    return 0;
  }
  return -1;
}

int32_t Boot_GetSubFileEfsInfo(const char *pktPath, const char *subFileName, uint8_t *efs) {
  if (pktPath == nullptr || subFileName == nullptr || efs == nullptr) {
    Boot_Record_Error("Boot_GetSubFileEfsInfo of Parameter is wrong\r\n");
    return -1;
  }
  uint64_t offset = 0;
  uint32_t length = 0;
  UniqueFd fd;
  if (Boot_GetSubFileInfo(pktPath, subFileName, &offset, &length) != 0 ||
      (fd = open_read(pktPath), !fd.valid())) {
    Boot_Record_Error("Get Packet %s SubFile Offset Fail.\r\n", pktPath);
    return -1;
  }
  // A subfile shorter than its EFS block has none.
  if (length < kEfsSize || read_at(fd.get(), {efs, kEfsSize}, offset + length - kEfsSize) < kEfsSize) {
    Boot_Record_Error("Read EFS fail.\r\n");
    return -1;
  }
  return 0;
}

int32_t Bootload_GetFileEfsInfo(const char *path, uint8_t *efs) {
  if (path == nullptr || efs == nullptr) return -1;
  UniqueFd fd = open_read(path);
  if (!fd.valid()) return -1;
  struct stat st;
  if (Boot_GetFileSize(path) == -1 || fstat(fd.get(), &st) != 0) {
    Boot_Record_Error("Execute %s No Exist \r\n", path);
    return -1;
  }
  if (st.st_size < static_cast<off_t>(kEfsSize)) return -1;
  if (read_at(fd.get(), {efs, kEfsSize}, static_cast<uint64_t>(st.st_size) - kEfsSize) < kEfsSize) return -1;
  return 0;
}

int32_t Boot_SaveFileToImg(const void *data, uint32_t length, const char *path) {
  if (path == nullptr) return -1;
  FILE *file = fopen(path, "wb+");
  if (file == nullptr) {
    Boot_Record_Error("%s Open failed \r\n", path);
    return -1;
  }
  bool written = data != nullptr && length != 0 && fwrite(data, length, 1, file) == 1;
  // Written means on the disk: a write that fails when it is flushed is a failed write too.
  if (written && (fflush(file) != 0 || fsync(fileno(file)) != 0)) written = false;
  if (fclose(file) != 0) written = false;
  if (!written) {
    Boot_Record_Error("%s Write failed \r\n", path);
    return -1;
  }
  return 0;
}

int32_t Boot_VFSFilePathIntoLinuxFilePath(const char *vfsPath, char *linuxPath) {
  if (vfsPath == nullptr || linuxPath == nullptr) return -1;
  size_t prefix = strlen(kVfsPrefix);
  if (strncmp(vfsPath, kVfsPrefix, prefix) != 0) {
    Boot_Record_Info("VFSFilePath is not flash:/");
    return -1;
  }
  linuxPath[0] = '\0';
  Boot_StrCpy_Safe(linuxPath, kFlashDirPrefix, kPathSize);
  Boot_StrCat_Safe(linuxPath, vfsPath + prefix, kPathSize);
  // A refused append leaves only the directory: that is no package path.
  if (strlen(linuxPath) != strlen(kFlashDirPrefix) + strlen(vfsPath + prefix)) return -1;
  return 0;
}

}  // extern "C"
