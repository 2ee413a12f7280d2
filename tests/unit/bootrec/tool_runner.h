// Runs the boot record tool of one build in a fresh process.
#pragma once

#include <string>
#include <vector>

#include "bootrec_env.h"
#include "support/capture.h"

namespace bootrec_test {

enum class Build { Library, Loader };

inline bsp::test::ProcessResult run_tool(Build build, std::vector<std::string> args) {
  std::vector<std::string> argv;
  if (const char *emu = BOOTREC_EMULATOR; emu[0] != '\0') argv.push_back(emu);
  argv.push_back(build == Build::Library ? BOOTREC_TOOL_LIBRARY : BOOTREC_TOOL_LOADER);
  argv.insert(argv.end(), args.begin(), args.end());
  return bsp::test::run_process(argv);
}

// The record printed by "get" ("rc=<code> <hex>"), with its result code.
struct Got {
  unsigned rc = 99;
  std::vector<uint8_t> bytes;
};

inline Got parse_get(const std::string &out) {
  Got g;
  size_t at = out.rfind("\nrc=");
  if (at == std::string::npos) return g;
  size_t space = out.find(' ', at);
  size_t end = out.find('\n', space);
  if (space == std::string::npos || end == std::string::npos) return g;
  g.rc = static_cast<unsigned>(std::stoul(out.substr(at + 4, space - at - 4)));
  g.bytes = unhex(out.substr(space + 1, end - space - 1));
  return g;
}

// Value printed as "key=<n>" on its own line, or -1.
inline long long value_of(const std::string &out, const std::string &key) {
  size_t at = out.rfind(key + "=");
  return at == std::string::npos ? -1 : std::stoll(out.substr(at + key.size() + 1));
}

}  // namespace bootrec_test
