// libbsp loaded as a host process loads it: nPth initialised, the library's boot records
// pointed at the host's own storage (apart from the loader's counters), one start-up root.
#pragma once

#include <stdint.h>

#include <string>

#include "common/loadstate_view.h"

namespace bsp::boot {

class Library {
 public:
  // Loads path and runs the monitor root, the one that starts the least. false with a reason.
  bool start(const std::string &path, std::string &why);
  // The load state word as the pieces file system holds it. false when it cannot be read.
  bool load_state(tools::LoadStateView &view, std::string &why) const;
  // BSP_SaveBootFileName's result.
  uint32_t save_boot_file_name(const std::string &name) const;

 private:
  void *handle_ = nullptr;
  uint32_t (*read_piece_)(char *, unsigned long, unsigned char *, unsigned long, unsigned long *) = nullptr;
  uint32_t (*save_boot_file_name_)(signed char *) = nullptr;
};

}  // namespace bsp::boot
