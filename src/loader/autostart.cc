// The loader's decision path: which package, rollback, automatic search, update and mount.
#include <bsp/boundc.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "loader/boot_rules.h"
#include "loader/command.h"
#include "loader/loader.h"
#include "loader/paths.h"
#include "storage/bootmem.h"
#include "storage/loadstate_sets.h"

namespace {

using namespace bsp::loader;
using bsp::loadstate::current_set;
using bsp::loadstate::fallback_set;

struct Free {
  void operator()(void *p) const { free(p); }
};

bool has_cc_suffix(const char *path) {
  size_t length = strlen(path);
  return length >= 3 && strcasecmp(path + length - 3, ".cc") == 0;
}

// A package name as the load state word holds it, terminated even if the record is not.
struct PktName {
  char text[kPktNameSize + 1] = {0};
  explicit PktName(const char (&field)[kPktNameSize]) { memcpy(text, field, kPktNameSize); }
};

}  // namespace

extern "C" {

uint32_t g_ulSearchPktCnt = 0;

int32_t Boot_AutoStartSystemfromCC(void) {
  std::unique_ptr<LOAD_STATE_WORD_S, Free> word(static_cast<LOAD_STATE_WORD_S *>(malloc(sizeof(LOAD_STATE_WORD_S))));
  if (!word) {
    Boot_Record_Error("Malloc LoadStateWord Fail\r\n");
    return -1;
  }
  memset(word.get(), 0, sizeof(LOAD_STATE_WORD_S));
  if (BSP_GetLoadStateWord(word.get()) != 0) {
    word.reset();
    Boot_Record_Error("Get LoadStateWord Fail\r\n");
    return -1;
  }
  LOAD_STATE_WORD_S &w = *word;

  int32_t fail_times = Boot_GetLoadFailTimes();
  printf("\r\nBoot Fail times = %d\r\n", fail_times);
  if (static_cast<uint32_t>(fail_times) > kRollbackAfter) {
    printf("\r\nBoot Fail.................................3 Times&RollBack");
    Boot_ClearLoadFailTimes();
    current_set(w).ucPktValidFlag = 0;
    bsp::loadstate::swap_roles(w);
    BSP_SetLoadStateWord(&w);
  }
  if (current_set(w).ucPktValidFlag == 0 && Boot_AutoSearchPktStartup(&w) != 0) {
    current_set(w).ucPktValidFlag = 1;
    BSP_SetLoadStateWord(&w);
  }

  char name[kPathSize] = {0};
  // A record name without its terminator does not fit the limit: no name, never a longer one.
  if (strcpy_s(name, kPktNameSize, PktName(current_set(w).acPktFileName).text) != 0) name[0] = '\0';
  if (w.ucCurDiskFlag == 0)
    Boot_Record_Info("StateWordCur  startup file name = %s\r\n", name);
  else
    Boot_Record_Info("StateWordPre  startup file name = %s\r\n", name);

  char path[kPathSize] = {0};
  if (Boot_VFSFilePathIntoLinuxFilePath(name, path) != 0) {
    word.reset();
    Boot_Record_Error("QOR path change ro Linux path Fail\r\n");
    return -1;
  }
  Boot_Record_Info("Now boot from %s, please wait......\r\n", name);
  printf("Now boot from %s, please wait......\r\n", name);
  if (Boot_UpdateAndMountStartupPacket(path) != 0) {
    Boot_Record_Error("Get systemFile Fail\r\n");
    return -1;
  }
  Boot_Record_Info("excutive app squsdhfs\r\n");
  puts("excutive app squsdhfs\r");
  return 0;
}

int32_t Boot_UpdateAndMountStartupPacket(const char *pktPath) {
  if (pktPath == nullptr) {
    Boot_Record_Error("Parameter is wrong\r\n");
    return -1;
  }
  // Counted before anything can fail, so that a package that never boots is rolled back.
  Boot_IncrLoadFailTimes();
  if (!has_cc_suffix(pktPath)) {
    Boot_Record_Error("Boot file Must be *.cc or *.CC,please check!");
    return -1;
  }
  if (Boot_CheckAndSynSubarea(pktPath) != 0) return -1;
  if (Load_MountPacketAppSquashfs(pktPath) != 0) {
    Boot_Record_Error("Mount packet %s app_squashfs Fail.\r\n", pktPath);
    return -1;
  }
  return 0;
}

int32_t Load_MountPacketAppSquashfs(const char *pktPath) {
  if (pktPath == nullptr) return -1;
  uint64_t offset = 0;
  uint32_t length = 0;
  if (Boot_GetSubFileInfo(pktPath, "app_squashfs", &offset, &length) != 0) {
    Boot_Record_Error("Get Packet %s App Squash Offset Fail.\r\n", pktPath);
    return -1;
  }
  // The package name is data: the shell must see it as one word, whatever it holds.
  char attach[255] = {0};
  if (sprintf_s(attach, sizeof attach, "losetup -o %llu /dev/loop1 %s > /dev/null 2>&1",
                static_cast<unsigned long long>(offset), shell_word(pktPath).c_str()) < 0) {
    Boot_Record_Error("Package path too long for the loop command\r\n");
    return -1;
  }
  if (run_command(attach) != 0) {
    Boot_Record_Error("System Execute %s  Fail \r\n", attach);
    return -1;
  }
  const char *mount = "mount -t squashfs /dev/loop1 /mnt/squash";
  if (run_command(mount) != 0) {
    Boot_Record_Error("System Execute %s  Fail \r\n", mount);
    return -1;
  }
  return 0;
}

int32_t Boot_AutoSearchPktStartup(LOAD_STATE_WORD_S *stateWord) {
  if (stateWord == nullptr) return -1;
  puts("\r\n!!!NOTE: Auto search packet file and startup!!!\r");
  Boot_Record_Info("\r\n!!!NOTE: Auto search packet file and startup!!!\r\n");

  LOAD_STATE_WORD_CORE_S &current = current_set(*stateWord);
  PktName current_name(current.acPktFileName), fallback_name(fallback_set(*stateWord).acPktFileName);
  const char *excluded[] = {current_name.text, fallback_name.text};
  g_ulSearchPktCnt = 0;
  char found[kCandidateSize] = {0};
  if (Boot_AutoSearchPktInOs(kFlashDir, excluded, 2, found) != 0) {
    printf("\r\nAuto search packet file fail! Please set startup file.");
    Boot_Record_Info("\r\nAuto search packet file fail! Please set startup file.");
    Boot_SetSearchPktCnt(0);
    return -1;
  }
  current.ucPktValidFlag = 1;
  memset(current.acPktFileName, 0, sizeof current.acPktFileName);
  // The search passes over names that would not fit, so this is never cut.
  std::string vfs_name = std::string(kVfsPrefix) + (found + strlen(kFlashDirPrefix));
  if (vfs_name.size() < sizeof current.acPktFileName)
    memcpy(current.acPktFileName, vfs_name.c_str(), vfs_name.size() + 1);
  BSP_SetLoadStateWord(stateWord);
  return 0;
}

int32_t Boot_AutoSearchPktInOs(const char *dir, const char *const *excluded, uint32_t excludedCount,
                               char *found) {
  if (found == nullptr) return -1;
  uint32_t index = Boot_GetSearchPktCnt();
  printf("Boot GetSearchPktCnt count = %d\r\n", static_cast<int>(index));
  memset(found, 0, kCandidateSize);
  DIR *d = dir != nullptr ? opendir(dir) : nullptr;
  if (d == nullptr) return -1;
  std::unique_ptr<DIR, int (*)(DIR *)> closer(d, closedir);

  while (const dirent *entry = readdir(d)) {
    if (++g_ulSearchPktCnt <= index) continue;  // resume after the previous choice
    char candidate[kCandidateSize];
    int n = snprintf(candidate, sizeof candidate, "%s/%s", dir, entry->d_name);
    if (n < 0 || n >= kCandidateSize) continue;
    if (!has_cc_suffix(candidate)) continue;
    // Only a regular file can be a package; a FIFO, a directory or a device is passed over.
    struct stat st;
    if (stat(candidate, &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::string vfs_name = std::string(kVfsPrefix) + entry->d_name;
    // A name the load state word cannot hold whole is no candidate.
    if (vfs_name.size() > static_cast<size_t>(kPktNameSize - 1)) continue;
    bool skip = false;
    for (uint32_t i = 0; excluded != nullptr && i < excludedCount && !skip; ++i)
      skip = excluded[i] != nullptr && vfs_name == excluded[i];
    if (skip) continue;
    memcpy(found, candidate, static_cast<size_t>(n) + 1);
    Boot_SetSearchPktCnt(g_ulSearchPktCnt);
    return 0;
  }
  return -1;
}

}  // extern "C"
