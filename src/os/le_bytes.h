// Little-endian fields of on-flash and on-disk records, at any alignment, so the 32-bit and
// the 64-bit builds read and write the same bytes.
#pragma once

#include <stdint.h>

namespace bsp {

inline uint16_t load_le16(const void *p) {
  auto *b = static_cast<const uint8_t *>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline uint32_t load_le32(const void *p) {
  auto *b = static_cast<const uint8_t *>(p);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
         (static_cast<uint32_t>(b[3]) << 24);
}
inline void store_le16(void *p, uint16_t v) {
  auto *b = static_cast<uint8_t *>(p);
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
}
inline void store_le32(void *p, uint32_t v) {
  auto *b = static_cast<uint8_t *>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace bsp
