// Which libbsp.so a host tool loads.
#pragma once

#include <string>

namespace bsp::host {

// BSP_LIBRARY when set, else ../lib/libbsp.so beside the program (an installed tool), else
// `built`, the library of the build tree the tool comes from.
std::string default_library(const char *built);

}  // namespace bsp::host
