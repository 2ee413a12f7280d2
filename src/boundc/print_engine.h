// The print engine shared by every formatted-output entry point.
#pragma once

#include <stddef.h>

#include "arg_list.h"

namespace bsp::boundc::print {

constexpr int kTruncated = -2;
constexpr int kFailed = -1;

// What the engine does once the room is used up: stop at once (the caller discards the text
// anyway), or keep reading the format so that a later refused conversion still fails the call.
enum class OnOverflow { kStop, kFinishFormat };

// Formats into dest with room bytes (the NUL included, room >= 1). Returns the length written,
// kTruncated (the first room - 1 characters kept and terminated) or kFailed (dest[0] = NUL).
int format(char *dest, size_t room, const char *format, ArgList &args, OnOverflow mode);

}  // namespace bsp::boundc::print
