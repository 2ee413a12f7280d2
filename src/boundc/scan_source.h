// Input side of the scan engine: characters from a string, a file read in blocks, or a stream
// read one character at a time, behind one peek/advance interface over a SecFileStream.
#pragma once

#include <bsp/boundc.h>
#include <stdio.h>
#include <sys/types.h>

namespace bsp::boundc::scan {

constexpr int kFileBlock = 1024;

class Source {
 public:
  explicit Source(SecFileStream &stream)
      : stream_(stream),
        buffer_(stream.base != nullptr ? stream.base : local_),
        // Standard input is read a character at a time so that nothing beyond the scan is
        // taken from a terminal or a pipe.
        by_char_((stream.flag & SECUREC_FROM_STDIN) != 0) {}
  ~Source() {
    if ((stream_.flag & (SECUREC_FROM_FILE | SECUREC_FROM_STDIN)) != 0) give_back();
  }
  Source(const Source &) = delete;
  Source &operator=(const Source &) = delete;

  // The next character (0..255) or EOF, without consuming it.
  int peek() {
    if (stream_.count > 0) return static_cast<unsigned char>(*stream_.cur);
    return refill() ? static_cast<unsigned char>(*stream_.cur) : EOF;
  }
  void advance() {
    ++stream_.cur;
    --stream_.count;
    ++consumed_;
  }
  // The characters read ahead and not yet consumed (at least one unless at the end): loops
  // over them keep the position in registers instead of in the stream record.
  const char *ahead(int &n) {
    if (stream_.count <= 0 && !refill()) {
      n = 0;
      return nullptr;
    }
    n = stream_.count;
    return stream_.cur;
  }
  void consume(int n) {
    stream_.cur += n;
    stream_.count -= n;
    consumed_ += n;
  }
  // Characters consumed so far in this scan.
  int consumed() const { return consumed_; }

 private:
  void give_back();  // unread file input back to the stream
  bool refill();
  bool refill_block();
  bool refill_char();

  SecFileStream &stream_;
  char local_[kFileBlock + 1];
  char *buffer_;
  off_t origin_ = -1;  // file position of the first character of the scan
  int consumed_ = 0;
  bool by_char_ = false;
  bool first_read_ = true;
};

}  // namespace bsp::boundc::scan
