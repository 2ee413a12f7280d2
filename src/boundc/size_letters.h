// The size letters of a conversion: one parser for the print and the scan engines. The
// engines share the letters and what they mean; their letter sets differ in three places:
//   "Z"  a size (that of size_t) in print; in scan an ordinary character to match.
//   "I"  without 32 or 64 after it: print takes it as a 32-bit size only directly before
//        d i o u x X and prints it as text otherwise; scan always takes it as 32-bit.
//   "F"  a conversion in print; in scan an ignored size when a conversion letter or another
//        size letter follows, and the float conversion otherwise.
#pragma once

#include <stdint.h>
#include <string.h>

namespace bsp::boundc {

// Argument width of a conversion, as written in the format.
enum class Size : uint8_t {
  kDefault,
  kChar,        // hh
  kShort,       // h
  kInt32,       // I32, and I
  kInt64,       // ll q I64 j
  kLong,        // l: the platform's long; wide for c and s
  kSizeT,       // z, and Z in print
  kPtrDiff,     // t
  kWide,        // w
  kLongDouble,  // L: long double for floating conversions, 64-bit for integers
};

enum class Engine : uint8_t { kPrint, kScan };

enum class SizeRead : uint8_t {
  kNone,   // no size at p; p unchanged
  kTaken,  // a size letter (or I32, I64) was read; p is past it
  kTextI,  // print only: an "I" that is no size and is printed as text; p unchanged
};

inline bool is_scan_conversion(char c) { return c != '\0' && strchr("cCsS[diouxXpneEfFgG", c) != nullptr; }

// Whether c is one of the engine's size letters ("F" in scan also depends on what follows).
inline bool is_size_letter(char c, Engine engine) {
  switch (c) {
    case 'I': case 'L': case 'N': case 'h': case 'j': case 'l': case 'q': case 't': case 'w': case 'z':
      return true;
    case 'Z':
      return engine == Engine::kPrint;
    case 'F':
      return engine == Engine::kScan;
    default:
      return false;
  }
}

// Reads the size at p, if there is one for this engine, into size. A repeated h or l makes
// hh or ll of it.
inline SizeRead read_size(const char *&p, Size &size, Engine engine) {
  switch (*p) {
    case 'h': size = size == Size::kShort ? Size::kChar : Size::kShort; break;
    case 'l': size = size == Size::kLong ? Size::kInt64 : Size::kLong; break;
    case 'L': size = Size::kLongDouble; break;
    case 'q': case 'j': size = Size::kInt64; break;
    case 't': size = Size::kPtrDiff; break;
    case 'z': size = Size::kSizeT; break;
    case 'w': size = Size::kWide; break;
    case 'N': break;  // accepted and ignored
    case 'Z':
      if (engine != Engine::kPrint) return SizeRead::kNone;
      size = Size::kSizeT;
      break;
    case 'F':
      if (engine != Engine::kScan) return SizeRead::kNone;
      if (!is_scan_conversion(p[1]) && !is_size_letter(p[1], Engine::kScan)) return SizeRead::kNone;
      break;  // ignored
    case 'I':
      if (p[1] == '6' && p[2] == '4') {
        size = Size::kInt64;
        p += 3;
        return SizeRead::kTaken;
      }
      if (p[1] == '3' && p[2] == '2') {
        size = Size::kInt32;
        p += 3;
        return SizeRead::kTaken;
      }
      if (engine == Engine::kPrint && (p[1] == '\0' || strchr("diouxX", p[1]) == nullptr)) return SizeRead::kTextI;
      size = Size::kInt32;
      break;
    default:
      return SizeRead::kNone;
  }
  ++p;
  return SizeRead::kTaken;
}

// Whether a character or string conversion works on wide characters: C and S unless h or hh
// makes them narrow, c and s with l or w.
inline bool is_wide_text(char type, Size size) {
  if (type == 'C' || type == 'S') return size != Size::kShort && size != Size::kChar;
  return size == Size::kLong || size == Size::kWide;
}

}  // namespace bsp::boundc
