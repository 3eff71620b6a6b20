#pragma once
// The main function of the window benchmarks: the real widgets on the
// offscreen platform, so that they run on a machine without a display.

#include <benchmark/benchmark.h>

#include <QApplication>

#define FP_WINDOW_BENCH_MAIN()                                                                     \
    int main(int argc, char** argv) {                                                              \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                   \
        QApplication app(argc, argv);                                                              \
        benchmark::Initialize(&argc, argv);                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                       \
        benchmark::Shutdown();                                                                     \
        return 0;                                                                                  \
    }
