// The board's own debug commands and the kernel information file printer.
#include <bsp/board.h>
#include <bsp/boundc.h>
#include <bsp/diag.h>
#include <bsp/loadstate.h>
#include <bsp/osadapt.h>
#include <bsp/pieces.h>
#include <bsp/shell.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "shell/cmd_internal.h"
#include "shell/judge.h"

namespace {

constexpr char kSourceFile[] = "bspcmd.cc";

constexpr unsigned long kWdSetOptions = 0x80045704;  // WDIOC_SETOPTIONS
constexpr unsigned long kWdDisableCard = 1;          // WDIOS_DISABLECARD
constexpr unsigned long kWdEnableCard = 2;           // WDIOS_ENABLECARD

constexpr size_t kPieceData = 128;
constexpr size_t kPieceName = 32;
constexpr size_t kFileRead = 4096;
constexpr unsigned kParseRoom = 8192;
constexpr unsigned kSlowChunk = 1023;
constexpr uint32_t kSlowPauseMs = 100;

char *text(const char *s) { return const_cast<char *>(s); }

char kInfoUsage[] =
    "[argcnt=1]infoid:\r\n       0:cmdline\r\n       1:cpuinfo\r\n       2:meminfo \r\n       3:interrupt info \r\n"
    "       4:softirqs info \r\n       5:version info \r\n       6:softint info \r\n";

// A heap buffer freed on every path.
class HeapBuffer {
 public:
  explicit HeapBuffer(size_t size) : data_(static_cast<unsigned char *>(malloc(size))), size_(size) {
    if (data_ != nullptr) SHELL_JUDGE(memset_s(data_, size_, 0, size_), "memset_s");
  }
  ~HeapBuffer() { free(data_); }
  HeapBuffer(const HeapBuffer &) = delete;
  HeapBuffer &operator=(const HeapBuffer &) = delete;
  unsigned char *get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  unsigned char *data_;
  size_t size_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

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
  // The option travels as the request's argument value, as the feeder passes it.
  unsigned long option = close == 1 ? kWdDisableCard : kWdEnableCard;
  if (ioctl(g_wdg_fd, kWdSetOptions, option) != 0) {
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
  HeapBuffer record(sizeof(LOAD_STATE_WORD_S));
  if (!record) {
    printf("\r\nstartup info invalid");
    return 1;
  }
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
  HeapBuffer record(sizeof(LOAD_STATE_WORD_S));
  if (!record) {
    puts("Init LoadState Word fail\r");
    return 1;
  }
  auto *word = reinterpret_cast<LOAD_STATE_WORD_S *>(record.get());
  word->ulMagicWord = LOAD_STATE_WORD_MAGIC;
  word->ucCurDiskFlag = 0;
  word->stLoadStateWordCur.ucPktValidFlag = 1;
  SHELL_JUDGE(strcpy_s(word->stLoadStateWordCur.acPktFileName, sizeof word->stLoadStateWordCur.acPktFileName,
                       "flash:/zq.cc"),
              "strcpy_s");
  word->stLoadStateWordPre.ucPktValidFlag = 0;
  if (BSP_SetLoadStateWord(word) != 0) {
    puts("Init LoadState Word fail\r");
    return 1;
  }
  return BSPCMD_Show_LoadState();
}

BSP_API unsigned long BSPCMD_PrintFile(signed char *pFileName) {
  if (pFileName == nullptr) {
    DRV_Printf("file name null.\r\n");
    return 1;
  }
  const char *name = reinterpret_cast<const char *>(pFileName);
  HeapBuffer data(kFileRead + 1);
  if (!data) {
    DRV_Printf("malloc memory failed.\r\n");
    return 1;
  }
  // One byte beyond the conversion room: a file of line feeds alone doubles to the full
  // room, and the print length counts the terminating zero after it.
  HeapBuffer conv(kParseRoom + 1);
  if (!conv) {
    DRV_Printf("malloc parse buffer failed.\r\n");
    return 1;
  }
  FileDescriptor fd(open(name, O_RDONLY));
  if (fd.get() < 0) {
    DRV_Printf("This board not support this query\r\n");
    return 1;
  }
  int32_t got = BSP_Read(fd.get(), data.get(), kFileRead);
  if (got < 0) {
    DRV_Printf("get data %s failed.(err = %d)\r\n", name, static_cast<int>(got));
    return 1;
  }
  auto *src = data.get();
  unsigned n = BSPCMD_Parse(conv.get(), src, kParseRoom, static_cast<unsigned>(strlen(reinterpret_cast<char *>(src))));
  BSP_DbgNPrintf(conv.get(), n + 1);
  return 0;
}

BSP_API unsigned int BSPCMD_Parse(unsigned char *pDest, unsigned char *pSrc, unsigned int u32DestLen,
                                  unsigned int u32SrcLen) {
  if (pDest == nullptr || pSrc == nullptr || u32DestLen == 0 || u32SrcLen == 0) return 0;
  unsigned int out = 0;
  for (unsigned int i = 0; i < u32SrcLen && out < u32DestLen; ++i) {
    if (pSrc[i] == '\n' && (i == 0 || pSrc[i - 1] != '\r')) {
      pDest[out++] = '\r';
      if (out == u32DestLen) break;
    }
    pDest[out++] = pSrc[i];
  }
  return out;
}

BSP_API unsigned long BSP_DbgNPrintf(unsigned char *pBuf, unsigned int u32Len) {
  if (pBuf == nullptr) return 1;
  char chunk[kSlowChunk + 1];
  while (u32Len > 0) {
    unsigned n = std::min(u32Len, kSlowChunk);
    SHELL_JUDGE(memcpy_s(chunk, sizeof chunk, pBuf, n), "memcpy_s");
    chunk[n] = '\0';
    DRV_Printf("%s", chunk);
    BSP_taskDelay(kSlowPauseMs);
    pBuf += n;
    u32Len -= n;
  }
  DRV_Printf("\r\n");
  return 0;
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
