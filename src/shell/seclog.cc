// The bounded-function failure log: 32 lines in memory, shown and cleared from the shell.
#include <bsp/boundc.h>
#include <bsp/seclog.h>
#include <sched.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

namespace {

constexpr char kSourceFile[] = "seclog.cc";

// Several threads may fail at once. A line is formatted outside the lock; the lock only covers
// taking the next entry, copying the line in and publishing the count, so no entry is lost,
// shared or written past the end. It is never held across a blocking call, which keeps it safe
// among nPth threads as well.
class EntryLock {
 public:
  void lock() {
    while (flag_.test_and_set(std::memory_order_acquire)) sched_yield();
  }
  void unlock() { flag_.clear(std::memory_order_release); }

 private:
  std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

EntryLock g_entry_lock;

struct LockGuard {
  explicit LockGuard(EntryLock &l) : lock(l) { lock.lock(); }
  ~LockGuard() { lock.unlock(); }
  EntryLock &lock;
};

std::atomic_ref<int> published_count() { return std::atomic_ref<int>(cSecLogNum); }

void append_line(const char *templat, va_list args) {
  if (published_count().load(std::memory_order_acquire) >= SECLOG_ENTRIES) return;
  char line[SECLOG_ENTRY_SIZE];
  int len = vsprintf_s(line, sizeof line, templat, args);
  if (len < 0) {
    puts("\r\nBoundc log printf invalid\r");
    return;
  }
  LockGuard guard(g_entry_lock);
  int slot = published_count().load(std::memory_order_relaxed);
  if (slot < 0 || slot >= SECLOG_ENTRIES) return;
  // Not judged: a failure here would only come back into this log.
  memcpy_s(cSecLogBuf[slot], SECLOG_ENTRY_SIZE, line, static_cast<size_t>(len) + 1);
  published_count().store(slot + 1, std::memory_order_release);
}

const t_sec_map *find_row(const char *name) {
  if (name == nullptr) return nullptr;
  for (const t_sec_map &row : g_secmap)
    if (strcmp(row.name, name) == 0) return &row;
  return nullptr;
}

}  // namespace

extern "C" {

t_sec_map g_secmap[SECLOG_MAP_ROWS] = {
    {"memset_s", 0, 1},     {"memcpy_s", 0, 1},     {"strcpy_s", 0, 1},     {"strncpy_s", 0, 1},
    {"memmove_s", 0, 1},    {"fscanf_s", -1, 0},    {"sprintf_s", -1, 0},   {"snprintf_s", -1, 0},
    {"vsnprintf_s", -1, 0}, {"strcat_s", 0, 1},     {"sscanf_s", -1, 0},    {"strncat_s", 0, 1},
    {"fwscanf_s", -1, 0},   {"scanf_s", -1, 0},     {"swprintf_s", -1, 0},  {"swscanf_s", -1, 0},
    {"vfscanf_s", -1, 0},   {"vfwscanf_s", -1, 0},  {"vscanf_s", -1, 0},    {"vsprintf_s", -1, 0},
    {"vsscanf_s", -1, 0},   {"vswprintf_s", -1, 0}, {"vswscanf_s", -1, 0},  {"vwscanf_s", -1, 0},
    {"wcscat_s", 0, 1},     {"wcscpy_s", 0, 1},     {"wcsncat_s", 0, 1},    {"wcsncpy_s", 0, 1},
    {"wmemcpy_s", 0, 1},    {"wmemmove_s", 0, 1},   {"wscanf_s", -1, 0},
};

char cSecLogBuf[SECLOG_ENTRIES][SECLOG_ENTRY_SIZE];
int cSecLogNum = 0;

void DRV_SecLogPrintf(const char *templat, ...) {
  va_list args;
  va_start(args, templat);
  append_line(templat, args);
  va_end(args);
}

void DRV_SecJudge(int value, char *sec_func_name, char *file_name, unsigned int line) {
  const t_sec_map *row = find_row(sec_func_name);
  if (row == nullptr) {
    DRV_SecLogPrintf("This func name: %s seclog do not support.\r\n", sec_func_name);
    return;
  }
  bool failed = row->flag == 1 ? value != row->value : (row->flag == 0 && value == row->value);
  if (failed)
    DRV_SecLogPrintf("%s err, ret:%d, file is %s, line is %d\r\n", sec_func_name, value, file_name,
                     static_cast<int>(line));
}

void Display_SecLog(void) {
  int count = published_count().load(std::memory_order_acquire);
  if (count <= 0) {
    puts("no boundc log!\r");
    return;
  }
  if (count > SECLOG_ENTRIES) count = SECLOG_ENTRIES;
  printf("cSecLogNum:%d\r\n", count);
  for (int i = 0; i < count; ++i) printf("%s", cSecLogBuf[i]);
}

void Clear_SecLog(void) {
  LockGuard guard(g_entry_lock);
  published_count().store(0, std::memory_order_release);
  // Not judged, like the copy into an entry: it cannot fail and would only log into itself.
  memset_s(cSecLogBuf, sizeof cSecLogBuf, 0, sizeof cSecLogBuf);
}

void Test_Boundc(void) {
  char buf[10];
  errno_t ret = memset_s(buf, sizeof buf, 0, 20);
  if (ret != 0) DRV_SecLogPrintf("memset_s err, ret:%d, file is %s, line is %d\r\n", ret, kSourceFile, __LINE__);
}

void Test_SecJudge(void) {
  char buf[20];
  errno_t ret = memset_s(buf, 10, 0, 20);
  DRV_SecJudge(ret, const_cast<char *>("memset_s"), const_cast<char *>(kSourceFile), __LINE__);
  int len = sprintf_s(buf, sizeof buf, "test");
  DRV_SecJudge(len, const_cast<char *>("sprintf_s"), const_cast<char *>(kSourceFile), __LINE__);
}

}  // extern "C"
