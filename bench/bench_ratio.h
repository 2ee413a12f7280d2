// Ratios of a bounded function to its C library peer measured in the same run.
//
// paired_ratio times short alternating batches of both sides and keeps the median of the
// per-batch ratios, so that a busy machine slows both sides alike and a batch that lost the
// processor drops out; pair_median does the same outside the benchmark library's runner. Targets collects each ratio with its limit, prints them and gives the
// exit status: non-zero when a target is missed.
#pragma once

#include <benchmark/benchmark.h>
#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace bsp::bench {

inline double now_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

template <typename Batch>
double batch_ns(Batch &batch) {
  double t0 = now_ns();
  batch();
  return now_ns() - t0;
}

// Times one pair of batches, the peer's first or the bounded function's first, with depth
// bytes of stack below the caller's frame. Where the stack sits relative to the buffers moves
// a copy's time by a few percent (a store to the stack can look as if it fed a later load
// 4 KiB away), so the pairs run at many depths rather than at the one a process starts with.
template <typename Bounded, typename Peer>
__attribute__((noinline)) double pair_at_depth(size_t depth, bool peer_first, Bounded &bounded, Peer &peer) {
  volatile char *pad = static_cast<volatile char *>(__builtin_alloca(depth + 1));
  pad[0] = 0;
  double b, p;
  if (peer_first) {
    p = batch_ns(peer);
    b = batch_ns(bounded);
  } else {
    b = batch_ns(bounded);
    p = batch_ns(peer);
  }
  return p > 0 ? b / p : -1;
}

// Runs bounded() and peer() (each one batch of calls) once per benchmark iteration, in
// alternating order and at stack depths that go round 4 KiB in steps of 16 bytes, and sets
// the counter "ratio" to the median of bounded / peer.
template <typename Bounded, typename Peer>
void paired_ratio(benchmark::State &state, Bounded bounded, Peer peer) {
  std::vector<double> ratios;
  unsigned round = 0;
  for (auto _ : state) {
    double r = pair_at_depth(16 * ((round / 2) % 256), round % 2 == 0, bounded, peer);
    ++round;
    if (r > 0) ratios.push_back(r);
  }
  if (ratios.empty()) return;
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  state.counters["ratio"] = ratios[ratios.size() / 2];
}

// The same pairs without the benchmark library's runner: pairs for about the given time, and
// the median of their ratios.
template <typename Bounded, typename Peer>
double pair_median(double seconds, Bounded bounded, Peer peer) {
  std::vector<double> ratios;
  double end = now_ns() + seconds * 1e9;
  for (unsigned round = 0; round < 16 || now_ns() < end; ++round) {
    double r = pair_at_depth(16 * ((round / 2) % 256), round % 2 == 0, bounded, peer);
    if (r > 0) ratios.push_back(r);
  }
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  return ratios[ratios.size() / 2];
}

inline double median_of(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// Console reporter that also keeps every "ratio" counter, by function name and arguments.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      auto c = r.counters.find("ratio");
      if (c != r.counters.end()) ratios_[r.run_name.function_name][r.run_name.args] = c->second.value;
    }
  }

  // The ratio of a benchmark, or a negative value when it did not run.
  double ratio(const std::string &name, const std::string &args = "") const {
    auto f = ratios_.find(name);
    if (f == ratios_.end()) return -1;
    auto a = f->second.find(args);
    return a == f->second.end() ? -1 : a->second;
  }

 private:
  std::map<std::string, std::map<std::string, double>> ratios_;
};

class Targets {
 public:
  // One line per ratio; those with a limit are checked. A ratio that did not run (filtered
  // out) is left out.
  void check(const std::string &what, double ratio, double limit) {
    if (ratio < 0) return;
    bool met = ratio <= limit;
    printf("  %-34s %6.3f   target <= %.2f  %s\n", what.c_str(), ratio, limit, met ? "met" : "MISSED");
    if (!met) ++missed_;
  }
  void show(const std::string &what, double ratio) {
    if (ratio >= 0) printf("  %-34s %6.3f   (no target)\n", what.c_str(), ratio);
  }
  int exit_status() const {
    if (missed_ != 0) printf("%d target(s) missed\n", missed_);
    return missed_ == 0 ? 0 : 1;
  }

 private:
  int missed_ = 0;
};

// Console reporter that also keeps each benchmark's median time (for repeated benchmarks).
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
        times_[r.run_name.function_name] = r.GetAdjustedCPUTime();
  }

  void PrintRatio(const std::string &bounded, const std::string &peer) const {
    auto a = times_.find(bounded), b = times_.find(peer);
    if (a == times_.end() || b == times_.end() || b->second <= 0) return;
    printf("%-24s ratio to %-20s %.3f\n", bounded.c_str(), peer.c_str(), a->second / b->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace bsp::bench
