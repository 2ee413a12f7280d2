// Arbitrary area bytes (with a right CRC, or not) as the pieces areas at start-up, then a
// script of file operations, restarts and raw image copies: nothing may reach outside the
// image or the caller's buffers. Runs on the sandboxed board only (it writes /mnt/misc).
#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz_input.h"
#include "storage/flavor.h"
#include "support/sandbox_guard.h"

namespace bsp::storage::flavor {
void loader_log(LogKind, const char *, va_list) {}
}  // namespace bsp::storage::flavor

namespace {

using bsp::fuzz::Input;
using bsp::fuzz::stamp_pieces_area;

char kFlashFile[] = "/mnt/misc/fuzz-flashfile";
constexpr uint32_t kFileSize = 0x10000;
constexpr uint32_t kArea = 0x6000;  // small areas keep each commit cheap
constexpr uint32_t kMain = 0x1000, kSpare = kMain + kArea;

const char *const kNames[] = {"p0", "p1", "p2", "statemach.efs",
                              "n23456789012345678901234567890123456789012345678901234567890123",
                              "n234567890123456789012345678901234567890123456789012345678901234"};

void put(uint32_t offset, const std::vector<uint8_t> &bytes) { bsp::fuzz::write_at(kFlashFile, offset, bytes); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!bsp::test::on_sandboxed_board()) {
    fprintf(stderr, "refusing to run: not inside bsp-sandbox\n");
    exit(1);
  }
  mkdir("/mnt/misc", 0755);
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  BSP_CrcInit();
  FLASH_InitFlashDrv();
  unlink(kFlashFile);
  if (FLASH_CreateFlashFile(kFlashFile, kFileSize) != 0) abort();
  BSP_VfsPiecesConfig(kMain, 2 * kArea);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size};
  const uint8_t mode = in.byte();
  const size_t given = in.u16();
  std::vector<uint8_t> area(kArea, 0);
  for (size_t i = 0; i < given && in.n > 0 && i < kArea; ++i) area[i] = in.byte();
  if (mode & 4) stamp_pieces_area(area);
  std::vector<uint8_t> zero(kArea, 0);
  switch (mode & 3) {
    case 0: put(kMain, area), put(kSpare, zero); break;
    case 1: put(kMain, area), put(kSpare, area); break;
    case 2: put(kMain, zero), put(kSpare, area); break;
    default: {
      std::vector<uint8_t> other = area;
      if (!other.empty()) other[(mode >> 3) % kArea] ^= 1;
      if (mode & 4) stamp_pieces_area(other);
      put(kMain, area), put(kSpare, other);
    }
  }
  BSP_VfsPiecesInit();

  std::vector<uint8_t> buf(2 * kArea + 64, 0xA5);
  unsigned long act = 0;
  for (int steps = 0; in.n > 0 && steps < 64; ++steps) {
    const uint8_t op = in.byte();
    char *name = const_cast<char *>(kNames[in.byte() % 6]);
    const uint32_t offset = in.u16(), len = in.u16() % (kArea + 64);
    switch (op % 10) {
      case 0: BSP_VfsPiecesFileWrite(name, offset % 0x2000, buf.data(), len % 512, &act); break;
      case 1: BSP_VfsPiecesFileRead(name, offset % 0x2000, buf.data(), len, &act); break;
      case 2: BSP_VfsPiecesFileDelete(name, offset & 1); break;
      case 3: BSP_VfsPiecesFileDelete_Unlock(name, offset & 1); break;
      case 4: BSP_VfsPiecesRead(buf.data(), offset, len); break;
      case 5:
        for (uint32_t i = 0; i < 64 && in.n > 0; ++i) buf[i] = in.byte();
        BSP_VfsPiecesMemWrite(offset, buf.data(), len);
        break;
      case 6: BSP_VfsPiecesFileInit(offset % 3); break;
      case 7: BSP_VfsPiecesFileDebugMem(); break;
      case 8: BSP_VfsPiecesInit(); break;
      default: BSP_VfsPiecesFileWrite(name, 0xFFFFFF00u + (offset & 0xFF), buf.data(), len, &act); break;
    }
  }
  return 0;
}
