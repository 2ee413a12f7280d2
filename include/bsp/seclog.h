/* Failure log of the bounded functions: judged results that mark a failure become log lines. */
#ifndef BSP_SECLOG_H
#define BSP_SECLOG_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* One row of the judgement table. flag 1: value is the only success result;
   flag 0: value is the failure result. */
typedef struct {
  char name[64];
  int value;
  int flag;
} t_sec_map;

#define SECLOG_MAP_ROWS 64
#define SECLOG_ENTRIES 32
#define SECLOG_ENTRY_SIZE 512

BSP_API extern t_sec_map g_secmap[SECLOG_MAP_ROWS];
BSP_API extern char cSecLogBuf[SECLOG_ENTRIES][SECLOG_ENTRY_SIZE];
BSP_API extern int cSecLogNum;

BSP_API void DRV_SecJudge(int value, char *sec_func_name, char *file_name, unsigned int line);
BSP_API void DRV_SecLogPrintf(const char *templat, ...) __attribute__((format(printf, 1, 2)));
BSP_API void Display_SecLog(void);
BSP_API void Clear_SecLog(void);
BSP_API void Test_Boundc(void);
BSP_API void Test_SecJudge(void);

BSP_END_DECLS

#endif
