// Output side of the print engine: a bounded writer over a SecPrintfStream. It never writes
// past its room; an attempt to do so only marks the output as overflowed.
#pragma once

#include <bsp/boundc.h>
#include <string.h>

#include "boundc/bound_internal.h"

namespace bsp::boundc::print {

class Writer {
 public:
  // room: characters that may be written, the terminating NUL not included.
  Writer(char *dest, int room) : start_(dest), room_(room) {
    stream_.cur = dest;
    stream_.count = room;
  }

  void put(char c) {
    if (stream_.count > 0) {
      *stream_.cur++ = c;
      --stream_.count;
    } else {
      overflowed_ = true;
    }
  }

  void write(const char *text, size_t n) {
    size_t fits = n;
    if (fits > static_cast<size_t>(stream_.count)) {
      fits = static_cast<size_t>(stream_.count);
      overflowed_ = true;
    }
    char *to = stream_.cur;  // a local cursor: stores through char* would reload a member
    copy_bytes(to, text, fits);
    stream_.cur = to + fits;
    stream_.count -= static_cast<int>(fits);
  }

  void fill(char c, long long n) {
    if (n <= 0) return;
    long long fits = n;
    if (fits > stream_.count) {
      fits = stream_.count;
      overflowed_ = true;
    }
    char *to = stream_.cur;
    fill_bytes(to, c, static_cast<size_t>(fits));
    stream_.cur = to + fits;
    stream_.count -= static_cast<int>(fits);
  }

  // A field of the width (or of its body when that is longer): the sign (none when 0), then
  // the body, padded with blanks on the left or, with left, on the right, or with zeros
  // between the sign and the body. Placed in one go when it fits, else piece by piece up to
  // the end of the room.
  void field(char sign, const char *body, size_t body_len, int width, bool left, bool zeros) {
    size_t len = body_len + (sign != 0);
    if (__builtin_expect(len >= static_cast<size_t>(width) && len <= static_cast<size_t>(stream_.count), 1)) {
      char *to = stream_.cur;  // no padding, and it fits
      if (sign != 0) *to++ = sign;
      copy_bytes(to, body, body_len);
      stream_.cur = to + body_len;
      stream_.count -= static_cast<int>(len);
      return;
    }
    padded_field(sign, body, body_len, width, left, zeros);
  }

  void padded_field(char sign, const char *body, size_t body_len, int width, bool left, bool zeros) {
    size_t len = body_len + (sign != 0);
    long long pad = static_cast<size_t>(width) > len ? static_cast<long long>(static_cast<size_t>(width) - len) : 0;
    if (!left && !zeros) fill(' ', pad);
    if (sign != 0) put(sign);
    if (zeros && !left) fill('0', pad);
    write(body, body_len);
    if (left) fill(' ', pad);
  }

  void mark_overflow() { overflowed_ = true; }
  bool overflowed() const { return overflowed_; }
  int room() const { return stream_.count; }
  int written() const { return room_ - stream_.count; }
  char *cursor() const { return stream_.cur; }
  char *start() const { return start_; }

 private:
  SecPrintfStream stream_;
  char *start_;
  int room_;
  bool overflowed_ = false;
};

}  // namespace bsp::boundc::print
