// Shared pieces of the boot record tests, for both builds (BOOTREC_LOADER_FLAVOR selects).
#pragma once

#include <bsp/loadstate.h>
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace bootrec_test {

#ifdef BOOTREC_LOADER_FLAVOR
inline constexpr uint32_t kFail = 0xFFFFFFFFu;
#else
inline constexpr uint32_t kFail = 1u;
#endif

inline constexpr char kPieceName[] = "statemach.efs";
inline constexpr char kBootMemPath[] = "/mnt/flash/.bootMem.dat";

// Brings up checksums, the flash emulation file and the pieces file system as a start-up does.
void start_storage();

// CRC-16 (polynomial 0x1021, start 0, no reflection), computed bit by bit, independently.
uint16_t crc16(const void *data, size_t len);

std::vector<uint8_t> bytes_of(const LOAD_STATE_WORD_S &w);
std::string hex(const std::vector<uint8_t> &bytes);
std::vector<uint8_t> unhex(const std::string &text);

// The default record, built byte by byte from the documented layout.
std::vector<uint8_t> default_record_bytes();

// The stored "statemach.efs" (2263 bytes), or empty when it cannot be read.
std::vector<uint8_t> stored_record();
// Stores raw bytes as "statemach.efs", bypassing the record operations.
void store_raw(const std::vector<uint8_t> &bytes);
// Removes "statemach.efs" (committed).
void forget_record();

}  // namespace bootrec_test
