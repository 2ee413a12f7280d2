// The tests' own reading of a flash image, written from the format: the pieces areas with
// their header, descriptor table and contents, the load state word and the flash-dynamic area. It shares no code
// with the storage code or the tools it checks.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace image_test {

constexpr uint32_t kImageSize = 0x480000;
constexpr uint32_t kMain = 0x80000, kSpare = 0x100000, kAreaSize = 0x80000;
constexpr uint32_t kContent = 128 + 256 * 76;  // 19584

inline uint32_t le32(const std::string &b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
inline uint16_t le16(const std::string &b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
inline void put32(std::string &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// CRC-16, polynomial 0x1021, most significant bit first, starting from 0.
inline uint16_t crc16(const std::string &b, size_t from, size_t to) {
  uint16_t r = 0;
  for (size_t i = from; i < to; ++i) {
    r ^= static_cast<uint16_t>(static_cast<uint8_t>(b[i]) << 8);
    for (int k = 0; k < 8; ++k) r = (r & 0x8000) ? static_cast<uint16_t>((r << 1) ^ 0x1021) : static_cast<uint16_t>(r << 1);
  }
  return r;
}

struct Piece {
  std::string name;
  uint32_t size = 0, offset = 0;
  std::string content;
};

struct Area {
  bool stamped = false;
  uint16_t stored_crc = 0, computed_crc = 0;
  std::string version;
  uint32_t count = 0;
  std::vector<Piece> pieces;  // in table order, the descriptors in use
  bool crc_ok() const { return stamped && stored_crc == computed_crc; }
};

// One area of the image at flash offset at. Only a table that fits the area is followed.
inline Area decode_area(const std::string &image, uint32_t at) {
  Area a;
  std::string area = image.substr(at, kAreaSize);
  a.stamped = le32(area, 0) == 0x59A2D6CF;
  a.stored_crc = static_cast<uint16_t>(le32(area, 4));
  a.computed_crc = crc16(area, 16, kAreaSize);
  a.version = std::string(area.c_str() + 16, strnlen(area.c_str() + 16, 64));
  a.count = le32(area, 124);
  for (uint32_t i = 0; i < a.count && i < 256; ++i) {
    size_t d = 128 + 76 * i;
    if (le32(area, d + 72) != 0x722) continue;
    Piece p;
    p.name = std::string(area.c_str() + d, strnlen(area.c_str() + d, 64));
    p.size = le32(area, d + 64);
    p.offset = le32(area, d + 68);
    if (p.offset <= kAreaSize && p.size <= kAreaSize - p.offset) p.content = area.substr(p.offset, p.size);
    a.pieces.push_back(p);
  }
  return a;
}

// Stamps an area of a test image anew: valid flag, CRC over the bytes after the header.
inline void stamp_area(std::string &image, uint32_t at) {
  put32(image, at, 0x59A2D6CF);
  std::string area = image.substr(at, kAreaSize);
  put32(image, at + 4, crc16(area, 16, kAreaSize));
  put32(image, at + 8, kAreaSize);
}

// A field of the load state word's startup-file set at offset set (6 or 845).
struct StartupSet {
  uint8_t valid = 0;
  std::string package, config, license, patch, voice;
  uint8_t patch_state = 0;
};

inline std::string name_field(const std::string &w, size_t at) {
  return std::string(w.c_str() + at, strnlen(w.c_str() + at, 65));
}

inline StartupSet decode_set(const std::string &w, size_t at) {
  StartupSet s;
  s.valid = static_cast<uint8_t>(w[at]);
  s.package = name_field(w, at + 1);
  s.config = name_field(w, at + 66);
  s.license = name_field(w, at + 131);
  s.patch_state = static_cast<uint8_t>(w[at + 196]);
  s.patch = name_field(w, at + 197);
  s.voice = name_field(w, at + 262);
  return s;
}

// The flash-dynamic area: the magic, then 5461 descriptors of 24 bytes (identifier, flash
// offset, length, allocation, status, reserved), then the data area.
constexpr uint32_t kFdy = 0x180000, kFdySize = 0x200000, kFdyData = kFdy + 0x20000;
constexpr uint32_t kFdyMagicOne = 0xAA559966, kFdyMagicTwo = 0x55AA6699;

struct FdyFile {
  uint32_t id = 0, offset = 0, length = 0, allocation = 0;
  std::string content;  // what the descriptor points at, when it lies inside the data area
};

struct FdyArea {
  bool magic_ok = false;
  std::vector<FdyFile> files;  // the descriptors before the first erased one (status all ones)
};

inline FdyArea decode_fdy(const std::string &image) {
  FdyArea a;
  a.magic_ok = le32(image, kFdy) == kFdyMagicOne && le32(image, kFdy + 4) == kFdyMagicTwo;
  for (uint32_t k = 0; k < 5461; ++k) {
    const size_t d = kFdy + 8 + 24 * k;
    if (le32(image, d + 16) == 0xFFFFFFFF) break;
    FdyFile f;
    f.id = le32(image, d);
    f.offset = le32(image, d + 4);
    f.length = le32(image, d + 8);
    f.allocation = le32(image, d + 12);
    if (f.offset >= kFdyData && f.offset <= kFdy + kFdySize && f.length <= kFdy + kFdySize - f.offset) {
      f.content = image.substr(f.offset, f.length);
    }
    a.files.push_back(f);
  }
  return a;
}

}  // namespace image_test
