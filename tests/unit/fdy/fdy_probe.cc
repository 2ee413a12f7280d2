// A host process for the flash-dynamic area tests: runs the commands given as arguments.
//   init [START SIZE] | debug N | save ID LEN MODE | load ID | check | list | format | format6
//   rename ID NEW | freedesc | loop BASE COUNT LEN1 LEN2 | wait PATH | signal PATH
//   cut N | writes
// File contents are pattern(ID, LEN). Results are printed on lines beginning with "@@".
//
// `cut N` stands for a power cut: the process ends right after its Nth write to the flash
// emulation file from then on. Writes are counted by interposing npth_write, through which the
// library's flash front does every write and erase.
#include <bsp/diag.h>
#include <bsp/fdy.h>
#include <bsp/flash.h>
#include <dlfcn.h>
#include <npth.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "area_image.h"

namespace {

char kPath[] = "/mnt/misc/flashfile";
unsigned g_writes = 0;
unsigned g_cut_after = 0;  // 0: no cut

bool is_flash_file(int fd) {
  struct stat a, b;
  return fstat(fd, &a) == 0 && stat(kPath, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

unsigned long long number(const char *s) { return strtoull(s, nullptr, 0); }

uint32_t save(uint32_t id, uint32_t len, uint32_t mode) {
  std::string c = fdy_test::pattern(id, len);
  return FDY_SaveFileByFileId(id, c.data(), len, mode);
}

void load(uint32_t id) {
  unsigned len = 0;
  if (FDY_GetFileLengthByFileId(id, &len) != 0) {
    printf("@@load %u none\n", id);
    return;
  }
  std::string buf(len, '\0');
  uint32_t n = FDY_LoadFileByFileId(id, buf.data(), len);
  printf("@@load %u n=%u h=%016llx\n", id, n, static_cast<unsigned long long>(fdy_test::hash(buf.substr(0, n))));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ssize_t npth_write(int fd, const void *buf, size_t nbytes) {
  using Write = ssize_t (*)(int, const void *, size_t);
  static Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "npth_write"));
  ssize_t done = real(fd, buf, nbytes);
  if (is_flash_file(fd)) {
    ++g_writes;
    if (g_cut_after != 0 && g_writes >= g_cut_after) {
      fflush(stdout);
      _exit(86);
    }
  }
  return done;
}

int main(int argc, char **argv) {
  npth_init();
  setvbuf(stdout, nullptr, _IOLBF, 0);
  for (int i = 1; i < argc; ++i) {
    const std::string cmd = argv[i];
    auto arg = [&](int k) -> const char * { return i + k < argc ? argv[i + k] : "0"; };
    if (cmd == "init") {
      uint64_t start = fdy_test::kStart;
      uint32_t size = fdy_test::kSize;
      if (i + 2 < argc && argv[i + 1][0] == '0') {
        start = number(arg(1)), size = static_cast<uint32_t>(number(arg(2)));
        i += 2;
      }
      FLASH_InitFlashDrv();
      mkdir("/mnt/misc", 0755);
      FLASH_CreateFlashFile(kPath, fdy_test::kFlashSize);
      printf("@@init rc=%u\n", FDY_InitFlashDyna(start, size));
    } else if (cmd == "debug") {
      g_u32BspDebug = static_cast<uint32_t>(number(arg(1)));
      i += 1;
    } else if (cmd == "save") {
      printf("@@save %s rc=%u\n", arg(1), save(number(arg(1)), number(arg(2)), number(arg(3))));
      i += 3;
    } else if (cmd == "load") {
      load(number(arg(1)));
      i += 1;
    } else if (cmd == "check") {
      printf("@@check rc=%u\n", FDY_CheckFlashDyna());
    } else if (cmd == "list") {
      FDY_ListFileInFlash();
    } else if (cmd == "format") {
      printf("@@format rc=%u\n", FDY_FormatFlashDyna());
    } else if (cmd == "format6") {
      printf("@@format6 rc=%u\n", FDY_FormatFlashDynaWithoutFpga());
    } else if (cmd == "rename") {
      printf("@@rename rc=%u\n", FDY_ChangeFileID(number(arg(1)), number(arg(2))));
      i += 2;
    } else if (cmd == "freedesc") {
      FDY_FILE_DESCR_S d;
      printf("@@freedesc %llx\n", static_cast<unsigned long long>(FDY_FindFreeDesc(&d)));
    } else if (cmd == "loop") {
      // Creates COUNT files, then rewrites each with another length, which moves the others'.
      const uint32_t base = number(arg(1)), count = number(arg(2)), len1 = number(arg(3)), len2 = number(arg(4));
      unsigned failures = 0;
      for (uint32_t k = 0; k < count; ++k) failures += save(base + k, len1, 1) != 0;
      for (uint32_t k = 0; k < count; ++k) failures += save(base + k, len2, 0) != 0;
      printf("@@loop %u failures=%u\n", base, failures);
      i += 4;
    } else if (cmd == "wait") {
      while (access(arg(1), F_OK) != 0) usleep(2000);
      i += 1;
    } else if (cmd == "signal") {
      fclose(fopen(arg(1), "w"));
      i += 1;
    } else if (cmd == "cut") {
      g_writes = 0;
      g_cut_after = static_cast<unsigned>(number(arg(1)));
      i += 1;
    } else if (cmd == "writes") {
      printf("@@writes %u\n", g_writes);
    } else {
      fprintf(stderr, "unknown command %s\n", argv[i]);
      return 2;
    }
  }
  return 0;
}
