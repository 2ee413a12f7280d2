// The flash address space that the library and the loader must agree on: where the flash
// emulation file lives, how long it is, and where each store sits in it.
#pragma once

#include <stdint.h>

namespace bsp::flash_map {

inline constexpr char kMiscDir[] = "/mnt/misc";
inline constexpr char kFlashFilePath[] = "/mnt/misc/flashfile";
inline constexpr uint32_t kFlashFileSize = 0x480000;

// Pieces file system: main area, then the spare area right behind it.
inline constexpr uint32_t kPiecesBase = 0x80000;
inline constexpr uint32_t kPiecesSize = 0x100000;  // both areas together

// Flash-dynamic file area.
inline constexpr uint32_t kFlashDynBase = 0x180000;
inline constexpr uint32_t kFlashDynSize = 0x200000;

static_assert(kPiecesBase + kPiecesSize <= kFlashDynBase);
static_assert(kFlashDynBase + kFlashDynSize <= kFlashFileSize);

}  // namespace bsp::flash_map
