// Argument parsing and dispatch of bsp-image.
#include "cli.h"

#include <string.h>

#include <string>
#include <string_view>

#include "common/text.h"
#include "fdy.h"
#include "storage/flavor.h"
#include "tool.h"

namespace bsp::image {
namespace {

FILE *g_storage_messages = nullptr;

const char kUsage[] =
    "usage: bsp-image [--json] [--verbose] IMAGE COMMAND [ARGS]\n"
    "  create                      a new image, as a first start leaves it (never overwrites)\n"
    "  check [--repair]            both pieces areas and the flash-dynamic area;\n"
    "                              status 0 good, 1 damaged, 2 unreadable\n"
    "  pieces [ls]                 piece files: name and size, in the order of the area\n"
    "  pieces cat NAME             a piece file's content to standard output\n"
    "  pieces put NAME [FILE|-]    write a piece file whole from FILE or standard input\n"
    "  pieces rm NAME              delete a piece file\n"
    "  state                       the load state word: both startup-file sets\n"
    "  state choose flash:/NAME.cc the package for the next boot, as BSP_SaveBootFileName\n"
    "  fdy [ls] | fdy get ID | fdy put ID [FILE|-]\n"
    "                              flash-dynamic files\n"
    "  --json      machine-readable output of check, pieces ls, state and fdy ls\n"
    "  --verbose   also show the storage code's own messages on standard error\n";

struct Parsed {
  bool json = false, repair = false, verbose = false, help = false;
  std::vector<std::string> words;
  std::string bad;  // an unknown option
};

Parsed parse(int argc, char **argv) {
  Parsed p;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (options && a == "--") {
      options = false;
    } else if (options && a.size() > 1 && a[0] == '-') {
      if (a == "--json") {
        p.json = true;
      } else if (a == "--repair") {
        p.repair = true;
      } else if (a == "--verbose" || a == "-v") {
        p.verbose = true;
      } else if (a == "--help" || a == "-h") {
        p.help = true;
      } else if (p.bad.empty()) {
        p.bad = a;
      }
    } else {
      p.words.emplace_back(a);
    }
  }
  return p;
}

}  // namespace

int usage_error(FILE *err, const char *format, const std::string &what) {
  fputs("bsp-image: ", err);
  fprintf(err, format, what.c_str());
  fputs(" (bsp-image --help)\n", err);
  return kUnusable;
}

int fail(const Context &c, int status, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  tools::print_line(c.err, "bsp-image: " + c.image + ": ", format, ap);
  va_end(ap);
  return status;
}

void warn(const Context &c, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  tools::print_line(c.err, "bsp-image: " + c.image + ": warning: ", format, ap);
  va_end(ap);
}

void set_storage_messages(FILE *to) { g_storage_messages = to; }

int run(int argc, char **argv, FILE *out, FILE *err) {
  Parsed p = parse(argc, argv);
  if (p.help) {
    fputs(kUsage, out);
    return kOk;
  }
  if (!p.bad.empty()) return usage_error(err, "unknown option %s", p.bad);
  if (p.words.size() < 2) return usage_error(err, "%sIMAGE and COMMAND are needed", "");
  set_storage_messages(p.verbose ? err : nullptr);

  Context c;
  c.image = p.words[0];
  c.out = out;
  c.err = err;
  c.json = p.json;
  c.repair = p.repair;
  const std::string command = p.words[1];
  c.args.assign(p.words.begin() + 2, p.words.end());

  // Which commands list or show (--json) and which repair.
  const bool shows = command == "check" || command == "state" || command == "fdy" || command == "pieces";
  if (c.json && !shows) return usage_error(err, "--json is not used by %s", command);
  if (c.repair && command != "check") return usage_error(err, "--repair belongs to check, not %s", command);

  if (command == "create") {
    if (!c.args.empty()) return usage_error(err, "create takes no arguments, got %s", c.args[0]);
    return run_create(c);
  }
  if (command == "check") {
    if (!c.args.empty()) return usage_error(err, "check takes no arguments, got %s", c.args[0]);
    return run_check(c);
  }
  if (command == "pieces") return run_pieces(c);
  if (command == "state") return run_state(c);
  if (command == "fdy") return fdy::run_command(c);
  return usage_error(err, "unknown command %s", command);
}

}  // namespace bsp::image

namespace bsp::storage::flavor {

// The storage code's messages: its own words, shown only when asked for, without the
// console's carriage returns.
void tool_log(LogKind kind, const char *format, va_list args) {
  FILE *to = bsp::image::g_storage_messages;
  if (to == nullptr) return;
  char text[512];
  vsnprintf(text, sizeof text, format, args);
  std::string line = kind == LogKind::Error ? "storage error: " : "storage: ";
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p != '\r' && *p != '\n') line += *p;
  }
  if (line.find_first_not_of(' ', line.find(':') + 1) != std::string::npos) fprintf(to, "%s\n", line.c_str());
}

}  // namespace bsp::storage::flavor
