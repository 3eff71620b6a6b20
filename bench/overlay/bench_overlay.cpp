// The overlay of two 6000 x 4000 rectified images, fast path next to the
// pixel-by-pixel reference, in the same run.

#include "BenchSupport.h"
#include "pixkit/Overlay.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using namespace pixkit;

struct Pair {
    DibHolder one, two;
    Pair() {
        dib a, b;
        newdib(a, 6000, 4000, 24, nullptr, 0);
        newdib(b, 6000, 4000, 24, nullptr, 0);
        if (a.poi == nullptr || b.poi == nullptr)
            std::abort();
        one.install(a);
        two.install(b);
        // Two facades of bricks, not one colour.
        for (int y = 0; y < 4000; ++y) {
            std::uint8_t* r1 = pictureRow(a, y);
            std::uint8_t* r2 = pictureRow(b, y);
            for (int x = 0; x < 6000; ++x) {
                const bool joint = (y % 40) < 4 || ((x + (y / 40) % 2 * 60) % 120) < 4;
                r1[3 * x] = static_cast<std::uint8_t>(joint ? 200 : x / 24);
                r1[3 * x + 1] = static_cast<std::uint8_t>(joint ? 200 : y / 16);
                r1[3 * x + 2] = 150;
                r2[3 * x] = static_cast<std::uint8_t>(y / 16);
                r2[3 * x + 1] = static_cast<std::uint8_t>(joint ? 90 : x / 24);
                r2[3 * x + 2] = static_cast<std::uint8_t>(joint ? 90 : 220);
            }
        }
    }
};

const Pair& pair() {
    static const Pair p;
    return p;
}

// Half blend with image 2 shifted by (25, -12): the usual comparison of two
// photographs of one size.
constexpr OverlaySettings Shifted{100.0, 25, -12, 50};
// The same with image 1 magnified to 103 %: both images sampled through the
// column tables.
constexpr OverlaySettings ShiftedZoomed{103.0, 25, -12, 50};

void overlayBench(benchmark::State& state, bool fast, const OverlaySettings& Settings) {
    const Pair& p = pair();
    DibHolder canvas;
    for (auto _ : state) {
        const bool ok =
            fast ? ComposeOverlay(p.one.get(), p.two.get(), Settings, canvas.get())
                 : ComposeOverlayReference(p.one.get(), p.two.get(), Settings, canvas.get());
        if (!ok)
            state.SkipWithError("no canvas");
        benchmark::DoNotOptimize(canvas.get().poi);
    }
    state.SetItemsProcessed(state.iterations() * 6000 * 4000);
}

void BM_ComposeOverlay24MPFast(benchmark::State& state) {
    overlayBench(state, true, Shifted);
}
void BM_ComposeOverlay24MPReference(benchmark::State& state) {
    overlayBench(state, false, Shifted);
}
void BM_ComposeOverlay24MPZoomedFast(benchmark::State& state) {
    overlayBench(state, true, ShiftedZoomed);
}
void BM_ComposeOverlay24MPZoomedReference(benchmark::State& state) {
    overlayBench(state, false, ShiftedZoomed);
}

} // namespace

FP_WALL_BENCH(BM_ComposeOverlay24MPFast)->MinTime(1.0);
FP_WALL_BENCH(BM_ComposeOverlay24MPReference)->Iterations(2);
FP_WALL_BENCH(BM_ComposeOverlay24MPZoomedFast)->MinTime(1.0);
FP_WALL_BENCH(BM_ComposeOverlay24MPZoomedReference)->Iterations(2);
