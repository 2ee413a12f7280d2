// bsp-image: the flash emulation file, offline.
#pragma once

#include <stdio.h>

namespace bsp::image {

// The whole tool, with main's arguments; command output to out, errors to err. The storage
// code is process-wide: one run per process.
int run(int argc, char **argv, FILE *out, FILE *err);

}  // namespace bsp::image
