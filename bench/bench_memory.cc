// memcpy_s / memset_s against the platform's memcpy / memset, size by size: every size from 1
// to 64 bytes and 4 KiB. Each call of a batch takes the next of 16 placements of source and
// destination, so every batch mixes alignments. A size's ratio comes from alternating batches
// of the bounded function and its peer (bench_ratio.h), measured in several passes over all
// sizes spread over the run, so that a stretch of a busy machine does not decide one size
// alone: the median over the passes of each pass's median. The table and the targets end the
// run; the exit status is non-zero when a target is missed. The benchmark library's own
// benchmarks give absolute times of a few sizes.
#include <bsp/boundc.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench_ratio.h"

namespace {

using bsp::bench::median_of;
using bsp::bench::pair_median;

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
constexpr size_t kPage = 4096;
constexpr int kPasses = 7;
constexpr double kPassSeconds = 0.02;  // per size and function in each pass
constexpr double kSmallCopyTarget = 1.2;
constexpr double kPageTarget = 1.02;

void plain_copy(const Place &p, size_t n) { benchmark::DoNotOptimize(memcpy(p.dst, p.src, n)); }
void bounded_copy(const Place &p, size_t n) { benchmark::DoNotOptimize(memcpy_s(p.dst, kDstRoom, p.src, n)); }
void plain_fill(const Place &p, size_t n) { benchmark::DoNotOptimize(memset(p.dst, 0x5A, n)); }
void bounded_fill(const Place &p, size_t n) { benchmark::DoNotOptimize(memset_s(p.dst, kDstRoom, 0x5A, n)); }

// Both sides run the same loop, at the same alignment: only the call differs.
template <void (*Fn)(const Place &, size_t)>
__attribute__((noinline, aligned(64))) void batch(size_t n, int calls) {
  for (int i = 0; i < calls; ++i) {
    Fn(g_places[i & 15], n);
    benchmark::ClobberMemory();
  }
}

template <void (*Bounded)(const Place &, size_t), void (*Peer)(const Place &, size_t)>
double pass_ratio(size_t n) {
  const int calls = n > 1024 ? 200 : 2000;
  return pair_median(
      kPassSeconds, [&] { batch<Bounded>(n, calls); }, [&] { batch<Peer>(n, calls); });
}

template <void (*Fn)(const Place &, size_t)>
void BM_single(benchmark::State &state) {
  size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) batch<Fn>(n, 16);
}

}  // namespace

// Absolute times of 16 calls, a few sizes.
BENCHMARK(BM_single<plain_copy>)->Name("BM_memcpy")->Arg(8)->Arg(64)->Arg(kPage);
BENCHMARK(BM_single<bounded_copy>)->Name("BM_memcpy_s")->Arg(8)->Arg(64)->Arg(kPage);
BENCHMARK(BM_single<plain_fill>)->Name("BM_memset")->Arg(8)->Arg(64)->Arg(kPage);
BENCHMARK(BM_single<bounded_fill>)->Name("BM_memset_s")->Arg(8)->Arg(64)->Arg(kPage);

int main(int argc, char **argv) {
  place_everywhere();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  std::vector<size_t> sizes;
  for (size_t n = 1; n <= kSmallLimit; ++n) sizes.push_back(n);
  sizes.push_back(kPage);
  std::vector<std::vector<double>> copy(sizes.size()), fill(sizes.size());
  for (int pass = 0; pass < kPasses; ++pass) {
    for (size_t i = 0; i < sizes.size(); ++i) {
      copy[i].push_back(pass_ratio<bounded_copy, plain_copy>(sizes[i]));
      fill[i].push_back(pass_ratio<bounded_fill, plain_fill>(sizes[i]));
    }
  }

  printf("\ntime of the bounded function / time of its peer (median of %d passes of alternating batches)\n",
         kPasses);
  printf("  size  memcpy_s  memset_s\n");
  double worst = 0, page_copy = 0, page_fill = 0;
  size_t worst_size = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    double c = median_of(copy[i]), f = median_of(fill[i]);
    printf("  %4zu  %8.3f  %8.3f\n", sizes[i], c, f);
    if (sizes[i] <= kSmallLimit && c > worst) {
      worst = c;
      worst_size = sizes[i];
    }
    if (sizes[i] == kPage) page_copy = c, page_fill = f;
  }

  printf("\ntargets\n");
  bsp::bench::Targets targets;
  targets.check("memcpy_s 1..64 B, worst (" + std::to_string(worst_size) + " B)", worst, kSmallCopyTarget);
  targets.check("memcpy_s 4 KiB", page_copy, kPageTarget);
  targets.check("memset_s 4 KiB", page_fill, kPageTarget);
  benchmark::Shutdown();
  return targets.exit_status();
}
