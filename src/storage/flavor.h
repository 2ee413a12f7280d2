// Storage flavor: the only place where the library build and the boot-loader build of the
// storage code (flash front, checksums, pieces, boot records) differ. Every storage source is
// compiled twice: into libbsp (default) and into the bootloader (BSP_FLAVOR_LOADER). The
// offline image tool (BSP_FLAVOR_TOOL) builds it a third time: the library's result codes,
// the loader's plain single-process system calls, and every message handed to the tool.
//
//   kFail                   plain failure result: 1 in the library, 0xFFFFFFFF in the loader
//   fail(code)              a coded failure: the code in the library, 0xFFFFFFFF in the loader
//   console(fmt, ...)       standard output in both builds (the tool's log in the tool)
//   message(fmt, ...)       operator message: standard output / the boot log (info record)
//   trace(fmt, ...)         debug trace: only while the board debug switch is on / always logged
//   trace_print(fmt, ...)   BSP_TracePrint (switch exactly 1) / always logged
//   error_log(fmt, ...)     loader only: boot-log error record (also on the console)
//   judge(rc, fn, src, ln)  bounded-function result: DRV_SecJudge / ignored
//   record_error(src, ln, code)  BSP_ApiErrRec / nothing
//   lock_create/lock_take/lock_try/lock_give, LockGuard
//                           nPth mutex through the OS adaptation / plain process mutex
//   pause_ms(ms)            nPth sleep / plain sleep
//   sys_read, sys_write     nPth I/O / plain I/O
//   Blocking                scope around any other blocking system call (lets nPth threads run)
//   mem_alloc, mem_free     BSP_malloc/BSP_free / malloc/free
//   clear_boot_counters()   the host's boot-failure counters (library); the tool has none
// The tool build takes the library's codes and the loader's plain calls and locks; its
// messages, traces and error records all go to tool_log.
//
// The loader build needs one function from the bootloader program: loader_log (below); the
// tool build one from the tool: tool_log.
#pragma once

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#if defined(BSP_FLAVOR_LOADER) && defined(BSP_FLAVOR_TOOL)
#error "one storage flavor per build"
#endif
// No nPth, no diagnostics: one thread, plain system calls.
#if defined(BSP_FLAVOR_LOADER) || defined(BSP_FLAVOR_TOOL)
#define BSP_FLAVOR_PLAIN 1
#endif

#ifdef BSP_FLAVOR_PLAIN
#include <pthread.h>
#else
#include <bsp/bootparam.h>
#include <bsp/diag.h>
#include <bsp/osadapt.h>
#include <npth.h>
#include <bsp/seclog.h>
#endif

