// bsp-image IMAGE COMMAND [ARGS]: the flash emulation file, offline (see cli.cc).
#include <stdio.h>

#include "cli.h"

int main(int argc, char **argv) {
  int status = bsp::image::run(argc, argv, stdout, stderr);
  if (fflush(stdout) != 0 && status == 0) status = 1;
  return status;
}
