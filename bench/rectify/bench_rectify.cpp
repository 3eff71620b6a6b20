// The pose search and the resampling, fast path next to the step-by-step
// reference, on a facade photographed at an angle (6000 x 4000 source).

#include "rectify/Camera.h"
#include "rectify/Search.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using namespace rectify;

// A facade seen from below and from the left: the top edge is shorter than
// the bottom edge and the right edge shorter than the left.
constexpr Corners FacadeCorners = {{{1150, 820}, {4720, 1240}, {4560, 3180}, {1030, 3560}}};

struct Scene {
    pixkit::DibHolder source;
    tcamera camera;
    Scene() {
        pixkit::dib d;
        pixkit::newdib(d, 6000, 4000, 24, nullptr, 0);
        if (d.poi == nullptr)
            std::abort();
        source.install(d);
        // A coarse brick pattern so the copy is not all one colour.
        for (int y = 0; y < 4000; ++y)
            for (int x = 0; x < 6000; ++x)
                pixkit::setpixel(
                    d, x, y,
                    pixkit::rgb(static_cast<std::uint8_t>(x / 7), static_cast<std::uint8_t>(y / 5),
                                static_cast<std::uint8_t>((x / 50 + y / 20) % 2 * 200)));
        camera = MakeCamera(source.get(), FacadeCorners);
    }
};

const Scene& scene() {
    static const Scene s;
    return s;
}

void searchBench(benchmark::State& state, Engine engine) {
    const Scene& s = scene();
    const auto size = TargetSize(FacadeCorners, 1800.0, 1200.0, 100);
    for (auto _ : state) {
        auto best = SearchPose(s.camera, FacadeCorners[3], size.W, size.H, std::nullopt, engine);
        benchmark::DoNotOptimize(best);
    }
    state.SetItemsProcessed(state.iterations() * GridSize * GridSize);
}

void BM_SearchPoseFast(benchmark::State& state) {
    searchBench(state, Engine::Fast);
}
void BM_SearchPoseReference(benchmark::State& state) {
    searchBench(state, Engine::Reference);
}

// Resampling into a 6000 x 4000 (24 MP) result with the pose the search finds.
void resampleBench(benchmark::State& state, Engine engine) {
    const Scene& s = scene();
    const auto size = TargetSize(FacadeCorners, 1800.0, 1200.0, 100);
    const auto best = SearchPose(s.camera, FacadeCorners[3], size.W, size.H, std::nullopt);
    if (!best)
        std::abort();
    pixkit::DibHolder result;
    for (auto _ : state) {
        const ResampleEnd end = ResampleRectified(s.source.get(), s.camera, best->best, 6000, 4000,
                                                  100, result.get(), engine);
        if (end != ResampleEnd::Done)
            state.SkipWithError("resampling failed");
    }
    state.SetItemsProcessed(state.iterations() * 6000 * 4000);
}

void BM_Resample24MPFast(benchmark::State& state) {
    resampleBench(state, Engine::Fast);
}
void BM_Resample24MPReference(benchmark::State& state) {
    resampleBench(state, Engine::Reference);
}

} // namespace

// Wall time is what the user waits for; the CPU column counts both threads.
// With repetitions, "min" is the figure least disturbed by other work.
#define FP_RECTIFY_BENCH(fn)                                                                       \
    BENCHMARK(fn)                                                                                  \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime()                                                                            \
        ->MeasureProcessCPUTime()                                                                  \
        ->ComputeStatistics("min", [](const std::vector<double>& v) {                              \
            return *std::min_element(v.begin(), v.end());                                          \
        })

FP_RECTIFY_BENCH(BM_SearchPoseFast);
FP_RECTIFY_BENCH(BM_SearchPoseReference);
FP_RECTIFY_BENCH(BM_Resample24MPFast);
FP_RECTIFY_BENCH(BM_Resample24MPReference);
