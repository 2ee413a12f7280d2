// sscanf_s against the C library's sscanf on integer and word inputs.
#include <bsp/boundc.h>
#include <stdio.h>

#include "bench_ratio.h"

namespace {

void BM_sscanf_integers(benchmark::State &state) {
  int a, b, c;
  long d;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sscanf("12345", "%d", &a));
    benchmark::DoNotOptimize(sscanf("-42 7 0x1f", "%d %d %x", &a, &b, &c));
    benchmark::DoNotOptimize(sscanf("slot=3 port=8080", "slot=%d port=%ld", &a, &d));
    benchmark::ClobberMemory();
  }
}

void BM_sscanf_s_integers(benchmark::State &state) {
  int a, b, c;
  long d;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sscanf_s("12345", "%d", &a));
    benchmark::DoNotOptimize(sscanf_s("-42 7 0x1f", "%d %d %x", &a, &b, &c));
    benchmark::DoNotOptimize(sscanf_s("slot=3 port=8080", "slot=%d port=%ld", &a, &d));
    benchmark::ClobberMemory();
  }
}

void BM_sscanf_words(benchmark::State &state) {
  char w1[16], w2[16], w3[32];
  for (auto _ : state) {
    benchmark::DoNotOptimize(sscanf("flash:/new.cc", "%15[^:]:%15s", w1, w2));
    benchmark::DoNotOptimize(sscanf("bzImage rootfs.gz app_squashfs", "%15s %15s %31s", w1, w2, w3));
    benchmark::ClobberMemory();
  }
}

void BM_sscanf_s_words(benchmark::State &state) {
  char w1[16], w2[16], w3[32];
  for (auto _ : state) {
    benchmark::DoNotOptimize(sscanf_s("flash:/new.cc", "%[^:]:%s", w1, 16u, w2, 16u));
    benchmark::DoNotOptimize(
        sscanf_s("bzImage rootfs.gz app_squashfs", "%s %s %s", w1, 16u, w2, 16u, w3, 32u));
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_sscanf_integers)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_sscanf_s_integers)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_sscanf_words)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_sscanf_s_words)->Repetitions(7)->ReportAggregatesOnly(true);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  bsp::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\n");
  reporter.PrintRatio("BM_sscanf_s_integers", "BM_sscanf_integers");
  reporter.PrintRatio("BM_sscanf_s_words", "BM_sscanf_words");
  benchmark::Shutdown();
  return 0;
}
