// memcpy_s / memset_s against the platform's memcpy / memset, size by size. After the runs a
// table gives each bounded function's time as a ratio of its peer's time from the same run.
#include <benchmark/benchmark.h>
#include <bsp/boundc.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

namespace {

alignas(64) unsigned char g_src[8192];
alignas(64) unsigned char g_dst[8192];

const std::vector<int64_t> kSizes = {1, 2, 3, 4, 7, 8, 12, 15, 16, 24, 31, 32, 40, 48, 63, 64, 4096};

void BM_memcpy(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(memcpy(g_dst, g_src, n));
    benchmark::ClobberMemory();
  }
}

void BM_memcpy_s(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(memcpy_s(g_dst, sizeof g_dst, g_src, n));
    benchmark::ClobberMemory();
  }
}

void BM_memset(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(memset(g_dst, 0x5A, n));
    benchmark::ClobberMemory();
  }
}

void BM_memset_s(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(memset_s(g_dst, sizeof g_dst, 0x5A, n));
    benchmark::ClobberMemory();
  }
}

// Keeps the console output and remembers each run's time per iteration by name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    // The median of the repetitions, so one noisy repetition does not decide a ratio.
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
        times_[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedCPUTime();
  }

  void PrintRatios(const char *bounded, const char *peer) const {
    printf("\n%-12s size   ratio to %s\n", bounded, peer);
    for (int64_t n : kSizes) {
      auto a = times_.find(std::string("BM_") + bounded + "/" + std::to_string(n));
      auto b = times_.find(std::string("BM_") + peer + "/" + std::to_string(n));
      if (a == times_.end() || b == times_.end() || b->second <= 0) continue;
      printf("%-12s %5lld  %.3f\n", bounded, static_cast<long long>(n), a->second / b->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

BENCHMARK(BM_memcpy)->ArgsProduct({kSizes})->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_memcpy_s)->ArgsProduct({kSizes})->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_memset)->ArgsProduct({kSizes})->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_memset_s)->ArgsProduct({kSizes})->Repetitions(7)->ReportAggregatesOnly(true);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios("memcpy_s", "memcpy");
  reporter.PrintRatios("memset_s", "memset");
  benchmark::Shutdown();
  return 0;
}
