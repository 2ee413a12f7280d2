// Error records, debug prints, hooks, the driver registry and the software interrupt.
#include <bsp/diag.h>
#include <bsp/osadapt.h>

#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
BSP_API pLogPrint gpLogPrintHook = nullptr;
BSP_API uint32_t g_u32BspDebug = 0;
BSP_API uint32_t g_ulPrintSwitch = 0;
BSP_API BSP_VOIDINTTRACE g_BspIntTraceRecord = nullptr;
BSP_API PFUN_CLKINTHOOK g_BspClkIntHook = nullptr;
BSP_API uint32_t g_ulBSPIntTraceTesta = 0;
BSP_API DRVReg_Item *gp_DrvRecord = nullptr;
BSP_API uint32_t g_u32DrvRecordCounter = 0;
BSP_API uint32_t g_DrvRegDbg = 0;
BSP_API uint8_t *gp_u32MSITriggerAddr = nullptr;
BSP_API uint32_t g_u32CCSBAR = 0;
}

namespace {
constexpr uint32_t kDriverSlots = 32;
constexpr size_t kDriverNameMax = sizeof(DRVReg_Item{}.acDrvName) - 1;

constexpr off_t kLocalApicBase = 0xFEE00000;
constexpr size_t kLocalApicWindow = 4096;
constexpr size_t kIcrHigh = 0x310;
constexpr size_t kIcrLow = 0x300;
constexpr uint32_t kSoftIntVector = 0x36;

void write_reg32(uint8_t *window, size_t offset, uint32_t value) {
  *reinterpret_cast<volatile uint32_t *>(window + offset) = value;
}
}  // namespace

