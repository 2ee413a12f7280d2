// The loader's readers report through the boot log's record functions. Here the records stay
// with the tool: the last error explains a refusal, and --verbose shows them all. Nothing is
// added to the boot log, which is the loader's account of its boots.
#include <stdarg.h>
#include <stdio.h>

#include <string>

#include "boot.h"
#include "loader/loader.h"

namespace bsp::boot {
namespace {

FILE *g_messages = nullptr;
std::string g_last_error;

void record(const char *kind, bool error, const char *format, va_list args) {
  if (format == nullptr) return;
  char text[256];
  vsnprintf(text, sizeof text, format, args);
  std::string line;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p != '\r' && *p != '\n') line += *p;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  if (error) g_last_error = line;
  if (g_messages != nullptr) fprintf(g_messages, "loader %s: %s\n", kind, line.c_str());
}

}  // namespace

std::string take_reader_error() {
  std::string e;
  e.swap(g_last_error);
  return e;
}

void set_reader_messages(FILE *to) { g_messages = to; }

}  // namespace bsp::boot

extern "C" {

void Boot_Record_Info(const char *format, ...) {
  va_list args;
  va_start(args, format);
  bsp::boot::record("info", false, format, args);
  va_end(args);
}

void Boot_Record_Error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  bsp::boot::record("error", true, format, args);
  va_end(args);
}

}  // extern "C"
