#include "storage_flavor.h"

#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <stdarg.h>
#include <stdio.h>

#include "support/board_fs.h"
#include "support/capture.h"

#ifdef STORAGE_TEST_LOADER
#include "storage/flavor.h"
#else
#include <bsp/diag.h>
#endif

namespace storage_test {
namespace {
std::string g_log;
}

#ifdef STORAGE_TEST_LOADER
void set_debug(bool) {}
#else
void set_debug(bool on) { g_u32BspDebug = on ? 1 : 0; }
#endif

Output capture(const std::function<void()> &fn) {
  Output o;
  g_log.clear();
  o.out = bsp::test::capture_stdout(fn);
  o.log = g_log;
  return o;
}

void fresh_board() {
  bsp::test::reset_board();
  bsp::test::sh("mkdir -p /mnt/misc /mnt/flash");
}

Output start_storage() {
  return capture([] {
    BSP_CrcInit();
    FLASH_InitFlashDrv();
    FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), kFlashSize);
    BSP_VfsPiecesConfig(kMain, 2 * kArea);
    BSP_VfsPiecesInit();
  });
}

std::string flash_bytes(uint32_t offset, uint32_t len) {
  std::string all = bsp::test::read_file(kFlashFile);
  if (offset >= all.size()) return {};
  return all.substr(offset, len);
}

void put_flash_bytes(uint32_t offset, const std::string &bytes) {
  if (!bsp::test::file_exists(kFlashFile)) bsp::test::write_file(kFlashFile, std::string(kFlashSize, '\0'));
  FILE *f = fopen(kFlashFile, "r+b");
  if (f == nullptr) return;
  fseek(f, offset, SEEK_SET);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

uint32_t le32(const std::string &b, size_t at) {
  auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])); };
  return u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24;
}

void put_le32(std::string &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

void stamp(std::string &area) {
  BSP_CrcInit();
  uint16_t crc = BSP_Crc16Cal(area.data() + 16, area.size() - 16);
  put_le32(area, 0, 0x59A2D6CF);
  put_le32(area, 4, crc);
  put_le32(area, 8, static_cast<uint32_t>(area.size()));
}

}  // namespace storage_test

#ifdef STORAGE_TEST_LOADER
// The boot log sink the bootloader provides; here it keeps the records for the tests.
namespace bsp::storage::flavor {
void loader_log(LogKind kind, const char *format, va_list args) {
  char text[256];
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(text, sizeof text, format, copy);
  va_end(copy);
  if (n < 0 || static_cast<size_t>(n) >= sizeof text) text[0] = '\0';
  storage_test::g_log += (kind == LogKind::Error ? "\r\n Error :" : "\r\n Info :");
  storage_test::g_log += text;
  if (kind == LogKind::Error) fputs(text, stdout);
}
}  // namespace bsp::storage::flavor
#endif
