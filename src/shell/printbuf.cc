// The shell's output path: every text goes to the print hook and into a linear capture that
// the host fetches in chunks after a command.
#include <bsp/boundc.h>
#include <bsp/shell.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>

#include "shell/cmd_internal.h"
#include "shell/judge.h"

namespace bsp::shell {

void stdout_writer(const char *text) { fputs(text, stdout); }

}  // namespace bsp::shell

namespace {

constexpr char kSourceFile[] = "printbuf.cc";

char *capture_begin() { return pp.buffer; }
char *capture_end() { return pp.buffer + XPRINT_BUFFER_SIZE; }

void start_if_unused() {
  if (pp.fillpointer == nullptr) {
    pp.fillpointer = capture_begin();
    pp.extractpointer = capture_begin();
  }
}

void capture(const char *text, size_t count) {
  char *end = capture_end();
  if (pp.fillpointer >= end) return;
  size_t room = static_cast<size_t>(end - pp.fillpointer);
  size_t n = std::min(count, room);
  SHELL_JUDGE(memcpy_s(pp.fillpointer, room, text, n), "memcpy_s");
  pp.fillpointer += n;
}

}  // namespace

extern "C" {

BSP_API t_print pp = {};
BSP_API printhook default_printf = bsp::shell::stdout_writer;

BSP_API int DRV_Printf(const char *templat, ...) {
  start_if_unused();
  va_list ap;
  va_start(ap, templat);
  int count = vsnprintf_s(pp.convertbuf, sizeof pp.convertbuf, sizeof pp.convertbuf, templat, ap);
  va_end(ap);
  SHELL_JUDGE(count, "vsnprintf_s");
  if (count < 1) return -1;
  printhook hook = pp.xprinthook != nullptr ? pp.xprinthook : default_printf;
  if (hook != nullptr) hook(pp.convertbuf);
  capture(pp.convertbuf, static_cast<size_t>(count));
  return count;
}

BSP_API void xprinthookinit(void *pprint) { pp.xprinthook = reinterpret_cast<printhook>(pprint); }

BSP_API t_print *xprintBufferMngGet(void) { return &pp; }

BSP_API int xprintbufferisempty(void) { return pp.fillpointer <= pp.extractpointer ? 1 : 0; }

BSP_API int xprintbuffersizeget(void) { return static_cast<int>(pp.fillpointer - pp.extractpointer); }

BSP_API char *xprintbufextract(int *extracelen) {
  if (xprintbufferisempty()) {
    if (extracelen != nullptr) *extracelen = 0;
    return nullptr;
  }
  char *chunk = pp.extractpointer;
  int len = std::min(XPRINT_EXTRACT_CHUNK, xprintbuffersizeget());
  pp.extractpointer += len;
  if (extracelen != nullptr) *extracelen = len;
  return chunk;
}

BSP_API void xprintbufclear(void) {
  SHELL_JUDGE(memset_s(pp.buffer, XPRINT_BUFFER_SIZE, 0, XPRINT_BUFFER_SIZE), "memset_s");
  pp.fillpointer = capture_begin();
  pp.extractpointer = capture_begin();
}

BSP_API void xprintbufprint(void) {
  if (pp.xprinthook != nullptr) pp.xprinthook(pp.buffer);
  xprintbufclear();
}

}  // extern "C"
