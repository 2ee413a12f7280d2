// Arbitrary bytes as a startup package: the reader, the update decision and the update of the
// other boot subarea must stay inside the file and write nothing but the two images and their
// .efs files into that subarea. Runs on the sandboxed board only.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "loader/loader.h"
#include "support/sandbox_guard.h"

namespace {

constexpr const char *kPkt = "/mnt/flash/fuzz.cc";

void write_all(const char *path, const void *data, size_t size) {
  FILE *f = fopen(path, "wb");
  if (f == nullptr) abort();
  if (size != 0 && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

// Everything in the other subarea is one of the four files, none larger than the package.
void check_and_clear_subarea(const char *dir, size_t limit) {
  static const std::set<std::string> allowed = {"bzImage", "bzImage.efs", "rootfs.gz", "rootfs.gz.efs"};
  DIR *d = opendir(dir);
  if (d == nullptr) abort();
  while (const dirent *e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (allowed.count(name) == 0) abort();
    std::string path = std::string(dir) + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || static_cast<size_t>(st.st_size) > limit) abort();
    unlink(path.c_str());
  }
  closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (!bsp::test::on_sandboxed_board()) {
    fprintf(stderr, "refusing to run: not inside bsp-sandbox\n");
    exit(1);
  }
  if (system("mkdir -p /mnt/flash /boot/boot_A /boot/boot_B") != 0) abort();
  const char cmdline[] = "BOOT_IMAGE=/boot_A/bzImage quiet\n";
  write_all("/run/bsp-sandbox/fuzz-cmdline", cmdline, sizeof cmdline - 1);
  if (mount("/run/bsp-sandbox/fuzz-cmdline", "/proc/cmdline", nullptr, MS_BIND, nullptr) != 0) abort();
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();  // the loader's console
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  write_all(kPkt, data, size);
  for (const char *name : {"bzImage", "rootfs.gz", "app_squashfs", ""}) {
    uint64_t offset = 0;
    uint32_t length = 0;
    uint8_t efs[68];
    Boot_GetSubFileInfo(kPkt, name, &offset, &length);
    Boot_GetSubFileEfsInfo(kPkt, name, efs);
  }
  // Compare with and update against a running subarea A; B receives the images.
  Boot_CheckAndUpdate(kPkt, "bzImage");
  Boot_CheckAndUpdate(kPkt, "rootfs.gz");
  check_and_clear_subarea("/boot/boot_B", size);
  check_and_clear_subarea("/boot/boot_A", 68);  // only .efs files written by the decision
  unlink("/mnt/flash/boot_log.txt");
  return 0;
}
