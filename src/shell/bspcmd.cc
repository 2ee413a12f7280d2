// The board's own debug commands.
#include <bsp/board.h>
#include <bsp/boundc.h>
#include <bsp/diag.h>
#include <bsp/loadstate.h>
#include <bsp/osadapt.h>
#include <bsp/pieces.h>
#include <bsp/shell.h>
#include <stdio.h>
#include <string.h>

#include "os/watchdog_dev.h"
#include "shell/cmd_internal.h"
#include "shell/judge.h"
#include "shell/resources.h"

namespace {

constexpr char kSourceFile[] = "bspcmd.cc";

constexpr size_t kPieceData = 128;
constexpr size_t kPieceName = 32;

char *text(const char *s) { return const_cast<char *>(s); }

char kInfoUsage[] =
    "[argcnt=1]infoid:\r\n       0:cmdline\r\n       1:cpuinfo\r\n       2:meminfo \r\n       3:interrupt info \r\n"
    "       4:softirqs info \r\n       5:version info \r\n       6:softint info \r\n";

enum class PiecesOp { Write, Read };

// One test transfer of up to 128 bytes of the value uldata to or from VfsPiecesFile<id>.
// The pieces file system reports its own failures.
unsigned long pieces_test(PiecesOp op, unsigned long id, unsigned long offset, unsigned long data,
                          unsigned long len) {
  unsigned char buffer[kPieceData];
  char name[kPieceName];
  SHELL_JUDGE(memset_s(buffer, sizeof buffer, 0, sizeof buffer), "memset_s");
  SHELL_JUDGE(memset_s(name, sizeof name, 0, sizeof name), "memset_s");
  if (len > kPieceData) {
    // The transfer goes through the 128-byte buffer: a longer one would run past it.
    DRV_Printf("\r\nInfo: Length %lu is above %u bytes, please check!\r\n", len, static_cast<unsigned>(kPieceData));
    return 1;
  }
  SHELL_JUDGE(memset_s(buffer, sizeof buffer, static_cast<int>(data & 0xFF), len), "memset_s");
  SHELL_JUDGE(sprintf_s(name, sizeof name, "VfsPiecesFile%d", static_cast<int>(id)), "sprintf_s");
  unsigned long done = 0;
  if (op == PiecesOp::Write) {
    BSP_VfsPiecesFileWrite(name, offset, buffer, len, &done);
  } else {
    BSP_VfsPiecesFileRead(name, offset, buffer, len, &done);
  }
  return 0;
}

// Names are printed within their fields even where a record lacks the terminating zero.
void print_startup_set(const LOAD_STATE_WORD_CORE_S &set) {
  constexpr int kName = sizeof set.acPktFileName;
  printf("\r\nValid Flag State       : %s", set.ucPktValidFlag == 0 ? "Invalid" : "Valid");
  if (set.ucPktValidFlag == 1) {
    printf("\r\nBoot File Name         : %.*s", kName, set.acPktFileName);
    printf("\r\nConfig File Name       : %.*s", kName, set.acCfgFileName);
    printf("\r\nLicense File Name      : %.*s", kName, set.acLicsFileName);
    printf("\r\nPatch File Name        : %.*s", kName, set.acPatchFileName);
    printf("\r\nVoice File Name        : %.*s", kName, set.acVoiceFileName);
  }
  puts("\r");
}

}  // namespace

