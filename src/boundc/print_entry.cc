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

int run(char *dest, size_t room, const char *format, va_list ap, print::OnOverflow mode) {
  ArgList args(ap);
  return print::format(dest, room, format, args, mode);
}

// The result must fit whole: anything else leaves an empty destination.
int print_whole(char *dest, size_t destMax, const char *format, va_list ap) {
  if (bad_dest(dest, destMax)) return -1;
  if (format == nullptr) {
    dest[0] = '\0';
    return -1;
  }
  int r = run(dest, destMax, format, ap, print::OnOverflow::kStop);
  if (r < 0) {
    dest[0] = '\0';
    return -1;
  }
  return r;
}

}  // namespace

extern "C" {

int SecVsnprintfImpl(char *string, size_t count, const char *format, va_list argList) {
  if (string == nullptr || count == 0) return -1;
  if (format == nullptr || count > kMaxDest) {
    string[0] = '\0';
    return -1;
  }
  return run(string, count, format, argList, print::OnOverflow::kFinishFormat);
}

int vsprintf_s(char *strDest, size_t destMax, const char *format, va_list argList) {
  return print_whole(strDest, destMax, format, argList);
}

int sprintf_s(char *strDest, size_t destMax, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int r = print_whole(strDest, destMax, format, ap);
  va_end(ap);
  return r;
}

int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format, va_list argList) {
  if (bad_dest(strDest, destMax)) return -1;
  // The all-ones count asks for "as much as fits", whatever the width of size_t.
  bool as_much_as_fits = count == 0xFFFFFFFFu || count == static_cast<size_t>(-1);
  if (format == nullptr || (count > kMaxCount && !as_much_as_fits)) {
    strDest[0] = '\0';
    return -1;
  }
  if (count < destMax) {
    int r = run(strDest, count + 1, format, argList, print::OnOverflow::kFinishFormat);
    return r < 0 ? -1 : r;  // a truncated text stays; a failure has cleared
  }
  return print_whole(strDest, destMax, format, argList);
}

int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int r = vsnprintf_s(strDest, destMax, count, format, ap);
  va_end(ap);
  return r;
}

int vsnprintf_truncated_s(char *strDest, size_t destMax, const char *format, va_list argList) {
  if (bad_dest(strDest, destMax)) return -1;
  if (format == nullptr) {
    strDest[0] = '\0';
    return -1;
  }
  int r = run(strDest, destMax, format, argList, print::OnOverflow::kFinishFormat);
  if (r == print::kTruncated) return static_cast<int>(destMax - 1);
  return r < 0 ? -1 : r;
}

int snprintf_truncated_s(char *strDest, size_t destMax, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int r = vsnprintf_truncated_s(strDest, destMax, format, ap);
  va_end(ap);
  return r;
}

}  // extern "C"
