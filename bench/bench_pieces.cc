// A piece write with its commit: time and bytes written per write, beside the time the fixed
// pauses of a commit account for, measured in the same run. Uses a private flash emulation
// file under /tmp, not the board's.
#include <benchmark/benchmark.h>
#include <bsp/crc.h>
#include <bsp/flash.h>
#include <bsp/osadapt.h>
#include <bsp/pieces.h>
#include <npth.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <string>

namespace {

char g_flash_path[64];

// Bytes this process has passed to write calls so far.
double written_bytes() {
  FILE *f = fopen("/proc/self/io", "r");
  if (f == nullptr) return 0;
  char key[32];
  unsigned long long value = 0, wchar = 0;
  while (fscanf(f, "%31s %llu", key, &value) == 2) {
    if (std::string(key) == "wchar:") wchar = value;
  }
  fclose(f);
  return static_cast<double>(wchar);
}

void BM_PieceWriteWithCommit(benchmark::State &state) {
  std::string data(static_cast<size_t>(state.range(0)), 'p');
  unsigned long act = 0;
  double bytes = 0;
  for (auto _ : state) {
    double before = written_bytes();
    BSP_VfsPiecesFileWrite(const_cast<char *>("bench.piece"), 0,
                           reinterpret_cast<unsigned char *>(data.data()), data.size(), &act);
    bytes += written_bytes() - before;
  }
  state.counters["bytes_per_write"] = bytes / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PieceWriteWithCommit)->Arg(16)->Arg(2263)->UseRealTime()->Unit(benchmark::kMillisecond);

// The commit's fixed pauses alone: before and after the main write, after the spare write.
void BM_CommitPauses(benchmark::State &state) {
  for (auto _ : state) {
    BSP_taskDelay(10);
    BSP_taskDelay(10);
    BSP_taskDelay(10);
  }
}
BENCHMARK(BM_CommitPauses)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PieceRead(benchmark::State &state) {
  std::string data(2263, '\0');
  unsigned long act = 0;
  for (auto _ : state) {
    BSP_VfsPiecesFileRead(const_cast<char *>("bench.piece"), 0, reinterpret_cast<unsigned char *>(data.data()),
                          data.size(), &act);
  }
}
BENCHMARK(BM_PieceRead)->UseRealTime();

class RealTimeReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  void PrintShares() const {
    auto pauses = times_.find("BM_CommitPauses/real_time");
    if (pauses == times_.end()) return;
    for (const auto &[name, t] : times_) {
      if (name.rfind("BM_PieceWriteWithCommit", 0) != 0 || t <= 0) continue;
      printf("%-40s ratio to fixed pauses %.3f (pauses are %.0f%% of a write)\n", name.c_str(), t / pauses->second,
             100.0 * pauses->second / t);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
  npth_init();
  snprintf(g_flash_path, sizeof g_flash_path, "/tmp/bench-pieces-%d", static_cast<int>(getpid()));
  BSP_CrcInit();
  FLASH_InitFlashDrv();
  FLASH_CreateFlashFile(g_flash_path, 0x480000);
  BSP_VfsPiecesConfig(0x80000, 0x100000);
  BSP_VfsPiecesInit();
  benchmark::Initialize(&argc, argv);
  RealTimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintShares();
  unlink(g_flash_path);
  return 0;
}
