#include "unit/board/board_doubles.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#if defined(__SANITIZE_ADDRESS__)
#define BOARD_TEST_OWN_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BOARD_TEST_OWN_MALLOC 0
#endif
#endif
#ifndef BOARD_TEST_OWN_MALLOC
#define BOARD_TEST_OWN_MALLOC 1
#endif

namespace board_test {

std::vector<ErrRecord> g_err_records;
std::vector<uint32_t> g_config_keys;

namespace {
WordSource g_source = WordSource::Board;
uint32_t g_word = 0;
int g_word_reads = 0;
size_t g_fail_size = 0;  // 0: nothing armed

template <typename Fn>
Fn library_function(const char *name) {
  void *sym = dlsym(RTLD_NEXT, name);
  if (sym == nullptr) abort();
  return reinterpret_cast<Fn>(sym);
}
}  // namespace

void use_word_source(WordSource source, uint32_t word) {
  g_source = source;
  g_word = word;
}
int word_reads() { return g_word_reads; }

bool fail_next_allocation_of(size_t size) {
  g_fail_size = size;
  return BOARD_TEST_OWN_MALLOC != 0;
}
void stop_failing_allocations() { g_fail_size = 0; }

}  // namespace board_test

using namespace board_test;

// Seen by the dynamic linker, ahead of the library's own definitions.
#define DOUBLE __attribute__((visibility("default")))

extern "C" {

DOUBLE void BSP_ApiErrRec(const char *filename, uint32_t fileline, uint32_t ulErrNo) {
  g_err_records.push_back({filename != nullptr ? filename : "(null)", fileline, ulErrNo});
}

DOUBLE uint32_t BDIF_GetBdInfoValue(uint32_t *pu32BdInfo) {
  ++g_word_reads;
  switch (g_source) {
    case WordSource::Given:
      *pu32BdInfo = g_word;
      return 0;
    case WordSource::Unreadable:
      return 1;
    case WordSource::Board:
      break;
  }
  return library_function<uint32_t (*)(uint32_t *)>("BDIF_GetBdInfoValue")(pu32BdInfo);
}

DOUBLE void BCDB_InitBoardCfg(uint32_t u32BoardId) {
  g_config_keys.push_back(u32BoardId);
  library_function<void (*)(uint32_t)>("BCDB_InitBoardCfg")(u32BoardId);
}

#if BOARD_TEST_OWN_MALLOC
void *__libc_malloc(size_t);
void *malloc(size_t size) {
  if (g_fail_size != 0 && size == g_fail_size) {
    g_fail_size = 0;
    return nullptr;
  }
  return __libc_malloc(size);
}
#endif

}  // extern "C"
