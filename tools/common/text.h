// Bytes from records shown on a terminal: printable ASCII as it is, anything else as \xNN.
#pragma once

#include <stdarg.h>
#include <stdio.h>

#include <string>
#include <string_view>

namespace bsp::tools {

inline std::string printable(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// A fixed-size name field: its bytes up to the first NUL, or all of them when there is none.
template <size_t N>
std::string_view field_text(const char (&field)[N]) {
  size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return {field, n};
}

// A tool's one-line message: the prefix, the formatted text and the end of the line.
inline void print_line(FILE *to, const std::string &prefix, const char *format, va_list ap) {
  fputs(prefix.c_str(), to);
  vfprintf(to, format, ap);
  fputc('\n', to);
}

}  // namespace bsp::tools
