// sprintf_s against the C library's snprintf on a mix of integer and string formats.
#include <bsp/boundc.h>
#include <stdio.h>

#include "bench_ratio.h"

#pragma GCC diagnostic ignored "-Wformat-truncation"

namespace {

char g_out[256];

// The mix: every iteration formats each of these once.
template <typename Print>
void mix(Print print) {
  print("%d", 123456);
  print("%s=%u", "speed", 1000u);
  print("slot %d of %d: %s", 3, 16, "present");
  print("%08x|%-10s|%5ld", 0xBEEFu, "eth0", 42L);
  print("%lld bytes", 1234567890123LL);
  print("[%s] %s", "boot", "loading the package from the flash volume");
  print("%-6d%6d%+d", -17, 99, 5);
  print("%02d:%02d:%02d", 7, 5, 9);
}

void BM_snprintf(benchmark::State &state) {
  for (auto _ : state) {
    mix([](const char *format, auto... args) {
      benchmark::DoNotOptimize(snprintf(g_out, sizeof g_out, format, args...));
    });
    benchmark::ClobberMemory();
  }
}

void BM_sprintf_s(benchmark::State &state) {
  for (auto _ : state) {
    mix([](const char *format, auto... args) {
      benchmark::DoNotOptimize(sprintf_s(g_out, sizeof g_out, format, args...));
    });
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_snprintf)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_sprintf_s)->Repetitions(7)->ReportAggregatesOnly(true);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  bsp::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\n");
  reporter.PrintRatio("BM_sprintf_s", "BM_snprintf");
  benchmark::Shutdown();
  return 0;
}