namespace bsp::storage::flavor {

#ifdef BSP_FLAVOR_LOADER
inline constexpr bool kLoader = true;
inline constexpr uint32_t kFail = 0xFFFFFFFFu;
#else
inline constexpr bool kLoader = false;
inline constexpr uint32_t kFail = 1u;
#endif

enum class LogKind { Info, Error };

#ifdef BSP_FLAVOR_LOADER
// Provided by the bootloader program: appends one formatted record to the boot log.
// Info records go to the log only; Error records go to the log and the console.
void loader_log(LogKind kind, const char *format, va_list args);
#endif
#ifdef BSP_FLAVOR_TOOL
// Provided by the tool: every message, trace and error of the storage code, which the tool
// reports in its own words (or shows when asked to).
void tool_log(LogKind kind, const char *format, va_list args);
#endif

inline uint32_t fail(uint32_t code) { return kLoader ? kFail : code; }

__attribute__((format(printf, 1, 2))) inline void console(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
#ifdef BSP_FLAVOR_TOOL
  tool_log(LogKind::Info, format, ap);
#else
  vprintf(format, ap);
#endif
  va_end(ap);
}

// An information record: the loader's log, the tool's log, or in the library standard output
// when shown (the library's messages always, its traces by the debug switch).
inline void info(bool shown_by_library, const char *format, va_list ap) {
#if defined(BSP_FLAVOR_LOADER)
  (void)shown_by_library;
  loader_log(LogKind::Info, format, ap);
#elif defined(BSP_FLAVOR_TOOL)
  (void)shown_by_library;
  tool_log(LogKind::Info, format, ap);
#else
  if (shown_by_library) vprintf(format, ap);
#endif
}

// The library's debug switch; the loader and the tool have none.
inline uint32_t debug_switch() {
#ifdef BSP_FLAVOR_PLAIN
  return 0;
#else
  return g_u32BspDebug;
#endif
}

__attribute__((format(printf, 1, 2))) inline void message(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  info(true, format, ap);
  va_end(ap);
}

// A trace shown while the debug switch is on.
__attribute__((format(printf, 1, 2))) inline void trace(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  info(debug_switch() != 0, format, ap);
  va_end(ap);
}

// The board's debug trace (BSP_TracePrint: only while the switch is exactly 1).
__attribute__((format(printf, 1, 2))) inline void trace_print(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  info(debug_switch() == 1, format, ap);
  va_end(ap);
}

__attribute__((format(printf, 1, 2))) inline void error_log(const char *format, ...) {
#if defined(BSP_FLAVOR_LOADER) || defined(BSP_FLAVOR_TOOL)
  va_list ap;
  va_start(ap, format);
#ifdef BSP_FLAVOR_LOADER
  loader_log(LogKind::Error, format, ap);
#else
  tool_log(LogKind::Error, format, ap);
#endif
  va_end(ap);
#else
  (void)format;
#endif
}

inline void judge(int result, const char *function, const char *source, unsigned int line) {
#ifdef BSP_FLAVOR_PLAIN
  (void)result, (void)function, (void)source, (void)line;
#else
  DRV_SecJudge(result, const_cast<char *>(function), const_cast<char *>(source), line);
#endif
}

inline void record_error(const char *source, unsigned int line, uint32_t code) {
#ifdef BSP_FLAVOR_PLAIN
  (void)source, (void)line, (void)code;
#else
  BSP_ApiErrRec(source, line, code);
#endif
}

// ---- locks: a handle slot that stays null when the lock could not be made ----

// Makes a lock in *handle; 0 on success, else non-zero with *handle left null.
inline uint32_t lock_create(void **handle) {
#ifdef BSP_FLAVOR_PLAIN
  auto *m = static_cast<pthread_mutex_t *>(malloc(sizeof(pthread_mutex_t)));
  if (m == nullptr || pthread_mutex_init(m, nullptr) != 0) {
    free(m);
    *handle = nullptr;
    return kFail;
  }
  *handle = m;
  return 0;
#else
  void *made = nullptr;
  if (BSP_semBInit(&made, 1) != 0) {
    free(made);
    *handle = nullptr;
    return kFail;
  }
  *handle = made;
  return 0;
#endif
}

// Waits without limit. 0 on success; a missing lock or a failed wait gives non-zero.
inline uint32_t lock_take(void *handle) {
  if (handle == nullptr) return kFail;
#ifdef BSP_FLAVOR_PLAIN
  return pthread_mutex_lock(static_cast<pthread_mutex_t *>(handle)) == 0 ? 0 : kFail;
#else
  return static_cast<uint32_t>(BSP_semLock(handle, -1));
#endif
}

// One try, no wait.
inline bool lock_try(void *handle) {
  if (handle == nullptr) return false;
#ifdef BSP_FLAVOR_PLAIN
  return pthread_mutex_trylock(static_cast<pthread_mutex_t *>(handle)) == 0;
#else
  return BSP_semLock(handle, 0) == 0;
#endif
}

inline void lock_give(void *handle) {
  if (handle == nullptr) return;
#ifdef BSP_FLAVOR_PLAIN
  pthread_mutex_unlock(static_cast<pthread_mutex_t *>(handle));
#else
  BSP_semUnlock(handle);
#endif
}

// Holds a lock for a scope; result() is the take's result (0 when held).
class LockGuard {
 public:
  explicit LockGuard(void *handle) : handle_(handle), result_(lock_take(handle)) {}
  ~LockGuard() {
    if (result_ == 0) lock_give(handle_);
  }
  LockGuard(const LockGuard &) = delete;
  LockGuard &operator=(const LockGuard &) = delete;
  uint32_t result() const { return result_; }

 private:
  void *handle_;
  uint32_t result_;
};

// ---- blocking calls ----

inline void pause_ms(uint32_t ms) {
#if defined(BSP_STORAGE_NO_PAUSE)
  (void)ms;  // fuzzing build: the pauses only slow the search down
#elif defined(BSP_FLAVOR_PLAIN)
  usleep(ms * 1000u);
#else
  BSP_taskDelay(ms);
#endif
}

inline ssize_t sys_read(int fd, void *buf, size_t len) {
#ifdef BSP_FLAVOR_PLAIN
  return read(fd, buf, len);
#else
  return npth_read(fd, buf, len);
#endif
}

inline ssize_t sys_write(int fd, const void *buf, size_t len) {
#ifdef BSP_FLAVOR_PLAIN
  return write(fd, buf, len);
#else
  return npth_write(fd, buf, len);
#endif
}

// Other threads of an nPth host may run while this scope blocks in the kernel.
class Blocking {
 public:
#ifdef BSP_FLAVOR_PLAIN
  Blocking() {}  // the loader has one thread
#else
  Blocking() { npth_unprotect(); }
  ~Blocking() { npth_protect(); }
#endif
  Blocking(const Blocking &) = delete;
  Blocking &operator=(const Blocking &) = delete;
};

inline void *mem_alloc(size_t bytes) {
#ifdef BSP_FLAVOR_PLAIN
  return malloc(bytes);
#else
  return BSP_malloc(static_cast<uint32_t>(bytes), 0);
#endif
}

inline void mem_free(void *p) {
#ifdef BSP_FLAVOR_PLAIN
  free(p);
#else
  BSP_free(p);
#endif
}

inline void clear_boot_counters() {
#ifndef BSP_FLAVOR_PLAIN
  BSP_ClearLoadFailTimes();
#endif
}

}  // namespace bsp::storage::flavor
