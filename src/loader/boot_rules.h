// Rules of the loader that other programs read the board by: which subarea the running kernel
// came from, and when a boot rolls back.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace bsp::loader {

// A boot that starts with more counted attempts than this rolls back to the fallback set.
inline constexpr uint32_t kRollbackAfter = 2;

// Only this much of the kernel command line is looked at.
inline constexpr size_t kCmdlineBytes = 20;

// True when the command line (its first kCmdlineBytes bytes) names subarea A; anything else
// means B.
bool names_subarea_a(const char *cmdline);

}  // namespace bsp::loader
