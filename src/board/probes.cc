// Platform probes: the CPU clock and memory size from /proc through shell pipelines, the SATA
// disk from /sys/block and fdisk, the boot-loader version, and the facts fixed on this board.
#include <bsp/board.h>
#include <bsp/boundc.h>
#include <bsp/flash.h>
#include <bsp/pieces.h>
#include <bsp/probe.h>
#include <bsp/seclog.h>
#include <bsp/stub.h>

#include <ctype.h>
#include <dirent.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "os/le_bytes.h"

extern "C" {
BSP_API uint32_t g_ulCpu_Clock_Rate = 0;
BSP_API uint32_t g_ulCpu_Freq_Rate = 0;
BSP_API uint32_t board_need_backboard_id = 0;
}

namespace {

constexpr char kSource[] = "probes.cc";

static_assert(sizeof(FLASH_FILE_INFO) == 12);

void judge(int value, const char *function, unsigned line) {
  DRV_SecJudge(value, const_cast<char *>(function), const_cast<char *>(kSource), line);
}

constexpr char kCpuClockPipeline[] = "cat /proc/cpuinfo | grep \"cpu MHz\" | head -n 1";
constexpr char kMemTotalPipeline[] = "cat /proc/meminfo | grep \"MemTotal\"";
constexpr size_t kPipeTextSize = 128;
constexpr size_t kValueSize = 64;

enum class Probe { NotStarted, NoOutput, Value };

// Runs a pipeline and scans the number after the first ':' of its output, with every '.'
// dropped (so megahertz with three decimals read as kilohertz). A text without ':' or with
// more than 63 characters after it counts as no output.
Probe probe_number(const char *pipeline, int *value) {
  FILE *pipe = popen(pipeline, "r");
  if (pipe == nullptr) return Probe::NotStarted;
  char text[kPipeTextSize] = {};
  const size_t got = fread(text, 1, sizeof text, pipe);
  pclose(pipe);
  const char *colon = static_cast<const char *>(memchr(text, ':', got));
  if (colon == nullptr) return Probe::NoOutput;
  const char *rest = colon + 1;
  const size_t rest_len = strnlen(rest, got - static_cast<size_t>(rest - text));
  if (rest_len > kValueSize - 1) return Probe::NoOutput;
  char digits[kValueSize] = {};
  size_t n = 0;
  for (size_t i = 0; i < rest_len; ++i) {
    if (rest[i] != '.') digits[n++] = rest[i];
  }
  int scanned = 0;
  const int ret = sscanf_s(digits, "%d", &scanned);
  judge(ret, "sscanf_s", __LINE__);
  if (ret != 1) return Probe::NoOutput;
  *value = scanned;
  return Probe::Value;
}

constexpr const char *kSataPrefixes[] = {"sda", "sdb", "sdc", "sdd"};
constexpr size_t kDevNameSize = 10;

bool sata_candidate(const char *name) {
  bool prefixed = false;
  for (const char *prefix : kSataPrefixes) prefixed = prefixed || strncmp(name, prefix, 3) == 0;
  if (!prefixed) return false;
  // The name goes into a shell command and a 10-byte buffer: only letters and digits, and
  // short enough to fit, are taken.
  size_t len = 0;
  for (; name[len] != '\0'; ++len) {
    if (len == kDevNameSize - 1 || !isalnum(static_cast<unsigned char>(name[len]))) return false;
  }
  return true;
}

bool attached_through_ata(const char *name) {
  char path[256] = {};
  const int ret = sprintf_s(path, sizeof path, "/sys/block/%s", name);
  judge(ret, "sprintf_s", __LINE__);
  if (ret < 0) return false;
  char target[512] = {};
  const ssize_t len = readlink(path, target, sizeof target - 1);
  if (len < 0) return false;
  target[len] = '\0';
  return strstr(target, "ata") != nullptr;
}

// Bytes to whole MiB, truncated, within the 32-bit result.
uint32_t mebibytes(double bytes) {
  const double mib = bytes / 1048576.0;
  if (!(mib >= 0)) return 0;
  if (mib >= 4294967296.0) return 0xFFFFFFFF;
  return static_cast<uint32_t>(mib);
}

}  // namespace

