// Text conversions of the scan engine: "%c", "%s" and "%[" sets, narrow or wide.
#pragma once

#include "scan_conversion.h"

namespace bsp::boundc::scan {

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

// Parses the set after its '['. Returns false for a set without its closing ']'; p is then
// left at the end of the format.
bool parse_set(const char *&p, CharSet &members);

inline bool is_wide_text(const Conversion &conv) { return is_wide_text(conv.type, conv.size); }

// set: the members for "%["; dest null: a suppressed conversion.
Outcome scan_text(Source &in, const Conversion &conv, const CharSet *set, TextDest *dest);

}  // namespace bsp::boundc::scan
