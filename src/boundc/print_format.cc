#include "print_format.h"

namespace bsp::boundc::print {
namespace {

enum class State { kPercent, kFlag, kWidth, kDot, kPrecision, kSize };

constexpr int kDigitLimit = 21474836;     // a literal value above this takes no further digit
constexpr long long kStarLimit = 214748360;  // largest '*' width magnitude or precision

bool is_flag(char c) { return c == ' ' || c == '#' || c == '+' || c == '-' || c == '0'; }

unsigned flag_bit(char c) {
  switch (c) {
    case '-': return kLeft;
    case '+': return kSign;
    case ' ': return kBlank;
    case '#': return kAlt;
    default: return kZero;
  }
}

bool add_digit(int &value, char c) {
  if (value > kDigitLimit) return false;
  value = value * 10 + (c - '0');
  return true;
}

}  // namespace

ParseResult parse_full_conversion(const char *&p, ArgList &args, Conversion &out) {
  out = Conversion{};
  State state = State::kPercent;
  bool star_width = false, star_precision = false;
  for (;;) {
    char c = *p;
    if (c == '\0') return ParseResult::kInvalid;  // the format ends inside a conversion
    if (state == State::kPercent && c == '%') {
      ++p;
      return ParseResult::kPercent;
    }
    if (is_type(c)) {
      out.type = c;
      ++p;
      return ParseResult::kConversion;
    }
    switch (read_size(p, out.size, Engine::kPrint)) {
      case SizeRead::kTaken:
        state = State::kSize;
        continue;
      case SizeRead::kTextI:
        ++p;
        return ParseResult::kLiteralI;
      case SizeRead::kNone:
        break;
    }
    if (state == State::kSize) return ParseResult::kInvalid;
    switch (state) {
      case State::kPercent:
      case State::kFlag:
      case State::kWidth:
        if (is_flag(c) && !(state == State::kWidth && c == '0')) {
          out.flags |= flag_bit(c);
          state = State::kFlag;
        } else if (c >= '0' && c <= '9') {
          if (state != State::kWidth) {
            out.width = 0;  // a width after a flag starts anew
            star_width = false;
          } else if (star_width) {
            return ParseResult::kInvalid;
          }
          if (!add_digit(out.width, c)) return ParseResult::kInvalid;
          state = State::kWidth;
        } else if (c == '*' && state != State::kWidth) {
          long long w = args.next<int>();
          if (w < 0) {
            out.flags |= kLeft;
            w = -w;
          }
          if (w > kStarLimit) return ParseResult::kInvalid;
          out.width = static_cast<int>(w);
          star_width = true;
          state = State::kWidth;
        } else if (c == '.') {
          out.precision = 0;
          state = State::kDot;
        } else {
          return ParseResult::kInvalid;
        }
        break;
      case State::kDot:
      case State::kPrecision:
        if (c >= '0' && c <= '9' && !star_precision) {
          if (!add_digit(out.precision, c)) return ParseResult::kInvalid;
          state = State::kPrecision;
        } else if (c == '*' && state == State::kDot) {
          int v = args.next<int>();
          if (v > kStarLimit) return ParseResult::kInvalid;
          out.precision = v < 0 ? -1 : v;
          star_precision = true;
          state = State::kPrecision;
        } else {
          return ParseResult::kInvalid;
        }
        break;
      case State::kSize:
        return ParseResult::kInvalid;
    }
    ++p;
  }
}

}  // namespace bsp::boundc::print
