// The overlay of two 6000 x 4000 rectified images, fast path next to the
// pixel-by-pixel reference, in the same run. With OpenCV at hand, its peer:
// image 2 shifted by a copy into a canvas (image 1 magnified by a nearest
// resize when zoomed), then addWeighted, into results kept from iteration
// to iteration as ours is. The "...VsOpenCV" benchmarks run both alternately;
// their time is ours, `ratio` our time / OpenCV's.

#include "BenchSupport.h"
#include "pixkit/Overlay.h"

#include <benchmark/benchmark.h>

#if defined(FP_BENCH_WITH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
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

// What a 1920 x 1080 view at 100 % shows of the canvas, with the margin of
// 128 view pixels its back buffer keeps on each side, in the middle of the
// facade; composed alone against the whole canvas, alternately in one run.
// The time is the part's; `ratio` part / whole.
void BM_ComposeOverlayViewPartVsWhole(benchmark::State& state) {
    const Pair& p = pair();
    constexpr OverlayRect Part{(6000 - 2176) / 2, (4000 - 1336) / 2, 2176, 1336};
    DibHolder piece, canvas;
    using Clock = std::chrono::steady_clock;
    double part = 0.0, whole = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (!ComposeOverlayPart(p.one.get(), p.two.get(), ShiftedZoomed, Part, piece.get()))
            state.SkipWithError("no piece");
        const auto t1 = Clock::now();
        if (!ComposeOverlay(p.one.get(), p.two.get(), ShiftedZoomed, canvas.get()))
            state.SkipWithError("no canvas");
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(piece.get().poi);
        benchmark::DoNotOptimize(canvas.get().poi);
        const double o = std::chrono::duration<double>(t1 - t0).count();
        part += o;
        whole += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
    }
    state.counters["ratio"] = part / whole;
    state.counters["whole_ms"] = 1000.0 * whole / static_cast<double>(state.iterations());
}

#if defined(FP_BENCH_WITH_OPENCV)

cv::Mat asMat(const dib& d) {
    cv::Mat m(dibheight(d), dibwidth(d), CV_8UC3);
    for (int y = 0; y < m.rows; ++y)
        std::memcpy(m.ptr(y), pictureRow(d, y), 3 * static_cast<std::size_t>(m.cols));
    return m;
}

struct CvPair {
    cv::Mat one = asMat(pair().one.get());
    cv::Mat two = asMat(pair().two.get());
    cv::Mat shifted, zoomed, out;
};

CvPair& cvPair() {
    static CvPair p;
    return p;
}

// Image 2 moved by (shiftX, shiftY) onto a black canvas, image 1 magnified
// about the top-left corner when zoomed, and the two blended.
void openCvOverlay(CvPair& p, const OverlaySettings& s) {
    // The margins the shift uncovers stay black from the first iteration on.
    if (p.shifted.empty())
        p.shifted = cv::Mat::zeros(p.two.size(), p.two.type());
    const int w = p.two.cols - std::abs(s.shiftX), h = p.two.rows - std::abs(s.shiftY);
    const cv::Rect from(std::max(s.shiftX, 0), std::max(s.shiftY, 0), w, h);
    const cv::Rect to(std::max(-s.shiftX, 0), std::max(-s.shiftY, 0), w, h);
    p.two(from).copyTo(p.shifted(to));
    const cv::Mat* one = &p.one;
    if (s.zoomPercent != 100.0) {
        const double z = s.zoomPercent / 100.0;
        const int zw = static_cast<int>(p.one.cols / z), zh = static_cast<int>(p.one.rows / z);
        cv::resize(p.one(cv::Rect(0, 0, zw, zh)), p.zoomed, p.one.size(), 0, 0, cv::INTER_NEAREST);
        one = &p.zoomed;
    }
    const double a = s.blendPercent / 100.0;
    cv::addWeighted(*one, 1.0 - a, p.shifted, a, 0.0, p.out);
    benchmark::DoNotOptimize(p.out.data);
}

void overlayVsOpenCv(benchmark::State& state, const OverlaySettings& settings) {
    const Pair& p = pair();
    CvPair& c = cvPair();
    DibHolder canvas;
    using Clock = std::chrono::steady_clock;
    double ours = 0.0, peer = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (!ComposeOverlay(p.one.get(), p.two.get(), settings, canvas.get()))
            state.SkipWithError("no canvas");
        const auto t1 = Clock::now();
        openCvOverlay(c, settings);
        const auto t2 = Clock::now();
        const double o = std::chrono::duration<double>(t1 - t0).count();
        ours += o;
        peer += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
    }
    state.counters["ratio"] = ours / peer;
    state.counters["peer_ms"] = 1000.0 * peer / static_cast<double>(state.iterations());
}

void BM_ComposeOverlay24MPVsOpenCV(benchmark::State& state) {
    overlayVsOpenCv(state, Shifted);
}
void BM_ComposeOverlay24MPZoomedVsOpenCV(benchmark::State& state) {
    overlayVsOpenCv(state, ShiftedZoomed);
}

#endif

} // namespace

#if defined(FP_BENCH_WITH_OPENCV)
FP_MANUAL_BENCH(BM_ComposeOverlay24MPVsOpenCV)->MinTime(1.0);
FP_MANUAL_BENCH(BM_ComposeOverlay24MPZoomedVsOpenCV)->MinTime(1.0);
#endif
FP_MANUAL_BENCH(BM_ComposeOverlayViewPartVsWhole)->MinTime(1.0);
FP_WALL_BENCH(BM_ComposeOverlay24MPFast)->MinTime(1.0);
FP_WALL_BENCH(BM_ComposeOverlay24MPReference)->Iterations(2);
FP_WALL_BENCH(BM_ComposeOverlay24MPZoomedFast)->MinTime(1.0);
FP_WALL_BENCH(BM_ComposeOverlay24MPZoomedReference)->Iterations(2);
