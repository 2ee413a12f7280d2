// Descriptor ownership and whole-range reads for the loader's files.
#pragma once

#include <fcntl.h>
#include <stdint.h>
#include <sys/types.h>
#include <unistd.h>

#include <span>

#include "os/le_bytes.h"
#include "os/unique_fd.h"

namespace bsp::loader {

inline UniqueFd open_read(const char *path) { return UniqueFd(open(path, O_RDONLY | O_CLOEXEC)); }

// Reads up to out.size() bytes at offset; returns how many were read (short at end of file or
// on error). Offsets beyond what off_t holds read nothing.
size_t read_at(int fd, std::span<uint8_t> out, uint64_t offset);

}  // namespace bsp::loader
