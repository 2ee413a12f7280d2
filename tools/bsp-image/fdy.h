// The flash-dynamic area's part of bsp-image: its commands (fdy ls, get, put), its part of
// create (the area formatted with its magic) and of check. Everything of it in the tool is
// here and nowhere else.
#pragma once

#include <stdint.h>

#include <string>

#include "common/json.h"
#include "tool.h"

namespace bsp::image::fdy {

struct AreaCheck {
  enum class State { Unchecked, Good, Empty, Damaged, Unreadable };
  State state = State::Unchecked;
  std::string detail;  // one line for the text output
  uint32_t files = 0;                // entries in use in its table
  const char *damage = nullptr;       // "magic" or "table" when damaged
  bool keeps_first = false;           // a start-up's format of the damaged area keeps file 6
};

// The area as a start-up's check would judge it (IMAGE attached); nothing is written.
AreaCheck check(const Context &c);
// The area as a first start leaves it, on the image create builds (addressed). 0, or the
// printed error's status.
int format(const Context &c);
// fdy [ls] | fdy get ID | fdy put ID [FILE|-]
int run_command(Context &c);

void print(FILE *out, const AreaCheck &a);
void json(tools::Json &json, const AreaCheck &a);
inline bool damaged(const AreaCheck &a) { return a.state == AreaCheck::State::Damaged; }
inline bool unreadable(const AreaCheck &a) { return a.state == AreaCheck::State::Unreadable; }

}  // namespace bsp::image::fdy
