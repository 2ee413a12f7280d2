#include "scan_conversion.h"

namespace bsp::boundc::scan {
namespace {

constexpr int kDigitLimit = 21474836;  // a width above this takes no further digit

}  // namespace

void skip_more_space(Source &in) {
  for (;;) {
    int n;
    const char *p = in.ahead(n);
    int i = 0;
    while (i < n && is_space(static_cast<unsigned char>(p[i]))) ++i;
    in.consume(i);
    if (i < n || n == 0) return;
  }
}

bool parse_full_conversion(const char *&p, Conversion &conv) {
  if (*p == '*') {
    conv.suppress = true;
    ++p;
  }
  if (*p >= '0' && *p <= '9') {
    int w = 0;
    while (*p >= '0' && *p <= '9') {
      if (w > kDigitLimit) return false;
      w = w * 10 + (*p++ - '0');
    }
    if (w == 0) return false;
    conv.width = w;
  }
  while (read_size(p, conv.size, Engine::kScan) == SizeRead::kTaken) {
  }
  if (*p == '\0') return false;
  conv.type = *p;
  return true;
}

}  // namespace bsp::boundc::scan
