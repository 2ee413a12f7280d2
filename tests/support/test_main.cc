// Main of every test binary: refuses to run off the sandboxed board, then initialises
// nPth (the library's blocking calls need an nPth host) and runs the tests.
#include <gtest/gtest.h>
#include <npth.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "support/sandbox_guard.h"

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!bsp::test::on_sandboxed_board()) {
    fprintf(stderr, "refusing to run: not inside bsp-sandbox (the reboot stand-in is not bound)\n");
    return 1;
  }
  npth_init();
  return RUN_ALL_TESTS();
}
