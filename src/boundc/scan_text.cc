#include "scan_text.h"

#include <limits.h>
#include <string.h>
#include <wchar.h>

namespace bsp::boundc::scan {
namespace {

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

}  // namespace

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
      char *to = out + n;
      if (kind == 's') {
        for (; i < span && !is_space(p[i]); ++i) to[i] = static_cast<char>(p[i]);
      } else {
        for (; i < span && set->contains(p[i]); ++i) to[i] = static_cast<char>(p[i]);
      }
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

}  // namespace bsp::boundc::scan
