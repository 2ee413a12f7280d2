// The flash-dynamic area read straight from the flash emulation file's bytes, with this test
// suite's own decoder and encoder (nothing of the library's), and the file contents it uses.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace fdy_test {

inline constexpr const char *kFlashFile = "/mnt/misc/flashfile";
inline constexpr uint32_t kFlashSize = 0x480000;
inline constexpr uint64_t kStart = 0x180000;
inline constexpr uint32_t kSize = 0x200000;
inline constexpr uint32_t kHead = 0x20000;  // magic and 5461 entries of 24 bytes
inline constexpr uint32_t kEntries = 5461;
inline constexpr uint32_t kErased = 0xFFFFFFFFu;

struct Entry {
  uint32_t id = 0, offset = 0, len = 0, alloc = 0, status = 0, reserved = 0;
  bool operator==(const Entry &) const = default;
};

struct Area {
  bool magic = false;
  std::vector<Entry> files;  // the entries before the first erased one
};

struct Geometry {
  uint64_t start = kStart;
  uint32_t size = kSize;
  uint64_t data() const { return start + kHead; }
  uint64_t end() const { return start + size; }
  uint64_t entry(uint32_t k) const { return start + 8 + 24ull * k; }
};

Area decode(const std::string &flash, const Geometry &g = {});
// Empty when the area keeps the layout rules (magic; files back to back from the data start,
// inside the area, none with the erased identifier); else what breaks them.
std::string layout_fault(const Area &a, const Geometry &g = {});
std::string content(const std::string &flash, const Entry &e);

std::string entry_bytes(const Entry &e);
// The magic (or not) and the given entries, the rest of the table erased.
std::string head_bytes(const std::vector<Entry> &entries, bool magic = true);
uint32_t le32(const std::string &b, size_t at);
void put_le32(std::string &b, size_t at, uint32_t v);

// File contents: a different text for every seed and length.
std::string pattern(uint32_t seed, size_t len);
uint64_t hash(const std::string &s);

// The flash emulation file and bytes within it.
std::string flash();
void put_flash(uint64_t offset, const std::string &bytes);

}  // namespace fdy_test
