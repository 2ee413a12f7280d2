#include "host_library.h"

#include <stdlib.h>
#include <unistd.h>

namespace bsp::host {

std::string default_library(const char *built) {
  if (const char *env = getenv("BSP_LIBRARY"); env != nullptr && *env != '\0') return env;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.rfind('/'));
    std::string installed = dir + "/../lib/libbsp.so";
    if (access(installed.c_str(), R_OK) == 0) return installed;
  }
  return built;
}

}  // namespace bsp::host
