// A look at the flash-dynamic area that writes nothing: what the start-up's check says of it,
// what a start-up would do with it and the files it lists. For the offline image tool, which
// must leave even a damaged area as it is; the judgement is the start-up's own.
#pragma once

#include <bsp/fdy.h>
#include <stdint.h>

#include <vector>

namespace bsp::storage::fdy {

struct AreaInspection {
  bool locked = false;      // both locks were taken (the area recorded, the file opened)
  bool readable = false;    // the magic and the descriptor table could be read
  bool magic_ok = false;
  bool consistent = false;  // the start-up check passes: a start-up leaves the area as it is
  bool zero = false;        // every byte of the area is zero: never formatted, nothing to lose
  bool keeps_first = false; // a start-up format would keep the first file (identifier 6)
  // The entries in use (before the first erased one), in table order.
  std::vector<FDY_FILE_DESCR_S> files;
};

// One read session on the area recorded by FDY_InitFlashDyna or open_unchecked.
AreaInspection inspect_area();

}  // namespace bsp::storage::fdy
