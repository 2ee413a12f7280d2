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

inline ParseResult parse_conversion(const char *&p, ArgList &args, Conversion &out) {
  switch (*p) {
    case 'd': case 's': case 'u': case 'x': case 'c':
      out = Conversion{};
      out.type = *p++;  // a bare conversion, the most common form
      return ParseResult::kConversion;
    default:
      return parse_full_conversion(p, args, out);
  }
}

}  // namespace bsp::boundc::print
