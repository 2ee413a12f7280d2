// Formatted-output entry points: argument checks, then the engine with the entry's rule for
// output that does not fit.
#include <bsp/boundc.h>

#include "arg_list.h"
#include "print_engine.h"

namespace {

using bsp::boundc::ArgList;
namespace print = bsp::boundc::print;

constexpr size_t kMaxDest = 0x7FFFFFFF;
constexpr size_t kMaxCount = 0x7FFFFFFE;

bool bad_dest(const char *dest, size_t destMax) { return dest == nullptr || destMax == 0 || destMax > kMaxDest; }

// The result must fit whole: anything else leaves an empty destination.
int print_whole(char *dest, size_t destMax, const char *format, ArgList &args) {
  if (bad_dest(dest, destMax)) return -1;
  if (format == nullptr) {
    dest[0] = '\0';
    return -1;
  }
  int r = print::format(dest, destMax, format, args, print::OnOverflow::kStop);
  if (r < 0) {
    dest[0] = '\0';
    return -1;
  }
  return r;
}

int print_counted(char *dest, size_t destMax, size_t count, const char *format, ArgList &args) {
  if (bad_dest(dest, destMax)) return -1;
  // The all-ones count asks for "as much as fits", whatever the width of size_t.
  bool as_much_as_fits = count == 0xFFFFFFFFu || count == static_cast<size_t>(-1);
  if (format == nullptr || (count > kMaxCount && !as_much_as_fits)) {
    dest[0] = '\0';
    return -1;
  }
  if (count < destMax) {
    int r = print::format(dest, count + 1, format, args, print::OnOverflow::kFinishFormat);
    return r < 0 ? -1 : r;  // a truncated text stays; a failure has cleared
  }
  return print_whole(dest, destMax, format, args);
}

int print_truncated(char *dest, size_t destMax, const char *format, ArgList &args) {
  if (bad_dest(dest, destMax)) return -1;
  if (format == nullptr) {
    dest[0] = '\0';
    return -1;
  }
  int r = print::format(dest, destMax, format, args, print::OnOverflow::kFinishFormat);
  if (r == print::kTruncated) return static_cast<int>(destMax - 1);
  return r < 0 ? -1 : r;
}

}  // namespace

extern "C" {

int SecVsnprintfImpl(char *string, size_t count, const char *format, va_list argList) {
  if (string == nullptr || count == 0) return -1;
  if (format == nullptr || count > kMaxDest) {
    string[0] = '\0';
    return -1;
  }
  ArgList args(argList);
  return print::format(string, count, format, args, print::OnOverflow::kFinishFormat);
}

int vsprintf_s(char *strDest, size_t destMax, const char *format, va_list argList) {
  ArgList args(argList);
  return print_whole(strDest, destMax, format, args);
}

int sprintf_s(char *strDest, size_t destMax, const char *format, ...) {
  ArgList args;
  va_start(args.ap, format);
  return print_whole(strDest, destMax, format, args);
}

int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format, va_list argList) {
  ArgList args(argList);
  return print_counted(strDest, destMax, count, format, args);
}

int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...) {
  ArgList args;
  va_start(args.ap, format);
  return print_counted(strDest, destMax, count, format, args);
}

int vsnprintf_truncated_s(char *strDest, size_t destMax, const char *format, va_list argList) {
  ArgList args(argList);
  return print_truncated(strDest, destMax, format, args);
}

int snprintf_truncated_s(char *strDest, size_t destMax, const char *format, ...) {
  ArgList args;
  va_start(args.ap, format);
  return print_truncated(strDest, destMax, format, args);
}

}  // extern "C"
