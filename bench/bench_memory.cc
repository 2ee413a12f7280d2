// memcpy_s / memset_s against the platform's memcpy / memset, size by size.
// BM_<fn>/<size> give absolute times. BM_pair_<fn>/<size> time short alternating batches of the
// bounded function and its peer and report the median of the per-batch time ratios as the
// counter "ratio", so a busy machine slows both sides alike; a table of them ends the run.
#include <benchmark/benchmark.h>
#include <bsp/boundc.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

// Source and destination do not sit a multiple of 4 KiB apart, which would make every store
// look like it feeds a later load.
alignas(64) unsigned char g_arena[8192 + 320 + 8192];
unsigned char *const g_src = g_arena;
unsigned char *const g_dst = g_arena + 8192 + 320;
constexpr size_t kDstSize = 8192;

const std::vector<int64_t> kSizes = {1, 2, 3, 4, 7, 8, 12, 15, 16, 24, 31, 32, 40, 48, 63, 64, 4096};

void plain_copy(size_t n) { benchmark::DoNotOptimize(memcpy(g_dst, g_src, n)); }
void bounded_copy(size_t n) { benchmark::DoNotOptimize(memcpy_s(g_dst, kDstSize, g_src, n)); }
void plain_fill(size_t n) { benchmark::DoNotOptimize(memset(g_dst, 0x5A, n)); }
void bounded_fill(size_t n) { benchmark::DoNotOptimize(memset_s(g_dst, kDstSize, 0x5A, n)); }

template <void (*Fn)(size_t)>
void BM_single(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    Fn(n);
    benchmark::ClobberMemory();
  }
}

double now_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e9 + ts.tv_nsec;
}

template <void (*Fn)(size_t)>
double batch_ns(size_t n, int calls) {
  double t0 = now_ns();
  for (int i = 0; i < calls; ++i) {
    Fn(n);
    benchmark::ClobberMemory();
  }
  return now_ns() - t0;
}

template <void (*Bounded)(size_t), void (*Peer)(size_t)>
void BM_pair(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  const int calls = n > 1024 ? 200 : 2000;
  std::vector<double> ratios;
  for (auto _ : state) {
    double peer = batch_ns<Peer>(n, calls);
    double bounded = batch_ns<Bounded>(n, calls);
    if (peer > 0) ratios.push_back(bounded / peer);
  }
  if (ratios.empty()) return;
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  state.counters["ratio"] = ratios[ratios.size() / 2];
}

// Keeps the console output and collects the ratio counters for the closing table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      auto c = r.counters.find("ratio");
      if (c != r.counters.end()) ratios_[r.run_name.function_name][r.run_name.args] = c->second.value;
    }
  }

  void PrintTable() const {
    for (const auto &[name, by_size] : ratios_) {
      printf("\n%s: time of the bounded function / time of its peer\n", name.c_str());
      for (int64_t n : kSizes) {
        auto it = by_size.find(std::to_string(n));
        if (it != by_size.end()) printf("  %5lld  %.3f\n", static_cast<long long>(n), it->second);
      }
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> ratios_;
};

}  // namespace

BENCHMARK(BM_single<plain_copy>)->Name("BM_memcpy")->ArgsProduct({kSizes});
BENCHMARK(BM_single<bounded_copy>)->Name("BM_memcpy_s")->ArgsProduct({kSizes});
BENCHMARK(BM_single<plain_fill>)->Name("BM_memset")->ArgsProduct({kSizes});
BENCHMARK(BM_single<bounded_fill>)->Name("BM_memset_s")->ArgsProduct({kSizes});
BENCHMARK(BM_pair<bounded_copy, plain_copy>)->Name("BM_pair_memcpy_s")->ArgsProduct({kSizes});
BENCHMARK(BM_pair<bounded_fill, plain_fill>)->Name("BM_pair_memset_s")->ArgsProduct({kSizes});

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}
