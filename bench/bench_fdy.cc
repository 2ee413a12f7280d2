// Flash-dynamic area: a save in place and a load of the last file with 1, 240 and 5461 files,
// each reported as the ratio to its cost with 1 file, beside the same two operations done by
// walking the table one descriptor per flash access, measured in the same run. The area is a
// sparse one, large enough for a full table, in a private flash emulation file (in /dev/shm, else /tmp).
#include <benchmark/benchmark.h>
#include <bsp/fdy.h>
#include <bsp/flash.h>
#include <npth.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kStart = 0x180000;
constexpr uint32_t kHead = 0x20000;
constexpr uint32_t kEntries = 5461;
constexpr uint32_t kBlock = 0x2000;
constexpr uint32_t kSize = kHead + kEntries * kBlock;
constexpr uint32_t kData = kStart + kHead;
constexpr uint32_t kFileLen = 0x400;

char g_flash_path[64];

void put32(std::string &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
uint32_t get32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// A table of `files` files of one block each, identifiers 1 to files, written as one record.
void lay_out(uint32_t files) {
  static uint32_t laid = UINT32_MAX;
  if (laid == files) return;
  std::string head(kHead, '\xFF');
  put32(head, 0, FDY_MAGIC_ONE);
  put32(head, 4, FDY_MAGIC_TWO);
  for (uint32_t k = 0; k < files; ++k) {
    const uint32_t f[6] = {k + 1, kData + k * kBlock, kFileLen, kBlock, 0, 0};
    for (int i = 0; i < 6; ++i) put32(head, 8 + 24 * k + 4 * i, f[i]);
  }
  FLASH_WriteFlash(kStart, head.data(), head.size());
  // The last file's data, so the sparse file reaches that far.
  if (files != 0) FLASH_WriteFlash(kData + (files - 1) * kBlock, std::string(kBlock, 'd').data(), kBlock);
  laid = files;
}

// The walk of the described design: one 24-byte flash read per descriptor until the identifier.
uint64_t walk_find(uint32_t id, unsigned char *entry) {
  for (uint64_t at = kStart + 8; at + 24 <= kStart + kHead; at += 24) {
    if (FLASH_ReadFlash(at, entry, 24) != 0) continue;
    if (get32(entry) == id) return at;
    if (get32(entry + 16) == 0xFFFFFFFFu) return 0;
  }
  return 0;
}

void BM_Load(benchmark::State &state) {
  const uint32_t files = static_cast<uint32_t>(state.range(0));
  lay_out(files);
  std::vector<unsigned char> buf(kFileLen);
  for (auto _ : state) {
    if (FDY_LoadFileByFileId(files, buf.data(), kFileLen) != kFileLen) state.SkipWithError("load failed");
  }
}

void BM_SaveInPlace(benchmark::State &state) {
  const uint32_t files = static_cast<uint32_t>(state.range(0));
  lay_out(files);
  std::vector<unsigned char> data(kFileLen, 0x5A);
  for (auto _ : state) {
    if (FDY_SaveFileByFileId(files, data.data(), kFileLen, 0) != 0) state.SkipWithError("save failed");
  }
}

void BM_WalkLoad(benchmark::State &state) {
  const uint32_t files = static_cast<uint32_t>(state.range(0));
  lay_out(files);
  std::vector<unsigned char> buf(kFileLen);
  unsigned char entry[24];
  for (auto _ : state) {
    const uint64_t at = walk_find(files, entry);
    if (at == 0 || FLASH_ReadFlash(at, entry, 24) != 0 ||
        FLASH_ReadFlash(get32(entry + 4), buf.data(), get32(entry + 8)) != 0) {
      state.SkipWithError("walk load failed");
    }
  }
}

void BM_WalkSaveInPlace(benchmark::State &state) {
  const uint32_t files = static_cast<uint32_t>(state.range(0));
  lay_out(files);
  std::vector<unsigned char> data(kFileLen, 0x5A);
  unsigned char entry[24];
  for (auto _ : state) {
    const uint64_t at = walk_find(files, entry);
    if (at == 0 || FLASH_ReadFlash(at, entry, 24) != 0 || FLASH_WriteFlash(get32(entry + 4), data.data(), kFileLen) != 0 ||
        FLASH_WriteFlash(at, entry, 24) != 0) {
      state.SkipWithError("walk save failed");
    }
  }
}

BENCHMARK(BM_Load)->Arg(1)->Arg(240)->Arg(5461)->UseRealTime();
BENCHMARK(BM_SaveInPlace)->Arg(1)->Arg(240)->Arg(5461)->UseRealTime();
BENCHMARK(BM_WalkLoad)->Arg(1)->Arg(240)->Arg(5461)->UseRealTime();
BENCHMARK(BM_WalkSaveInPlace)->Arg(1)->Arg(240)->Arg(5461)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  void PrintRatios() const {
    for (const char *family : {"BM_Load", "BM_SaveInPlace", "BM_WalkLoad", "BM_WalkSaveInPlace"}) {
      auto one = times_.find(std::string(family) + "/1/real_time");
      if (one == times_.end() || one->second <= 0) continue;
      printf("%-20s ratio to 1 file:", family);
      for (const char *n : {"240", "5461"}) {
        auto t = times_.find(std::string(family) + "/" + n + "/real_time");
        if (t != times_.end()) printf("  %s files %.2f", n, t->second / one->second);
      }
      printf("\n");
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
  npth_init();
  // Memory-backed when the machine has it, so that disk flushes do not drown the lookups.
  const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  snprintf(g_flash_path, sizeof g_flash_path, "%s/bench-fdy-%d", dir, static_cast<int>(getpid()));
  FLASH_InitFlashDrv();
  FLASH_CreateFlashFile(g_flash_path, 0x480000);
  lay_out(0);
  if (FDY_InitFlashDyna(kStart, kSize) != 0) {
    fprintf(stderr, "the area did not start\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  unlink(g_flash_path);
  return 0;
}
