// Numeric conversions of the scan engine: integers (d i o u x X p), floats, and "%n".
#pragma once

#include "scan_conversion.h"

namespace bsp::boundc::scan {

// dest null: a suppressed conversion.
Outcome scan_integer(Source &in, const Conversion &conv, void *dest);
Outcome scan_float(Source &in, const Conversion &conv, void *dest);
void store_count(void *dest, const Conversion &conv, int consumed);

}  // namespace bsp::boundc::scan
