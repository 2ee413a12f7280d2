#include "scan_source.h"

namespace bsp::boundc::scan {

void Source::give_back() {
  if (stream_.pf == nullptr) return;
  stream_.fileRealRead += consumed_;
  if (by_char_) {
    // One character is read ahead in this mode, up to three while looking for a byte order
    // mark: all go back, last first.
    for (int i = stream_.count; i > 0; --i) ungetc(static_cast<unsigned char>(stream_.cur[i - 1]), stream_.pf);
  } else if (origin_ >= 0) {
    fseeko(stream_.pf, origin_ + consumed_, SEEK_SET);
  }
  stream_.count = 0;
}

bool Source::refill() {
  if ((stream_.flag & (SECUREC_FROM_FILE | SECUREC_FROM_STDIN)) == 0 || stream_.pf == nullptr) return false;
  if (first_read_ && !by_char_) {
    off_t pos = ftello(stream_.pf);
    if (pos < 0) {
      by_char_ = true;  // not seekable: read no further than needed
    } else {
      origin_ = pos;
      stream_.oriFilePos = static_cast<long>(pos);
    }
  }
  bool got = by_char_ ? refill_char() : refill_block();
  first_read_ = false;
  return got;
}

bool Source::refill_block() {
  size_t n = fread(buffer_, 1, kFileBlock, stream_.pf);
  stream_.cur = buffer_;
  stream_.count = static_cast<int>(n);
  if (first_read_ && n >= 3 && static_cast<unsigned char>(buffer_[0]) == 0xEF &&
      static_cast<unsigned char>(buffer_[1]) == 0xBB && static_cast<unsigned char>(buffer_[2]) == 0xBF) {
    stream_.cur += 3;
    stream_.count -= 3;
    stream_.oriFilePos += 3;
    origin_ += 3;
    if (stream_.count == 0) return refill_block();
  }
  stream_.flag |= SECUREC_FILE_BUFFERED;
  buffer_[stream_.count + (stream_.cur - buffer_)] = '\0';
  return stream_.count > 0;
}

bool Source::refill_char() {
  int c = getc(stream_.pf);
  if (c == EOF) return false;
  if (first_read_ && c == 0xEF) {
    // A byte order mark is skipped; anything else read while looking for it is kept.
    int n = 0;
    buffer_[n++] = static_cast<char>(c);
    int c2 = getc(stream_.pf);
    if (c2 == 0xBB) {
      buffer_[n++] = static_cast<char>(c2);
      int c3 = getc(stream_.pf);
      if (c3 == 0xBF) {
        first_read_ = false;
        return refill_char();
      }
      if (c3 != EOF) buffer_[n++] = static_cast<char>(c3);
    } else if (c2 != EOF) {
      buffer_[n++] = static_cast<char>(c2);
    }
    stream_.cur = buffer_;
    stream_.count = n;
    return true;
  }
  buffer_[0] = static_cast<char>(c);
  stream_.cur = buffer_;
  stream_.count = 1;
  return true;
}

}  // namespace bsp::boundc::scan
