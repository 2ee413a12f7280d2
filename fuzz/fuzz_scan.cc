// Fuzzes the scan engine: format and input bytes come from the fuzzer, the input is scanned
// from a string and from a file. Every destination is the shared argument area, whose size
// argument (4096 characters) it can hold; overruns hit its guard page.
#include <bsp/boundc.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "fuzz_args.h"

namespace {

constexpr long kMaxConversions = 12;  // each takes at most two of the 24 arguments

#define GP24 g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g, g

void check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  uint64_t g = bsp::fuzz::shared_arg();
  if (g == 0) return 0;
  bool from_file = data[0] & 0x80;
  size_t flen = std::min<size_t>(data[0] & 0x7F, size - 1);
  char *format = static_cast<char *>(malloc(flen + 1));
  memcpy(format, data + 1, flen);
  format[flen] = '\0';
  if (std::count(format, format + strlen(format), '%') > kMaxConversions) {
    free(format);
    return 0;
  }
  size_t ilen = size - 1 - flen;
  char *input = static_cast<char *>(malloc(ilen + 1));  // exact size: overreads are caught
  memcpy(input, data + 1 + flen, ilen);
  input[ilen] = '\0';

  int r = sscanf_s(input, format, GP24);
  check(r >= -1 && r <= kMaxConversions);

  if (from_file) {
    FILE *f = tmpfile();
    if (f != nullptr) {
      fwrite(input, 1, ilen, f);
      rewind(f);
      int rf = fscanf_s(f, format, GP24);
      check(rf >= -1 && rf <= kMaxConversions);
      long pos = ftell(f);
      check(pos >= 0 && static_cast<size_t>(pos) <= ilen);
      fclose(f);
    }
  }
  free(input);
  free(format);
  return 0;
}
