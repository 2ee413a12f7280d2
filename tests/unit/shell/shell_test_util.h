// Running command lines and collecting what they print, for the shell's tests.
#pragma once

#include <bsp/shell.h>

#include <string>
#include <vector>

namespace bsp::test {

// Every text the print hook was handed, in order.
inline std::vector<std::string> &hooked_texts() {
  static std::vector<std::string> texts;
  return texts;
}

inline void recording_hook(const char *text) { hooked_texts().emplace_back(text); }

inline void quiet_hook(const char *) {}

// The whole capture since the last clear.
inline std::string captured() {
  return pp.fillpointer == nullptr ? std::string() : std::string(pp.buffer, pp.fillpointer);
}

struct LineResult {
  int rc;
  std::string out;  // what the line printed through DRV_Printf
};

// Runs one line (on a writable copy) with an empty capture.
inline LineResult run_line(const std::string &line) {
  xprintbufclear();
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  int rc = ui_docommands(buf.data());
  return {rc, captured()};
}

}  // namespace bsp::test
