// fdy [ls] | fdy get ID | fdy put ID [FILE|-], and the flash-dynamic area's part of create and
// check. The area is judged by the start-up's own check (read-only here), and files are read
// and saved by the library's own calls, with their locks and their power-safe order.
#include "fdy.h"

#include <bsp/fdy.h>
#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "image.h"
#include "storage/fdy_area.h"
#include "storage/fdy_inspect.h"
#include "storage/flash_map.h"

namespace bsp::image::fdy {
namespace {

namespace map = bsp::flash_map;
namespace area = bsp::storage::fdy;

// The most a file can hold: the whole data area.
constexpr uint32_t kMaxFile = map::kFlashDynSize - area::kHeadSize;

const char *state_name(AreaCheck::State s) {
  switch (s) {
    case AreaCheck::State::Good: return "good";
    case AreaCheck::State::Empty: return "empty";
    case AreaCheck::State::Damaged: return "damaged";
    case AreaCheck::State::Unreadable: return "unreadable";
    default: return "unchecked";
  }
}

const char *plural(size_t n) { return n == 1 ? "" : "s"; }

// The area of the attached image, recorded for the library's calls without its start-up
// format, and judged as the start-up judges it.
AreaCheck judge(area::AreaInspection *out) {
  AreaCheck a;
  area::AreaInspection r;
  if (area::open_unchecked(map::kFlashDynBase, map::kFlashDynSize) == 0) r = area::inspect_area();
  a.files = static_cast<uint32_t>(r.files.size());
  if (!r.locked || !r.readable) {
    a.state = AreaCheck::State::Unreadable;
    a.detail = r.locked ? "unreadable" : "unreadable (cannot be opened or locked)";
  } else if (r.consistent) {
    a.state = AreaCheck::State::Good;
    a.detail = "good, " + (a.files == 0 ? std::string("no files") : std::to_string(a.files) + " file" + plural(a.files));
  } else if (r.zero) {
    a.state = AreaCheck::State::Empty;
    a.detail = "empty, never formatted (all zero); a start-up formats it";
  } else {
    a.state = AreaCheck::State::Damaged;
    a.damage = r.magic_ok ? "table" : "magic";
    a.keeps_first = r.keeps_first;
    a.detail = std::string("damaged, ") +
               (r.magic_ok ? "its descriptor table is inconsistent" : "its magic is missing") +
               "; a start-up formats it" +
               (r.keeps_first ? ", keeping its first file (identifier 6)" : " and its files are lost");
  }
  if (out != nullptr) *out = std::move(r);
  return a;
}

// Why a command cannot use the area, or nothing when it can.
const char *refusal(const AreaCheck &a) {
  switch (a.state) {
    case AreaCheck::State::Damaged: return "damaged";
    case AreaCheck::State::Unreadable: return "unreadable";
    default: return nullptr;
  }
}

int refuse(const Context &c, const AreaCheck &a, const char *what) {
  return fail(c, a.state == AreaCheck::State::Unreadable ? kUnusable : kFailed,
              "the flash-dynamic area is %s; %s (bsp-image %s check shows why)", refusal(a), what, c.image.c_str());
}

// An identifier: decimal, or hexadecimal with 0x; 32-bit, and not the erased entry's.
bool parse_id(const std::string &text, uint32_t *id) {
  if (text.empty() || !isxdigit(static_cast<unsigned char>(text.back()))) return false;
  for (char ch : text) {
    if (!isalnum(static_cast<unsigned char>(ch))) return false;  // no sign, no blank
  }
  errno = 0;
  char *end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const unsigned long long v = strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || v > UINT32_MAX) return false;
  *id = static_cast<uint32_t>(v);
  return true;
}

int id_argument(const Context &c, const std::string &text, uint32_t *id) {
  if (!parse_id(text, id)) {
    return usage_error(c.err, "%s is no file identifier (a 32-bit number, decimal or 0x hexadecimal)", text);
  }
  if (*id == area::kErased) {
    return usage_error(c.err, "identifier %s marks an erased entry and names no file", text);
  }
  return kOk;
}

int list(Context &c) {
  area::AreaInspection r;
  const AreaCheck a = judge(&r);
  if (refusal(a) != nullptr) return refuse(c, a, "no files are listed");
  if (a.state == AreaCheck::State::Empty) warn(c, "the flash-dynamic area was never formatted; it holds no files");
  if (c.json) {
    tools::Json j(c.out);
    j.begin_object().key("files").begin_array();
    for (const FDY_FILE_DESCR_S &e : r.files) {
      j.begin_object()
          .field("id", e.u32FileID)
          .field("offset", e.u32Offset)
          .field("length", e.u32FileLen)
          .field("allocation", e.u32AllocLen)
          .end_object();
    }
    j.end_array().end_object().finish();
    return kOk;
  }
  for (const FDY_FILE_DESCR_S &e : r.files) {
    fprintf(c.out, "%u: offset 0x%x, length %u, allocation 0x%x\n", e.u32FileID, e.u32Offset, e.u32FileLen,
            e.u32AllocLen);
  }
  return kOk;
}

int get(Context &c, uint32_t id) {
  const AreaCheck a = judge(nullptr);
  if (refusal(a) != nullptr) return refuse(c, a, "nothing read");
  if (a.state == AreaCheck::State::Empty) return fail(c, kFailed, "no flash-dynamic file %u (0x%x)", id, id);
  // The length, then one load of that much: the load returns one consistent save, or nothing
  // when another process made the file longer in between (then the next try has its length).
  std::vector<uint8_t> data;
  uint32_t got = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    unsigned int length = 0;
    if (FDY_GetFileLengthByFileId(id, &length) != 0) {
      return fail(c, kFailed, "no flash-dynamic file %u (0x%x)", id, id);
    }
    if (length > kMaxFile) return fail(c, kFailed, "flash-dynamic file %u cannot be read", id);
    if (length == 0) break;
    data.assign(length, 0);
    if ((got = FDY_LoadFileByFileId(id, data.data(), length)) != 0) break;
  }
  if (got == 0 && !data.empty()) return fail(c, kFailed, "flash-dynamic file %u cannot be read", id);
  if (fwrite(data.data(), 1, got, c.out) != got || fflush(c.out) != 0) {
    return fail(c, kFailed, "cannot write the content: %s", strerror(errno));
  }
  return kOk;
}

