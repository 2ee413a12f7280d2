#include "scan_numbers.h"

#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace bsp::boundc::scan {
namespace {

constexpr size_t kFloatInPlace = 350;

unsigned value_bits(const Conversion &conv) {
  if (conv.type == 'p') return sizeof(void *) * CHAR_BIT;
  switch (conv.size) {
    case Size::kLong: return sizeof(long) * CHAR_BIT;
    case Size::kInt64:
    case Size::kLongDouble: return 64;
    case Size::kSizeT:
    case Size::kPtrDiff: return sizeof(size_t) * CHAR_BIT;
    default: return 32;
  }
}

inline void store_integer(void *dest, const Conversion &conv, uint64_t v) {
  if (conv.type == 'p') {
    *static_cast<void **>(dest) = reinterpret_cast<void *>(static_cast<uintptr_t>(v));
    return;
  }
  switch (conv.size) {
    case Size::kChar: *static_cast<char *>(dest) = static_cast<char>(v); break;
    case Size::kShort: *static_cast<short *>(dest) = static_cast<short>(v); break;
    case Size::kLong: *static_cast<long *>(dest) = static_cast<long>(v); break;
    case Size::kInt64:
    case Size::kLongDouble: *static_cast<long long *>(dest) = static_cast<long long>(v); break;
    case Size::kSizeT: *static_cast<size_t *>(dest) = static_cast<size_t>(v); break;
    case Size::kPtrDiff: *static_cast<ptrdiff_t *>(dest) = static_cast<ptrdiff_t>(v); break;
    default: *static_cast<int *>(dest) = static_cast<int>(v); break;
  }
}

int digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Applies the sign and the saturation of the destination's width to a magnitude.
uint64_t finish_integer(uint64_t magnitude, bool overflow, bool negative, bool is_signed, unsigned bits) {
  uint64_t all_ones = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  if (is_signed) {
    uint64_t max_positive = all_ones >> 1;
    if (negative) {
      if (overflow || magnitude > max_positive + 1) return ~max_positive;  // the minimum
      return 0 - magnitude;
    }
    return overflow || magnitude > max_positive ? max_positive : magnitude;
  }
  if (overflow || magnitude > all_ones) return all_ones;
  return negative ? (0 - magnitude) & all_ones : magnitude;
}

// Collects the text of a floating number: heap beyond kFloatInPlace characters.
class FloatText {
 public:
  ~FloatText() {
    if (text_ != local_) free(text_);
  }
  bool add(char c) {
    if (len_ + 1 >= cap_) {
      size_t cap = cap_ * 2;
      char *grown = static_cast<char *>(text_ == local_ ? malloc(cap) : realloc(text_, cap));
      if (grown == nullptr) return false;
      if (text_ == local_) memcpy(grown, local_, len_);
      text_ = grown;
      cap_ = cap;
    }
    text_[len_++] = c;
    text_[len_] = '\0';
    return true;
  }
  const char *c_str() const { return text_; }
  size_t size() const { return len_; }

 private:
  char local_[kFloatInPlace + 1] = {};
  char *text_ = local_;
  size_t len_ = 0;
  size_t cap_ = sizeof local_;
};

enum class FloatScan { kOk, kNoNumber, kNoMemory };

FloatScan collect_float(Source &in, long long width, FloatText &text) {
  int c = in.peek();
  auto take = [&]() -> bool {
    if (!text.add(static_cast<char>(c))) return false;
    in.advance();
    --width;
    c = in.peek();
    return true;
  };
  if (width > 0 && (c == '+' || c == '-') && !take()) return FloatScan::kNoMemory;
  if (width > 0 && (c == 'i' || c == 'I' || c == 'n' || c == 'N')) {
    const char *word = (c == 'i' || c == 'I') ? "infinity" : "nan";
    size_t matched = 0;
    while (width > 0 && word[matched] != '\0' && tolower(c) == word[matched]) {
      if (!take()) return FloatScan::kNoMemory;
      ++matched;
    }
    bool ok = word[0] == 'n' ? matched == 3 : (matched == 3 || matched == 8);
    return ok ? FloatScan::kOk : FloatScan::kNoNumber;
  }
  bool hex = false;
  size_t digits = 0;
  if (width > 0 && c == '0') {
    if (!take()) return FloatScan::kNoMemory;
    ++digits;
    if (width > 0 && (c == 'x' || c == 'X')) {
      if (!take()) return FloatScan::kNoMemory;
      hex = true;
      digits = 0;
    }
  }
  auto is_digit = [&](int ch) { return hex ? isxdigit(ch) != 0 : (ch >= '0' && ch <= '9'); };
  while (width > 0 && is_digit(c)) {
    if (!take()) return FloatScan::kNoMemory;
    ++digits;
  }
  if (width > 0 && c == '.') {
    if (!take()) return FloatScan::kNoMemory;
    while (width > 0 && is_digit(c)) {
      if (!take()) return FloatScan::kNoMemory;
      ++digits;
    }
  }
  if (digits == 0) return FloatScan::kNoNumber;
  bool exponent = hex ? (c == 'p' || c == 'P') : (c == 'e' || c == 'E');
  if (width > 0 && exponent) {
    if (!take()) return FloatScan::kNoMemory;
    if (width > 0 && (c == '+' || c == '-') && !take()) return FloatScan::kNoMemory;
    while (width > 0 && c >= '0' && c <= '9') {
      if (!take()) return FloatScan::kNoMemory;
    }
  }
  return FloatScan::kOk;
}

}  // namespace

