// bsp-boot: the boot state of a running box.
//   bsp-boot [--lib PATH] [--verbose] status [--json] | mark-good | choose flash:/NAME.cc
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "boot.h"
#include "common/host_library.h"
#include "common/text.h"

namespace bsp::boot {

int fail(const Context &c, int status, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  tools::print_line(c.err, "bsp-boot: ", format, ap);
  va_end(ap);
  return status;
}

}  // namespace bsp::boot

namespace {

using namespace bsp::boot;

const char kHelp[] =
    "usage: bsp-boot [--lib PATH] [--verbose] COMMAND\n"
    "  status [--json]          which subarea runs and boots next, both subareas' images,\n"
    "                           the startup-file sets, boot attempts, the application mount\n"
    "  mark-good                the running software works: the boot-attempt count returns to 0\n"
    "  choose flash:/NAME.cc    the package for the next boot (BSP_SaveBootFileName), after\n"
    "                           checking that /mnt/flash/NAME.cc is a startup package\n"
    "  --lib PATH   libbsp.so to load (default: BSP_LIBRARY, then ../lib/libbsp.so)\n"
    "  --verbose    also show the library's and the loader readers' messages on standard error\n";

int usage(FILE *err, const char *what) {
  fprintf(err, "bsp-boot: %s (bsp-boot --help)\n", what);
  return kUsage;
}

// The library prints on standard output; the tool's own output keeps the real one, and the
// library's goes to standard error (--verbose) or nowhere.
FILE *own_output(bool verbose) {
  fflush(stdout);
  int keep = dup(STDOUT_FILENO);
  if (keep < 0) return nullptr;
  int sink = verbose ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (sink < 0 || dup2(sink, STDOUT_FILENO) < 0) {
    close(keep);
    return nullptr;
  }
  close(sink);
  fcntl(keep, F_SETFD, FD_CLOEXEC);
  return fdopen(keep, "w");
}

}  // namespace

int main(int argc, char **argv) {
  Context c;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--json") {
      c.json = true;
    } else if (a == "--verbose" || a == "-v") {
      c.verbose = true;
    } else if (a == "--lib") {
      if (i + 1 >= argc) return usage(stderr, "--lib needs a PATH");
      c.library = argv[++i];
    } else if (a == "--help" || a == "-h") {
      fputs(kHelp, stdout);
      return kOk;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage(stderr, ("unknown option " + a).c_str());
    } else {
      words.push_back(a);
    }
  }
  if (words.empty()) return usage(stderr, "a COMMAND is needed");
  const std::string &command = words[0];
  if (c.json && command != "status") return usage(stderr, "--json belongs to status");
  if (c.library.empty()) c.library = bsp::host::default_library(BSP_DEFAULT_LIBRARY);

  c.out = own_output(c.verbose);
  if (c.out == nullptr) {
    perror("bsp-boot: standard output");
    return kFailed;
  }
  set_reader_messages(c.verbose ? stderr : nullptr);
  int status = kUsage;
  if (command == "status" && words.size() == 1) {
    status = run_status(c);
  } else if (command == "mark-good" && words.size() == 1) {
    status = run_mark_good(c);
  } else if (command == "choose" && words.size() == 2) {
    status = run_choose(c, words[1]);
  } else {
    status = usage(stderr, ("unknown command or arguments: " + command).c_str());
  }
  if (fclose(c.out) != 0 && status == kOk) status = kFailed;
  return status;
}
