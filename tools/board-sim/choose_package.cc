// bsp-choose NAME: the host's choice of the startup package for the next boot. Like the
// reference host it loads libbsp.so, points the library's boot records at the host's and runs
// the main start-up root; then it calls BSP_SaveBootFileName with NAME (e.g. flash:/v2.cc).
#include <dlfcn.h>
#include <npth.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "../bsp-shell/boot_records.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: bsp-choose flash:/NAME.cc\n");
    return 2;
  }
  const char *library = getenv("BSP_LIBRARY");
  if (library == nullptr || *library == '\0') library = BSP_DEFAULT_LIBRARY;
  npth_init();
  void *lib = dlopen(library, RTLD_NOW | RTLD_GLOBAL);
  if (lib == nullptr) {
    fprintf(stderr, "bsp-choose: cannot load %s: %s\n", library, dlerror());
    return 1;
  }
  bsp::host::point_boot_records(lib);
  auto root = reinterpret_cast<void (*)()>(dlsym(lib, "BSP_SoRoot"));
  auto choose = reinterpret_cast<uint32_t (*)(signed char *)>(dlsym(lib, "BSP_SaveBootFileName"));
  if (root == nullptr || choose == nullptr) {
    fprintf(stderr, "bsp-choose: %s lacks BSP_SoRoot or BSP_SaveBootFileName\n", library);
    return 1;
  }
  root();
  uint32_t rc = choose(reinterpret_cast<signed char *>(argv[1]));
  printf("\nBSP_SaveBootFileName(\"%s\") = %u\n", argv[1], rc);
  return rc == 0 ? 0 : 1;
}
