// Flash-dynamic area internals shared by its sources (not exported).
//
// Every operation is one Session: the area lock of this process, then a lock on the area's byte
// range of the flash emulation file that other processes honour, then one read of the magic and
// the whole descriptor table. Nothing outlives the session, so each operation sees what the
// last one of any process left on flash.
#pragma once

#include <bsp/fdy.h>
#include <stdint.h>

#include <optional>

#include "os/unique_fd.h"

namespace bsp::storage::fdy {

inline constexpr uint32_t kMagicSize = 8;
inline constexpr uint32_t kDescSize = 24;
inline constexpr uint32_t kDescCount = 5461;
inline constexpr uint32_t kHeadSize = 0x20000;  // magic and descriptor table; the data area follows
inline constexpr uint32_t kBlock = 0x2000;
inline constexpr uint32_t kErased = 0xFFFFFFFFu;
inline constexpr uint32_t kKeptFileId = 6;  // the start-up format keeps it when it is first

static_assert(kMagicSize + kDescCount * kDescSize == kHeadSize);
static_assert(sizeof(FDY_FILE_DESCR_S) == kDescSize);
static_assert(sizeof(FDY_FILE_DESCR_MAGIC_S) == kMagicSize);

inline constexpr char kSource[] = "bsp/common/FlashDynamic/FlashDynamic";

// Area state; the lock is made once and kept for the process.
extern uint64_t g_u64FDYStartOffset;
extern uint32_t g_u32FDYAreaSize;
extern uint32_t g_ulFDYInitOK;
extern void *g_semFDYDesc;

// The debug trace "Tracd <source>[<line>]" (board debug switch 1 only).
void trace(int line);
// A bounded fill, judged.
void fill(void *dest, uint64_t size, uint8_t value, int line);

// Where the area is. All sums are 64-bit, so no descriptor value can wrap them.
struct Geometry {
  uint64_t start = 0;
  uint32_t size = 0;

  uint64_t data_start() const { return start + kHeadSize; }
  uint64_t end() const { return start + size; }
  uint64_t entry_offset(uint32_t k) const { return start + kMagicSize + uint64_t{k} * kDescSize; }
  // The table index of an entry offset; false unless it is exactly one of the table's entries.
  bool index_of(uint64_t entry, uint32_t *k) const;
  // [offset, offset + len) lies inside the data area.
  bool in_data(uint64_t offset, uint64_t len) const {
    return offset >= data_start() && offset <= end() && len <= end() - offset;
  }
};

Geometry geometry();

// The magic and the descriptor table as read at the start of an operation. Changes are made
// here first and then written entry range by entry range.
class Head {
 public:
  Head(const Geometry &g, uint8_t *bytes, bool readable) : g_(g), bytes_(bytes), readable_(readable) {}
  const Geometry &geometry() const { return g_; }
  bool readable() const { return readable_; }
  bool magic_ok() const;
  FDY_FILE_DESCR_S desc(uint32_t k) const;
  void set(uint32_t k, const FDY_FILE_DESCR_S &d);
  // Entries in use: those before the first erased one (none when the table cannot be read).
  uint32_t in_use() const;
  // The first entry carrying the identifier, before any erased entry.
  bool find(uint32_t id, uint32_t *k) const;
  // Data offset of the entry after n entries in use: data start plus their allocations.
  uint64_t running_offset(uint32_t n) const;
  // Writes entries first..last as they are here, in one flash write.
  uint32_t write(uint32_t first, uint32_t last) const;
  uint8_t *bytes() { return bytes_; }

 private:
  Geometry g_;
  uint8_t *bytes_;
  bool readable_;
};

class Session {
 public:
  enum class Access { Read, Write };
  explicit Session(Access access);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;
  // Both locks are held and the head was taken (readable or not).
  bool ok() const { return head_.has_value(); }
  Head &head() { return *head_; }

 private:
  bool area_locked_ = false;
  UniqueFd range_lock_;  // closing it releases the lock
  uint8_t *bytes_ = nullptr;
  std::optional<Head> head_;
};

// ---- space (fdy_space.cc) ----

// The allocation rule (FDY_CalcAllocSize).
uint32_t alloc_size(uint32_t file_size, uint32_t free_size);

struct Resize {
  enum class Kind { Fail, Keep, InPlace, Move } kind = Kind::Fail;
  uint32_t alloc = 0;  // the allocation entry k gets
};
// What rewriting entry k with new_len does to its allocation.
Resize plan_resize(const Head &h, uint32_t k, uint32_t new_len);

// Gives entry k (not the last in use) the allocation new_alloc and moves the files behind it
// accordingly, with entry k's allocation written together with theirs. 0 or 1.
uint32_t move_behind(Head &h, uint32_t k, uint32_t new_alloc);

// ---- area (fdy_admin.cc) ----

uint32_t check_head(const Head &h);
// The start-up format keeps the first file (identifier 6, whole inside the area).
bool keeps_first(const Head &h);
// keep_first_six: the start-up format, which keeps a first file of identifier 6.
uint32_t format_area(Head &h, bool keep_first_six);
// The init without its check and format: the area is recorded, its lock made and the file
// calls enabled, nothing read or written. For a reader that must leave even a damaged area as
// it is: it judges the area itself first. 0, or 1.
uint32_t open_unchecked(uint64_t start, uint32_t size);

}  // namespace bsp::storage::fdy
