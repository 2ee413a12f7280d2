#include "support/board_fs.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "support/sandbox_guard.h"

namespace bsp::test {

int sh(const std::string &command) {
  int rc = system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

void reset_board() {
  if (!on_sandboxed_board()) abort();  // never clear a real /mnt or /boot
  sh("find /mnt /boot -mindepth 1 -maxdepth 1 -exec rm -rf {} +");
}

bool file_exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string &path) {
  std::string out;
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

void write_file(const std::string &path, const std::string &data) {
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

}  // namespace bsp::test
