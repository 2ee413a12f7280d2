/* OS adaptation: tasks, semaphores, delays, memory and blocking I/O on nPth. */
#ifndef BSP_OSADAPT_H
#define BSP_OSADAPT_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

typedef void *(*BSP_TASK_ENTRY)(void *);

BSP_API int32_t BSP_taskDelay(uint32_t msDelay);
BSP_API int32_t BSP_taskIdSelf(void);
/* taskId points to the caller's thread identifier (a pthread_t / npth_t). */
BSP_API int32_t BSP_taskCreate(const char *name, void *taskId, BSP_TASK_ENTRY start_routine, void *arg);
BSP_API int32_t BSP_taskSetName(const char *pTaskName);
BSP_API int32_t BSP_taskDelete(void *pTid);
BSP_API int32_t BSP_taskSuspend(void *pTid);
BSP_API int32_t BSP_taskResume(void *pTid);
BSP_API int32_t BSP_taskLock(void);
BSP_API int32_t BSP_taskUnlock(void);
BSP_API void BSP_msDelay(uint32_t msDelay);
BSP_API void BSP_usDelay(uint32_t usDelay);

BSP_API int32_t BSP_semBInit(void **MutexID, int32_t initialState);
BSP_API int32_t BSP_semUnlock(void *MutexID);
BSP_API int32_t BSP_semLock(void *MutexID, int32_t timeout);
BSP_API int32_t BSP_semLockForever(void *MutexID);

BSP_API void *BSP_malloc(uint32_t nBytes, uint32_t flags);
BSP_API void BSP_free(void *p);
BSP_API int32_t BSP_debugPrint(uint32_t module, uint32_t level, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

BSP_API int32_t BSP_intLock(void);
BSP_API void BSP_intUnLock(int32_t flag);
BSP_API int32_t BSP_cacheFlush(int32_t cacheType, int32_t addr, int32_t len);
BSP_API int32_t BSP_logicAddr(int32_t addr);

BSP_API int32_t BSP_SocketConnect(int32_t s, void *addr, uint32_t addrlen);
BSP_API int32_t BSP_SocketAccept(int32_t s, void *addr, void *addrlen);
BSP_API int32_t BSP_Select(int32_t nfd, void *rfds, void *wfds, void *efds, void *timeout);
BSP_API int32_t BSP_Read(int32_t fd, void *buf, size_t nbytes);
BSP_API void BSP_Write(int32_t fd, const void *buf, size_t nbytes);

BSP_END_DECLS

#endif
