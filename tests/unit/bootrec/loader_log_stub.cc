// The loader build's boot-log sink, for test programs: records go to standard error, marked
// "[info]" or "[error]", so that captured standard output holds only the console text.
#include <stdio.h>

#include "storage/flavor.h"

namespace bsp::storage::flavor {

void loader_log(LogKind kind, const char *format, va_list args) {
  char text[512];
  vsnprintf(text, sizeof text, format, args);
  fprintf(stderr, "%s%s", kind == LogKind::Error ? "[error]" : "[info]", text);
}

}  // namespace bsp::storage::flavor
