#include "host.h"

#include <dlfcn.h>
#include <npth.h>
#include <stdio.h>

#include "../bsp-shell/boot_records.h"
#include "storage/pieces_layout.h"

namespace bsp::boot {
namespace {

constexpr char kPieceName[] = "statemach.efs";

template <class F>
bool find(void *handle, const char *name, F *&out) {
  out = reinterpret_cast<F *>(dlsym(handle, name));
  return out != nullptr;
}

}  // namespace

bool Library::start(const std::string &path, std::string &why) {
  npth_init();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (handle_ == nullptr) {
    why = std::string("cannot load ") + dlerror();
    return false;
  }
  void (*root)() = nullptr;
  if (!find(handle_, "BSP_SoMonitorRoot", root) || !find(handle_, "BSP_VfsPiecesFileRead", read_piece_) ||
      !find(handle_, "BSP_SaveBootFileName", save_boot_file_name_)) {
    why = path + " lacks the monitor root or the pieces and load state functions";
    return false;
  }
  bsp::host::point_boot_records(handle_);
  root();
  fflush(stdout);
  return true;
}

bool Library::load_state(tools::LoadStateView &view, std::string &why) const {
  view = {};
  unsigned long got = 0;
  char name[] = "statemach.efs";
  static_assert(sizeof name == sizeof kPieceName);
  const uint32_t rc = read_piece_(name, 0, reinterpret_cast<unsigned char *>(&view.word), sizeof view.word, &got);
  if (rc == 0) {
    view.present = true;
    view.whole = true;
    return true;
  }
  if (rc == storage::pieces::kErrNoFile) return true;
  if (rc == storage::pieces::kErrRange) {
    view.present = true;  // there, but shorter than the record
    return true;
  }
  char code[32];
  snprintf(code, sizeof code, "0x%x", rc);
  why = std::string("the pieces file system cannot be read (") + code + ")";
  return false;
}

uint32_t Library::save_boot_file_name(const std::string &name) const {
  std::string copy = name;
  return save_boot_file_name_(reinterpret_cast<signed char *>(copy.data()));
}

}  // namespace bsp::boot
