// Where the boot parameter memory keeps its records, for the loader, the library and the host.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace bsp::bootmem {

inline constexpr const char *kPath = "/mnt/flash/.bootMem.dat";
inline constexpr size_t kFileSize = 0x100000;  // size the loader creates and maps
inline constexpr size_t kRecordSize = 16;

// The loader's records and its two counters inside them.
inline constexpr size_t kBootInfoOffset = 0x1000;
inline constexpr size_t kLoadFailCountOffset = kBootInfoOffset + 2;  // 16-bit
inline constexpr size_t kSearchLogOffset = 0x3000;
inline constexpr size_t kSearchIndexOffset = kSearchLogOffset + 4;  // 32-bit

// The reference host's place for the library's checksummed records: apart from the loader's,
// whose raw counters would otherwise break the library's checksums and vice versa.
inline constexpr size_t kHostBootInfoOffset = 0x2000;
inline constexpr size_t kHostSearchLogOffset = 0x4000;

static_assert(kHostBootInfoOffset + kRecordSize <= kSearchLogOffset);
static_assert(kHostBootInfoOffset >= kBootInfoOffset + kRecordSize);
static_assert(kHostSearchLogOffset >= kSearchLogOffset + kRecordSize);
static_assert(kHostSearchLogOffset + kRecordSize <= kFileSize);

}  // namespace bsp::bootmem
