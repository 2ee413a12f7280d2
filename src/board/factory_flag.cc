// Factory flag parameters: the factory test's record in the piece file "Factory_Flag_Para",
// read and written whole on every call, and the board's calendar clock behind it.
#include <bsp/boundc.h>
#include <bsp/factory.h>
#include <bsp/osadapt.h>
#include <bsp/pieces.h>
#include <bsp/seclog.h>
#include <bsp/stub.h>
#include <stdio.h>
#include <time.h>

#include <iterator>

#include "os/le_bytes.h"
#include "storage/pieces_record_lock.h"

extern "C" {
BSP_API P_GET_TIME_HOOK g_pfnGetTime = nullptr;
BSP_API P_SET_FACTORY_FLAG_HOOK g_pfnSetFactoryFlag = nullptr;
}

namespace {

using bsp::storage::pieces::RecordLock;

constexpr char kSource[] = "bsp/common/factoryflag";
constexpr char kPieceName[] = "Factory_Flag_Para";
constexpr uint32_t kFail = 1;
constexpr uint32_t kUnset = 0xFFFFFFFF;
constexpr uint32_t kNoTime = 0xFFFFFFFF;
constexpr uint32_t kFlagSet = 0xABCDABCD;
constexpr uint32_t kSecondsPerHour = 3600;

enum Status : uint32_t { kStatusNone = 0, kStatusSuccess = 1, kStatusFailure = 2 };

// The stored record: seven little-endian 32-bit fields in this order.
constexpr size_t kRecordSize = 28;
static_assert(sizeof(FACTORY_FLAG_PARA) == kRecordSize);
constexpr uint32_t FACTORY_FLAG_PARA::*kFields[] = {
    &FACTORY_FLAG_PARA::ulSuccessCount, &FACTORY_FLAG_PARA::ulFailCount,    &FACTORY_FLAG_PARA::ulLastStatus,
    &FACTORY_FLAG_PARA::ulCurrStatus,   &FACTORY_FLAG_PARA::ulSetDelayTime, &FACTORY_FLAG_PARA::ulSuccessTime,
    &FACTORY_FLAG_PARA::ulSuccessFlag};
static_assert(sizeof kFields / sizeof kFields[0] * 4 == kRecordSize);

void judge(int result, const char *function, unsigned line) {
  DRV_SecJudge(result, const_cast<char *>(function), const_cast<char *>(kSource), line);
}

char *piece_name() { return const_cast<char *>(kPieceName); }

uint32_t read_record(FACTORY_FLAG_PARA *record) {
  judge(memset_s(record, sizeof *record, 0, sizeof *record), "memset_s", __LINE__);
  uint8_t bytes[kRecordSize] = {};
  unsigned long done = 0;
  uint32_t rc = BSP_VfsPiecesFileRead(piece_name(), 0, bytes, kRecordSize, &done);
  if (rc != 0) return rc;
  for (size_t i = 0; i < std::size(kFields); ++i) record->*kFields[i] = bsp::load_le32(bytes + 4 * i);
  return 0;
}

// True when the whole record went into the piece file.
bool write_record(const FACTORY_FLAG_PARA &record) {
  uint8_t bytes[kRecordSize];
  for (size_t i = 0; i < std::size(kFields); ++i) bsp::store_le32(bytes + 4 * i, record.*kFields[i]);
  unsigned long done = 0;
  return BSP_VfsPiecesFileWrite(piece_name(), 0, bytes, kRecordSize, &done) == 0 && done != 0;
}

uint32_t init_record(FACTORY_FLAG_PARA *record) {
  if (record == nullptr) return kFail;
  *record = {0, 0, kStatusNone, kStatusNone, kUnset, kNoTime, 0};
  if (!write_record(*record)) {
    puts("\r\nBSP_InitFactFlagPara!\r");
    return kFail;
  }
  return 0;
}

// The working copy of one call, on the heap and given back on every path.
class Copy {
 public:
  Copy() : record_(static_cast<FACTORY_FLAG_PARA *>(BSP_malloc(kRecordSize, 0))) {
    if (record_ == nullptr) printf("\r\nBSP_FACTORY_FLAG_PARA malloc Fail!");
  }
  ~Copy() { BSP_free(record_); }
  Copy(const Copy &) = delete;
  Copy &operator=(const Copy &) = delete;
  explicit operator bool() const { return record_ != nullptr; }
  FACTORY_FLAG_PARA *get() { return record_; }
  FACTORY_FLAG_PARA *operator->() { return record_; }

