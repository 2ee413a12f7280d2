// Formatted-input entry points: argument checks, the stream record for the source, then the
// scan engine.
#include <bsp/boundc.h>
#include <string.h>
#include <wchar.h>

#include "arg_list.h"
#include "scan_engine.h"
#include "scan_source.h"

namespace {

using bsp::boundc::ArgList;
namespace scan = bsp::boundc::scan;

constexpr size_t kMaxBuffer = 0x7FFFFFFF;

SecFileStream file_stream(unsigned flag, FILE *pf, char *base) {
  SecFileStream s{};
  s.flag = flag;
  s.pf = pf;
  s.base = base;
  s.oriFilePos = -1;
  return s;
}

int scan_with(SecFileStream &stream, const char *format, ArgList &args) {
  scan::Source in(stream);
  int r = scan::scan(in, format, args);
  return r < 0 ? -1 : r;
}

int scan_file(FILE *pf, unsigned flag, const char *format, ArgList &args) {
  char block[scan::kFileBlock + 1];
  SecFileStream s = file_stream(flag, pf, block);
  flockfile(pf);
  int r = scan_with(s, format, args);
  funlockfile(pf);
  return r;
}

int scan_string(const char *buffer, const char *format, ArgList &args) {
  if (buffer == nullptr || format == nullptr) return -1;
  size_t len = strnlen(buffer, kMaxBuffer + 1);
  if (len == 0 || len > kMaxBuffer) {
    SecClearDestBuf(buffer, format, args.ap);
    return -1;
  }
  SecFileStream s = file_stream(SECUREC_FROM_STRING, nullptr, nullptr);
  s.cur = buffer;
  s.count = static_cast<int>(len);
  return scan_with(s, format, args);
}

int scan_stdin(const char *format, ArgList &args) {
  if (format == nullptr || stdin == nullptr) return -1;
  return scan_file(stdin, SECUREC_FROM_STDIN, format, args);
}

int scan_stream(FILE *stream, const char *format, ArgList &args) {
  if (stream == nullptr || format == nullptr) return -1;
  if (stream == stdin) return scan_stdin(format, args);
  return scan_file(stream, SECUREC_FROM_FILE, format, args);
}

}  // namespace

extern "C" {

int SecInputS(SecFileStream *stream, const char *cFormat, va_list argList) {
  if (stream == nullptr || cFormat == nullptr) return -1;
  ArgList args(argList);
  scan::Source in(*stream);
  return scan::scan(in, cFormat, args);
}

void SecClearDestBuf(const char *buffer, const char *format, va_list argList) {
  if (buffer == nullptr || format == nullptr) return;
  // Find the first conversion; "%%" is none.
  const char *p = format;
  for (;;) {
    p = strchr(p, '%');
    if (p == nullptr) return;
    if (p[1] != '%') break;
    p += 2;
  }
  ++p;
  if (*p == '*') return;
  while (*p >= '0' && *p <= '9') ++p;
  bool wide = false, narrow = false;
  while (*p != '\0' && strchr("hlLqjtzwNIF0123456789", *p) != nullptr) {
    if (*p == 'l' || *p == 'w') wide = true;
    if (*p == 'h') narrow = true;
    ++p;
  }
  char type = *p;
  if (type == 'C' || type == 'S') {
    wide = !narrow;
    type = static_cast<char>(type - 'A' + 'a');
  }
  if (type != 'c' && type != 's' && type != '[') return;
  if (buffer[0] != '\0' && type != 's') return;
  ArgList args(argList);
  void *dest = args.next<void *>();
  unsigned size = args.next<unsigned>();
  if (dest == nullptr || size == 0) return;
  if (wide) {
    static_cast<wchar_t *>(dest)[0] = L'\0';
  } else {
    static_cast<char *>(dest)[0] = '\0';
  }
}

int vsscanf_s(const char *buffer, const char *format, va_list argList) {
  ArgList args(argList);
  return scan_string(buffer, format, args);
}

int sscanf_s(const char *buffer, const char *format, ...) {
  ArgList args;
  va_start(args.ap, format);
  return scan_string(buffer, format, args);
}

int vscanf_s(const char *format, va_list argList) {
  ArgList args(argList);
  return scan_stdin(format, args);
}

int scanf_s(const char *format, ...) {
  ArgList args;
  va_start(args.ap, format);
  return scan_stdin(format, args);
}

int vfscanf_s(FILE *stream, const char *format, va_list argList) {
  ArgList args(argList);
  return scan_stream(stream, format, args);
}

int fscanf_s(FILE *stream, const char *format, ...) {
  ArgList args;
  va_start(args.ap, format);
  return scan_stream(stream, format, args);
}

}  // extern "C"
