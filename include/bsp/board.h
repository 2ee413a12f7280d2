/* Start-up roots, build stamp, watchdog state and shared board types. */
#ifndef BSP_BOARD_H
#define BSP_BOARD_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

/* Calendar time filled by the host's clock hook. */
typedef struct tagSt85TimeBIN {
  int8_t cMs;
  int8_t cSecond;
  int8_t cMin;
  int8_t cHour;
  int8_t cDayOfWeek;  /* 1 to 7 */
  int8_t cDayOfMonth; /* 1 to 31 */
  int8_t cMonth;      /* 1 to 12 */
  int8_t cYear;       /* years since 2000 */
} St85TimeBIN;

/* One root per host process kind, called once before anything else. */
BSP_API void BSP_SoRoot(void);
BSP_API void BSP_SoLumRoot(void);
BSP_API void BSP_SoMonitorRoot(void);

/* *outbuf points to a buffer of at least 256 bytes. */
BSP_API void BSP_SoCompileTime(char **outbuf);

/* Non-zero: the watchdog feeder pings the device. */
BSP_API extern uint32_t watchdog_flag;
/* Descriptor of the open watchdog device, written by the feeder only. */
BSP_API extern int32_t g_wdg_fd;

BSP_END_DECLS

#endif
