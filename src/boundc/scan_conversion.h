// One conversion of the scan format and the pieces every converter shares.
#pragma once

#include <stdint.h>

#include "scan_source.h"
#include "size_letters.h"

namespace bsp::boundc::scan {

struct Conversion {
  bool suppress = false;
  int width = -1;  // -1: none
  Size size = Size::kDefault;
  char type = 0;
};

// How one directive ended.
enum class Outcome {
  kDone,           // matched (and assigned unless suppressed)
  kInputEnded,     // the input ended before the directive could start
  kMismatch,       // the input does not match: the scan ends
  kFormatError,    // the format or an argument is unusable: the scan fails
};

// Blank, \t \n \v \f \r: one test of a bit mask.
inline bool is_space(int c) {
  return static_cast<unsigned>(c) <= ' ' && ((uint64_t{1} << c) & 0x100003E00ull) != 0;
}

void skip_more_space(Source &in);

inline void skip_space(Source &in) {
  if (is_space(in.peek())) skip_more_space(in);
}

bool parse_full_conversion(const char *&p, Conversion &conv);

// Parses "*", width and sizes after a '%'; p is left at the conversion letter. False for a
// malformed conversion (a width of 0 or too many digits, the format ending).
inline bool parse_conversion(const char *&p, Conversion &conv) {
  switch (*p) {
    case 'd': case 's': case 'u': case 'x': case 'i': case 'c': case '[':
      conv.type = *p;  // a bare conversion, the most common form
      return true;
    default:
      return parse_full_conversion(p, conv);
  }
}

}  // namespace bsp::boundc::scan
