// IMAGE as the storage code sees it: checked to be a flash emulation file, addressed by the
// flash front, its pieces areas looked at under the file lock or brought up as at start-up.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "storage/pieces_inspect.h"
#include "tool.h"

namespace bsp::image {

// Makes the storage code address c.image, which must be a regular file of the flash
// emulation file's size. Nothing is written. On failure the one-line error is printed and the
// exit status returned; 0 on success.
int attach(const Context &c);

// Points the storage code at a file without checking it (create, on the file it builds).
void address(const std::string &path);

// Both pieces areas read under a shared lock on the file (so no commit of another process is
// half seen) and judged as a start-up would judge them.
struct PiecesLook {
  std::vector<uint8_t> main, spare;
  bool main_read = false, spare_read = false;
  storage::pieces::PiecesInspection report;
};
// 0, or the printed error's status.
int look_at_pieces(const Context &c, PiecesLook &look);

// A problem a start-up would repair (a damaged, unreadable or out-of-date area), in words, or
// empty when there is none. An image never started has none: a start-up only stamps it.
std::string pieces_problem(const storage::pieces::PiecesInspection &r);

// For write commands: refuses (printed, status returned) when the look found a problem, then
// brings the pieces file system up as a start-up does. 0 when it is ready for writes.
int start_pieces_for_write(const Context &c, const PiecesLook &look);

// The file system a start-up would serve (a view of the look's buffers), or none.
bool served_volume(const PiecesLook &look, storage::pieces::Volume *out);

}  // namespace bsp::image
