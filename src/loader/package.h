// Layout of the startup package and of the EFS block, as the loader reads them.
#pragma once

#include <stdint.h>

#include "loader/file_io.h"

namespace bsp::loader {

inline constexpr uint64_t kPackageHeadOffset = 384;
inline constexpr uint32_t kPackageHeadSize = 252;
inline constexpr uint32_t kSubfileCountField = 215;  // inside the package head
inline constexpr uint64_t kSubfileHeadsOffset = kPackageHeadOffset + kPackageHeadSize;  // 636
inline constexpr uint32_t kSubfileHeadSize = 132;
inline constexpr uint32_t kSubfileNameSize = 114;
inline constexpr uint32_t kSubfileLengthField = 114;
inline constexpr uint32_t kSubfileOffsetField = 119;

inline constexpr uint32_t kEfsSize = 68;
inline constexpr uint32_t kEfsCodeCrcField = 64;

static_assert(kSubfileHeadsOffset == 636);
static_assert(kSubfileNameSize <= kSubfileLengthField && kSubfileLengthField + 4 <= kSubfileOffsetField &&
              kSubfileOffsetField + 4 <= kSubfileHeadSize);
static_assert(kEfsCodeCrcField + 2 <= kEfsSize);

inline uint16_t efs_code_crc(const uint8_t *efs) { return load_le16(efs + kEfsCodeCrcField); }

}  // namespace bsp::loader
