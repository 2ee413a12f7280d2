// A look at both pieces areas as a start-up would judge them, without writing anything: what
// each area holds, which copy a start-up serves and what it would write to get there.
#pragma once

#include <stdint.h>

#include "storage/pieces_layout.h"

namespace bsp::storage::pieces {

enum class AreaState {
  Good,        // stamped, right CRC, a file system that can be followed
  Blank,       // stamped, right CRC, no file system yet (formatted at the first write)
  Empty,       // all zero: never stamped (a new flash emulation file)
  Damaged,     // not stamped, wrong CRC, or a layout that cannot be followed
  Unreadable,  // could not be read
};

enum class Damage { None, NotStamped, Crc, Layout };

struct AreaInspection {
  AreaState state = AreaState::Unreadable;
  Damage damage = Damage::None;
  bool stamped = false;          // carries the valid flag
  uint16_t stored_crc = 0;       // when stamped
  uint16_t computed_crc = 0;     // over the area bytes after the header
  bool formatted = false;        // a file system with the format's magic that can be followed
  uint32_t files = 0;            // files in use in its table, when formatted
  bool accepted = false;         // what BSP_VfsPiecesAreaInit takes as it stands
};

// The copy a start-up serves, and what it writes first.
enum class Source {
  Main,           // the main area as it is
  Spare,          // the spare area, copied over the main area
  MainRestamped,  // neither is usable: the main area as read, stamped anew, written to both
  None,           // the spare area could not be read either: no file system at all
};

enum class Repair { None, Spare, Main, Both };

struct PiecesInspection {
  AreaInspection main, spare;
  bool areas_agree = false;  // both usable with the same CRC: a start-up writes nothing
  Source source = Source::None;
  Repair repair = Repair::None;
  // The image a start-up serves (main or spare buffer), null when it has none; its files are
  // what a start-up keeps, none when it formats a new file system.
  const uint8_t *served = nullptr;
  bool keeps_files = false;
};

// Judges two area images of g_ulPieceSize bytes each (null for one that could not be read),
// with the checks and the order of BSP_VfsPiecesAreaInit and BSP_VfsPiecesFileInit.
PiecesInspection inspect_areas(const uint8_t *main, const uint8_t *spare);

}  // namespace bsp::storage::pieces
