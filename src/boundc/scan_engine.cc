#include "scan_engine.h"

#include "scan_conversion.h"
#include "scan_numbers.h"
#include "scan_text.h"

namespace bsp::boundc::scan {
namespace {

void count_field(Outcome outcome, const Conversion &conv, int &assigned, bool &matched) {
  if (outcome != Outcome::kDone) return;
  matched = true;
  if (!conv.suppress) ++assigned;
}

}  // namespace

int scan(Source &in, const char *format, ArgList &args) {
  int assigned = 0;
  bool matched = false;  // a field matched input, assigned or suppressed
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
        count_field(stop, conv, assigned, matched);
        break;
      }
      case 'e': case 'f': case 'g': case 'E': case 'F': case 'G': {
        void *dest = conv.suppress ? nullptr : args.next<void *>();
        if (!conv.suppress && dest == nullptr) {
          stop = Outcome::kFormatError;
          break;
        }
        stop = scan_float(in, conv, dest);
        count_field(stop, conv, assigned, matched);
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
        count_field(stop, conv, assigned, matched);
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
    case Outcome::kInputEnded: return matched ? assigned : -1;
    default: return assigned;
  }
}

}  // namespace bsp::boundc::scan
