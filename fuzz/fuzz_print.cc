// Fuzzes the print engine through its entry points: format bytes and destination sizes come
// from the fuzzer. Checks the results' invariants and that every entry point agrees with an
// unbounded run.
#include <bsp/boundc.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "fuzz_args.h"

namespace {

constexpr int kMaxConversions = 8;  // '%' and '*' together: within the argument pack

// Every integer argument is the shared address; eight doubles fill the vector registers.
#define GP16 g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g
#define FP8 1.5, -0.0, 1e300, -2.75e-300, 123456.789, 0.1, 1e16, -7.0

bool acceptable(const char *format, size_t len) {
  size_t marks = static_cast<size_t>(std::count(format, format + len, '%') + std::count(format, format + len, '*'));
  if (marks > kMaxConversions) return false;
  if (memchr(format, 'L', len) != nullptr) return false;  // no long double in the pack
  // Huge literal widths only make the platform's float formatter slow.
  size_t run = 0;
  for (size_t i = 0; i < len; ++i) {
    run = (format[i] >= '0' && format[i] <= '9') ? run + 1 : 0;
    if (run > 5) return false;
  }
  return true;
}

void check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  uint64_t g = bsp::fuzz::shared_arg();
  if (g == 0) return 0;
  size_t destMax = 1 + data[0];
  size_t count = data[1];
  size_t flen = size - 2;
  char *format = static_cast<char *>(malloc(flen + 1));
  memcpy(format, data + 2, flen);
  format[flen] = '\0';
  flen = strlen(format);
  if (!acceptable(format, flen)) {
    free(format);
    return 0;
  }

  constexpr size_t kWide = 1 << 16;
  char *full = static_cast<char *>(malloc(kWide));
  int whole = sprintf_s(full, kWide, format, GP16, FP8);
  check(whole == -1 ? full[0] == '\0' : (whole >= 0 && full[whole] == '\0'));

  char *dest = static_cast<char *>(malloc(destMax));  // exact size: overruns are caught
  int r = sprintf_s(dest, destMax, format, GP16, FP8);
  if (whole >= 0 && static_cast<size_t>(whole) < destMax) {
    check(r == whole && memcmp(dest, full, static_cast<size_t>(whole) + 1) == 0);
  } else {
    check(r == -1 && dest[0] == '\0');
  }

  r = snprintf_truncated_s(dest, destMax, format, GP16, FP8);
  if (whole >= 0) {
    size_t keep = std::min(static_cast<size_t>(whole), destMax - 1);
    check(r == static_cast<int>(keep) && memcmp(dest, full, keep) == 0 && dest[keep] == '\0');
  } else if (r == -1) {
    check(dest[0] == '\0');
  } else {
    // Only output longer than the unbounded run's room can end as a truncation here.
    check(r == static_cast<int>(destMax - 1) && dest[r] == '\0');
  }

  r = snprintf_s(dest, destMax, count, format, GP16, FP8);
  check(r >= -1);
  if (r >= 0) check(static_cast<size_t>(r) <= count && dest[r] == '\0');
  if (r == -1 && count < destMax && whole >= 0) {
    check(memcmp(dest, full, std::min(count, static_cast<size_t>(whole))) == 0 || dest[0] == '\0');
  }

  free(dest);
  free(full);
  free(format);
  return 0;
}
