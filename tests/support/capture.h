#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bsp::test {

// Runs fn with standard output sent to a private file and returns what it printed.
std::string capture_stdout(const std::function<void()> &fn);
// The same for standard error.
std::string capture_stderr(const std::function<void()> &fn);

struct ProcessResult {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Our own programs of the 32-bit build run under the emulator named by BSP_EMULATOR (this
// kernel may lack 32-bit support): returns argv with the emulator put before a 32-bit ELF
// program (also behind a leading "env ... NAME=VALUE").
std::vector<std::string> with_emulator(const std::vector<std::string> &argv);

// Runs a program (argv[0] is looked up in PATH) in a new process and collects its output.
// 32-bit programs go through with_emulator.
ProcessResult run_process(const std::vector<std::string> &argv, const std::string &input = "");

// The reference host built with this tree (from the BSP_SHELL environment variable).
std::string bsp_shell_path();

}  // namespace bsp::test
