// state | state choose flash:/NAME.cc
#include <bsp/loadstate.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "common/json.h"
#include "common/loadstate_view.h"
#include "common/text.h"
#include "image.h"
#include "storage/pieces_state.h"

namespace bsp::image {
namespace {

using namespace bsp::storage::pieces;

constexpr char kPieceName[] = "statemach.efs";
constexpr char kVolumePrefix[] = "flash:/";
constexpr size_t kNameField = sizeof(LOAD_STATE_WORD_CORE_S::acPktFileName);

tools::LoadStateView view_of(const PiecesLook &look) {
  tools::LoadStateView view;
  Volume v(nullptr, 0);
  FileRef f;
  if (!served_volume(look, &v) || v.lookup(kPieceName, &f) != 0) return view;
  view.present = true;
  view.stored_bytes = f.size;
  view.whole = f.size >= sizeof view.word;
  auto content = v.content(f);
  memcpy(&view.word, content.data(), std::min(content.size(), sizeof view.word));
  return view;
}

int show(Context &c) {
  if (int rc = attach(c); rc != kOk) return rc;
  PiecesLook look;
  if (int rc = look_at_pieces(c, look); rc != kOk) return rc;
  if (look.report.source == Source::None) return fail(c, kUnusable, "no pieces area can be read");
  int status = kOk;
  if (std::string problem = pieces_problem(look.report); !problem.empty()) {
    warn(c, "%s; shown as a start-up would serve it", problem.c_str());
    status = kFailed;
  }
  const tools::LoadStateView view = view_of(look);
  if (view.present && !view.sound()) status = kFailed;
  if (c.json) {
    tools::Json j(c.out);
    tools::json_load_state(j, view);
    j.finish();
  } else {
    tools::print_load_state(c.out, view);
  }
  return status;
}

// "flash:/" and a file name of the flash volume ending in .cc, short enough for the record.
bool package_name(const std::string &name) {
  const size_t prefix = strlen(kVolumePrefix);
  if (name.compare(0, prefix, kVolumePrefix) != 0 || name.size() >= kNameField) return false;
  const std::string file = name.substr(prefix);
  return file.size() > 3 && file.find('/') == std::string::npos && strcasecmp(file.c_str() + file.size() - 3, ".cc") == 0;
}

int choose(Context &c, const std::string &name) {
  if (!package_name(name)) {
    return fail(c, kUnusable, "%s is no package name: flash:/NAME.cc, at most %zu characters",
                tools::printable(name).c_str(), kNameField - 1);
  }
  if (int rc = attach(c); rc != kOk) return rc;
  PiecesLook look;
  if (int rc = look_at_pieces(c, look); rc != kOk) return rc;
  if (int rc = start_pieces_for_write(c, look); rc != kOk) return rc;
  std::string copy = name;
  if (BSP_SaveBootFileName(reinterpret_cast<signed char *>(copy.data())) != 0) {
    return fail(c, kFailed, "the load state word could not be written");
  }
  fprintf(c.out, "next boot: %s\n", name.c_str());
  return kOk;
}

}  // namespace

int run_state(Context &c) {
  const size_t n = c.args.size();
  if (n == 0) return show(c);
  if (c.args[0] == "choose") {
    if (c.json) return usage_error(c.err, "--json is not used by state %s", "choose");
    if (n != 2) return usage_error(c.err, "%sstate choose needs one flash:/NAME.cc", "");
    return choose(c, c.args[1]);
  }
  return usage_error(c.err, "unknown state command %s", c.args[0]);
}

}  // namespace bsp::image
