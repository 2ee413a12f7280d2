#include "area_image.h"

#include <stdio.h>

#include "support/board_fs.h"

namespace fdy_test {

uint32_t le32(const std::string &b, size_t at) {
  auto u = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])); };
  return u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24;
}

void put_le32(std::string &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

Area decode(const std::string &flash, const Geometry &g) {
  Area a;
  if (flash.size() < g.start + kHead) return a;
  a.magic = le32(flash, g.start) == 0xAA559966u && le32(flash, g.start + 4) == 0x55AA6699u;
  for (uint32_t k = 0; k < kEntries; ++k) {
    const size_t at = g.entry(k);
    Entry e{le32(flash, at), le32(flash, at + 4), le32(flash, at + 8), le32(flash, at + 12), le32(flash, at + 16),
            le32(flash, at + 20)};
    if (e.status == kErased) break;
    a.files.push_back(e);
  }
  return a;
}

std::string layout_fault(const Area &a, const Geometry &g) {
  if (!a.magic) return "no magic";
  uint64_t expected = g.data();
  for (size_t k = 0; k < a.files.size(); ++k) {
    const Entry &e = a.files[k];
    const std::string at = "entry " + std::to_string(k + 1) + ": ";
    if (e.id == kErased) return at + "erased identifier";
    if (e.offset != expected) return at + "offset " + std::to_string(e.offset) + " expected " + std::to_string(expected);
    if (uint64_t{e.offset} + e.len > g.end()) return at + "content beyond the area";
    expected += e.alloc;
  }
  if (expected > g.end()) return "allocations beyond the area";
  return "";
}

std::string content(const std::string &flash, const Entry &e) {
  if (e.offset >= flash.size()) return std::string(e.len, '\0');  // a hole of a sparse file
  std::string c = flash.substr(e.offset, e.len);
  return c + std::string(e.len - c.size(), '\0');
}

std::string entry_bytes(const Entry &e) {
  std::string b(24, '\0');
  const uint32_t f[] = {e.id, e.offset, e.len, e.alloc, e.status, e.reserved};
  for (int i = 0; i < 6; ++i) put_le32(b, 4 * i, f[i]);
  return b;
}

std::string head_bytes(const std::vector<Entry> &entries, bool magic) {
  std::string h(kHead, '\xFF');
  if (magic) {
    put_le32(h, 0, 0xAA559966u);
    put_le32(h, 4, 0x55AA6699u);
  }
  for (size_t k = 0; k < entries.size(); ++k) h.replace(8 + 24 * k, 24, entry_bytes(entries[k]));
  return h;
}

std::string pattern(uint32_t seed, size_t len) {
  std::string s(len, '\0');
  uint32_t x = seed * 2654435761u + static_cast<uint32_t>(len) * 40503u + 1;
  for (size_t i = 0; i < len; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    s[i] = static_cast<char>(x >> 11);
  }
  return s;
}

uint64_t hash(const std::string &s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string flash() { return bsp::test::read_file(kFlashFile); }

void put_flash(uint64_t offset, const std::string &bytes) {
  FILE *f = fopen(kFlashFile, "r+b");
  if (f == nullptr) return;
  fseeko(f, static_cast<off_t>(offset), SEEK_SET);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

}  // namespace fdy_test