extern "C" {

BSP_API uint32_t BSP_GetCPUFreq(void) { return 0; }

BSP_API uint32_t BSP_GetCpuClock(void) {
  if (g_ulCpu_Clock_Rate != 0) return g_ulCpu_Clock_Rate;
  int clock = 0;
  if (probe_number(kCpuClockPipeline, &clock) == Probe::Value) g_ulCpu_Clock_Rate = static_cast<uint32_t>(clock);
  return g_ulCpu_Clock_Rate;
}

BSP_API void BSP_TimeBaseGet(uint32_t *u32TBU, uint32_t *u32TBL) {}

BSP_API uint32_t BDIF_GetBootRomVersionString(unsigned long ulArea, char *pcVersion) { return 0; }

BSP_API uint32_t BDIF_GetBootLoadVersionString(char *pcVersion) {
  if (pcVersion == nullptr) return 1;
  char *name = BCDB_GetBootLoaderName();
  if (name == nullptr) return 1;
  unsigned char header[sizeof(FLASH_FILE_INFO)] = {};
  unsigned long got = 0;
  if (BSP_VfsPiecesFileRead(name, 0, header, sizeof header, &got) != 0) return 1;
  const uint32_t version = bsp::load_le32(header + offsetof(FLASH_FILE_INFO, ulFileVer));
  const int ret = sprintf_s(pcVersion, 8, "%x", version);
  judge(ret, "sprintf_s", __LINE__);
  // Eight hex digits do not fit with their terminator: no version rather than an empty one.
  return ret < 0 ? 1 : 0;
}

BSP_API uint32_t BSP_GetDDRRamSize(void) {
  int kib = 0;
  probe_number(kMemTotalPipeline, &kib);
  return ((static_cast<uint32_t>(kib) >> 20) + 1) << 20;
}

BSP_API uint32_t BSP_GetLedNum(unsigned long ulLedFlag, unsigned long *pulLedNum) {
  if (ulLedFlag != 0 && ulLedFlag != 1) {
    printf("\r\nBSP_GetLedNum  ulLedFlag  unexist!");
    return 1;
  }
  CPLDLED_SetRunAlarmLED(3);
  if (pulLedNum == nullptr) return 1;
  *pulLedNum = ulLedFlag == 0 ? 0x1000000 : 0x1000001;
  return 0;
}

BSP_API uint32_t BSP_GetCpldNum(void) { return 0; }

BSP_API uint32_t BSP_GetFlashSize(unsigned long ulFlashType) {
  if (ulFlashType != 2) return 0;
  unsigned long size = 0;
  FLASH_FeatureGet(FLASH_FEATURE_SIZE, &size);
  return static_cast<uint32_t>(size);
}

BSP_API int BSPSMS_GetSataDevice(char *dev_name) {
  DIR *dir = opendir("/sys/block");
  if (dir == nullptr) return 1;
  bool found = false;
  // The last matching entry in directory order wins.
  while (const dirent *entry = readdir(dir)) {
    if (!sata_candidate(entry->d_name) || !attached_through_ata(entry->d_name)) continue;
    judge(sprintf_s(dev_name, kDevNameSize, "%s", entry->d_name), "sprintf_s", __LINE__);
    found = true;
  }
  closedir(dir);
  return found ? 0 : 1;
}

BSP_API uint32_t BSPSMS_GetSataCapacity(uint32_t *capacity) {
  if (capacity == nullptr) return 1;
  *capacity = 0;
  char device[kDevNameSize] = {};
  if (BSPSMS_GetSataDevice(device) != 0) return 1;
  char command[128] = {};
  judge(sprintf_s(command, sizeof command, "fdisk -l /dev/%s", device), "sprintf_s", __LINE__);
  FILE *pipe = popen(command, "r");
  if (pipe == nullptr) return 1;
  char line[100];
  while (fgets(line, sizeof line, pipe) != nullptr) {
    // For example: Disk /dev/sda: 465.76 GiB, 500107862016 bytes, 976773168 sectors
    char word1[100], word2[100], word3[100], word4[100];
    double amount = 0;
    double bytes = 0;
    const int items = sscanf_s(line, "%[^ ] %[^ ] %lf %[^ ] %lf %[^\n ]", word1, 100u, word2, 100u, &amount, word3,
                               100u, &bytes, word4, 100u);
    judge(items, "sscanf_s", __LINE__);
    if (items == 6) {
      *capacity = mebibytes(bytes);
      break;
    }
  }
  pclose(pipe);
  return 0;
}

BSP_API uint32_t BSP_GetSataPresent(void) { return 0; }

}  // extern "C"
