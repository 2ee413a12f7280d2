// The load state word as both tools show it: both startup-file sets with their valid flags
// and names, and which one is current (the loader's own selection rule).
#pragma once

#include <bsp/loadstate.h>
#include <stddef.h>
#include <stdio.h>

#include "json.h"

namespace bsp::tools {

struct LoadStateView {
  bool present = false;      // the piece file "statemach.efs" exists
  bool whole = false;        // it holds a whole record
  size_t stored_bytes = 0;   // its size, 0 when not known
  LOAD_STATE_WORD_S word{};  // valid when complete()

  bool complete() const { return present && whole; }
  bool magic_ok() const;
  // A record the loader boots from as it stands (it replaces any other by the default one).
  bool sound() const { return complete() && magic_ok(); }
};

// Every field, for the image tool.
void print_load_state(FILE *out, const LoadStateView &view);
// Valid flags and package names only, for the boot status.
void print_load_state_brief(FILE *out, const LoadStateView &view);
// One JSON object (the value of a key the caller wrote, or the whole document).
void json_load_state(Json &json, const LoadStateView &view);

}  // namespace bsp::tools
