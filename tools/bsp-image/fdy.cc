#include "fdy.h"

#include "storage/flash_map.h"

namespace bsp::image::fdy {
namespace {

namespace map = bsp::flash_map;

const char *state_name(AreaCheck::State s) {
  switch (s) {
    case AreaCheck::State::Good: return "good";
    case AreaCheck::State::Empty: return "empty";
    case AreaCheck::State::Damaged: return "damaged";
    case AreaCheck::State::Unreadable: return "unreadable";
    default: return "unchecked";
  }
}

}  // namespace

AreaCheck check(const Context &) {
  AreaCheck a;
  a.detail = "not checked: this build has no flash-dynamic support";
  return a;
}

int format(const Context &) { return kOk; }

int run_command(Context &c) {
  return fail(c, kUnusable, "the fdy commands need the flash-dynamic area, which this build does not have");
}

void print(FILE *out, const AreaCheck &a) {
  fprintf(out, "flash-dynamic area (0x%x): %s\n", map::kFlashDynBase, a.detail.c_str());
}

void json(tools::Json &json, const AreaCheck &a) {
  json.begin_object()
      .field("offset", map::kFlashDynBase)
      .field("size", map::kFlashDynSize)
      .field("state", state_name(a.state))
      .field("files", a.files)
      .end_object();
}

}  // namespace bsp::image::fdy