 private:
  FACTORY_FLAG_PARA *record_;
};

bool null_output(const void *out) {
  if (out != nullptr) return false;
  printf("\r\n parameter Fail!");
  return true;
}

// One field of the record, or 0 when there is none.
uint32_t get_field(uint32_t *out, uint32_t FACTORY_FLAG_PARA::*field) {
  if (null_output(out)) return kFail;
  Copy copy;
  if (!copy) return kFail;
  *out = read_record(copy.get()) == 0 ? copy.get()->*field : 0;
  return 0;
}

uint32_t clock_now() {
  St85TimeBIN t;
  judge(memset_s(&t, sizeof t, 0, sizeof t), "memset_s", __LINE__);
  P_GET_TIME_HOOK hook = g_pfnGetTime;
  uint32_t rc = hook != nullptr ? hook(&t) : RTC_GetTime(&t);
  if (rc != 0) {
    printf("\r\n--+--BSP_RTC_GetTime Fail!");
    return kNoTime;
  }
  struct tm calendar = {};
  calendar.tm_sec = t.cSecond;
  calendar.tm_min = t.cMin;
  calendar.tm_hour = t.cHour;
  calendar.tm_mday = t.cDayOfMonth;
  calendar.tm_mon = t.cMonth - 1;
  calendar.tm_year = t.cYear + 100;
  calendar.tm_isdst = 0;
  return static_cast<uint32_t>(mktime(&calendar));  // its failure, -1, is kNoTime
}

uint32_t success_flag_state() {
  Copy copy;
  if (!copy) return kFail;
  return read_record(copy.get()) == 0 && copy->ulSuccessFlag == kFlagSet ? 0 : kFail;
}

uint32_t spare_time(uint32_t *out) {
  if (null_output(out)) return kFail;
  Copy copy;
  if (!copy) return kFail;
  if (read_record(copy.get()) != 0 || copy->ulSetDelayTime == kUnset || copy->ulSuccessTime == kNoTime) {
    return kFail;
  }
  const uint32_t now = clock_now();
  if (now == kNoTime) return kFail;
  // Unsigned 32-bit: a clock behind the success time wraps to a large distance, so no time is left.
  const uint32_t since = now - copy->ulSuccessTime;
  *out = since < copy->ulSetDelayTime ? copy->ulSuccessTime + copy->ulSetDelayTime - now : 0;
  return 0;
}

// A setter's read, change and write; the caller holds the record lock. change gets the
// current record (a fresh one when there was none) and gives the setter's result.
template <class Change>
uint32_t update_held(Change change) {
  Copy copy;
  if (!copy) return kFail;
  if (read_record(copy.get()) != 0) {
    printf("\r\nGet FACTORY_FLAG_PARA fail! Creat a new one now.");
    if (init_record(copy.get()) != 0) return kFail;
  }
  return change(*copy.get());
}

// The same as one step against every other setter of any thread or process, so that two
// setters of different fields at once both keep their change.
template <class Change>
uint32_t update(Change change) {
  RecordLock lock;
  return update_held(change);
}

// Caller holds the record lock.
uint32_t store_success_flag(FACTORY_FLAG_PARA &r) {
  r.ulSuccessFlag = kFlagSet;
  if (write_record(r)) return 0;
  puts("\r\nBSP_SetSuccessFlag FAIL!\r");
  return kFail;
}

void success_flag_stored() {
  P_SET_FACTORY_FLAG_HOOK hook = g_pfnSetFactoryFlag;
  if (hook != nullptr) hook();
}

}  // namespace

extern "C" {

BSP_API void BSP_SET_FACTORY_FLAG_HOOK(P_SET_FACTORY_FLAG_HOOK hook) { g_pfnSetFactoryFlag = hook; }

BSP_API void BSP_Set_GetTimeHook(P_GET_TIME_HOOK hook) { g_pfnGetTime = hook; }

BSP_API uint32_t isLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 1 : 0; }

BSP_API uint32_t DayOfMonth(uint32_t month, int32_t year) {
  switch (month) {
    case 2: return isLeapYear(year) != 0 ? 29 : 28;
    case 1: case 3: case 5: case 7: case 8: case 10: case 12: return 31;
    default: return 30;
  }
}

