// Shell commands the loader runs, and the quoting of the names it puts into them.
#pragma once

#include <string>
#include <string_view>

namespace bsp::loader {

// Runs the command through the shell after flushing the console, so that the program's and
// the command's output keep their order. Returns the raw status of system().
int run_command(const char *command);

// The word as the shell must see it to pass it on unchanged: itself when it holds only
// characters the shell never interprets, else single-quoted.
std::string shell_word(std::string_view word);

}  // namespace bsp::loader
