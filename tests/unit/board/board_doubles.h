// Test doubles for the board API tests: they take the place of library functions that the
// library calls across its own sources (the calls go through the dynamic linker), record what
// reaches them and, where a test asks, answer in the board's place.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace board_test {

// BSP_ApiErrRec: every call, in order.
struct ErrRecord {
  std::string file;
  uint32_t line;
  uint32_t code;
};
extern std::vector<ErrRecord> g_err_records;

// BDIF_GetBdInfoValue: the library's own source (this board), a given word, or unreadable.
enum class WordSource { Board, Given, Unreadable };
void use_word_source(WordSource source, uint32_t word = 0);
int word_reads();

// BCDB_InitBoardCfg: the keys it was called with (the library's function still runs).
extern std::vector<uint32_t> g_config_keys;

// malloc: the next allocation of exactly `size` bytes fails. False where the sanitizer's
// allocator is in place and cannot be made to fail.
bool fail_next_allocation_of(size_t size);
void stop_failing_allocations();

}  // namespace board_test
