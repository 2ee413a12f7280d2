// memcpy_s / memset_s against the platform's memcpy / memset, size by size: every size from 1
// to 64 bytes and 4 KiB. Each call of a batch takes the next of 16 placements of source and
// destination, so every batch mixes alignments. BM_pair_<fn>/<size> alternate batches of the
// bounded function and its peer (bench_ratio.h); the table and the targets end the run, and
// the exit status is non-zero when a target is missed.
#include <bsp/boundc.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "bench_ratio.h"

namespace {

using bsp::bench::paired_ratio;

// Source and destination do not sit a multiple of 4 KiB apart, which would make every store
// look like it feeds a later load.
alignas(64) unsigned char g_arena[8192 + 320 + 8192];
unsigned char *const g_src = g_arena;
unsigned char *const g_dst = g_arena + 8192 + 320;
constexpr size_t kDstRoom = 8192 - 64;  // destMax: what is left after the largest offset

struct Place {
  unsigned char *dst;
  const unsigned char *src;
};
Place g_places[16];

void place_everywhere() {
  for (unsigned k = 0; k < 16; ++k) g_places[k] = {g_dst + (k * 37) % 64, g_src + (k * 23 + 9) % 64};
}

constexpr int kSmallLimit = 64;
constexpr int64_t kPage = 4096;
constexpr double kSmallCopyTarget = 1.2;
constexpr double kPageTarget = 1.02;

void plain_copy(const Place &p, size_t n) { benchmark::DoNotOptimize(memcpy(p.dst, p.src, n)); }
void bounded_copy(const Place &p, size_t n) { benchmark::DoNotOptimize(memcpy_s(p.dst, kDstRoom, p.src, n)); }
void plain_fill(const Place &p, size_t n) { benchmark::DoNotOptimize(memset(p.dst, 0x5A, n)); }
void bounded_fill(const Place &p, size_t n) { benchmark::DoNotOptimize(memset_s(p.dst, kDstRoom, 0x5A, n)); }

template <void (*Fn)(const Place &, size_t)>
void batch(size_t n, int calls) {
  for (int i = 0; i < calls; ++i) {
    Fn(g_places[i & 15], n);
    benchmark::ClobberMemory();
  }
}

template <void (*Bounded)(const Place &, size_t), void (*Peer)(const Place &, size_t)>
void BM_pair(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  const int calls = n > 1024 ? 200 : 2000;
  paired_ratio(
      state, [&] { batch<Bounded>(n, calls); }, [&] { batch<Peer>(n, calls); });
}

template <void (*Fn)(const Place &, size_t)>
void BM_single(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) batch<Fn>(n, 16);
}

void sizes(benchmark::internal::Benchmark *b) {
  for (int n = 1; n <= kSmallLimit; ++n) b->Arg(n);
  b->Arg(kPage);
}

}  // namespace

// Absolute times of 16 calls, a few sizes.
BENCHMARK(BM_single<plain_copy>)->Name("BM_memcpy")->Arg(8)->Arg(64)->Arg(kPage);
BENCHMARK(BM_single<bounded_copy>)->Name("BM_memcpy_s")->Arg(8)->Arg(64)->Arg(kPage);
BENCHMARK(BM_single<plain_fill>)->Name("BM_memset")->Arg(8)->Arg(64)->Arg(kPage);
BENCHMARK(BM_single<bounded_fill>)->Name("BM_memset_s")->Arg(8)->Arg(64)->Arg(kPage);
BENCHMARK(BM_pair<bounded_copy, plain_copy>)->Name("BM_pair_memcpy_s")->Apply(sizes)->MinTime(0.1);
BENCHMARK(BM_pair<bounded_fill, plain_fill>)->Name("BM_pair_memset_s")->Apply(sizes)->MinTime(0.1);

int main(int argc, char **argv) {
  place_everywhere();
  benchmark::Initialize(&argc, argv);
  bsp::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  printf("\ntime of the bounded function / time of its peer (median of alternating batches)\n");
  printf("  size  memcpy_s  memset_s\n");
  double worst = -1;
  int worst_size = 0;
  for (int64_t n = 1; n <= kPage; n = n < kSmallLimit ? n + 1 : kPage) {
    std::string arg = std::to_string(n);
    double c = reporter.ratio("BM_pair_memcpy_s", arg), f = reporter.ratio("BM_pair_memset_s", arg);
    printf("  %4lld  %8.3f  %8.3f\n", static_cast<long long>(n), c, f);
    if (n <= kSmallLimit && c > worst) {
      worst = c;
      worst_size = static_cast<int>(n);
    }
    if (n == kPage) break;
  }

  printf("\ntargets\n");
  bsp::bench::Targets targets;
  targets.check("memcpy_s 1..64 B, worst (" + std::to_string(worst_size) + " B)", worst, kSmallCopyTarget);
  targets.check("memcpy_s 4 KiB", reporter.ratio("BM_pair_memcpy_s", std::to_string(kPage)), kPageTarget);
  targets.check("memset_s 4 KiB", reporter.ratio("BM_pair_memset_s", std::to_string(kPage)), kPageTarget);
  benchmark::Shutdown();
  return targets.exit_status();
}
