// bsp-image's check and listings over arbitrary pieces areas: a header and descriptor table
// from the input, stamped with a right CRC or not, as the main area, the spare area or both;
// and over an arbitrary flash-dynamic descriptor table, with or without its magic.
// The commands must answer without reaching outside the image and without changing it.
// Runs on the sandboxed board only (it writes /mnt/misc).
#include <bsp/crc.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli.h"
#include "fuzz_input.h"
#include "support/sandbox_guard.h"

namespace {

char kImage[] = "/mnt/misc/fuzz-image";
constexpr uint32_t kImageSize = 0x480000;
constexpr uint32_t kMain = 0x80000, kArea = 0x80000, kSpare = kMain + kArea;
constexpr uint32_t kFdy = 0x180000, kFdyHead = 0x20000;
FILE *g_null = nullptr;

void put(uint32_t offset, const std::vector<uint8_t> &bytes) { bsp::fuzz::write_at(kImage, offset, bytes); }

std::vector<uint8_t> whole() {
  std::vector<uint8_t> all(kImageSize);
  int fd = open(kImage, O_RDONLY);
  if (fd < 0 || pread(fd, all.data(), all.size(), 0) != static_cast<ssize_t>(all.size())) abort();
  close(fd);
  return all;
}

void command(std::vector<std::string> words) {
  std::vector<char *> argv{const_cast<char *>("bsp-image"), kImage};
  for (std::string &w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  bsp::image::run(static_cast<int>(argv.size() - 1), argv.data(), g_null, g_null);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!bsp::test::on_sandboxed_board()) {
    fprintf(stderr, "refusing to run: not inside bsp-sandbox\n");
    exit(1);
  }
  mkdir("/mnt/misc", 0755);
  BSP_CrcInit();
  g_null = fopen("/dev/null", "w");
  int fd = open(kImage, O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (g_null == nullptr || fd < 0 || ftruncate(fd, kImageSize) != 0) abort();
  close(fd);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  // The input after the mode byte is the area from its file system header on.
  std::vector<uint8_t> area(kArea, 0);
  memcpy(area.data() + 16, data + 1, size - 1 < kArea - 16 ? size - 1 : kArea - 16);
  if (mode & 4) bsp::fuzz::stamp_pieces_area(area);
  std::vector<uint8_t> other = area;
  other[kArea - 1 - (mode >> 3)] ^= 1;
  if (mode & 4) bsp::fuzz::stamp_pieces_area(other);
  const std::vector<uint8_t> zero(kArea, 0);
  switch (mode & 3) {
    case 0: put(kMain, area), put(kSpare, zero); break;
    case 1: put(kMain, area), put(kSpare, area); break;
    case 2: put(kMain, zero), put(kSpare, area); break;
    default: put(kMain, area), put(kSpare, other); break;
  }
  // The flash-dynamic head: formatted and empty, or the input as its table.
  std::vector<uint8_t> head(kFdyHead, 0xFF);
  if (mode & 0x40) memcpy(head.data() + 8, data + 1, size - 1 < kFdyHead - 8 ? size - 1 : kFdyHead - 8);
  if (!(mode & 0x40) || (mode & 0x20)) {
    bsp::fuzz::put_le32(head, 0, 0xAA559966);
    bsp::fuzz::put_le32(head, 4, 0x55AA6699);
  }
  put(kFdy, head);
  const std::vector<uint8_t> before = whole();
  // The JSON forms walk what the text forms do; each command reads and judges both areas.
  command({"check", "--json"});
  command({(mode & 0x80) ? "state" : "pieces", "--json"});
  if (mode & 0x40) {
    command({"fdy", "ls", "--json"});
    const uint32_t first_id = static_cast<uint32_t>(head[8] | head[9] << 8 | head[10] << 16) | uint32_t{head[11]} << 24;
    command({"fdy", "get", std::to_string(first_id)});
  }
  if (whole() != before) abort();  // a read command changed the image
  return 0;
}
