// Arbitrary descriptor tables (raw bytes, or files laid out nearly right) as the flash-dynamic
// area at start-up, then a script of saves, loads, renames, formats and the building blocks:
// nothing may reach outside the caller's buffers or the flash emulation file's area. Every
// buffer is exactly as long as the length given with it. Runs on the sandboxed board only.
#include <bsp/fdy.h>
#include <bsp/flash.h>
#include <fcntl.h>
#include <npth.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "fuzz_input.h"
#include "storage/fdy_area.h"
#include "support/sandbox_guard.h"

namespace {

using bsp::fuzz::Input;
using bsp::fuzz::put_le32;

char kFlashFile[] = "/mnt/misc/fuzz-fdy-flashfile";
constexpr uint32_t kFileSize = 0x40000;
constexpr uint64_t kStart = 0x8000;
constexpr uint32_t kDataSize = 0x8000;  // a small data area keeps every move cheap
constexpr uint32_t kSize = 0x20000 + kDataSize;
constexpr uint32_t kData = kStart + 0x20000;


void put(uint64_t offset, const std::vector<uint8_t> &bytes) {
  int fd = open(kFlashFile, O_WRONLY);
  if (fd < 0 || pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes.size()))
    abort();
  close(fd);
}

// The magic (or not) and a table: raw entries, or entries laid back to back with small faults.
std::vector<uint8_t> table(Input &in) {
  const uint8_t flags = in.byte();
  std::vector<uint8_t> head(0x20000, (flags & 4) ? in.byte() : 0xFF);
  if (flags & 1) put_le32(head, 0, FDY_MAGIC_ONE), put_le32(head, 4, FDY_MAGIC_TWO);
  const uint32_t count = in.byte() % 48;
  uint32_t offset = kData;
  for (uint32_t k = 0; k < count && in.n > 0; ++k) {
    const size_t at = 8 + 24 * k;
    if (flags & 2) {
      for (int i = 0; i < 24; ++i) head[at + i] = in.byte();
      continue;
    }
    const uint8_t shape = in.byte();
    const uint32_t alloc = (shape & 0x80) ? in.u32() : 0x2000u * (1 + (shape & 3));
    const uint32_t len = (shape & 0x40) ? in.u32() : static_cast<uint32_t>(in.u16() % (uint64_t{alloc} + 1));
    const uint32_t at_offset = (shape & 0x20) ? in.u32() : offset;
    put_le32(head, at, (shape & 0x10) ? 0xFFFFFFFFu : shape % 8);
    put_le32(head, at + 4, at_offset);
    put_le32(head, at + 8, len);
    put_le32(head, at + 12, alloc);
    put_le32(head, at + 16, (shape & 0x08) && k + 1 == count ? 0xFFFFFFFFu : 0);
    put_le32(head, at + 20, 0);
    offset = at_offset + alloc;
  }
  return head;
}

uint64_t entry(Input &in) {
  const uint8_t b = in.byte();
  return b & 0x80 ? kStart + in.u32() % 0x20000 : kStart + 8 + 24ull * (b % 64);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!bsp::test::on_sandboxed_board()) {
    fprintf(stderr, "refusing to run: not inside bsp-sandbox\n");
    exit(1);
  }
  npth_init();
  mkdir("/mnt/misc", 0755);
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  FLASH_InitFlashDrv();
  unlink(kFlashFile);
  if (FLASH_CreateFlashFile(kFlashFile, kFileSize) != 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size};
  put(kStart, table(in));
  put(kData, std::vector<uint8_t>(kDataSize, in.byte()));
  // A new process each time as far as the area goes: the start-up check (and format) again.
  bsp::storage::fdy::g_ulFDYInitOK = 0;
  FDY_InitFlashDyna(kStart, kSize);

  for (int steps = 0; in.n > 0 && steps < 24; ++steps) {
    const uint8_t op = in.byte();
    const uint32_t id = in.byte() % 10;
    const uint32_t len = in.u16() % (kDataSize + 0x1000);
    std::vector<uint8_t> buf(len, 0xA5);
    FDY_FILE_DESCR_S d;
    memset(&d, 0, sizeof d);
    switch (op % 14) {
      case 0: FDY_SaveFileByFileId(id, buf.data(), len, in.byte() % 4); break;
      case 1: FDY_LoadFileByFileId(id, buf.data(), len); break;
      case 2: {
        const uint32_t offset = in.u32(), rdlen = in.u32();
        FDY_RandomLoadFileByFileId(id, offset, rdlen, buf.data(), len);
        break;
      }
      case 3: {
        unsigned got = 0;
        FDY_GetFileLengthByFileId(id, &got);
        break;
      }
      case 4: FDY_ChangeFileID(id, in.byte() % 10); break;
      case 5: FDY_ListFileInFlash(); break;
      case 6: FDY_CheckFlashDyna(); break;
      case 7: (in.byte() & 1) ? FDY_FormatFlashDyna() : FDY_FormatFlashDynaWithoutFpga(); break;
      case 8: FDY_FindDescByFileId(in.byte() & 1 ? 0xFFFFFFFFu : id); break;
      case 9: FDY_FindFreeDesc(&d); break;
      case 10:
        d.u32FileLen = len;
        FDY_AllocFileSpace(&d, in.byte() & 1 ? entry(in) : 0);
        break;
      case 11:
        d.u32FileLen = len;
        FDY_ZoomFileSpace(&d, entry(in));
        break;
      case 12: {
        const uint64_t first = entry(in), last = entry(in);
        FDY_MoveFileSpace(first, last, in.byte() & 1 ? in.u32() : kData + in.u16());
        break;
      }
      default: FDY_CalcAllocSize(in.u32(), in.u32()); break;
    }
  }
  return 0;
}
