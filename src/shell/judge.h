// Every bounded-function result of the shell goes to the failure log with its call site.
#pragma once

#include <bsp/seclog.h>

namespace bsp::shell {

inline void judge(int value, const char *func, const char *file, unsigned line) {
  DRV_SecJudge(value, const_cast<char *>(func), const_cast<char *>(file), line);
}

}  // namespace bsp::shell

// Each source defines kSourceFile, the name it reports itself under.
#define SHELL_JUDGE(value, func) ::bsp::shell::judge(static_cast<int>(value), (func), kSourceFile, __LINE__)
