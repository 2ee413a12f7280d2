// bsp-boot: the boot state of a running box. What its commands share.
#pragma once

#include <stdio.h>

#include <string>

namespace bsp::boot {

enum Exit : int { kOk = 0, kFailed = 1, kUsage = 2 };

struct Context {
  FILE *out = stdout;  // the tool's own output (the library's goes elsewhere)
  FILE *err = stderr;
  bool json = false;
  bool verbose = false;
  std::string library;
};

// "bsp-boot: text" on one line of c.err; returns status.
__attribute__((format(printf, 3, 4))) int fail(const Context &c, int status, const char *format, ...);

// The last error record the loader's readers made (without its line ends), then cleared.
std::string take_reader_error();
void set_reader_messages(FILE *to);

int run_status(Context &c);
int run_mark_good(Context &c);
int run_choose(Context &c, const std::string &name);

}  // namespace bsp::boot
