// bsp-shell: the reference host. It plays the router software's part: initialises nPth,
// loads libbsp.so, runs the start-up root of one process kind and owns the boot records.
#include <dlfcn.h>
#include <errno.h>
#include <getopt.h>
#include <npth.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "board/watchdog_feeder.h"
#include "boot_records.h"
#include "common/host_library.h"
#include "debug_shell.h"

namespace {

struct Options {
  std::string process = "main";
  std::string library;
  bool watchdog = false;
  bool boot_good = false;
  std::vector<std::string> commands;
};

void usage(FILE *out) {
  fprintf(out,
          "usage: bsp-shell [--process main|lum|monitor] [--lib PATH] [--watchdog] [-c LINE]...\n"
          "  --process KIND  start-up root to run (default main)\n"
          "  --lib PATH      libbsp.so to load (default: BSP_LIBRARY, then ../lib/libbsp.so)\n"
          "  --watchdog      start the watchdog feeder thread\n"
          "  --boot-good     mark this boot good: clear the loader's boot-attempt count\n"
          "  -c LINE         run a debug command line (repeatable); the exit status is 0 when\n"
          "                  every line gave 0, else the low byte of the last non-zero result\n"
          "  without -c      read command lines from standard input (line editing, history and\n"
          "                  completion with Tab on a terminal; \"exit\" or end of input leaves)\n");
}

bool parse(int argc, char **argv, Options &o) {
  static const struct option longopts[] = {{"process", required_argument, nullptr, 'p'},
                                           {"lib", required_argument, nullptr, 'l'},
                                           {"watchdog", no_argument, nullptr, 'w'},
                                           {"boot-good", no_argument, nullptr, 'g'},
                                           {"help", no_argument, nullptr, 'h'},
                                           {nullptr, 0, nullptr, 0}};
  int c;
  while ((c = getopt_long(argc, argv, "c:h", longopts, nullptr)) != -1) {
    switch (c) {
      case 'p': o.process = optarg; break;
      case 'l': o.library = optarg; break;
      case 'w': o.watchdog = true; break;
      case 'g': o.boot_good = true; break;
      case 'c': o.commands.emplace_back(optarg); break;
      case 'h': usage(stdout); exit(0);
      default: return false;
    }
  }
  return optind == argc;
}

const char *root_symbol(const std::string &process) {
  if (process == "main") return "BSP_SoRoot";
  if (process == "lum") return "BSP_SoLumRoot";
  if (process == "monitor") return "BSP_SoMonitorRoot";
  return nullptr;
}

// The library's boot records live in host-owned storage (see boot_records.h).
void point_boot_records(void *lib) { bsp::host::point_boot_records(lib); }

struct WatchdogGlobals {
  uint32_t *flag;
  int32_t *fd;
};

// On an nPth thread: it waits with nPth's sleep, so the shell's thread runs in between.
void *run_feeder(void *arg) {
  auto *g = static_cast<WatchdogGlobals *>(arg);
  bsp::watchdog::feed(*g->flag, *g->fd, [](unsigned seconds) { npth_sleep(seconds); });
  return nullptr;
}

bool start_watchdog(void *lib) {
  static WatchdogGlobals globals;
  globals.flag = static_cast<uint32_t *>(dlsym(lib, "watchdog_flag"));
  globals.fd = static_cast<int32_t *>(dlsym(lib, "g_wdg_fd"));
  if (globals.flag == nullptr || globals.fd == nullptr) return false;
  npth_attr_t attr;
  npth_attr_init(&attr);
  npth_attr_setdetachstate(&attr, NPTH_CREATE_DETACHED);
  npth_t thread;
  int rc = npth_create(&thread, &attr, run_feeder, &globals);
  npth_attr_destroy(&attr);
  return rc == 0;
}

}  // namespace

int main(int argc, char **argv) {
  Options opts;
  if (!parse(argc, argv, opts)) {
    usage(stderr);
    return 2;
  }
  const char *root_name = root_symbol(opts.process);
  if (root_name == nullptr) {
    fprintf(stderr, "bsp-shell: unknown process kind '%s'\n", opts.process.c_str());
    return 2;
  }
  if (opts.library.empty()) opts.library = bsp::host::default_library(BSP_DEFAULT_LIBRARY);

  npth_init();
  void *lib = dlopen(opts.library.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (lib == nullptr) {
    fprintf(stderr, "bsp-shell: cannot load %s: %s\n", opts.library.c_str(), dlerror());
    return 1;
  }
  point_boot_records(lib);
  auto root = reinterpret_cast<void (*)()>(dlsym(lib, root_name));
  if (root == nullptr) {
    fprintf(stderr, "bsp-shell: %s not found in %s\n", root_name, opts.library.c_str());
    return 1;
  }
  root();
  fflush(stdout);
  if (opts.boot_good && !bsp::host::mark_boot_good()) {
    fprintf(stderr, "bsp-shell: cannot clear the boot-attempt count: %s\n", strerror(errno));
    return 1;
  }
  if (opts.watchdog && !start_watchdog(lib)) {
    fprintf(stderr, "bsp-shell: cannot start the watchdog feeder\n");
    return 1;
  }
  bsp::host::ShellApi shell;
  if (!bsp::host::load_shell_api(lib, shell)) {
    fprintf(stderr, "bsp-shell: %s has no debug shell\n", opts.library.c_str());
    return 1;
  }
  if (!opts.commands.empty()) return bsp::host::run_lines(shell, opts.commands);
  return bsp::host::run_interactive(shell);
}
