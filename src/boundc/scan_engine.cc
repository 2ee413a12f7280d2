#include "scan_engine.h"

#include <ctype.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

namespace bsp::boundc::scan {
namespace {

constexpr int kDigitLimit = 21474836;  // a width above this takes no further digit
constexpr size_t kFloatInPlace = 350;

enum class Size : uint8_t { kDefault, kChar, kShort, kInt32, kInt64, kLong, kSizeT, kPtrDiff, kWide, kLongDouble };

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

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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

inline void skip_space(Source &in) {
  if (is_space(in.peek())) skip_more_space(in);
}

bool is_conversion_letter(char c) { return c != '\0' && strchr("cCsS[diouxXpneEfFgG", c) != nullptr; }

// Parses "*", width and sizes after a '%'; p is left at the conversion letter.
bool parse_conversion(const char *&p, Conversion &conv) {
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

// The members of a "%[" set, one bit per character.
class CharSet {
 public:
  void add(unsigned char c) { bits_[c >> 6] |= uint64_t{1} << (c & 63); }
  void negate() {
    for (uint64_t &w : bits_) w = ~w;
  }
  bool contains(int c) const { return (bits_[(c >> 6) & 3] >> (c & 63)) & 1; }

 private:
  uint64_t bits_[4] = {};
};

// Parses the set after its '['. Returns false for a set without its closing ']'; p is then
// left at the end of the format.
bool parse_set(const char *&p, CharSet &members) {
  members = CharSet{};
  bool negate = false;
  if (*p == '^') {
    negate = true;
    ++p;
  }
  const unsigned char *s = reinterpret_cast<const unsigned char *>(p);
  if (*s == ']') members.add(*s++);
  for (;;) {
    unsigned char c = *s;
    if (c == '\0') {
      p = reinterpret_cast<const char *>(s);
      return false;
    }
    if (c == ']') break;
    if (s[1] == '-' && s[2] != ']' && s[2] != '\0') {
      unsigned char hi = s[2];
      if (c < hi) {
        for (unsigned x = c; x <= hi; ++x) members.add(static_cast<unsigned char>(x));
      } else {
        // Written high to low: only the two ends and the '-' itself.
        members.add(c);
        members.add(hi);
        members.add('-');
      }
      s += 3;
      continue;
    }
    members.add(c);
    ++s;
  }
  if (negate) members.negate();
  p = reinterpret_cast<const char *>(s + 1);
  return true;
}

bool is_wide_text(const Conversion &conv) {
  if (conv.type == 'C' || conv.type == 'S') return conv.size != Size::kShort && conv.size != Size::kChar;
  return conv.size == Size::kLong || conv.size == Size::kWide;
}

// The destination of a text conversion: narrow or wide, with its size in characters.
class TextDest {
 public:
  TextDest(void *p, unsigned size, bool wide) : p_(p), size_(size), wide_(wide) {}
  unsigned size() const { return size_; }
  char *narrow() const { return static_cast<char *>(p_); }
  void set(unsigned i, wchar_t c) {
    if (wide_) {
      static_cast<wchar_t *>(p_)[i] = c;
    } else {
      static_cast<char *>(p_)[i] = static_cast<char>(c);
    }
  }
  void clear() { set(0, 0); }

 private:
  void *p_;
  unsigned size_;
  bool wide_;
};

// Reads one input character into the destination's kind: a wide destination takes the
// characters of a multibyte sequence. Returns false at a byte that is no character.
bool take_char(Source &in, bool wide, mbstate_t &state, wchar_t &out) {
  int c = in.peek();
  in.advance();
  if (!wide) {
    out = static_cast<wchar_t>(c);
    return true;
  }
  for (;;) {
    char byte = static_cast<char>(c);
    size_t r = mbrtowc(&out, &byte, 1, &state);
    if (r == static_cast<size_t>(-1)) return false;
    if (r != static_cast<size_t>(-2)) return true;
    c = in.peek();
    if (c == EOF) return false;
    in.advance();
  }
}

// "%c", "%s" and "%[".
Outcome scan_text(Source &in, const Conversion &conv, const CharSet *set, TextDest *dest) {
  bool wide = is_wide_text(conv);
  mbstate_t state{};
  wchar_t wc;
  char kind = conv.type == 'C' ? 'c' : conv.type == 'S' ? 's' : conv.type;
  if (kind == 's') skip_space(in);
  if (in.peek() == EOF) return Outcome::kInputEnded;

  if (kind == 'c') {
    long long width = conv.width < 0 ? 1 : conv.width;
    if (dest != nullptr && width > dest->size()) {
      dest->clear();
      return Outcome::kMismatch;
    }
    for (long long i = 0; i < width && in.peek() != EOF; ++i) {
      if (!take_char(in, wide, state, wc)) return Outcome::kMismatch;
      if (dest != nullptr) dest->set(static_cast<unsigned>(i), wc);
    }
    return Outcome::kDone;
  }

  long long width = conv.width < 0 ? LLONG_MAX : conv.width;
  auto ends_item = [&](int c) { return c == EOF || (kind == 's' ? is_space(c) : !set->contains(c)); };
  unsigned n = 0;
  if (!wide && dest != nullptr) {
    // The common case, without the multibyte machinery.
    char *out = dest->narrow();
    const unsigned last = dest->size() - 1;
    while (width > 0) {
      int avail;
      const unsigned char *p = reinterpret_cast<const unsigned char *>(in.ahead(avail));
      if (avail == 0) break;
      long long limit = avail < width ? avail : width;
      long long span = limit < static_cast<long long>(last - n) ? limit : last - n;
      long long i = 0;
      if (kind == 's') {
        while (i < span && !is_space(p[i])) ++i;
      } else {
        while (i < span && set->contains(p[i])) ++i;
      }
      memcpy(out + n, p, static_cast<size_t>(i));
      n += static_cast<unsigned>(i);
      width -= i;
      in.consume(static_cast<int>(i));
      if (i < span) break;       // the item ended
      if (i == limit) continue;  // more input to read, or the width is used up
      if (!ends_item(p[i])) {
        out[0] = '\0';  // the item does not fit
        return Outcome::kMismatch;
      }
      break;
    }
    if (n == 0) return Outcome::kMismatch;
    out[n] = '\0';
    return Outcome::kDone;
  }
  for (; width > 0; --width) {
    int c = in.peek();
    if (ends_item(c)) break;
    if (dest != nullptr && n + 1 >= dest->size()) {
      dest->clear();  // the item does not fit
      return Outcome::kMismatch;
    }
    if (!take_char(in, wide, state, wc)) break;
    if (dest != nullptr) dest->set(n, wc);
    ++n;
  }
  if (n == 0) return Outcome::kMismatch;
  if (dest != nullptr) dest->set(n, 0);
  return Outcome::kDone;
}

// Integers of the "%n" kind: characters consumed so far.
void store_count(void *dest, const Conversion &conv, int consumed) {
  Conversion as_int = conv;
  as_int.type = 'd';
  store_integer(dest, as_int, static_cast<uint64_t>(static_cast<int64_t>(consumed)));
}

}  // namespace

int scan(Source &in, const char *format, ArgList &args) {
  int assigned = 0;
  Outcome stop = Outcome::kDone;
  const char *p = format;
  while (*p != '\0' && stop == Outcome::kDone) {
    if (is_space(static_cast<unsigned char>(*p))) {
      while (is_space(static_cast<unsigned char>(*p))) ++p;
      skip_space(in);
      continue;
    }
    if (*p != '%') {
      int c = in.peek();
      if (c == EOF) {
        stop = Outcome::kInputEnded;
      } else if (c != static_cast<unsigned char>(*p)) {
        stop = Outcome::kMismatch;
      } else {
        in.advance();
        ++p;
      }
      continue;
    }
    ++p;
    Conversion conv;
    if (!parse_conversion(p, conv)) {
      stop = Outcome::kFormatError;
      break;
    }
    const char letter = *p++;
    switch (letter) {
      case 'n':
        if (!conv.suppress) {
          void *dest = args.next<void *>();
          if (dest == nullptr) {
            stop = Outcome::kFormatError;
            break;
          }
          store_count(dest, conv, in.consumed());
        }
        break;
      case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': case 'p': {
        void *dest = conv.suppress ? nullptr : args.next<void *>();
        if (!conv.suppress && dest == nullptr) {
          stop = Outcome::kFormatError;
          break;
        }
        stop = scan_integer(in, conv, dest);
        if (stop == Outcome::kDone && !conv.suppress) ++assigned;
        break;
      }
      case 'e': case 'f': case 'g': case 'E': case 'F': case 'G': {
        void *dest = conv.suppress ? nullptr : args.next<void *>();
        if (!conv.suppress && dest == nullptr) {
          stop = Outcome::kFormatError;
          break;
        }
        stop = scan_float(in, conv, dest);
        if (stop == Outcome::kDone && !conv.suppress) ++assigned;
        break;
      }
      case 'c': case 'C': case 's': case 'S': case '[': {
        CharSet set;
        bool closed = letter != '[' || parse_set(p, set);
        TextDest *dest = nullptr;
        TextDest target(nullptr, 0, false);
        if (!conv.suppress) {
          void *ptr = args.next<void *>();
          unsigned size = args.next<unsigned>();
          bool wide = is_wide_text(conv);
          if (ptr == nullptr || size == 0 || size > (wide ? kMaxWideSize : kMaxNarrowSize)) {
            stop = Outcome::kFormatError;
            break;
          }
          target = TextDest(ptr, size, wide);
          dest = &target;
        }
        if (!closed) {
          if (dest != nullptr) dest->clear();
          stop = Outcome::kMismatch;
          break;
        }
        stop = scan_text(in, conv, &set, dest);
        if (stop == Outcome::kDone && !conv.suppress) ++assigned;
        break;
      }
      default: {
        // "%%" and any other character: that character, after skipped whitespace.
        skip_space(in);
        int c = in.peek();
        if (c == EOF) {
          stop = Outcome::kInputEnded;
        } else if (c != static_cast<unsigned char>(letter)) {
          stop = Outcome::kFormatError;
        } else {
          in.advance();
        }
        break;
      }
    }
  }
  switch (stop) {
    case Outcome::kFormatError: return -1;
    case Outcome::kInputEnded: return assigned == 0 ? -1 : assigned;
    default: return assigned;
  }
}

}  // namespace bsp::boundc::scan
