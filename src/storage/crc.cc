// The 16-bit CRC (polynomial 0x1021, top bit first) and the 32-bit checksum of the records.
#include <bsp/crc.h>

#include <stdint.h>

extern "C" {
BSP_API unsigned short crc_tab[256] = {};
BSP_API unsigned int crc32_tab[256] = {};
}

namespace {

constexpr uint16_t kPoly16 = 0x1021;
constexpr uint32_t kPoly32 = 0x04C11DB7;

// The low `width` bits of value in reverse order.
uint32_t reflect(uint32_t value, unsigned width) {
  uint32_t out = 0;
  for (unsigned bit = 0; bit < width; ++bit) {
    if (value & (1u << bit)) out |= 1u << (width - 1 - bit);
  }
  return out;
}

}  // namespace

extern "C" {

BSP_API void init_crc_tabl(void) {
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t r = static_cast<uint16_t>(i << 8);
    for (int k = 0; k < 8; ++k) {
      r = (r & 0x8000u) ? static_cast<uint16_t>((r << 1) ^ kPoly16) : static_cast<uint16_t>(r << 1);
    }
    crc_tab[i] = r;
  }
}

BSP_API void init_crc32_tabl(void) {
  for (unsigned i = 0; i < 256; ++i) {
    uint32_t r = reflect(i, 8) << 24;
    for (int k = 0; k < 8; ++k) {
      r = (r & 0x80000000u) ? (r << 1) ^ kPoly32 : r << 1;
    }
    crc32_tab[i] = reflect(r, 32);
  }
}

BSP_API void BSP_CrcInit(void) {
  init_crc_tabl();
  init_crc32_tabl();
}

BSP_API void make_crc_checksume(unsigned char *buffer, unsigned long length, unsigned short *checksum) {
  if (length == 0) return;
  uint16_t r = *checksum;
  for (unsigned long i = 0; i < length; ++i) {
    r = static_cast<uint16_t>((r << 8) ^ crc_tab[((r >> 8) ^ buffer[i]) & 0xFFu]);
  }
  *checksum = r;
}

BSP_API unsigned short BSP_Crc16Cal(void *pData, unsigned long ulLen) {
  unsigned short crc = 0;
  make_crc_checksume(static_cast<unsigned char *>(pData), ulLen, &crc);
  return crc;
}

BSP_API unsigned short BSP_Crc16CalPlus(void *pData, unsigned long ulLen, unsigned short u16CrcValue) {
  make_crc_checksume(static_cast<unsigned char *>(pData), ulLen, &u16CrcValue);
  return u16CrcValue;
}

BSP_API unsigned int BSP_Crc32Cal(void *pData, unsigned int ulLen) {
  if (pData == nullptr) return 0;
  const auto *bytes = static_cast<const unsigned char *>(pData);
  uint32_t r = 0;
  for (unsigned int i = 0; i < ulLen; ++i) r = crc32_tab[r >> 24] ^ ((r << 8) | bytes[i]);
  return r;
}

}  // extern "C"
