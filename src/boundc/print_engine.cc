#include "print_engine.h"

#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <wchar.h>

#include "print_format.h"
#include "print_writer.h"

namespace bsp::boundc::print {
namespace {

constexpr int kIntegerArea = 513;  // digits of a conversion, the precision included
constexpr int kMaxIntegerPrecision = kIntegerArea - 1;
constexpr int kFloatArea = 351;
constexpr int kLongDoubleArea = 4974;
constexpr int kMaxFloatPrecision = 214748011;
constexpr int kMaxLongDoublePrecision = 214743388;
constexpr size_t kStackArea = 512;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the decimal digits of v so that they end at end; returns their start.
char *decimal_digits(char *end, uint64_t v) {
  if (v <= UINT32_MAX) {  // 32-bit division is far cheaper on the 32-bit target
    uint32_t u = static_cast<uint32_t>(v);
    while (u >= 100) {
      uint32_t pair = (u % 100) * 2;
      u /= 100;
      *--end = kDigitPairs[pair + 1];
      *--end = kDigitPairs[pair];
    }
    if (u >= 10) {
      *--end = kDigitPairs[u * 2 + 1];
      *--end = kDigitPairs[u * 2];
    } else {
      *--end = static_cast<char>('0' + u);
    }
    return end;
  }
  while (v > UINT32_MAX) {
    *--end = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return decimal_digits(end, v);
}

char *power2_digits(char *end, uint64_t v, unsigned shift, bool upper) {
  const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned mask = (1u << shift) - 1;
  do {
    *--end = digits[v & mask];
    v >>= shift;
  } while (v != 0);
  return end;
}

// Places prefix and body within the width.
void emit_padded(Writer &out, const Conversion &conv, const char *prefix, size_t prefix_len,
                 const char *body, size_t body_len, bool zero_pad) {
  long long pad = static_cast<long long>(conv.width) - static_cast<long long>(prefix_len + body_len);
  if (pad <= 0) {
    if (prefix_len != 0) out.write(prefix, prefix_len);
    out.write(body, body_len);
  } else if (conv.flags & kLeft) {
    out.write(prefix, prefix_len);
    out.write(body, body_len);
    out.fill(' ', pad);
  } else if (zero_pad) {
    out.write(prefix, prefix_len);
    out.fill('0', pad);
    out.write(body, body_len);
  } else {
    out.fill(' ', pad);
    out.write(prefix, prefix_len);
    out.write(body, body_len);
  }
}

struct IntegerValue {
  uint64_t magnitude;
  bool negative;
};

IntegerValue signed_value(const Conversion &conv, ArgList &args) {
  long long v;
  switch (conv.size) {
    case Size::kChar: v = static_cast<signed char>(args.next<int>()); break;
    case Size::kShort: v = static_cast<short>(args.next<int>()); break;
    case Size::kLong: v = args.next<long>(); break;
    case Size::kSizeT: v = args.next<ssize_t>(); break;
    case Size::kPtrDiff: v = args.next<ptrdiff_t>(); break;
    case Size::kInt64:
    case Size::kLongDouble: v = args.next<long long>(); break;
    default: v = args.next<int>(); break;
  }
  if (v < 0) return {0 - static_cast<uint64_t>(v), true};
  return {static_cast<uint64_t>(v), false};
}

uint64_t unsigned_value(const Conversion &conv, ArgList &args) {
  switch (conv.size) {
    case Size::kChar: return static_cast<unsigned char>(args.next<unsigned>());
    case Size::kShort: return static_cast<unsigned short>(args.next<unsigned>());
    case Size::kLong: return args.next<unsigned long>();
    case Size::kSizeT: return args.next<size_t>();
    case Size::kPtrDiff: return static_cast<uint64_t>(static_cast<uintptr_t>(args.next<ptrdiff_t>()));
    case Size::kInt64:
    case Size::kLongDouble: return args.next<unsigned long long>();
    default: return args.next<unsigned>();
  }
}

// Digits of a conversion without precision, '#' or pointer form: at most 22 (octal of 64
// bits), placed as one field.
void emit_plain_integer(Writer &out, const Conversion &conv, IntegerValue value, bool is_signed) {
  char area[24];
  char *end = area + sizeof area;
  char *begin;
  char type = conv.type;
  if (value.magnitude == 0) {
    begin = end - 1;
    *begin = '0';
  } else if (type == 'x' || type == 'X') {
    begin = power2_digits(end, value.magnitude, 4, type == 'X');
  } else if (type == 'o') {
    begin = power2_digits(end, value.magnitude, 3, false);
  } else {
    begin = decimal_digits(end, value.magnitude);
  }
  char sign = 0;
  if (is_signed) {
    if (value.negative) {
      sign = '-';
    } else if (conv.flags & kSign) {
      sign = '+';
    } else if (conv.flags & kBlank) {
      sign = ' ';
    }
  }
  out.field(sign, begin, static_cast<size_t>(end - begin), conv.width, conv.flags & kLeft, conv.flags & kZero);
}

// The general form: precision, '#' prefixes, pointers.
__attribute__((noinline)) void emit_formatted_integer(Writer &out, const Conversion &conv, IntegerValue value,
                                                      bool is_signed, bool is_pointer) {
  char area[kIntegerArea];
  char *end = area + sizeof area;
  char *begin = end;
  char type = conv.type;
  int precision = conv.precision < 0 ? 1 : conv.precision;
  if (precision > kMaxIntegerPrecision) precision = kMaxIntegerPrecision;

  if (value.magnitude != 0) {
    if (type == 'o') {
      begin = power2_digits(end, value.magnitude, 3, false);
    } else if (type == 'x' || type == 'X' || is_pointer) {
      begin = power2_digits(end, value.magnitude, 4, type == 'X');
    } else {
      begin = decimal_digits(end, value.magnitude);
    }
  }
  long long zeros = precision - (end - begin);
  while (zeros-- > 0) *--begin = '0';
  if (type == 'o' && (conv.flags & kAlt) && (begin == end || *begin != '0')) *--begin = '0';

  char prefix[3];  // sign, then "0x" for a pointer
  size_t prefix_len = 0;
  if (is_signed) {
    if (value.negative) {
      prefix[prefix_len++] = '-';
    } else if (conv.flags & kSign) {
      prefix[prefix_len++] = '+';
    } else if (conv.flags & kBlank) {
      prefix[prefix_len++] = ' ';
    }
  }
  if (value.magnitude != 0 && (is_pointer || ((type == 'x' || type == 'X') && (conv.flags & kAlt)))) {
    prefix[prefix_len++] = '0';
    prefix[prefix_len++] = type == 'X' ? 'X' : 'x';
  }
  bool zero_pad = (conv.flags & kZero) && !(conv.flags & kLeft) && conv.precision < 0;
  emit_padded(out, conv, prefix, prefix_len, begin, static_cast<size_t>(end - begin), zero_pad);
}

void emit_integer(Writer &out, const Conversion &conv, IntegerValue value, bool is_signed, bool is_pointer) {
  if (conv.precision < 0 && !is_pointer && !(conv.flags & kAlt))
    emit_plain_integer(out, conv, value, is_signed);
  else
    emit_formatted_integer(out, conv, value, is_signed, is_pointer);
}

void emit_text(Writer &out, const Conversion &conv, const char *text, size_t len) {
  out.field(0, text, len, conv.width, conv.flags & kLeft, false);
}

void emit_narrow_string(Writer &out, const Conversion &conv, const char *s) {
  if (s == nullptr) s = "(null)";
  size_t len = conv.precision < 0 ? strlen(s) : strnlen(s, static_cast<size_t>(conv.precision));
  out.field(0, s, len, conv.width, conv.flags & kLeft, false);
}

// Multibyte length of a wide string within the precision, or -1 when a character has no
// multibyte form. With out set, the text is written as well.
long long wide_string(const wchar_t *s, int precision, Writer *out) {
  mbstate_t state{};
  char mb[MB_LEN_MAX];
  long long total = 0;
  for (; *s != L'\0'; ++s) {
    size_t n = wcrtomb(mb, *s, &state);
    if (n > sizeof mb) return -1;  // no multibyte form (or more than the platform's maximum)
    if (precision >= 0 && total + static_cast<long long>(n) > precision) break;
    total += static_cast<long long>(n);
    if (out != nullptr) out->write(mb, n);
  }
  return total;
}

bool emit_wide_string(Writer &out, const Conversion &conv, const wchar_t *s) {
  if (s == nullptr) s = L"(null)";
  long long len = wide_string(s, conv.precision, nullptr);
  if (len < 0) return false;
  long long pad = conv.width - len;
  if (!(conv.flags & kLeft)) out.fill(' ', pad);
  wide_string(s, conv.precision, &out);
  if (conv.flags & kLeft) out.fill(' ', pad);
  return true;
}

bool emit_wide_char(Writer &out, const Conversion &conv, wint_t c) {
  mbstate_t state{};
  char mb[MB_LEN_MAX];
  size_t n = wcrtomb(mb, static_cast<wchar_t>(c), &state);
  if (n > sizeof mb) return false;  // no multibyte form (or more than the platform's maximum)
  emit_text(out, conv, mb, n);
  return true;
}

bool is_wide(const Conversion &conv) { return is_wide_text(conv.type, conv.size); }

// Floating conversions go to the platform's formatter with the same conversion text.
bool emit_float(Writer &out, const Conversion &conv, ArgList &args) {
  bool long_double = conv.size == Size::kLongDouble;
  long double ld = 0;
  double d = 0;
  if (long_double) {
    ld = args.next<long double>();
  } else {
    d = args.next<double>();
  }
  int precision = conv.precision;
  if (precision > (long_double ? kMaxLongDoublePrecision : kMaxFloatPrecision)) return false;

  char conversion_text[32];
  char *p = conversion_text;
  *p++ = '%';
  if (conv.flags & kLeft) *p++ = '-';
  if (conv.flags & kSign) *p++ = '+';
  if (conv.flags & kBlank) *p++ = ' ';
  if (conv.flags & kAlt) *p++ = '#';
  if (conv.flags & kZero) *p++ = '0';
  p += snprintf(p, 12, "%d", conv.width);
  if (precision >= 0) p += snprintf(p, 13, ".%d", precision);
  if (long_double) *p++ = 'L';
  *p++ = conv.type;
  *p = '\0';

  // The text never needs more than the area the conversion can produce, nor more than what
  // still fits in the destination (plus one to see the overflow).
  size_t need = static_cast<size_t>(long_double ? kLongDoubleArea : kFloatArea) +
                static_cast<size_t>(precision < 0 ? 0 : precision);
  if (need < static_cast<size_t>(conv.width) + 2) need = static_cast<size_t>(conv.width) + 2;
  size_t fits = static_cast<size_t>(out.room()) + 1;
  size_t size = need < fits ? need : fits;

  char stack_area[kStackArea];
  char *area = stack_area;
  if (size > kStackArea) {
    area = static_cast<char *>(malloc(size));
    if (area == nullptr) return false;
  }
  int n = long_double ? snprintf(area, size, conversion_text, ld) : snprintf(area, size, conversion_text, d);
  bool ok = n >= 0;
  if (ok) {
    size_t len = static_cast<size_t>(n);
    if (len >= size) {
      ok = size == fits;  // otherwise the text outgrew the area it can ever need
      out.write(area, size - 1);
      out.mark_overflow();
    } else {
      out.write(area, len);
    }
  }
  if (area != stack_area) free(area);
  return ok;
}

// The characters that end a run of ordinary text: '%' and the NUL.
constexpr struct RunEnds {
  bool at[256] = {};
  constexpr RunEnds() {
    at[0] = true;
    at[static_cast<unsigned char>('%')] = true;
  }
} kRunEnds;

inline bool ends_run(char c) { return kRunEnds.at[static_cast<unsigned char>(c)]; }

// End of the ordinary text at p: the next '%' or the NUL. Most runs are a few characters,
// cheaper to walk than to hand to the library; longer runs go to it and are copied in a block.
const char *literal_end(const char *p) {
  for (int i = 0; i < 16; i += 4) {
    if (ends_run(p[i])) return p + i;
    if (ends_run(p[i + 1])) return p + i + 1;
    if (ends_run(p[i + 2])) return p + i + 2;
    if (ends_run(p[i + 3])) return p + i + 3;
  }
  return strchrnul(p + 16, '%');
}

bool convert(Writer &out, const Conversion &conv, ArgList &args) {
  switch (conv.type) {
    case 'd':
    case 'i':
      emit_integer(out, conv, signed_value(conv, args), true, false);
      return true;
    case 'o':
    case 'u':
    case 'x':
    case 'X':
      emit_integer(out, conv, {unsigned_value(conv, args), false}, false, false);
      return true;
    case 'p': {
      const void *ptr = args.next<const void *>();
      if (ptr == nullptr) {
        Conversion text = conv;
        text.precision = -1;
        emit_narrow_string(out, text, "(nil)");
      } else {
        emit_integer(out, conv, {reinterpret_cast<uintptr_t>(ptr), false}, true, true);
      }
      return true;
    }
    case 'c':
    case 'C':
      if (is_wide(conv)) return emit_wide_char(out, conv, args.next<wint_t>());
      {
        char c = static_cast<char>(args.next<int>());
        emit_text(out, conv, &c, 1);
      }
      return true;
    case 's':
    case 'S':
      if (is_wide(conv)) return emit_wide_string(out, conv, args.next<const wchar_t *>());
      emit_narrow_string(out, conv, args.next<const char *>());
      return true;
    default:  // e E f F g G
      return emit_float(out, conv, args);
  }
}

}  // namespace

int format(char *dest, size_t room, const char *fmt, ArgList &args, OnOverflow mode) {
  Writer out(dest, static_cast<int>(room - 1));
  const char *p = fmt;
  for (;;) {
    const char *run = literal_end(p);
    if (run != p) out.write(p, static_cast<size_t>(run - p));
    if (*run == '\0') break;
    p = run + 1;
    if (out.overflowed() && mode == OnOverflow::kStop) break;
    Conversion conv;
    bool ok = true;
    switch (parse_conversion(p, args, conv)) {
      case ParseResult::kPercent:
        out.put('%');
        break;
      case ParseResult::kLiteralI:
        out.put('I');
        break;
      case ParseResult::kInvalid:
        ok = false;
        break;
      case ParseResult::kConversion:
        ok = convert(out, conv, args);
        break;
    }
    if (!ok) {
      dest[0] = '\0';
      return kFailed;
    }
    if (out.overflowed() && mode == OnOverflow::kStop) break;
  }
  if (out.overflowed()) {
    dest[room - 1] = '\0';
    return kTruncated;
  }
  *out.cursor() = '\0';
  return out.written();
}

}  // namespace bsp::boundc::print
