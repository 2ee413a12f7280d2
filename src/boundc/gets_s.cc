// Bounded line input from standard input.
#include <stdio.h>

#include "boundc/bound_internal.h"

using namespace bsp::boundc;

extern "C" char *gets_s(char *buffer, size_t numberOfElements) {
  if (buffer == nullptr || !size_ok(numberOfElements)) return nullptr;
  // fgets keeps the rest of a longer line in the stream for the next read.
  if (fgets(buffer, static_cast<int>(numberOfElements), stdin) == nullptr) {
    // After a read error fgets leaves the buffer undefined; never hand back an unterminated one.
    buffer[0] = '\0';
    return nullptr;
  }
  size_t len = strlen(buffer);
  while (len > 0 && (buffer[len - 1] == '\n' || buffer[len - 1] == '\r')) buffer[--len] = '\0';
  return buffer;
}
