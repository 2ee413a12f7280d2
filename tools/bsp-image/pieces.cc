// pieces [ls] | cat NAME | put NAME [FILE|-] | rm NAME
#include <bsp/pieces.h>
#include <errno.h>
#include <string.h>

#include <algorithm>
#include <utility>

#include "common/json.h"
#include "common/text.h"
#include "image.h"
#include "storage/pieces_state.h"

namespace bsp::image {
namespace {

using namespace bsp::storage::pieces;

// What a piece file can hold at most: the content region of an empty area.
uint32_t max_content() { return g_ulPieceSize - kContentOffset; }

std::string name_of(const Volume &v, uint32_t i) {
  char name[kNameLength];
  copy_name(v.des(i), name);
  return name;
}

// A read command shows what a start-up would serve; a problem a start-up would repair is
// reported and makes the status 1.
int read_status(const Context &c, const PiecesLook &look) {
  std::string problem = pieces_problem(look.report);
  if (problem.empty()) return kOk;
  warn(c, "%s; shown as a start-up would serve it", problem.c_str());
  return kFailed;
}

int list(Context &c) {
  PiecesLook look;
  if (int rc = look_at_pieces(c, look); rc != kOk) return rc;
  if (look.report.source == Source::None) return fail(c, kUnusable, "no pieces area can be read");
  Volume v(nullptr, 0);
  const bool any = served_volume(look, &v);
  const int status = read_status(c, look);
  if (c.json) {
    tools::Json j(c.out);
    j.begin_object().key("files").begin_array();
    for (uint32_t i = 0; any && i < v.count(); ++i) {
      if (v.des(i).ulUsedFlag != kUsedFlag) continue;
      const FileRef f = v.file(i);
      j.begin_object().field("name", name_of(v, i)).field("size", f.size).field("offset", f.offset).end_object();
    }
    j.end_array().end_object().finish();
    return status;
  }
  std::vector<std::pair<std::string, uint32_t>> rows;
  size_t width = 4;
  for (uint32_t i = 0; any && i < v.count(); ++i) {
    if (v.des(i).ulUsedFlag != kUsedFlag) continue;
    rows.emplace_back(tools::printable(name_of(v, i)), v.file(i).size);
    width = std::max(width, rows.back().first.size());
  }
  for (const auto &[name, size] : rows) fprintf(c.out, "%-*s %7u\n", static_cast<int>(width), name.c_str(), size);
  return status;
}

bool valid_name(const std::string &name) { return !name.empty() && name.size() < kNameLength; }

int cat(Context &c, const std::string &name) {
  PiecesLook look;
  if (int rc = look_at_pieces(c, look); rc != kOk) return rc;
  if (look.report.source == Source::None) return fail(c, kUnusable, "no pieces area can be read");
  Volume v(nullptr, 0);
  FileRef f;
  if (!served_volume(look, &v) || v.lookup(name.c_str(), &f) != 0) {
    return fail(c, kFailed, "no piece file %s", tools::printable(name).c_str());
  }
  const int status = read_status(c, look);
  auto content = v.content(f);
  if (fwrite(content.data(), 1, content.size(), c.out) != content.size() || fflush(c.out) != 0) {
    return fail(c, kFailed, "cannot write the content: %s", strerror(errno));
  }
  return status;
}

// The whole of FILE ("-": standard input), refused when it cannot fit a pieces area.
int read_input(const Context &c, const std::string &from, std::vector<uint8_t> &data) {
  FILE *in = from == "-" ? stdin : fopen(from.c_str(), "rb");
  if (in == nullptr) return fail(c, kUnusable, "cannot open %s: %s", from.c_str(), strerror(errno));
  const size_t limit = max_content();
  data.assign(limit + 1, 0);
  size_t got = fread(data.data(), 1, data.size(), in);
  const bool error = ferror(in) != 0;
  if (in != stdin) fclose(in);
  if (error) return fail(c, kUnusable, "cannot read %s", from.c_str());
  if (got > limit) return fail(c, kFailed, "%s is too large: a piece file holds at most %zu bytes", from.c_str(), limit);
  data.resize(got);
  return kOk;
}

int put(Context &c, const std::string &name, const std::string &from) {
  if (!valid_name(name)) return fail(c, kUnusable, "a piece file name has 1 to %u characters", kNameLength - 1);
  std::vector<uint8_t> data;
  if (int rc = attach(c); rc != kOk) return rc;
  if (int rc = read_input(c, from, data); rc != kOk) return rc;
  PiecesLook look;
  if (int rc = look_at_pieces(c, look); rc != kOk) return rc;
  if (int rc = start_pieces_for_write(c, look); rc != kOk) return rc;

  char *piece = const_cast<char *>(name.c_str());
  const size_t length = data.size();
  const uint64_t size = round_unit(length);
  // Replaced whole: a file of the same allocation is rewritten in place (it keeps its place
  // in the table), any other is taken out of the RAM image first; either way one commit.
  uint32_t index = 0;
  const bool exists = BSP_VfsPiecesFileLookUp(piece, &index) == 0;
  if (exists && ram_volume().file(index).size == size) {
    data.resize(size, 0);
  } else if (exists && BSP_VfsPiecesFileDelete(piece, 0) != 0) {
    return fail(c, kFailed, "cannot replace piece file %s", tools::printable(name).c_str());
  }
  unsigned long written = 0;
  uint8_t none = 0;
  uint32_t rc = BSP_VfsPiecesFileWrite(piece, 0, data.empty() ? &none : data.data(), data.size(), &written);
  if (rc == kErrFull) {
    return fail(c, kFailed, "no room for %zu bytes in the pieces area (or all %u file slots are taken)", length,
                kDesSlots);
  }
  if (rc != 0) return fail(c, kFailed, "writing piece file %s failed (0x%x)", tools::printable(name).c_str(), rc);
  fprintf(c.out, "%s: %zu bytes written, size %llu\n", tools::printable(name).c_str(), length,
          static_cast<unsigned long long>(size));
  return kOk;
}

int remove(Context &c, const std::string &name) {
  if (!valid_name(name)) return fail(c, kUnusable, "a piece file name has 1 to %u characters", kNameLength - 1);
  if (int rc = attach(c); rc != kOk) return rc;
  PiecesLook look;
  if (int rc = look_at_pieces(c, look); rc != kOk) return rc;
  if (int rc = start_pieces_for_write(c, look); rc != kOk) return rc;
  uint32_t index = 0;
  char *piece = const_cast<char *>(name.c_str());
  if (BSP_VfsPiecesFileLookUp(piece, &index) != 0) {
    return fail(c, kFailed, "no piece file %s", tools::printable(name).c_str());
  }
  uint32_t rc = BSP_VfsPiecesFileDelete(piece, 1);
  if (rc != 0) return fail(c, kFailed, "deleting piece file %s failed (0x%x)", tools::printable(name).c_str(), rc);
  fprintf(c.out, "%s: deleted\n", tools::printable(name).c_str());
  return kOk;
}

}  // namespace

int run_pieces(Context &c) {
  const std::string sub = c.args.empty() ? "ls" : c.args[0];
  const size_t n = c.args.size();
  if (sub != "ls" && c.json) return usage_error(c.err, "--json is not used by pieces %s", sub);
  if (sub == "ls") {
    if (n > 1) return usage_error(c.err, "pieces ls takes no arguments, got %s", c.args[1]);
    if (int rc = attach(c); rc != kOk) return rc;
    return list(c);
  }
  if (sub == "cat") {
    if (n != 2) return usage_error(c.err, "%spieces cat needs one NAME", "");
    if (int rc = attach(c); rc != kOk) return rc;
    return cat(c, c.args[1]);
  }
  if (sub == "put") {
    if (n != 2 && n != 3) return usage_error(c.err, "%spieces put needs NAME and at most one FILE", "");
    return put(c, c.args[1], n == 3 ? c.args[2] : "-");
  }
  if (sub == "rm") {
    if (n != 2) return usage_error(c.err, "%spieces rm needs one NAME", "");
    return remove(c, c.args[1]);
  }
  return usage_error(c.err, "unknown pieces command %s", sub);
}

}  // namespace bsp::image
