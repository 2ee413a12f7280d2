// Fuzzes the bounded memory and string functions with arbitrary sizes, counts, contents and
// overlapping placements inside one exactly sized allocation (the sanitizer catches any byte
// touched outside it), and checks each result against what it promises about the destination.
#include <bsp/boundc.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_input.h"

#include <vector>

namespace {

using bsp::fuzz::Input;

bool all_zero(const unsigned char *p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

void check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size};
  const unsigned op = in.byte() % 9;
  const size_t area = 1 + in.byte() % 160;
  std::vector<unsigned char> storage(area);
  unsigned char *buf = storage.data();
  for (size_t i = 0; i < area; ++i) buf[i] = in.byte() % 4 == 0 ? 0 : in.byte();
  buf[area - 1] = 0;  // every string placed here ends inside the area

  const size_t dest_at = in.byte() % area;
  const size_t room = area - dest_at;
  size_t destMax = in.byte() % (room + 1);  // 0 .. the bytes left after dest
  const size_t src_at = in.byte() % area;
  size_t count = in.byte() % (area + 8);
  const uint8_t special = in.byte();
  if (special % 16 == 0) count = 0x80000000u;
  if (special % 16 == 1) destMax = 0x80000000u;  // refused before anything is touched
  unsigned char *dest = buf + dest_at;
  const unsigned char *src = buf + src_at;
  if (special % 16 == 2) src = nullptr;
  // Sources are never read past the area; a refused count or size reads nothing at all.
  const bool src_fits = src == nullptr || src_at + count <= area || count > destMax || destMax > 0x7FFFFFFFu;

  std::vector<unsigned char> before(buf, buf + area);
  errno_t r = 0;
  switch (op) {
    case 0:
    case 1:
    case 2: {
      if (!src_fits) return 0;
      auto fn = op == 0 ? memcpy_s : op == 1 ? memcpy_sOptAsm : memmove_s;
      r = fn(dest, destMax, src, count);
      if (r == 0 && src != nullptr && count > 0)
        check(memcmp(dest, before.data() + src_at, count) == 0);
      if (r == BOUND_INVALID_CLEARED || r == BOUND_RANGE_CLEARED || r == BOUND_OVERLAP_CLEARED)
        check(all_zero(dest, destMax));
      if (r == ERANGE || r == EINVAL) check(memcmp(before.data(), buf, area) == 0);
      break;
    }
    case 3: {
      int c = special;
      r = (special & 1) ? memset_s(dest, destMax, c, count) : memset_sOptAsm(dest, destMax, c, count);
      if (r == 0) {
        for (size_t i = 0; i < count; ++i) check(dest[i] == static_cast<unsigned char>(c));
      } else if (r == BOUND_RANGE_CLEARED) {
        for (size_t i = 0; i < destMax; ++i) check(dest[i] == static_cast<unsigned char>(c));
      }
      break;
    }
    case 4:
    case 5: {
      const char *s = reinterpret_cast<const char *>(src);
      char *d = reinterpret_cast<char *>(dest);
      r = op == 4 ? strcpy_s(d, destMax, s) : strcpy_error(d, destMax, s);
      if (r == 0) check(strcmp(d, reinterpret_cast<const char *>(before.data() + src_at)) == 0);
      break;
    }
    case 6: {
      const char *s = reinterpret_cast<const char *>(src);
      char *d = reinterpret_cast<char *>(dest);
      r = strncpy_s(d, destMax, s, count);
      if (r == 0) {
        const char *orig = reinterpret_cast<const char *>(before.data() + src_at);
        size_t n = strnlen(orig, count);
        check(strlen(d) == n && memcmp(d, orig, n) == 0);
      }
      break;
    }
    case 7:
    case 8: {
      const char *s = reinterpret_cast<const char *>(src);
      char *d = reinterpret_cast<char *>(dest);
      r = op == 7 ? strcat_s(d, destMax, s) : strncat_s(d, destMax, s, count);
      if (r == 0) {
        size_t old_len = strlen(reinterpret_cast<const char *>(before.data() + dest_at));
        check(memcmp(d, before.data() + dest_at, old_len) == 0);
        check(strnlen(d, destMax) < destMax);
      }
      break;
    }
  }
  // Every result is one of the codes, and a destination reported cleared starts with NUL.
  check(r == 0 || r == EINVAL || r == ERANGE || r == BOUND_INVALID_CLEARED || r == BOUND_RANGE_CLEARED ||
        r == BOUND_OVERLAP_CLEARED);
  if (op >= 4 && r > 128 && destMax > 0) check(dest[0] == 0);
  if (r == ERANGE || r == EINVAL) check(memcmp(before.data(), buf, area) == 0);
  return 0;
}
