// The reference host's debug shell: runs command lines through the library's shell and shows
// what a host sees of them: the captured text, plus what handlers print on standard output.
#pragma once

#include <string>
#include <vector>

namespace bsp::host {

// The library's shell entry points, looked up in the loaded library.
struct ShellApi {
  int (*docommands)(char *) = nullptr;
  char *(*extract)(int *) = nullptr;
  void (*clear)() = nullptr;
  int (*size)() = nullptr;
  void (*hookinit)(void *) = nullptr;
  void *(*promt)(char *, void *, char *) = nullptr;
};

bool load_shell_api(void *lib, ShellApi &api);

// Runs one line and prints its output; returns the line's result.
int run_line(const ShellApi &api, const std::string &line);

// Runs the lines of -c in order. Exit status: 0 when every line gave 0, otherwise the low byte
// of the last non-zero result (1 when that byte is 0).
int run_lines(const ShellApi &api, const std::vector<std::string> &lines);

// Reads lines from standard input until its end, "exit" or "quit": with line editing,
// history and completion on a terminal, plainly otherwise. Returns the exit status.
int run_interactive(const ShellApi &api);

// Words that complete the last word of line (text before the cursor).
std::vector<std::string> complete(const ShellApi &api, const std::string &line);

}  // namespace bsp::host
