// What the fuzz targets share: reading their input as little-endian numbers (0 once it is
// used up), and laying bytes into a flash emulation file, pieces areas stamped as good.
#pragma once

#include <bsp/crc.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

namespace bsp::fuzz {

struct Input {
  const uint8_t *p;
  size_t n;
  uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint32_t u16() { return byte() | byte() << 8; }
  uint32_t u32() { return u16() | u16() << 16; }
};

inline void put_le32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The header a start-up takes as good: magic, CRC of everything after the 16-byte header, size.
inline void stamp_pieces_area(std::vector<uint8_t> &area) {
  put_le32(area, 0, 0x59A2D6CF);
  put_le32(area, 4, BSP_Crc16Cal(area.data() + 16, area.size() - 16));
  put_le32(area, 8, static_cast<uint32_t>(area.size()));
}

inline void write_at(const char *path, uint32_t offset, const std::vector<uint8_t> &bytes) {
  int fd = open(path, O_WRONLY);
  if (fd < 0 || pwrite(fd, bytes.data(), bytes.size(), offset) != static_cast<ssize_t>(bytes.size())) abort();
  close(fd);
}

}  // namespace bsp::fuzz
