#include "scan_conversion.h"

#include <string.h>

namespace bsp::boundc::scan {
namespace {

constexpr int kDigitLimit = 21474836;  // a width above this takes no further digit

bool is_conversion_letter(char c) { return c != '\0' && strchr("cCsS[diouxXpneEfFgG", c) != nullptr; }

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
  for (;;) {
    switch (*p) {
      case 'h': conv.size = conv.size == Size::kShort ? Size::kChar : Size::kShort; break;
      case 'l': conv.size = conv.size == Size::kLong ? Size::kInt64 : Size::kLong; break;
      case 'L': conv.size = Size::kLongDouble; break;
      case 'q': case 'j': conv.size = Size::kInt64; break;
      case 't': conv.size = Size::kPtrDiff; break;
      case 'z': conv.size = Size::kSizeT; break;
      case 'w': conv.size = Size::kWide; break;
      case 'N': break;
      case 'F':
        // "F" is an ignored size only when a conversion follows; alone it converts a float.
        if (p[1] == '\0' || (!is_conversion_letter(p[1]) && strchr("hlLqjtzwNIF", p[1]) == nullptr)) goto done;
        break;
      case 'I':
        if (p[1] == '6' && p[2] == '4') {
          conv.size = Size::kInt64;
          p += 2;
        } else if (p[1] == '3' && p[2] == '2') {
          conv.size = Size::kInt32;
          p += 2;
        } else {
          conv.size = Size::kInt32;
        }
        break;
      default:
        goto done;
    }
    ++p;
  }
done:
  if (*p == '\0') return false;
  conv.type = *p;
  return true;
}

}  // namespace bsp::boundc::scan
