/* Boot parameter memory: the boot information and search-packet records, the rollback record. */
#ifndef BSP_BOOTPARAM_H
#define BSP_BOOTPARAM_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Each record's checksum is the complement of the wrapping sum of its three value fields. */
typedef struct tagBootInfo {
  uint32_t u32Checksum;
  uint32_t u32LoadFailTimes;
  uint32_t u32HasRollback;
  uint32_t u32RollbackReason;
} BOOTINFO;

typedef struct tagSearchPktLog {
  uint32_t u32Checksum;
  uint32_t u32SearchCnt;
  uint32_t u32Rsv1;
  uint32_t u32Rsv2;
} SearchPktLog;

#if defined(__cplusplus)
static_assert(sizeof(BOOTINFO) == 16, "boot information record is 16 bytes");
static_assert(sizeof(SearchPktLog) == 16, "search-packet log record is 16 bytes");
#else
_Static_assert(sizeof(BOOTINFO) == 16, "boot information record is 16 bytes");
_Static_assert(sizeof(SearchPktLog) == 16, "search-packet log record is 16 bytes");
#endif

/* The host points these at its two records before it calls any function below. */
BSP_API extern BOOTINFO *g_pstBootParaFlag;
BSP_API extern SearchPktLog *g_u32SearchPktCnt;

BSP_API void BSP_CheckBootinfo(void);
BSP_API void BSP_SetBootinfoCheckSum(void);
BSP_API unsigned long BSP_GetBootinfo(BOOTINFO *pstBootinfo);
BSP_API unsigned long BSP_ClearLoadFailTimes(void);
BSP_API unsigned long BSP_ClearLoadFailTimesNotSearch(void);
BSP_API unsigned long BSP_IncrLoadFailTimes(void);
BSP_API unsigned long BSP_GetLoadFailTimes(void);
BSP_API unsigned long BSP_ClearRollback(void);
BSP_API unsigned long BSP_SetRollbackFlag(unsigned int u32HasRollback);
BSP_API unsigned long BSP_SetRollbackReason(unsigned int u32RollbackReason);
BSP_API void BSP_PrintBootInfo(void);

BSP_API void BSP_CheckSearchPktLog(void);
BSP_API void BSP_SetSearchPktLogCheckSum(void);
BSP_API unsigned long BSP_ClearSearchPktCnt(void);
BSP_API unsigned long BSP_GetSearchPktCnt(void);
BSP_API void BSP_SetSearchPktCnt(unsigned int u32Cnt);

BSP_API unsigned long BSP_RollBackRecordWrite(signed char *cRollBackName);
BSP_API unsigned long BSP_RollBackRecordRead(signed char *cRollBackName, BOOTINFO *pBootBackInfo);

/* The parameter memory at offset: the top-memory base (0 on this board) plus offset. */
BSP_API int BSP_getParaAddr(int offset);
BSP_API unsigned long bsp_get_topmem_usr_addr(int offset);

BSP_END_DECLS

#endif
