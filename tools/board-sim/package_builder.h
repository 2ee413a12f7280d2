// Builds startup packages (.cc files) as the loader reads them: an opaque lead-in, the package
// head with the subfile count, the subfile heads, then each subfile's data ending with its
// 68-byte EFS block. Used by the board simulator, the tests, the fuzz target and the benches.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "loader/package.h"

namespace bsp::pkg {

// The layout is the loader's own (src/loader/package.h), written here instead of read.
inline constexpr uint32_t kHeadOffset = static_cast<uint32_t>(loader::kPackageHeadOffset);
inline constexpr uint32_t kHeadSize = loader::kPackageHeadSize;
inline constexpr uint32_t kCountField = loader::kSubfileCountField;
inline constexpr uint32_t kSubHeadsOffset = static_cast<uint32_t>(loader::kSubfileHeadsOffset);
inline constexpr uint32_t kSubHeadSize = loader::kSubfileHeadSize;
inline constexpr uint32_t kNameSize = loader::kSubfileNameSize;
inline constexpr uint32_t kLengthField = loader::kSubfileLengthField;
inline constexpr uint32_t kOffsetField = loader::kSubfileOffsetField;
inline constexpr uint32_t kEfsSize = loader::kEfsSize;
inline constexpr uint32_t kCodeCrcField = loader::kEfsCodeCrcField;

struct Subfile {
  std::string name;
  std::string image;    // what a boot subarea receives (the EFS block is appended)
  uint16_t code_crc = 0;
};

// The 68-byte EFS block of an image with the given code CRC.
std::string efs_block(uint16_t code_crc, const std::string &tag = "");

// A code CRC derived from the image bytes (equal images, equal CRC).
uint16_t content_crc(const std::string &image);

// The whole package in memory. Subfile data is aligned to 4096 bytes in the file, so a loop
// device can start at any of them.
std::string build(const std::vector<Subfile> &subfiles);

// Writes a package to a file, streaming each image from its source file; returns false on
// an I/O error. Images come as (name, source path, code CRC).
struct FileSubfile {
  std::string name;
  std::string path;
  uint16_t code_crc = 0;
};
bool write_from_files(const std::string &out, const std::vector<FileSubfile> &subfiles);

void put_le32(std::string &bytes, size_t at, uint32_t value);
void put_le16(std::string &bytes, size_t at, uint16_t value);

}  // namespace bsp::pkg
