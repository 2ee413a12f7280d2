#include "support/capture.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bsp::test {
namespace {

std::string read_all(int fd) {
  std::string out;
  char buf[4096];
  lseek(fd, 0, SEEK_SET);
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

int temp_file() {
  char name[] = "/tmp/bsp-capture-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) unlink(name);
  return fd;
}

// True for a 32-bit ELF program, which this kernel may not run natively.
bool is_elf32(const std::string &program) {
  std::string path = program;
  if (program.find('/') == std::string::npos) {
    const char *env = getenv("PATH");
    std::string dirs = env != nullptr ? env : "";
    size_t start = 0;
    path.clear();
    while (start <= dirs.size()) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      std::string candidate = dirs.substr(start, end - start) + "/" + program;
      if (access(candidate.c_str(), X_OK) == 0) {
        path = candidate;
        break;
      }
      start = end + 1;
    }
    if (path.empty()) return false;
  }
  unsigned char ident[5] = {0};
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  bool elf32 = read(fd, ident, sizeof ident) == sizeof ident && ident[0] == 0x7F && ident[1] == 'E' &&
               ident[2] == 'L' && ident[3] == 'F' && ident[4] == 1;
  close(fd);
  return elf32;
}

}  // namespace

std::vector<std::string> with_emulator(const std::vector<std::string> &argv) {
  const char *emulator = getenv("BSP_EMULATOR");
  if (emulator == nullptr || *emulator == '\0' || argv.empty()) return argv;
  // Look past a leading "env [-u NAME] [NAME=VALUE]..." to the program itself.
  size_t i = 0;
  if (argv[0] == "env" || argv[0] == "/usr/bin/env") {
    for (i = 1; i < argv.size(); ++i) {
      if (argv[i] == "-u") {
        ++i;
      } else if (argv[i].find('=') == std::string::npos) {
        break;
      }
    }
  }
  if (i >= argv.size() || !is_elf32(argv[i])) return argv;
  std::vector<std::string> out(argv.begin(), argv.begin() + static_cast<long>(i));
  out.emplace_back(emulator);
  out.insert(out.end(), argv.begin() + static_cast<long>(i), argv.end());
  return out;
}

namespace {

std::string capture_fd(int target, FILE *stream, const std::function<void()> &fn) {
  fflush(stream);
  int saved = dup(target);
  int fd = temp_file();
  dup2(fd, target);
  fn();
  fflush(stream);
  dup2(saved, target);
  close(saved);
  std::string out = read_all(fd);
  close(fd);
  return out;
}

}  // namespace

std::string capture_stdout(const std::function<void()> &fn) { return capture_fd(STDOUT_FILENO, stdout, fn); }

std::string capture_stderr(const std::function<void()> &fn) { return capture_fd(STDERR_FILENO, stderr, fn); }

ProcessResult run_process(const std::vector<std::string> &command, const std::string &input) {
  ProcessResult r;
  const std::vector<std::string> argv = with_emulator(command);
  int out_fd = temp_file(), err_fd = temp_file(), in_fd = temp_file();
  if (write(in_fd, input.data(), input.size()) != static_cast<ssize_t>(input.size())) return r;
  lseek(in_fd, 0, SEEK_SET);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_fd, STDIN_FILENO);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_all(out_fd);
  r.err = read_all(err_fd);
  close(out_fd);
  close(err_fd);
  close(in_fd);
  return r;
}

std::string bsp_shell_path() {
  const char *p = getenv("BSP_SHELL");
  return p != nullptr ? p : "bsp-shell";
}

}  // namespace bsp::test
