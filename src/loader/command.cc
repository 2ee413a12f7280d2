#include "loader/command.h"

#include <stdio.h>
#include <stdlib.h>

namespace bsp::loader {

int run_command(const char *command) {
  fflush(stdout);
  return system(command);
}

namespace {

bool plain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
         c == '.' || c == '_' || c == '-' || c == '+' || c == ',' || c == ':' || c == '@' || c == '%' ||
         c == '=';
}

}  // namespace

std::string shell_word(std::string_view word) {
  bool quote = word.empty();
  for (char c : word) quote = quote || !plain(c);
  if (!quote) return std::string(word);
  std::string out = "'";
  for (char c : word) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += '\'';
  return out;
}

}  // namespace bsp::loader
