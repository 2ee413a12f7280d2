// Console reporter that also keeps each benchmark's median time, so that a bounded function
// can be reported as a ratio of its C library peer measured in the same run.
#pragma once

#include <benchmark/benchmark.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

namespace bsp::bench {

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
