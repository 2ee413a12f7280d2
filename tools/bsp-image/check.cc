// check [--repair]: both pieces areas and the flash-dynamic area, as a start-up judges them.
#include <bsp/pieces.h>

#include "common/json.h"
#include "fdy.h"
#include "image.h"
#include "storage/flash_map.h"
#include "storage/pieces_state.h"

namespace bsp::image {
namespace {

namespace map = bsp::flash_map;
using namespace bsp::storage::pieces;

const char *state_name(AreaState s) {
  switch (s) {
    case AreaState::Good: return "good";
    case AreaState::Blank: return "blank";
    case AreaState::Empty: return "empty";
    case AreaState::Damaged: return "damaged";
    default: return "unreadable";
  }
}

const char *damage_name(Damage d) {
  switch (d) {
    case Damage::NotStamped: return "not_stamped";
    case Damage::Crc: return "crc";
    case Damage::Layout: return "layout";
    default: return nullptr;
  }
}

const char *source_name(Source s) {
  switch (s) {
    case Source::Main: return "main";
    case Source::Spare: return "spare";
    case Source::MainRestamped: return "main_restamped";
    default: return "none";
  }
}

const char *repair_name(Repair r) {
  switch (r) {
    case Repair::Spare: return "spare";
    case Repair::Main: return "main";
    case Repair::Both: return "both";
    default: return "none";
  }
}

void print_area(FILE *out, const char *name, uint32_t offset, const AreaInspection &a) {
  fprintf(out, "pieces %s area (0x%x): %s", name, offset, state_name(a.state));
  switch (a.state) {
    case AreaState::Good:
      fprintf(out, ", %u file%s, CRC 0x%04x\n", a.files, a.files == 1 ? "" : "s", a.computed_crc);
      break;
    case AreaState::Blank: fprintf(out, ", stamped without a file system, CRC 0x%04x\n", a.computed_crc); break;
    case AreaState::Empty: fputs(", never stamped (all zero)\n", out); break;
    case AreaState::Damaged:
      if (a.damage == Damage::NotStamped) {
        fputs(", no valid flag\n", out);
      } else if (a.damage == Damage::Crc) {
        fprintf(out, ", CRC 0x%04x stored, 0x%04x computed", a.stored_crc, a.computed_crc);
        if (a.formatted) fprintf(out, " (%u file%s in its table)", a.files, a.files == 1 ? "" : "s");
        fputc('\n', out);
      } else {
        fputs(", its file table cannot be followed\n", out);
      }
      break;
    default: fputc('\n', out); break;
  }
}

void print_outcome(FILE *out, const PiecesInspection &r) {
  switch (r.source) {
    case Source::Main:
      fputs(r.repair == Repair::None ? "a start-up uses the main area; the spare area agrees\n"
                                     : "a start-up uses the main area and rewrites the spare area from it\n",
            out);
      break;
    case Source::Spare: fputs("a start-up uses the spare area and rewrites the main area from it\n", out); break;
    case Source::MainRestamped:
      fputs(r.keeps_files ? "a start-up stamps the main area anew as it stands, keeps its files and writes it to both\n"
                          : "a start-up stamps both areas anew and formats a new file system\n",
            out);
      break;
    default: fputs("a start-up finds no readable area and has no file system\n", out); break;
  }
}

void print_pieces(FILE *out, const PiecesInspection &r) {
  print_area(out, "main", map::kPiecesBase, r.main);
  print_area(out, "spare", map::kPiecesBase + map::kPiecesSize / 2, r.spare);
  print_outcome(out, r);
}

void json_area(tools::Json &j, uint32_t offset, const AreaInspection &a) {
  j.begin_object().field("offset", offset).field("state", state_name(a.state));
  if (const char *d = damage_name(a.damage)) {
    j.field("damage", d);
  } else {
    j.key("damage").null();
  }
  j.field("stamped", a.stamped)
      .field("stored_crc", static_cast<uint32_t>(a.stored_crc))
      .field("computed_crc", static_cast<uint32_t>(a.computed_crc))
      .field("formatted", a.formatted)
      .field("files", a.files)
      .end_object();
}

void json_pieces(tools::Json &j, const PiecesInspection &r) {
  j.begin_object();
  j.key("main");
  json_area(j, map::kPiecesBase, r.main);
  j.key("spare");
  json_area(j, map::kPiecesBase + map::kPiecesSize / 2, r.spare);
  j.field("source", source_name(r.source))
      .field("repair", repair_name(r.repair))
      .field("keeps_files", r.keeps_files)
      .end_object();
}

bool pieces_damaged(const PiecesInspection &r) { return !pieces_problem(r).empty(); }
bool pieces_unreadable(const PiecesInspection &r) {
  return r.main.state == AreaState::Unreadable || r.spare.state == AreaState::Unreadable;
}

// 0 good, 1 damaged, 2 unreadable.
int verdict(const PiecesInspection &r, const fdy::AreaCheck &f) {
  if (pieces_unreadable(r) || fdy::unreadable(f)) return kUnusable;
  return pieces_damaged(r) || fdy::damaged(f) ? kFailed : kOk;
}

const char *verdict_name(int v) { return v == kOk ? "good" : v == kFailed ? "damaged" : "unreadable"; }

}  // namespace

int run_check(Context &c) {
  if (int rc = attach(c); rc != kOk) return rc;
  PiecesLook look;
  if (int rc = look_at_pieces(c, look); rc != kOk) return rc;
  fdy::AreaCheck dyn = fdy::check(c);
  int status = verdict(look.report, dyn);

  // --repair: what a start-up would write, written by the start-up code itself.
  bool repaired = false;
  PiecesLook after;
  if (c.repair && pieces_damaged(look.report)) {
    if (BSP_VfsPiecesInit() != 0) return fail(c, kFailed, "the repair failed: the pieces areas could not be written");
    repaired = true;
    if (int rc = look_at_pieces(c, after); rc != kOk) return rc;
  }
  const int final_status = repaired ? verdict(after.report, dyn) : status;

  if (c.json) {
    tools::Json j(c.out);
    j.begin_object().field("image", c.image).field("size", map::kFlashFileSize).field("status", verdict_name(status));
    j.key("pieces");
    json_pieces(j, look.report);
    j.key("flash_dynamic");
    fdy::json(j, dyn);
    if (c.repair) {
      j.field("repaired", repaired ? repair_name(look.report.repair) : "none");
      if (repaired) {
        j.field("status_after", verdict_name(final_status)).key("pieces_after");
        json_pieces(j, after.report);
      }
    }
    j.end_object().finish();
    return final_status;
  }
  print_pieces(c.out, look.report);
  fdy::print(c.out, dyn);
  if (repaired) {
    const Repair r = look.report.repair;
    fprintf(c.out, "repaired: %s\n",
            r == Repair::Spare  ? "the spare area was rewritten from the main area"
            : r == Repair::Main ? "the main area was rewritten from the spare area"
                                : "both areas were stamped anew from the main area and rewritten");
    fputs("after the repair:\n", c.out);
    print_pieces(c.out, after.report);
  } else if (c.repair) {
    fputs("nothing to repair in the pieces areas\n", c.out);
  }
  fprintf(c.out, "%s\n", verdict_name(final_status));
  return final_status;
}

}  // namespace bsp::image
