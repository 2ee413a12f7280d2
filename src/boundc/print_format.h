// Input side of the print engine: one conversion of the format, parsed by a state machine.
#pragma once

#include <stdint.h>

#include "arg_list.h"
#include "size_letters.h"

namespace bsp::boundc::print {

enum Flag : unsigned {
  kLeft = 1u << 0,   // '-'
  kSign = 1u << 1,   // '+'
  kBlank = 1u << 2,  // ' '
  kAlt = 1u << 3,    // '#'
  kZero = 1u << 4,   // '0'
};

struct Conversion {
  unsigned flags = 0;
  int width = 0;
  int precision = -1;  // -1: none
  Size size = Size::kDefault;
  char type = 0;
};

enum class ParseResult {
  kConversion,  // a conversion to convert
  kPercent,     // "%%"
  kLiteralI,    // an "I" that is no size: printed as text
  kInvalid,     // the whole call fails
};

// Parses the conversion that starts after a '%'. On return p points past what was consumed.
// '*' widths and precisions are taken from args in format order.
ParseResult parse_full_conversion(const char *&p, ArgList &args, Conversion &out);

// Whether c ends a conversion: C E F G S X c d e f g i o p s u x.
inline bool is_type(char c) {
  switch (c) {
    case 'C': case 'E': case 'F': case 'G': case 'S': case 'X': case 'c': case 'd':
    case 'e': case 'f': case 'g': case 'i': case 'o': case 'p': case 's': case 'u': case 'x':
      return true;
    default:
      return false;
  }
}

// The common forms in one pass: flags, up to four width digits, "h", "hh", "l" or "ll", and
// the conversion letter. Anything else (a '*', a precision, a flag after the width, another
// size, the end of the format) goes to the full parser from the start: nothing has been
// consumed here, neither format characters nor arguments.
inline ParseResult parse_conversion(const char *&p, ArgList &args, Conversion &out) {
  if (is_type(*p)) {  // a bare conversion, the most common form
    out = Conversion{};
    out.type = *p++;
    return ParseResult::kConversion;
  }
  const char *q = p;
  unsigned flags = 0;
  for (;; ++q) {
    switch (*q) {
      case '-': flags |= kLeft; continue;
      case '+': flags |= kSign; continue;
      case ' ': flags |= kBlank; continue;
      case '#': flags |= kAlt; continue;
      case '0': flags |= kZero; continue;
      default: break;
    }
    break;
  }
  int width = 0;
  for (int digits = 0; *q >= '0' && *q <= '9'; ++q) {
    if (++digits > 4) return parse_full_conversion(p, args, out);
    width = width * 10 + (*q - '0');
  }
  Size size = Size::kDefault;
  if (*q == 'l') {
    size = q[1] == 'l' ? Size::kInt64 : Size::kLong;
    q += q[1] == 'l' ? 2 : 1;
  } else if (*q == 'h') {
    size = q[1] == 'h' ? Size::kChar : Size::kShort;
    q += q[1] == 'h' ? 2 : 1;
  }
  if (!is_type(*q)) return parse_full_conversion(p, args, out);
  out.flags = flags;
  out.width = width;
  out.precision = -1;
  out.size = size;
  out.type = *q;
  p = q + 1;
  return ParseResult::kConversion;
}

}  // namespace bsp::boundc::print
