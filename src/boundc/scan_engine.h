// The scan engine shared by every formatted-input entry point.
#pragma once

#include "arg_list.h"
#include "scan_source.h"

namespace bsp::boundc::scan {

constexpr unsigned kMaxNarrowSize = 0x7FFFFFFF;
constexpr unsigned kMaxWideSize = 0x1FFFFFFF;

// Scans in against format. Returns the number of fields assigned, or -1 when the input ended
// before any field was matched (assigned or suppressed), or after a format error or a null
// destination.
int scan(Source &in, const char *format, ArgList &args);

}  // namespace bsp::boundc::scan
