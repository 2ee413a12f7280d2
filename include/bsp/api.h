/* Board API: the four function tables, the BSP_Api entry points that dispatch through them,
   and the small functions this board connects to some of their slots. */
#ifndef BSP_API_H
#define BSP_API_H

#include <bsp/api_slots.h>
#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Result of an entry point whose slot is empty. */
#define BSP_API_ERR_NOT_CONNECTED 0x810A01A5u

/* A slot holds a function of any parameters; the entry point passes its own arguments. */
#ifdef __cplusplus
typedef uint32_t (*ULONGFUNCPTR)(...);
typedef void (*VOIDFUNCPTR)(...);
typedef char (*CHARFUNCPTR)(...);
#else
typedef uint32_t (*ULONGFUNCPTR)();
typedef void (*VOIDFUNCPTR)();
typedef char (*CHARFUNCPTR)();
#endif

#define BSP_SLOT_TYPE_U ULONGFUNCPTR
#define BSP_SLOT_TYPE_V VOIDFUNCPTR
#define BSP_SLOT_TYPE_C CHARFUNCPTR
#define BSP_SLOT_RESULT_U uint32_t
#define BSP_SLOT_RESULT_V void
#define BSP_SLOT_RESULT_C char

#define BSP_SLOT_FIELD_E(slot, field, kind, entry, params, args, empty, conn) BSP_SLOT_TYPE_##kind field;
#define BSP_SLOT_FIELD_S(slot, field, kind, conn) BSP_SLOT_TYPE_##kind field;

typedef struct tagApiFunc {
  BSP_API_FUNC_SLOTS(BSP_SLOT_FIELD_E, BSP_SLOT_FIELD_S)
} API_FUNC_S;

typedef struct tagCpuFunc {
  BSP_CPU_FUNC_SLOTS(BSP_SLOT_FIELD_E, BSP_SLOT_FIELD_S)
} CPU_FUNC_S;

typedef struct tagCommonFunc {
  BSP_COMMON_FUNC_SLOTS(BSP_SLOT_FIELD_E, BSP_SLOT_FIELD_S)
} COMMON_FUNC_S;

typedef struct tagUserFunc {
  BSP_USER_FUNC_SLOTS(BSP_SLOT_FIELD_E, BSP_SLOT_FIELD_S)
} USER_FUNC_S;

/* Null until a start-up root has run BSP_InitTiv. */
BSP_API extern API_FUNC_S *g_pstBspApi;
BSP_API extern CPU_FUNC_S *g_pstCpuApiFunc;
BSP_API extern COMMON_FUNC_S *g_pstCommonFunc;
BSP_API extern USER_FUNC_S *g_pstUserFunc;

/* Allocates the tables that do not exist yet, then connects. */
BSP_API void BSP_InitTiv(void);
/* Sets the slots this board fills and empties; all other slots keep what they hold. */
BSP_API void BSP_ConnectAPI(void);

/* The entry points, one per row of the lists in <bsp/api_slots.h>. */
#define BSP_ENTRY_DECLARE_E(slot, field, kind, entry, params, args, empty, conn) \
  BSP_API BSP_SLOT_RESULT_##kind entry params;
#define BSP_ENTRY_DECLARE_S(slot, field, kind, conn)
BSP_API_FUNC_SLOTS(BSP_ENTRY_DECLARE_E, BSP_ENTRY_DECLARE_S)
BSP_CPU_FUNC_SLOTS(BSP_ENTRY_DECLARE_E, BSP_ENTRY_DECLARE_S)
BSP_COMMON_FUNC_SLOTS(BSP_ENTRY_DECLARE_E, BSP_ENTRY_DECLARE_S)
#undef BSP_ENTRY_DECLARE_E
#undef BSP_ENTRY_DECLARE_S

/* Not dispatchers. */
/* Flash size from the flash front (MiB), 0 when it has none. */
BSP_API uint32_t BSP_ApiGetFlashSize(void);
/* This board has no PCI device table: 0, nothing written. */
BSP_API uint32_t BSP_GetPciDeviceAddress(uint32_t u32FctIdAndDevId, uint32_t *pAddrBuf, unsigned long ulEntryMaxNum);

/* Connected to slots by BSP_ConnectAPI; the slot value 0xFFFFFFFF means this board. */
BSP_API uint32_t TIV_StubIsVirtualInsertValid(void);
BSP_API uint32_t TIV_StubBoardTypeGet(unsigned long ulSlotId, unsigned long *pulType);
BSP_API uint32_t TIV_StubMabVersionGet(unsigned long ulSlotId, unsigned char *pucVersion);
BSP_API uint32_t TIV_StubPcbVersionGet(unsigned long ulSlotId, unsigned char *pucVersion);
BSP_API uint32_t TIV_StubBoardSlotNumGet(unsigned char *pucSlotId);
BSP_API uint32_t TIV_StubSlotOnlineStatusGet(unsigned long ulSlotId, unsigned long *pulStatus);
BSP_API uint32_t TIV_StubBiosVersionStringGet(unsigned long ulBiosType, unsigned long ulArea, char *pcVersion);
BSP_API uint32_t TIV_StubGetMemSize(unsigned long ulType, unsigned long *pMemSize);
BSP_API uint32_t TIV_StubCpldVersionGet(unsigned long ulLogicId, unsigned char *pucVersion);
BSP_API uint32_t TIV_StubOpticRead(unsigned long ulSfpId, unsigned long ulOffset, unsigned char *pucDstAddr,
                                   unsigned long ulLen, unsigned long *pulActLen);
BSP_API uint32_t TIV_StubRtcDateGet(unsigned char *pusYear, unsigned char *pucMonth, unsigned char *pucDate,
                                    unsigned char *pucDay);
BSP_API uint32_t TIV_StubRtcTimeGet(unsigned char *pucHour, unsigned char *pucMinute, unsigned char *pucSecond);
BSP_API uint32_t TIV_StubRtcDateSet(unsigned char ucYear, unsigned char ucMonth, unsigned char ucDate,
                                    unsigned char ucDay);
BSP_API uint32_t TIV_StubRtcTimeSet(unsigned char ucHour, unsigned char ucMinute, unsigned char ucSecond);
/* Connected to no slot. */
BSP_API uint32_t TIV_StubBackPlanePcbVersionGet(unsigned char *pucVersion);

BSP_END_DECLS

#endif
