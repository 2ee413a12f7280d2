// The running subarea, from the kernel command line.
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "loader/boot_rules.h"
#include "loader/file_io.h"
#include "loader/loader.h"

namespace bsp::loader {

bool names_subarea_a(const char *cmdline) {
  return memmem(cmdline, strnlen(cmdline, kCmdlineBytes), "/boot_A", 7) != nullptr;
}

}  // namespace bsp::loader

using bsp::UniqueFd;
using bsp::loader::kCmdlineBytes;

extern "C" int32_t Boot_GetCurrentSubareaPath(const char *path, char *buffer) {
  if (buffer == nullptr) return -1;
  UniqueFd fd = path != nullptr ? bsp::loader::open_read(path) : UniqueFd();
  if (!fd.valid()) {
    Boot_Record_Error("open Current config fail \r\n");
    return -1;
  }
  size_t got = 0;
  while (got < kCmdlineBytes) {
    ssize_t n = read(fd.get(), buffer + got, kCmdlineBytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < kCmdlineBytes) {
    Boot_Record_Error("Read Current config Failed!\r\n");
    return -1;
  }
  return 0;
}
