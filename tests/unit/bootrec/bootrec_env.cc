#include "bootrec_env.h"

#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

namespace bootrec_test {

void start_storage() {
  static bool started = false;
  if (started) return;
  started = true;
  BSP_CrcInit();
  FLASH_InitFlashDrv();
  mkdir("/mnt/misc", 0755);
  mkdir("/mnt/flash", 0755);
  FLASH_CreateFlashFile(const_cast<char *>("/mnt/misc/flashfile"), 0x480000);
  BSP_VfsPiecesConfig(0x80000, 0x100000);
  BSP_VfsPiecesInit();
}

uint16_t crc16(const void *data, size_t len) {
  auto *p = static_cast<const uint8_t *>(data);
  uint16_t r = 0;
  for (size_t i = 0; i < len; ++i) {
    r ^= static_cast<uint16_t>(p[i] << 8);
    for (int bit = 0; bit < 8; ++bit) r = static_cast<uint16_t>((r & 0x8000) ? (r << 1) ^ 0x1021 : r << 1);
  }
  return r;
}

std::vector<uint8_t> bytes_of(const LOAD_STATE_WORD_S &w) {
  auto *p = reinterpret_cast<const uint8_t *>(&w);
  return std::vector<uint8_t>(p, p + sizeof w);
}

std::string hex(const std::vector<uint8_t> &bytes) {
  std::string out;
  char b[3];
  for (uint8_t v : bytes) {
    snprintf(b, sizeof b, "%02x", v);
    out += b;
  }
  return out;
}

std::vector<uint8_t> unhex(const std::string &text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  return out;
}

std::vector<uint8_t> default_record_bytes() {
  std::vector<uint8_t> r(2263, 0);
  r[0] = 0x21, r[1] = 0x43, r[2] = 0x34, r[3] = 0x12;
  r[6] = 1;  // stLoadStateWordCur.ucPktValidFlag
  memcpy(&r[7], "flash:/zq.cc", 12);
  uint16_t crc = crc16(&r[6], 2257);
  r[4] = static_cast<uint8_t>(crc), r[5] = static_cast<uint8_t>(crc >> 8);
  return r;
}

std::vector<uint8_t> stored_record() {
  std::vector<uint8_t> r(2263);
  unsigned long got = 0;
  if (BSP_VfsPiecesFileRead(const_cast<char *>(kPieceName), 0, r.data(), r.size(), &got) != 0) r.clear();
  return r;
}

void store_raw(const std::vector<uint8_t> &bytes) {
  std::vector<uint8_t> copy = bytes;
  unsigned long written = 0;
  BSP_VfsPiecesFileWrite(const_cast<char *>(kPieceName), 0, copy.data(), copy.size(), &written);
}

void forget_record() { BSP_VfsPiecesFileDelete(const_cast<char *>(kPieceName), 1); }

}  // namespace bootrec_test
