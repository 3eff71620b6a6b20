#pragma once
// What every benchmark of the program shares: wall time in milliseconds (what
// the user waits for), the CPU column counting every thread, and a "min"
// statistic, the figure least disturbed by other work when repetitions run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace fpbench {

inline double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

} // namespace fpbench

// A benchmark timed by the wall clock, every thread's CPU time beside it.
#define FP_WALL_BENCH(fn)                                                                          \
    BENCHMARK(fn)                                                                                  \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime()                                                                            \
        ->MeasureProcessCPUTime()                                                                  \
        ->ComputeStatistics("min", fpbench::minimum)

// A benchmark that sets its own iteration times (SetIterationTime).
#define FP_MANUAL_BENCH(fn)                                                                        \
    BENCHMARK(fn)                                                                                  \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseManualTime()                                                                          \
        ->ComputeStatistics("min", fpbench::minimum)
