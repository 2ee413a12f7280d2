// Arguments the fuzz targets can hand to any conversion. Every integer-register argument is
// one address P of a mapped area chosen so that P's low 32 bits are 4096: read as a pointer
// it is a writable, zero-filled buffer of 32 KiB followed by a guard page; read as an int or
// unsigned (a '*' width, a buffer size) it is the small number 4096.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>

#if !defined(__x86_64__)
#error "the fuzz targets rely on the x86-64 calling convention for their argument packs"
#endif

namespace bsp::fuzz {

constexpr uintptr_t kSmallValue = 0x1000;
constexpr size_t kArea = 0x8000;

inline uintptr_t shared_arg() {
  static uintptr_t arg = [] {
    // Above the sanitizer's shadow memory; low 32 bits of the base are zero.
    for (uintptr_t base = 0x600000000000; base < 0x700000000000; base += 0x100000000) {
      size_t len = kSmallValue + kArea + 0x1000;
      void *p = mmap(reinterpret_cast<void *>(base), len, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
      if (p == MAP_FAILED) continue;
      if (reinterpret_cast<uintptr_t>(p) != base) {
        munmap(p, len);
        continue;
      }
      mprotect(static_cast<char *>(p) + kSmallValue + kArea, 0x1000, PROT_NONE);
      return base + kSmallValue;
    }
    fprintf(stderr, "fuzz: could not map the argument area\n");
    return uintptr_t{0};
  }();
  return arg;
}

}  // namespace bsp::fuzz
