// The library's checksummed view of the boot information and search-packet records, which the
// host owns and points us at, and the rollback record kept as a piece file.
#include <bsp/bootparam.h>
#include <bsp/boundc.h>
#include <bsp/pieces.h>
#include <bsp/stub.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "os/le_bytes.h"
#include "storage/bootmem_layout.h"
#include "storage/flavor.h"

extern "C" {
BSP_API BOOTINFO *g_pstBootParaFlag = nullptr;
BSP_API SearchPktLog *g_u32SearchPktCnt = nullptr;
}

namespace {

namespace flavor = bsp::storage::flavor;
using bsp::load_le32;
using bsp::store_le32;

constexpr char kSource[] = "bootparam.cc";

// Both records are a checksum word followed by three value words.
enum Word : size_t { kChecksum = 0, kFirst = 1, kSecond = 2, kThird = 3 };
constexpr Word kValueWords[] = {kFirst, kSecond, kThird};
constexpr Word kAllWords[] = {kChecksum, kFirst, kSecond, kThird};
constexpr size_t kRecordBytes = 16;
static_assert(sizeof(BOOTINFO) == kRecordBytes && sizeof(SearchPktLog) == kRecordBytes);

// Moves one 16-byte record in a single store (and reads it in a single load) where the processor
// has one, so another process sharing the memory never sees a record half written.
#if defined(__i386__) || defined(__x86_64__)
__attribute__((target("sse2"))) void move_whole_sse2(void *to, const void *from) {
  _mm_storeu_si128(static_cast<__m128i *>(to), _mm_loadu_si128(static_cast<const __m128i *>(from)));
}
#endif

void move_whole(void *to, const void *from) {
#if defined(__x86_64__)
  move_whole_sse2(to, from);
#elif defined(__i386__)
  static const bool have_sse2 = __builtin_cpu_supports("sse2");
  if (have_sse2) {
    move_whole_sse2(to, from);
  } else {
    memcpy(to, from, kRecordBytes);
  }
#else
  memcpy(to, from, kRecordBytes);
#endif
  __asm__ __volatile__("" ::: "memory");  // later reads use the copy, never the source again
}

// A record read whole into a local copy, changed there, and stored back whole: the shared record
// only ever holds a complete, sealed record (or whatever was there before).
class CheckedRecord {
 public:
  explicit CheckedRecord(void *record) : shared_(static_cast<uint8_t *>(record)) {
    if (present()) move_whole(copy_, shared_);
  }

  // A host that never set its pointer gets the answers of an empty record, and nothing changes.
  bool present() const { return shared_ != nullptr; }

  uint32_t get(Word w) const { return present() ? load_le32(copy_ + 4 * w) : empty_value(w); }

  // An invalid record is reset to zero values, sealed and stored.
  void validate() {
    if (present() && !valid()) {
      clear_values();
      reseal();
    }
  }
  void reseal() {
    if (!present()) return;
    store_le32(copy_ + 4 * kChecksum, expected());
    move_whole(shared_, copy_);
  }
  // Validates and changes one value in the copy, then stores the record once.
  void set(Word w, uint32_t value) {
    if (!present()) return;
    if (!valid()) clear_values();
    store_le32(copy_ + 4 * w, value);
    reseal();
  }
  uint32_t read(Word w) {
    validate();
    return get(w);
  }
  // The record as validated, in host byte order.
  void copy_out(void *out) const {
    for (Word w : kAllWords) store_le32(static_cast<uint8_t *>(out) + 4 * w, get(w));
  }

 private:
  static uint32_t empty_value(Word w) { return w == kChecksum ? 0xFFFFFFFFu : 0; }
  uint32_t expected() const { return ~(get(kFirst) + get(kSecond) + get(kThird)); }
  bool valid() const { return get(kChecksum) == expected(); }
  void clear_values() {
    for (Word w : kValueWords) store_le32(copy_ + 4 * w, 0);
  }

  uint8_t *shared_;
  alignas(16) uint8_t copy_[kRecordBytes] = {};
};

// BOOTINFO: u32LoadFailTimes, u32HasRollback, u32RollbackReason.
constexpr Word kLoadFailTimes = kFirst, kHasRollback = kSecond, kRollbackReason = kThird;
// SearchPktLog: u32SearchCnt, u32Rsv1, u32Rsv2.
constexpr Word kSearchCnt = kFirst;

static_assert(offsetof(BOOTINFO, u32LoadFailTimes) == 4 * kLoadFailTimes);
static_assert(offsetof(BOOTINFO, u32HasRollback) == 4 * kHasRollback);
static_assert(offsetof(BOOTINFO, u32RollbackReason) == 4 * kRollbackReason);
static_assert(offsetof(SearchPktLog, u32SearchCnt) == 4 * kSearchCnt);

CheckedRecord boot_info() { return CheckedRecord(g_pstBootParaFlag); }
CheckedRecord search_log() { return CheckedRecord(g_u32SearchPktCnt); }

uint32_t g_topmem_base = 0;

unsigned long topmem_address(int offset) {
  get_topmem_virtbase_addr(&g_topmem_base);
  return g_topmem_base + static_cast<unsigned long>(offset);
}

}  // namespace

