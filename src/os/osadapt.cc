// Real-time-OS style task, lock, delay and I/O calls mapped onto nPth.
// Anything that may block goes through nPth so the host's other threads keep running.
#include <bsp/osadapt.h>

#include <npth.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <time.h>

namespace {
constexpr size_t kTaskStackSize = 0x20000;

pthread_mutex_t *as_mutex(void *handle) { return static_cast<pthread_mutex_t *>(handle); }

int32_t status(bool ok) { return ok ? 0 : 1; }
}  // namespace

extern "C" {

BSP_API int32_t BSP_taskDelay(uint32_t msDelay) {
  // The product wraps in 32 bits, as the delay count of the platform did.
  npth_usleep(static_cast<uint32_t>(msDelay * 1000u));
  return 0;
}

BSP_API int32_t BSP_taskIdSelf(void) { return static_cast<int32_t>(pthread_self()); }

BSP_API int32_t BSP_taskCreate(const char *name, void *taskId, BSP_TASK_ENTRY start_routine, void *arg) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setscope(&attr, PTHREAD_SCOPE_SYSTEM);
  pthread_attr_setstacksize(&attr, kTaskStackSize);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (taskId == nullptr) {
    pthread_attr_destroy(&attr);
    return 1;
  }
  npth_create(static_cast<npth_t *>(taskId), &attr, start_routine, arg);
  pthread_attr_destroy(&attr);
  return 0;
}

BSP_API int32_t BSP_taskSetName(const char *pTaskName) {
  if (pTaskName == nullptr) return 1;
  return status(prctl(PR_SET_NAME, pTaskName) == 0);
}

BSP_API int32_t BSP_taskDelete(void *) { return 0; }
BSP_API int32_t BSP_taskSuspend(void *) { return 0; }
BSP_API int32_t BSP_taskResume(void *) { return 0; }
BSP_API int32_t BSP_taskLock(void) { return 0; }
BSP_API int32_t BSP_taskUnlock(void) { return 0; }
BSP_API void BSP_msDelay(uint32_t) {}
BSP_API void BSP_usDelay(uint32_t) {}

BSP_API int32_t BSP_semBInit(void **MutexID, int32_t) {
  if (MutexID == nullptr) return 1;
  auto *m = static_cast<pthread_mutex_t *>(malloc(sizeof(pthread_mutex_t)));
  *MutexID = m;
  if (m == nullptr) return 1;
  return status(pthread_mutex_init(m, nullptr) == 0);
}

BSP_API int32_t BSP_semUnlock(void *MutexID) {
  if (MutexID == nullptr) return 1;
  return status(pthread_mutex_unlock(as_mutex(MutexID)) == 0);
}

BSP_API int32_t BSP_semLock(void *MutexID, int32_t timeout) {
  if (MutexID == nullptr) return 1;
  if (timeout < 0) return status(npth_mutex_lock(as_mutex(MutexID)) == 0);
  struct timespec deadline;
  if (clock_gettime(CLOCK_REALTIME, &deadline) != 0) return 1;
  deadline.tv_sec += timeout;
  return status(npth_mutex_timedlock(as_mutex(MutexID), &deadline) == 0);
}

BSP_API int32_t BSP_semLockForever(void *MutexID) {
  if (MutexID == nullptr) return 1;
  return status(npth_mutex_lock(as_mutex(MutexID)) == 0);
}

BSP_API void *BSP_malloc(uint32_t nBytes, uint32_t) {
  if (nBytes == 0) return nullptr;
  return malloc(nBytes);
}

BSP_API void BSP_free(void *p) { free(p); }

BSP_API int32_t BSP_debugPrint(uint32_t, uint32_t, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = vprintf(fmt, ap);
  va_end(ap);
  return n;
}

BSP_API int32_t BSP_intLock(void) { return 0; }
BSP_API void BSP_intUnLock(int32_t) {}
BSP_API int32_t BSP_cacheFlush(int32_t, int32_t, int32_t) { return 0; }
BSP_API int32_t BSP_logicAddr(int32_t) { return 0; }

BSP_API int32_t BSP_SocketConnect(int32_t s, void *addr, uint32_t addrlen) {
  return npth_connect(s, static_cast<const struct sockaddr *>(addr), addrlen);
}

BSP_API int32_t BSP_SocketAccept(int32_t s, void *addr, void *addrlen) {
  return npth_accept(s, static_cast<struct sockaddr *>(addr), static_cast<socklen_t *>(addrlen));
}

BSP_API int32_t BSP_Select(int32_t nfd, void *rfds, void *wfds, void *efds, void *timeout) {
  return npth_select(nfd, static_cast<fd_set *>(rfds), static_cast<fd_set *>(wfds),
                     static_cast<fd_set *>(efds), static_cast<struct timeval *>(timeout));
}

BSP_API int32_t BSP_Read(int32_t fd, void *buf, size_t nbytes) {
  return static_cast<int32_t>(npth_read(fd, buf, nbytes));
}

BSP_API void BSP_Write(int32_t fd, const void *buf, size_t nbytes) { npth_write(fd, buf, nbytes); }

}  // extern "C"