extern "C" {

BSP_API unsigned long test_vfswrite(unsigned long PieceNameId, unsigned long ulOffset, unsigned long uldata,
                                    unsigned long ulLen) {
  return pieces_test(PiecesOp::Write, PieceNameId, ulOffset, uldata, ulLen);
}

BSP_API unsigned long test_vfsread(unsigned long PieceNameId, unsigned long ulOffset, unsigned long uldata,
                                   unsigned long ulLen) {
  return pieces_test(PiecesOp::Read, PieceNameId, ulOffset, uldata, ulLen);
}

BSP_API const char *g_pFileNmeList[7] = {
    "/proc/cmdline", "/proc/cpuinfo", "/proc/meminfo", "/proc/interrupts",
    "/proc/softirqs", "/proc/version", "/proc/softint",
};

BSP_API unsigned long test_watchdog_enable(unsigned long enable) {
  if (enable > 1) puts("out of range!!\r");
  watchdog_flag = static_cast<uint32_t>(enable);
  printf("watchdog flag %d\r\n", static_cast<int>(enable));
  return 0;
}

BSP_API unsigned long test_watchdog_close(unsigned long close) {
  if (g_wdg_fd <= 0) {
    puts("watchdog closed\r");
    return 0;
  }
  int option = close == 1 ? bsp::watchdog::kDisableCard : bsp::watchdog::kEnableCard;
  if (bsp::watchdog::set_options(g_wdg_fd, option) != 0) {
    puts("watchdog close fail\r");
    return 1;
  }
  printf("watchdog closed %d\r\n", static_cast<int>(close));
  return 0;
}

BSP_API unsigned long BSPCMD_ShowFileInfo(unsigned long ulFileId) {
  if (ulFileId < sizeof g_pFileNmeList / sizeof g_pFileNmeList[0]) {
    return BSPCMD_PrintFile(reinterpret_cast<signed char *>(text(g_pFileNmeList[ulFileId])));
  }
  DRV_Printf("\r\nInfo: Input para error, please check!\r\n");
  return 1;
}

BSP_API unsigned long BSPCMD_PrintVersion(void) {
  DRV_Printf("\r\nbsp so Creation Date : %s, %s\r\n", __DATE__, __TIME__);
  return BSPCMD_PrintFile(reinterpret_cast<signed char *>(text("/proc/bspversion")));
}

BSP_API unsigned long BSPCMD_SoftInt_Trigger(unsigned long u32IntId, unsigned long u32CoreId) {
  SOFTINT_Trigger(static_cast<uint32_t>(u32IntId), static_cast<uint32_t>(u32CoreId));
  printf("sotfint trigger u32IntId %d u32CoreId %d", static_cast<int>(u32IntId), static_cast<int>(u32CoreId));
  return 0;
}

BSP_API unsigned long BSPCMD_Show_LoadState(void) {
  bsp::shell::HeapBuffer record(sizeof(LOAD_STATE_WORD_S));
  if (!record) {
    printf("\r\nstartup info invalid");
    return 1;
  }
  SHELL_JUDGE(record.zero(), "memset_s");
  auto *word = reinterpret_cast<LOAD_STATE_WORD_S *>(record.get());
  if (BSP_GetLoadStateWord(word) != 0) return 1;
  bool first_is_current = word->ucCurDiskFlag == 0;
  const LOAD_STATE_WORD_CORE_S &current = first_is_current ? word->stLoadStateWordCur : word->stLoadStateWordPre;
  const LOAD_STATE_WORD_CORE_S &previous = first_is_current ? word->stLoadStateWordPre : word->stLoadStateWordCur;
  printf("\r\n\r\n************** Current Startup info ****************");
  print_startup_set(current);
  printf("\r\n\r\n************** Pre Startup info ********************");
  print_startup_set(previous);
  return 0;
}

BSP_API unsigned long BSPCMD_Init_LoadState(void) {
  bsp::shell::HeapBuffer record(sizeof(LOAD_STATE_WORD_S));
  if (!record) {
    puts("Init LoadState Word fail\r");
    return 1;
  }
  // The storage's default record, built and saved there (magic stored little-endian).
  if (BSP_InitLoadStateWord(reinterpret_cast<LOAD_STATE_WORD_S *>(record.get())) != 0) {
    puts("Init LoadState Word fail\r");
    return 1;
  }
  return BSPCMD_Show_LoadState();
}

constexpr int kBspCmdRows = 10;

BSP_API cmdline_t g_stBspCmd_Var[10] = {
    {text("bsp pieces write"), bsp::shell::handler<test_vfswrite>, text(""),
     text("PieceNameId, ulOffset, uldata, ulLen")},
    {text("bsp pieces read"), bsp::shell::handler<test_vfsread>, text(""), text("PieceNameId, ulOffset, uldata, ulLen")},
    {text("bsp show pieces"), bsp::shell::handler<BSP_VfsPiecesFileShow>, text(""), text("[argcnt=0]NULL")},
    {text("bsp watchdog enable"), bsp::shell::handler<test_watchdog_enable>, text(""), text("[argcnt=1]enable")},
    {text("bsp watchdog close"), bsp::shell::handler<test_watchdog_close>, text(""), text("[argcnt=1]close")},
    {text("bsp show proc info"), bsp::shell::handler<BSPCMD_ShowFileInfo>, text("bsp show info"), kInfoUsage},
    {text("bsp show version"), bsp::shell::handler<BSPCMD_PrintVersion>, text("bsp show version"),
     text("[argcnt=0]NULL")},
    {text("bsp softint trigger"), bsp::shell::handler<BSPCMD_SoftInt_Trigger>, text("bsp sorfint trigger"),
     text("[argcnt=2]id id")},
    {text("bsp show load state"), bsp::shell::handler<BSPCMD_Show_LoadState>, text("bsp sorfint trigger"),
     text("[argcnt=2]id id")},
    {text("bsp init load state"), bsp::shell::handler<BSPCMD_Init_LoadState>, text("bsp sorfint trigger"),
     text("[argcnt=2]id id")},
};

BSP_API unsigned long BSPCMD_Init(void) {
  return static_cast<unsigned long>(DRV_RegCmdList(g_stBspCmd_Var, kBspCmdRows));
}

}  // extern "C"