extern "C" {

BSP_API void BSP_CheckBootinfo(void) { boot_info().validate(); }
BSP_API void BSP_SetBootinfoCheckSum(void) { boot_info().reseal(); }

BSP_API unsigned long BSP_GetBootinfo(BOOTINFO *pstBootinfo) {
  if (pstBootinfo == nullptr) return 1;
  CheckedRecord record = boot_info();
  record.validate();
  BOOTINFO copy;
  record.copy_out(&copy);
  flavor::judge(memcpy_s(pstBootinfo, sizeof *pstBootinfo, &copy, sizeof copy), "memcpy_s", kSource, __LINE__);
  return 0;
}

BSP_API unsigned long BSP_ClearLoadFailTimes(void) {
  boot_info().set(kLoadFailTimes, 0);
  BSP_ClearSearchPktCnt();
  return 0;
}

BSP_API unsigned long BSP_ClearLoadFailTimesNotSearch(void) {
  boot_info().set(kLoadFailTimes, 0);
  return 0;
}

// The loader counts boot attempts; the library's count only ever gets cleared.
BSP_API unsigned long BSP_IncrLoadFailTimes(void) { return 0; }

BSP_API unsigned long BSP_GetLoadFailTimes(void) { return boot_info().read(kLoadFailTimes); }

BSP_API unsigned long BSP_ClearRollback(void) {
  boot_info().set(kHasRollback, 0);
  return 0;
}

BSP_API unsigned long BSP_SetRollbackFlag(unsigned int u32HasRollback) {
  boot_info().set(kHasRollback, u32HasRollback != 0 ? 1 : 0);
  return 0;
}

BSP_API unsigned long BSP_SetRollbackReason(unsigned int u32RollbackReason) {
  boot_info().set(kRollbackReason, u32RollbackReason);
  return 0;
}

BSP_API void BSP_PrintBootInfo(void) {
  BOOTINFO info;
  BSP_GetBootinfo(&info);
  printf("\r\nu32LoadFailTimes: 0x%x", info.u32LoadFailTimes);
  printf("\r\nu32HasRollback: 0x%x", info.u32HasRollback);
  printf("\r\nu32RollbackReason: 0x%x\r\n", info.u32RollbackReason);
}

BSP_API void BSP_CheckSearchPktLog(void) { search_log().validate(); }
BSP_API void BSP_SetSearchPktLogCheckSum(void) { search_log().reseal(); }

BSP_API unsigned long BSP_ClearSearchPktCnt(void) {
  search_log().set(kSearchCnt, 0);
  return 0;
}

BSP_API unsigned long BSP_GetSearchPktCnt(void) { return search_log().read(kSearchCnt); }

BSP_API void BSP_SetSearchPktCnt(unsigned int u32Cnt) { search_log().set(kSearchCnt, u32Cnt); }

BSP_API unsigned long BSP_RollBackRecordWrite(signed char *cRollBackName) {
  // Without a record there is nothing to save; an empty one would overwrite a good saved copy.
  if (g_pstBootParaFlag == nullptr) return 1;
  alignas(16) unsigned char record[kRecordBytes];
  move_whole(record, g_pstBootParaFlag);  // saved as it stands, read in one piece
  unsigned long written = 0;
  return BSP_VfsPiecesFileWrite(reinterpret_cast<char *>(cRollBackName), 0, record, sizeof record, &written);
}

BSP_API unsigned long BSP_RollBackRecordRead(signed char *cRollBackName, BOOTINFO *pBootBackInfo) {
  if (pBootBackInfo == nullptr) return 1;
  auto *buffer = static_cast<unsigned char *>(calloc(1, sizeof(BOOTINFO)));
  if (buffer == nullptr) {
    printf("\r\nBSP_RollBackRecordRead malloc Fail!");
    return 1;
  }
  unsigned long got = 0;
  unsigned long rc = BSP_VfsPiecesFileRead(reinterpret_cast<char *>(cRollBackName), 0, buffer, sizeof(BOOTINFO), &got);
  flavor::judge(memcpy_s(pBootBackInfo, sizeof *pBootBackInfo, buffer, sizeof(BOOTINFO)), "memcpy_s", kSource,
                __LINE__);
  free(buffer);
  return rc;
}

BSP_API int BSP_getParaAddr(int offset) { return static_cast<int>(topmem_address(offset)); }

BSP_API unsigned long bsp_get_topmem_usr_addr(int offset) { return topmem_address(offset); }

}  // extern "C"
