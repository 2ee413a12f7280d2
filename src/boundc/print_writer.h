// Output side of the print engine: a bounded writer over a SecPrintfStream. It never writes
// past its room; an attempt to do so only marks the output as overflowed.
#pragma once

#include <bsp/boundc.h>
#include <string.h>

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
    // Short runs are cheaper byte by byte than through a call.
    char *to = stream_.cur;  // a local cursor: stores through char* would reload a member
    if (fits > 11) {
      memcpy(to, text, fits);
    } else {
      for (size_t i = 0; i < fits; ++i) to[i] = text[i];
    }
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
    if (fits > 11) {
      memset(to, c, static_cast<size_t>(fits));
    } else {
      for (long long i = 0; i < fits; ++i) to[i] = c;
    }
    stream_.cur = to + fits;
    stream_.count -= static_cast<int>(fits);
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
