// A test step in a process of its own: for state that lives once per process.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace board_test {

// Runs fn in a forked child; true when the child finished without a test failure (its
// failures are printed by the child itself).
inline bool in_child(const std::function<void()> &fn) {
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    fn();
    fflush(stdout);
    _exit(testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace board_test
