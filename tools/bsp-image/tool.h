// What every command of bsp-image shares: the run's context, exit statuses, one-line errors.
#pragma once

#include <stdarg.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace bsp::image {

// Exit statuses of every command.
enum Exit : int {
  kOk = 0,        // done; everything checked is good
  kFailed = 1,    // refused or failed, or something in the image is damaged
  kUnusable = 2,  // bad arguments, or IMAGE cannot be read as a flash image
};

struct Context {
  std::string image;              // IMAGE as given
  std::vector<std::string> args;  // after the command word(s)
  FILE *out = stdout;
  FILE *err = stderr;
  bool json = false;
  bool repair = false;
};

// "bsp-image: text (bsp-image --help)" for bad arguments; format takes one %s, what.
int usage_error(FILE *err, const char *format, const std::string &what);
// "bsp-image: IMAGE: text" on one line of c.err; returns status.
__attribute__((format(printf, 3, 4))) int fail(const Context &c, int status, const char *format, ...);
// The same line as a warning, with no status.
__attribute__((format(printf, 2, 3))) void warn(const Context &c, const char *format, ...);

// Where the storage code's own messages go: nowhere, or a stream (--verbose).
void set_storage_messages(FILE *to);

int run_create(Context &c);
int run_check(Context &c);
int run_pieces(Context &c);
int run_state(Context &c);

}  // namespace bsp::image
