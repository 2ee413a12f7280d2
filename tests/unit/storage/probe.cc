// A storage process for the restart, power-loss and multi-process tests: it starts the storage
// layers as a root does (unless told not to) and runs the commands given as arguments.
//   init | write NAME TEXT | read NAME LEN | delete NAME FLAG | dump | loop PREFIX COUNT
//   wait PATH | signal PATH | front-before-init | pieces-before-init
//   create | mark OFFSET TEXT
// Results are printed on lines beginning with "@@".
#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#ifdef STORAGE_TEST_LOADER
#include "storage/flavor.h"
namespace bsp::storage::flavor {
void loader_log(LogKind, const char *format, va_list args) { vfprintf(stderr, format, args); }
}  // namespace bsp::storage::flavor
#else
#include <npth.h>
#endif

namespace {

const char kFlashFile[] = "/mnt/misc/flashfile";

std::string hex(const unsigned char *p, size_t n) {
  std::string s;
  char b[3];
  for (size_t i = 0; i < n; ++i) {
    snprintf(b, sizeof b, "%02x", p[i]);
    s += b;
  }
  return s;
}

uint32_t le32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

void init() {
  BSP_CrcInit();
  FLASH_InitFlashDrv();
  mkdir("/mnt/misc", 0755);
  FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), 0x480000);
  BSP_VfsPiecesConfig(0x80000, 0x100000);
  printf("@@init rc=%x\n", BSP_VfsPiecesInit());
}

uint32_t write_piece(const char *name, const std::string &text) {
  unsigned long act = 0;
  return BSP_VfsPiecesFileWrite(const_cast<char *>(name), 0,
                                reinterpret_cast<unsigned char *>(const_cast<char *>(text.data())), text.size(), &act);
}

// Every file of the RAM image with its whole content, from the file system's own reads.
void dump() {
  unsigned char head[112];
  if (BSP_VfsPiecesRead(head, 16, sizeof head) != 0) {
    printf("@@dump unavailable\n");
    return;
  }
  uint32_t count = le32(head + 108);
  printf("@@count %u\n", count);
  for (uint32_t i = 0; i < count && i < 256; ++i) {
    unsigned char des[76];
    BSP_VfsPiecesRead(des, 128 + 76 * i, sizeof des);
    char name[64];
    memcpy(name, des, 63);
    name[63] = '\0';
    uint32_t size = le32(des + 64);
    std::string content(size, '\0');
    unsigned long act = 0;
    uint32_t rc = BSP_VfsPiecesFileRead(name, 0, reinterpret_cast<unsigned char *>(content.data()), size, &act);
    printf("@@piece %s %u rc=%x %s\n", name, size, rc, hex(reinterpret_cast<unsigned char *>(content.data()), size).c_str());
  }
}

void wait_for(const char *path) {
  while (access(path, F_OK) != 0) usleep(2000);
}

}  // namespace

int main(int argc, char **argv) {
#ifndef STORAGE_TEST_LOADER
  npth_init();
#endif
  setvbuf(stdout, nullptr, _IOLBF, 0);
  for (int i = 1; i < argc; ++i) {
    std::string cmd = argv[i];
    auto arg = [&](int k) -> const char * { return i + k < argc ? argv[i + k] : ""; };
    if (cmd == "init") {
      init();
    } else if (cmd == "write") {
      printf("@@write %s rc=%x\n", arg(1), write_piece(arg(1), arg(2)));
      i += 2;
    } else if (cmd == "read") {
      unsigned long len = strtoul(arg(2), nullptr, 0), act = 0;
      std::string buf(len, '\0');
      uint32_t rc = BSP_VfsPiecesFileRead(const_cast<char *>(arg(1)), 0, reinterpret_cast<unsigned char *>(buf.data()),
                                          len, &act);
      printf("@@read %s rc=%x %s\n", arg(1), rc, rc == 0 ? buf.c_str() : "");
      i += 2;
    } else if (cmd == "delete") {
      printf("@@delete %s rc=%x\n", arg(1),
             BSP_VfsPiecesFileDelete(const_cast<char *>(arg(1)), strtoul(arg(2), nullptr, 0)));
      i += 2;
    } else if (cmd == "dump") {
      dump();
    } else if (cmd == "loop") {
      unsigned long n = strtoul(arg(2), nullptr, 0);
      uint32_t failures = 0;
      for (unsigned long k = 0; k < n; ++k) {
        std::string name = std::string(arg(1)) + std::to_string(k);
        if (write_piece(name.c_str(), name + "-payload") != 0) ++failures;
      }
      printf("@@loop %s failures=%u\n", arg(1), failures);
      i += 2;
    } else if (cmd == "wait") {
      wait_for(arg(1));
      i += 1;
    } else if (cmd == "signal") {
      fclose(fopen(arg(1), "w"));
      i += 1;
    } else if (cmd == "create") {
      FLASH_InitFlashDrv();
      printf("@@create rc=%x\n", FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), 0x480000));
    } else if (cmd == "mark") {
      const std::string text = arg(2);
      printf("@@mark rc=%x\n", FLASH_WriteFlash(strtoul(arg(1), nullptr, 0), text.data(), text.size()));
      i += 2;
    } else if (cmd == "front-before-init") {
      char buf[4];
      printf("@@front read=%x write=%x\n", FLASH_ReadFlash(0, buf, 4), FLASH_WriteFlash(0, "abcd", 4));
    } else if (cmd == "pieces-before-init") {
      unsigned long act = 0;
      unsigned char buf[4] = {};
      printf("@@pieces write=%x read=%x delete=%x raw=%x init=%x mem=%u\n",
             BSP_VfsPiecesFileWrite(const_cast<char *>("x"), 0, buf, 4, &act),
             BSP_VfsPiecesFileRead(const_cast<char *>("x"), 0, buf, 4, &act),
             BSP_VfsPiecesFileDelete(const_cast<char *>("x"), 1), BSP_VfsPiecesRead(buf, 16, 4),
             BSP_VfsPiecesFileInit(0), BSP_VfsPiecesFileDebugMem());
    } else {
      fprintf(stderr, "unknown command %s\n", argv[i]);
      return 2;
    }
  }
  return 0;
}
