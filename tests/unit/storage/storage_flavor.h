// What a storage test expects from the build it links: the library (libbsp.so) or the
// loader's build of the same sources (STORAGE_TEST_LOADER).
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

namespace storage_test {

#ifdef STORAGE_TEST_LOADER
inline constexpr bool kLoader = true;
#else
inline constexpr bool kLoader = false;
#endif

// The result this build gives for a failure with the given code.
inline uint32_t code(uint32_t library_code) { return kLoader ? 0xFFFFFFFFu : library_code; }
inline constexpr uint32_t kFail = kLoader ? 0xFFFFFFFFu : 1u;

struct Output {
  std::string out;  // standard output
  std::string log;  // boot log records (loader build only)
  // Where operator messages of the flash front and traces go in this build.
  const std::string &messages() const { return kLoader ? log : out; }
  std::string all() const { return out + log; }
};

// An operator message as this build records it (the loader adds the boot log record prefix).
inline std::string message(const std::string &text) { return kLoader ? "\r\n Info :" + text : text; }

Output capture(const std::function<void()> &fn);

// Turns the board debug switch on or off (the loader build traces regardless).
void set_debug(bool on);

// The flash emulation file at its fixed place, created afresh, and the pieces file system
// started on it (as a root does). The path lives for the whole process.
inline constexpr const char *kFlashFile = "/mnt/misc/flashfile";
inline constexpr uint32_t kFlashSize = 0x480000;
inline constexpr uint32_t kMain = 0x80000;
inline constexpr uint32_t kSpare = 0x100000;
inline constexpr uint32_t kArea = 0x80000;

void fresh_board();
// Runs the storage start-up on the current flash file (a restart of the RAM image).
Output start_storage();

std::string flash_bytes(uint32_t offset, uint32_t len);
void put_flash_bytes(uint32_t offset, const std::string &bytes);

uint32_t le32(const std::string &bytes, size_t at);
void put_le32(std::string &bytes, size_t at, uint32_t value);
// Stamps an area image as a commit would (valid flag, CRC-16 over bytes 16.., size).
void stamp(std::string &area);

}  // namespace storage_test
