// Descriptor ownership and whole-range reads for the loader's files.
#pragma once

#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <span>

#include "os/le_bytes.h"
#include "os/unique_fd.h"

namespace bsp::loader {

// Opens a regular file for reading. A FIFO or a device in its place must not hold the boot:
// the open does not wait, and anything but a regular file counts as a file that cannot be opened.
inline UniqueFd open_read(const char *path) {
  UniqueFd fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (fd.valid() && (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) fd.reset();
  return fd;
}

// Reads up to out.size() bytes at offset; returns how many were read (short at end of file or
// on error). Offsets beyond what off_t holds read nothing.
size_t read_at(int fd, std::span<uint8_t> out, uint64_t offset);

}  // namespace bsp::loader
