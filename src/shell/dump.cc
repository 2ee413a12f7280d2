// Hexadecimal memory dump through the shell's output path. Lines are built in fixed stack
// buffers: a dump must work when memory is short.
#include <bsp/boundc.h>
#include <bsp/shell.h>
#include <stdarg.h>
#include <stdint.h>

#include "shell/judge.h"

namespace {

constexpr char kSourceFile[] = "dump.cc";
constexpr uintptr_t kLineBytes = 16;
constexpr size_t kLineBuffer = 128;
constexpr size_t kAsciiBuffer = 17;
constexpr size_t kDescriptionBuffer = 4096;

// A dump line under construction.
class Line {
 public:
  explicit Line(uint32_t address) {
    SHELL_JUDGE(memset_s(text_, sizeof text_, 0, sizeof text_), "memset_s");
    SHELL_JUDGE(memset_s(ascii_, sizeof ascii_, 0, sizeof ascii_), "memset_s");
    append("%08x:  ", address);
  }

  template <typename... Args>
  void append(const char *format, Args... args) {
    int n = sprintf_s(text_ + used_, sizeof text_ - used_, format, args...);
    SHELL_JUDGE(n, "sprintf_s");
    if (n > 0) used_ += static_cast<size_t>(n);
  }

  void set_ascii(size_t column, char c) { ascii_[column] = c; }

  void print(bool with_ascii) {
    if (with_ascii) append("%s", ascii_);
    DRV_Printf("%s\r\n", text_);
  }

 private:
  char text_[kLineBuffer];
  char ascii_[kAsciiBuffer];
  size_t used_ = 0;
};

char printable(uint8_t b) { return b >= 0x20 && b <= 0x7F ? static_cast<char>(b) : '.'; }

// Little-endian value of the n (1 to 4) bytes at p; never touches a byte past p + n.
uint32_t read_le(const uint8_t *p, size_t n) {
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

void dump(const uint8_t *begin, const uint8_t *end, bool ascii, bool words) {
  uintptr_t first = reinterpret_cast<uintptr_t>(begin);
  uintptr_t last = reinterpret_cast<uintptr_t>(end);
  const uint8_t *pos = begin;
  for (uintptr_t line_addr = first & ~(kLineBytes - 1); line_addr < last; line_addr += kLineBytes) {
    Line line(static_cast<uint32_t>(line_addr));
    if (words) {
      for (uintptr_t col = 0; col < kLineBytes / 4; ++col) {
        uintptr_t at = line_addr + col * 4;
        if (at < first || at >= last) {
          line.append("%s", "         ");
          line.set_ascii(col * 4, ' ');
          continue;
        }
        size_t left = static_cast<size_t>(end - pos);
        if (left >= 4) {
          line.append("%08x ", read_le(pos, 4));
          pos += 4;
        } else {
          // The region ends inside this word: show only its own bytes.
          static const char *const kTail[] = {"", "%02x       ", "%04x     ", "%06x   "};
          line.append(kTail[left], read_le(pos, left));
          pos = end;
        }
      }
    } else {
      for (uintptr_t col = 0; col < kLineBytes; ++col) {
        uintptr_t at = line_addr + col;
        if (at < first || at >= last) {
          line.append("%s", "   ");
          line.set_ascii(col, ' ');
          continue;
        }
        line.append("%02x ", static_cast<unsigned>(*pos));
        line.set_ascii(col, printable(*pos));
        ++pos;
      }
    }
    line.print(ascii);
    if (line_addr + kLineBytes < line_addr) break;  // top of the address space
  }
}

}  // namespace

extern "C" BSP_API void DRV_DumpMemory(void *address, unsigned long length, unsigned long flag,
                                       const char *description, ...) {
  if (description != nullptr) {
    DRV_Printf("\r\n");
    char text[kDescriptionBuffer];
    va_list ap;
    va_start(ap, description);
    int n = vsnprintf_s(text, sizeof text, sizeof text - 1, description, ap);
    va_end(ap);
    SHELL_JUDGE(n, "vsnprintf_s");
    if (n > 0) DRV_Printf("%s", text);
  }
  if (length == 0) {
    DRV_Printf("DRV_DumpMemory length is zero.\r\n");
    return;
  }
  const auto *begin = static_cast<const uint8_t *>(address);
  dump(begin, begin + length, (flag & DUMP_FLAG_ASCII) != 0, (flag & DUMP_FLAG_WORD) != 0);
}