// The whole of FILE ("-": standard input), refused when it cannot fit the data area.
int read_input(const Context &c, const std::string &from, std::vector<uint8_t> &data) {
  FILE *in = from == "-" ? stdin : fopen(from.c_str(), "rb");
  if (in == nullptr) return fail(c, kUnusable, "cannot open %s: %s", from.c_str(), strerror(errno));
  data.assign(size_t{kMaxFile} + 1, 0);
  const size_t got = fread(data.data(), 1, data.size(), in);
  const bool error = ferror(in) != 0;
  if (in != stdin) fclose(in);
  if (error) return fail(c, kUnusable, "cannot read %s", from.c_str());
  if (got > kMaxFile) {
    return fail(c, kFailed, "%s is too large: a flash-dynamic file holds at most %u bytes", from.c_str(), kMaxFile);
  }
  if (got == 0) return fail(c, kFailed, "%s is empty: the area keeps no empty files", from.c_str());
  data.resize(got);
  return kOk;
}

int put(Context &c, uint32_t id, const std::string &from) {
  std::vector<uint8_t> data;
  if (int rc = attach(c); rc != kOk) return rc;
  if (int rc = read_input(c, from, data); rc != kOk) return rc;
  const AreaCheck a = judge(nullptr);
  if (refusal(a) != nullptr) return refuse(c, a, "nothing written");
  // A never formatted area is formatted first, as a start-up would.
  if (a.state == AreaCheck::State::Empty && FDY_FormatFlashDynaWithoutFpga() != 0) {
    return fail(c, kFailed, "cannot format the flash-dynamic area");
  }
  if (FDY_SaveFileByFileId(id, data.data(), static_cast<unsigned int>(data.size()), 1) != 0) {
    return fail(c, kFailed, "saving flash-dynamic file %u (%zu bytes) failed: no room in the area, or no free entry",
                id, data.size());
  }
  area::AreaInspection r = area::inspect_area();
  for (const FDY_FILE_DESCR_S &e : r.files) {
    if (e.u32FileID != id) continue;
    fprintf(c.out, "%u: %u bytes saved, offset 0x%x, allocation 0x%x\n", id, e.u32FileLen, e.u32Offset,
            e.u32AllocLen);
    return kOk;
  }
  fprintf(c.out, "%u: %zu bytes saved\n", id, data.size());
  return kOk;
}

}  // namespace

AreaCheck check(const Context &) { return judge(nullptr); }

int format(const Context &c) {
  // The image's first start: a zero area fails the check and is formatted with its magic.
  if (FDY_InitFlashDyna(map::kFlashDynBase, map::kFlashDynSize) != 0) {
    return fail(c, kFailed, "cannot format the flash-dynamic area");
  }
  return kOk;
}

int run_command(Context &c) {
  const std::string sub = c.args.empty() ? "ls" : c.args[0];
  const size_t n = c.args.size();
  if (sub != "ls" && c.json) return usage_error(c.err, "--json is not used by fdy %s", sub);
  if (sub == "ls") {
    if (n > 1) return usage_error(c.err, "fdy ls takes no arguments, got %s", c.args[1]);
    if (int rc = attach(c); rc != kOk) return rc;
    return list(c);
  }
  if (sub == "get") {
    if (n != 2) return usage_error(c.err, "%sfdy get needs one ID", "");
    uint32_t id;
    if (int rc = id_argument(c, c.args[1], &id); rc != kOk) return rc;
    if (int rc = attach(c); rc != kOk) return rc;
    return get(c, id);
  }
  if (sub == "put") {
    if (n != 2 && n != 3) return usage_error(c.err, "%sfdy put needs ID and at most one FILE", "");
    uint32_t id;
    if (int rc = id_argument(c, c.args[1], &id); rc != kOk) return rc;
    return put(c, id, n == 3 ? c.args[2] : "-");
  }
  return usage_error(c.err, "unknown fdy command %s", sub);
}

void print(FILE *out, const AreaCheck &a) {
  fprintf(out, "flash-dynamic area (0x%x): %s\n", map::kFlashDynBase, a.detail.c_str());
}

void json(tools::Json &json, const AreaCheck &a) {
  json.begin_object()
      .field("offset", map::kFlashDynBase)
      .field("size", map::kFlashDynSize)
      .field("state", state_name(a.state))
      .field("files", a.files);
  if (a.damage != nullptr) {
    json.field("damage", a.damage);
  } else {
    json.key("damage").null();
  }
  json.field("keeps_first_file", a.keeps_first).end_object();
}

}  // namespace bsp::image::fdy
