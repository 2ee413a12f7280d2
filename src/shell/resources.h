// Buffers and descriptors that the shell's handlers release on every path.
#pragma once

#include <bsp/boundc.h>
#include <stdlib.h>
#include <unistd.h>

#include "os/unique_fd.h"

namespace bsp::shell {

// A heap buffer freed on every path.
class HeapBuffer {
 public:
  explicit HeapBuffer(size_t size) : data_(static_cast<unsigned char *>(malloc(size))), size_(size) {}
  ~HeapBuffer() { free(data_); }
  HeapBuffer(const HeapBuffer &) = delete;
  HeapBuffer &operator=(const HeapBuffer &) = delete;
  unsigned char *get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }
  errno_t zero() { return memset_s(data_, size_, 0, size_); }

 private:
  unsigned char *data_;
  size_t size_;
};

}  // namespace bsp::shell