extern "C" {

BSP_API void BSP_LogPrint_Register(pLogPrint hook) {
  if (hook == nullptr) {
    puts("\r\nRegister LogPrint fail\r");
    return;
  }
  gpLogPrintHook = hook;
}

BSP_API void BSP_ErrRecToLog(const char *filename, uint32_t fileline, uint32_t ulErrNo) {
  pLogPrint hook = gpLogPrintHook;
  if (hook != nullptr) {
    hook(filename, fileline, ulErrNo);
    return;
  }
  printf("\r\n[ERR]Rec and record Err:[0x%x] from %ld\r\n", ulErrNo, static_cast<long>(fileline));
}

// The place where a product would record API failures; this board records nothing.
BSP_API void BSP_ApiErrRec(const char *, uint32_t, uint32_t) {}

BSP_API void BSP_FatalErrRecord(const char *filepath, uint32_t fileline, uint32_t ulErrNo) {
  if (g_u32BspDebug == 0) return;
  printf("\r\n[ERR]Rec and record Err:[%ld] from %s %ld\r\n", static_cast<long>(ulErrNo),
         filepath == nullptr ? "(null)" : filepath, static_cast<long>(fileline));
}

BSP_API char *BSP_StripPath(const char *pPathName) {
  if (pPathName == nullptr) return nullptr;
  // Scans back to the second character only: a leading separator is kept.
  for (const char *p = pPathName + strlen(pPathName); p > pPathName; --p) {
    if (*p == '/' || *p == '\\') return const_cast<char *>(p + 1);
  }
  return const_cast<char *>(pPathName);
}

BSP_API void BSP_TracePrint(const char *pFormat, ...) {
  if (g_u32BspDebug != 1 || pFormat == nullptr) return;
  va_list ap;
  va_start(ap, pFormat);
  vprintf(pFormat, ap);
  va_end(ap);
}

BSP_API void BSP_Print(uint32_t, uint32_t, const char *format, ...) {
  if (g_u32BspDebug == 0 || format == nullptr) return;
  va_list ap;
  va_start(ap, format);
  vprintf(format, ap);
  va_end(ap);
}

BSP_API void BSP_RecordIntTraceRegister(BSP_VOIDINTTRACE hook) {
  if (hook != nullptr) g_BspIntTraceRecord = hook;
}

BSP_API void BSP_RecordIntTraceInfo(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  BSP_VOIDINTTRACE hook = g_BspIntTraceRecord;
  if (hook != nullptr) hook(a, b, c, d);
}

BSP_API void BSP_ClockIntHookRegister(PFUN_CLKINTHOOK pFun) { g_BspClkIntHook = pFun; }

BSP_API void BSP_ClockIntHookCall(void) {
  PFUN_CLKINTHOOK hook = g_BspClkIntHook;
  if (hook != nullptr) hook();
}

BSP_API void BSP_IntTraceInfoTest(uint32_t, uint32_t, uint32_t, uint32_t) { ++g_ulBSPIntTraceTesta; }

BSP_API uint32_t DRV_RegistDriver(const char *pDrvName, void *pDrvOpt) {
  if (pDrvName == nullptr || pDrvOpt == nullptr) return 1;
  if (gp_DrvRecord == nullptr) {
    auto *table = static_cast<DRVReg_Item *>(BSP_malloc(kDriverSlots * sizeof(DRVReg_Item), 0));
    if (table == nullptr) return 1;
    memset(table, 0, kDriverSlots * sizeof(DRVReg_Item));
    g_u32DrvRecordCounter = 0;
    gp_DrvRecord = table;
  }
  if (g_u32DrvRecordCounter >= kDriverSlots) return 1;
  DRVReg_Item &entry = gp_DrvRecord[g_u32DrvRecordCounter];
  memset(entry.acDrvName, 0, sizeof entry.acDrvName);
  strncpy(entry.acDrvName, pDrvName, kDriverNameMax);
  entry.pDrvOpt = pDrvOpt;
  ++g_u32DrvRecordCounter;
  return 0;
}

BSP_API void *DRV_FindDriver(const char *pDrvName) {
  if (gp_DrvRecord == nullptr || g_u32DrvRecordCounter > kDriverSlots || pDrvName == nullptr) return nullptr;
  for (uint32_t i = 0; i < g_u32DrvRecordCounter; ++i) {
    if (strcmp(gp_DrvRecord[i].acDrvName, pDrvName) == 0) return gp_DrvRecord[i].pDrvOpt;
  }
  return nullptr;
}

BSP_API void DRV_ShowDriverRecord(void) {
  if (gp_DrvRecord == nullptr) {
    puts("\r\nDriver record is empty.\r");
    return;
  }
  if (g_u32DrvRecordCounter > kDriverSlots) {
    puts("\r\nDriver record counter is INVALID\r");
    return;
  }
  for (uint32_t i = 0; i < g_u32DrvRecordCounter; ++i) {
    printf("Drv%u: Name: \"%s\", Opt at: %p", i, gp_DrvRecord[i].acDrvName, gp_DrvRecord[i].pDrvOpt);
  }
}

BSP_API void SOFTINT_UserInit(void) {
  int fd = open("/dev/mem", O_RDWR | O_SYNC);
  if (fd < 0) {
    printf("Fail to open /dev/mem fd=%08x\n", static_cast<unsigned>(fd));
    return;
  }
  void *window = mmap(nullptr, kLocalApicWindow, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kLocalApicBase);
  close(fd);
  if (window == MAP_FAILED) {
    perror("SOFTINT_UserInit: mmap of the local APIC window");
    return;
  }
  gp_u32MSITriggerAddr = static_cast<uint8_t *>(window);
}

BSP_API void SOFTINT_Trigger(uint32_t, uint32_t u32CoreId) {
  uint8_t *window = gp_u32MSITriggerAddr;
  if (window == nullptr) {
    // Never write through a window this process has not mapped. Reported on standard
    // error so that the command output the host captures stays as it is.
    fputs("SOFTINT_Trigger: interrupt window not mapped\n", stderr);
    return;
  }
  write_reg32(window, kIcrHigh, u32CoreId << 24);
  write_reg32(window, kIcrLow, kSoftIntVector);
}

}  // extern "C"
