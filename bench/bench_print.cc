// sprintf_s against the C library's snprintf on a mix of integer and string formats: absolute
// times of one mix, then alternating batches of both (bench_ratio.h); the exit status is
// non-zero when the target is missed.
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

void print_peer() {
  mix([](const char *format, auto... args) {
    benchmark::DoNotOptimize(snprintf(g_out, sizeof g_out, format, args...));
  });
  benchmark::ClobberMemory();
}

void print_bounded() {
  mix([](const char *format, auto... args) {
    benchmark::DoNotOptimize(sprintf_s(g_out, sizeof g_out, format, args...));
  });
  benchmark::ClobberMemory();
}

template <void (*Fn)()>
void BM_single(benchmark::State &state) {
  for (auto _ : state) Fn();
}

// Alternating batches of the mix, 40 rounds each.
void BM_pair_sprintf_s(benchmark::State &state) {
  auto batch = [](void (*fn)()) {
    return [fn] {
      for (int i = 0; i < 40; ++i) fn();
    };
  };
  bsp::bench::paired_ratio(state, batch(print_bounded), batch(print_peer));
}

constexpr double kTarget = 0.6;

}  // namespace

BENCHMARK(BM_single<print_peer>)->Name("BM_snprintf");
BENCHMARK(BM_single<print_bounded>)->Name("BM_sprintf_s");
BENCHMARK(BM_pair_sprintf_s)->MinTime(1.0);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  bsp::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\ntargets (time of sprintf_s / time of snprintf, median of alternating batches)\n");
  bsp::bench::Targets targets;
  targets.check("sprintf_s on the message mix", reporter.ratio("BM_pair_sprintf_s"), kTarget);
  benchmark::Shutdown();
  return targets.exit_status();
}