Outcome scan_integer(Source &in, const Conversion &conv, void *dest) {
  skip_space(in);
  int c = in.peek();
  if (c == EOF) return Outcome::kInputEnded;
  long long width = conv.width < 0 ? LLONG_MAX : conv.width;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.advance();
    --width;
    c = in.peek();
  }
  unsigned base;
  switch (conv.type) {
    case 'o': base = 8; break;
    case 'x': case 'X': case 'p': base = 16; break;
    case 'i': base = 0; break;
    default: base = 10; break;
  }
  bool any_digit = false;
  if ((base == 16 || base == 0) && width > 0 && c == '0') {
    in.advance();
    --width;
    any_digit = true;
    c = in.peek();
    if (width > 0 && (c == 'x' || c == 'X')) {
      in.advance();
      --width;
      base = 16;
      c = in.peek();
    } else if (base == 0) {
      base = 8;
    }
  }
  if (base == 0) base = 10;
  uint64_t magnitude = 0;
  bool overflow = false;
  const uint64_t limit = ~uint64_t{0} / base;
  (void)c;
  bool more = true;
  while (more && width > 0) {
    int avail;
    const char *p = in.ahead(avail);
    if (avail == 0) break;
    int i = 0;
    for (; i < avail && width > 0; ++i, --width) {
      unsigned d = static_cast<unsigned>(digit_value(static_cast<unsigned char>(p[i])));
      if (d >= base) {
        more = false;
        break;
      }
      if (magnitude > limit || magnitude * base > ~uint64_t{0} - d) {
        overflow = true;
      } else {
        magnitude = magnitude * base + d;
      }
      any_digit = true;
    }
    in.consume(i);
  }
  if (!any_digit) return Outcome::kMismatch;
  if (dest != nullptr) {
    bool is_signed = conv.type == 'd' || conv.type == 'i';
    store_integer(dest, conv, finish_integer(magnitude, overflow, negative, is_signed, value_bits(conv)));
  }
  return Outcome::kDone;
}

Outcome scan_float(Source &in, const Conversion &conv, void *dest) {
  skip_space(in);
  if (in.peek() == EOF) return Outcome::kInputEnded;
  FloatText text;
  switch (collect_float(in, conv.width < 0 ? LLONG_MAX : conv.width, text)) {
    case FloatScan::kNoMemory: return Outcome::kFormatError;
    case FloatScan::kNoNumber: return Outcome::kMismatch;
    case FloatScan::kOk: break;
  }
  if (dest == nullptr) return Outcome::kDone;
  switch (conv.size) {
    case Size::kLong: *static_cast<double *>(dest) = strtod(text.c_str(), nullptr); break;
    case Size::kLongDouble:
    case Size::kInt64: *static_cast<long double *>(dest) = strtold(text.c_str(), nullptr); break;
    default: *static_cast<float *>(dest) = strtof(text.c_str(), nullptr); break;
  }
  return Outcome::kDone;
}

// Integers of the "%n" kind: characters consumed so far.
void store_count(void *dest, const Conversion &conv, int consumed) {
  Conversion as_int = conv;
  as_int.type = 'd';
  store_integer(dest, as_int, static_cast<uint64_t>(static_cast<int64_t>(consumed)));
}

}  // namespace bsp::boundc::scan