BSP_API uint32_t BSP_RTC_GetTime(void) { return clock_now(); }

BSP_API uint32_t BSP_InitFactFlagPara(FACTORY_FLAG_PARA *pFactFlagInfo) {
  if (pFactFlagInfo == nullptr) return kFail;
  RecordLock lock;
  return init_record(pFactFlagInfo);
}

BSP_API uint32_t BSP_GetFactFlagPara(FACTORY_FLAG_PARA *pFactFlagInfo) {
  if (pFactFlagInfo == nullptr) {
    printf("\r\nBSP_GetFactFlagPara parameter Fail!");
    return kFail;
  }
  return read_record(pFactFlagInfo);
}

BSP_API uint32_t BSP_GetSuccessCount(uint32_t *pulCount) {
  return get_field(pulCount, &FACTORY_FLAG_PARA::ulSuccessCount);
}

BSP_API uint32_t BSP_GetFailCount(uint32_t *pulCount) { return get_field(pulCount, &FACTORY_FLAG_PARA::ulFailCount); }

BSP_API uint32_t BSP_GetLastStatus(uint32_t *pulStatus) {
  return get_field(pulStatus, &FACTORY_FLAG_PARA::ulLastStatus);
}

BSP_API uint32_t BSP_SetSuccessCount(uint32_t ulCount) {
  return update([ulCount](FACTORY_FLAG_PARA &r) {
    const uint32_t now = clock_now();
    if (now == kNoTime) {
      puts("\r\nBSP_RTC_GetTime FAIL!\r");
      return kFail;
    }
    r.ulSuccessCount = ulCount;
    r.ulSuccessTime = now;
    r.ulLastStatus = r.ulCurrStatus;
    r.ulCurrStatus = kStatusSuccess;
    if (write_record(r)) return 0u;
    puts("\r\nBSP_SetSuccessCount FAIL!\r");
    return kFail;
  });
}

BSP_API uint32_t BSP_SetFailCount(uint32_t count) {
  return update([count](FACTORY_FLAG_PARA &r) {
    r.ulFailCount = count;
    r.ulLastStatus = r.ulCurrStatus;
    r.ulCurrStatus = kStatusFailure;
    r.ulSuccessTime = kNoTime;  // a failure cancels the running delay
    return write_record(r) ? 0u : kFail;
  });
}

BSP_API uint32_t BSP_SetDelayTime(uint32_t ulDelayTime) {
  return update([ulDelayTime](FACTORY_FLAG_PARA &r) {
    r.ulSetDelayTime = ulDelayTime * kSecondsPerHour;
    if (write_record(r)) return 0u;
    puts("\r\nBSP_SetDelayTime FAIL!\r");
    return kFail;
  });
}

BSP_API uint32_t BSP_GetDelayTime(uint32_t *pulDelayTime) {
  if (null_output(pulDelayTime)) return kFail;
  Copy copy;
  if (!copy) return kFail;
  const bool known = read_record(copy.get()) == 0 && copy->ulSetDelayTime != kUnset;
  *pulDelayTime = known ? copy->ulSetDelayTime / kSecondsPerHour : kUnset;
  return 0;
}

BSP_API uint32_t BSP_SetSuccessFlag(void) {
  const uint32_t rc = update(store_success_flag);
  if (rc == 0) success_flag_stored();
  return rc;
}

BSP_API uint32_t BSP_GetSuccessFlag(void) { return success_flag_state(); }

BSP_API uint32_t BSP_GetSpareTime(uint32_t *pSpareTime) { return spare_time(pSpareTime); }

BSP_API uint32_t BSP_GetHideFlag(void) {
  if (success_flag_state() == 0) return 0;
  uint32_t left = 0;
  if (spare_time(&left) != 0) return 1;
  return left == 0 ? 0 : 1;
}

BSP_API void BSP_SetFactoryFlag(void) {
  uint32_t rc = kFail;
  {
    // Decided and set in one step, so two callers at once set the flag and call the hook once.
    RecordLock lock;
    uint32_t left = 0;
    if (success_flag_state() == 0 || spare_time(&left) != 0 || left != 0) return;
    rc = update_held(store_success_flag);
    if (rc != 0) puts("\r\nSet Sucess Flag Fail\r");
  }
  if (rc == 0) success_flag_stored();
}

BSP_API uint32_t EmtestFileErase(uint32_t ulDeleteType) { return 0; }

}  // extern "C"
