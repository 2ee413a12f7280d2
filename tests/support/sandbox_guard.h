#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace bsp::test {

// True only inside bsp-sandbox with the recording reboot stand-in in place.
inline bool on_sandboxed_board() {
  const char *flag = getenv("BSP_SANDBOXED");
  if (flag == nullptr || strcmp(flag, "1") != 0) return false;
  FILE *p = popen("reboot --bsp-standin-check 2>/dev/null", "r");
  if (p == nullptr) return false;
  char line[64] = {0};
  bool ok = fgets(line, sizeof line, p) != nullptr && strncmp(line, "bsp reboot stand-in", 19) == 0;
  pclose(p);
  return ok;
}

}  // namespace bsp::test
