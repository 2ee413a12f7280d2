// A fresh process of one build acting on the boot records, for the tests that need a restart or
// the other deliverable. Each argument is one command; results go to standard output.
//   get                 read the load state word: "rc=<code> <hex of the record>"
//   raw HEX             store raw bytes as the piece file
//   choose NAME         (library) BSP_SaveBootFileName
//   rollback            (loader) the loader's rollback of the record: current set invalid, roles swapped
//   found NAME          (loader) a package found by the search becomes the current set
//   mem-init mem-incr mem-clear mem-count mem-search mem-set-search=N   (loader) Boot_* counters
#include <bsp/loadstate.h>
#include <bsp/pieces.h>
#include <npth.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "bootrec_env.h"
#include "storage/loadstate_sets.h"
#include "support/sandbox_guard.h"

#ifdef BOOTREC_LOADER_FLAVOR
#include "storage/bootmem.h"
#endif

using namespace bootrec_test;

namespace {

bool run(const std::string &cmd, const char *arg) {
  if (cmd == "get") {
    LOAD_STATE_WORD_S w;
    uint32_t rc = BSP_GetLoadStateWord(&w);
    printf("\nrc=%u %s\n", rc, hex(bytes_of(w)).c_str());
    return true;
  }
  if (cmd == "raw" && arg != nullptr) {
    store_raw(unhex(arg));
    return true;
  }
#ifdef BOOTREC_LOADER_FLAVOR
  if (cmd == "rollback" || (cmd == "found" && arg != nullptr)) {
    LOAD_STATE_WORD_S w;
    if (BSP_GetLoadStateWord(&w) != 0) return false;
    if (cmd == "rollback") {
      bsp::loadstate::current_set(w).ucPktValidFlag = 0;
      bsp::loadstate::swap_roles(w);
    } else {
      LOAD_STATE_WORD_CORE_S &cur = bsp::loadstate::current_set(w);
      cur.ucPktValidFlag = 1;
      memset(cur.acPktFileName, 0, sizeof cur.acPktFileName);
      snprintf(cur.acPktFileName, sizeof cur.acPktFileName, "%s", arg);
    }
    printf("\nrc=%u\n", BSP_SetLoadStateWord(&w));
    return true;
  }
  if (cmd == "mem-init") return printf("init=%d\n", Boot_BootinfoInit()), true;
  if (cmd == "mem-incr") return Boot_IncrLoadFailTimes(), true;
  if (cmd == "mem-clear") return Boot_ClearLoadFailTimes(), true;
  if (cmd == "mem-count") return printf("count=%d\n", Boot_GetLoadFailTimes()), true;
  if (cmd == "mem-search") return printf("search=%u\n", Boot_GetSearchPktCnt()), true;
  if (cmd.rfind("mem-set-search=", 0) == 0) {
    Boot_SetSearchPktCnt(static_cast<uint32_t>(strtoul(cmd.c_str() + 15, nullptr, 0)));
    return true;
  }
#else
  if (cmd == "choose" && arg != nullptr) {
    printf("\nrc=%u\n", BSP_SaveBootFileName(reinterpret_cast<signed char *>(const_cast<char *>(arg))));
    return true;
  }
#endif
  return false;
}

bool takes_argument(const std::string &cmd) { return cmd == "raw" || cmd == "choose" || cmd == "found"; }

}  // namespace

int main(int argc, char **argv) {
  if (!bsp::test::on_sandboxed_board()) {
    fprintf(stderr, "refusing to run: not inside bsp-sandbox\n");
    return 1;
  }
#ifndef BOOTREC_LOADER_FLAVOR
  npth_init();
#endif
  bool storage = false;
  for (int i = 1; i < argc; ++i) {
    std::string cmd = argv[i];
    if (cmd.rfind("mem-", 0) != 0 && !storage) {
      start_storage();
      storage = true;
    }
    const char *arg = takes_argument(cmd) && i + 1 < argc ? argv[++i] : nullptr;
    if (!run(cmd, arg)) {
      fprintf(stderr, "bootrec_tool: bad command %s\n", cmd.c_str());
      return 2;
    }
    fflush(stdout);
  }
  return 0;
}
