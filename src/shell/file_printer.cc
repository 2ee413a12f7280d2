// Prints a kernel information file: line ends converted for a terminal, in slow chunks.
#include <bsp/boundc.h>
#include <bsp/osadapt.h>
#include <bsp/shell.h>
#include <fcntl.h>
#include <string.h>

#include <algorithm>

#include "shell/judge.h"
#include "shell/resources.h"

namespace {

constexpr char kSourceFile[] = "file_printer.cc";
constexpr size_t kFileRead = 4096;
constexpr unsigned kParseRoom = 8192;
constexpr unsigned kSlowChunk = 1023;
constexpr uint32_t kSlowPauseMs = 100;

}  // namespace

extern "C" {

BSP_API unsigned long BSPCMD_PrintFile(signed char *pFileName) {
  if (pFileName == nullptr) {
    DRV_Printf("file name null.\r\n");
    return 1;
  }
  const char *name = reinterpret_cast<const char *>(pFileName);
  bsp::shell::HeapBuffer data(kFileRead + 1);
  if (!data) {
    DRV_Printf("malloc memory failed.\r\n");
    return 1;
  }
  // One byte beyond the conversion room: a file of line feeds alone doubles to the full
  // room, and the print length counts the terminating zero after it.
  bsp::shell::HeapBuffer conv(kParseRoom + 1);
  if (!conv) {
    DRV_Printf("malloc parse buffer failed.\r\n");
    return 1;
  }
  SHELL_JUDGE(data.zero(), "memset_s");
  SHELL_JUDGE(conv.zero(), "memset_s");
  bsp::UniqueFd fd(open(name, O_RDONLY));
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

}  // extern "C"
