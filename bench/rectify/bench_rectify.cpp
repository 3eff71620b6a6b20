// The pose search and the resampling, fast path next to the step-by-step
// reference, on a facade photographed at an angle (6000 x 4000 source). With
// OpenCV at hand its warpPerspective resamples the same source with the same
// homography into the same size, as the peer users would otherwise script.
//
// The "...Vs..." benchmarks run our path and its peer alternately in every
// iteration; their time is ours, the counter `ratio` is our time / the peer's
// time over the same iterations and `peer_ms` the peer's time per iteration.

#include "BenchSupport.h"
#include "foundation/ThreadPool.h"
#include "rectify/Camera.h"
#include "rectify/LensProfile.h"
#include "rectify/Search.h"

#include <benchmark/benchmark.h>

#if defined(FP_BENCH_WITH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace rectify;

// A facade seen from below and from the left: the top edge is shorter than
// the bottom edge and the right edge shorter than the left.
constexpr Corners FacadeCorners = {{{1150, 820}, {4720, 1240}, {4560, 3180}, {1030, 3560}}};
constexpr int OutW = 6000;
constexpr int OutH = 4000;

struct Scene {
    pixkit::DibHolder source;
    tcamera camera;
    TargetSizeResult size;
    SearchResult found;
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
        size = TargetSize(FacadeCorners, 1800.0, 1200.0, 100);
        const auto best = SearchPose(camera, FacadeCorners[3], size.W, size.H, std::nullopt);
        if (!best)
            std::abort();
        found = *best;
    }
};

const Scene& scene() {
    static const Scene s;
    return s;
}

using Clock = std::chrono::steady_clock;

// Our path and the peer alternately; see the note at the top.
template <class Ours, class Peer>
void pairedBench(benchmark::State& state, Ours&& ours, Peer&& peer) {
    double oursSeconds = 0.0, peerSeconds = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        ours();
        const auto t1 = Clock::now();
        peer();
        const auto t2 = Clock::now();
        const double o = std::chrono::duration<double>(t1 - t0).count();
        oursSeconds += o;
        peerSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
    }
    if (peerSeconds > 0.0) {
        state.counters["ratio"] = oursSeconds / peerSeconds;
        state.counters["peer_ms"] =
            1000.0 * peerSeconds /
            static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    }
}

// ---- Pose search -------------------------------------------------------------------

void search(Engine engine) {
    const Scene& s = scene();
    auto best = SearchPose(s.camera, FacadeCorners[3], s.size.W, s.size.H, std::nullopt, engine);
    benchmark::DoNotOptimize(best);
}

void BM_SearchPoseFast(benchmark::State& state) {
    scene();
    for (auto _ : state)
        search(Engine::Fast);
    state.SetItemsProcessed(state.iterations() * GridSize * GridSize);
}
void BM_SearchPoseReference(benchmark::State& state) {
    scene();
    for (auto _ : state)
        search(Engine::Reference);
    state.SetItemsProcessed(state.iterations() * GridSize * GridSize);
}
void BM_SearchPoseFastVsReference(benchmark::State& state) {
    scene();
    pairedBench(
        state, [] { search(Engine::Fast); }, [] { search(Engine::Reference); });
}

// ---- Resampling into a 6000 x 4000 (24 MP) result with the found pose ----------------

void resample(Engine engine, pixkit::DibHolder& result,
              Interpolation sampling = Interpolation::Nearest) {
    const Scene& s = scene();
    if (ResampleRectified(s.source.get(), s.camera, s.found.best, OutW, OutH, 100, result.get(),
                          engine, sampling) != ResampleEnd::Done)
        std::abort();
}

void resampleBench(benchmark::State& state, Engine engine,
                   Interpolation sampling = Interpolation::Nearest) {
    scene();
    pixkit::DibHolder result;
    for (auto _ : state)
        resample(engine, result, sampling);
    state.SetItemsProcessed(state.iterations() * OutW * OutH);
}

void BM_Resample24MPFast(benchmark::State& state) {
    resampleBench(state, Engine::Fast);
}
void BM_Resample24MPReference(benchmark::State& state) {
    resampleBench(state, Engine::Reference);
}

// Blended sampling: fast rows, the step-by-step loop, and the fast rows
// against the nearest pixel's fast path in the same run (`ratio` is the
// blended time / the nearest time).
void BM_Resample24MPBilinearFast(benchmark::State& state) {
    resampleBench(state, Engine::Fast, Interpolation::Bilinear);
}
void BM_Resample24MPBilinearReference(benchmark::State& state) {
    resampleBench(state, Engine::Reference, Interpolation::Bilinear);
}
void BM_Resample24MPBicubicFast(benchmark::State& state) {
    resampleBench(state, Engine::Fast, Interpolation::Bicubic);
}
void BM_Resample24MPBicubicReference(benchmark::State& state) {
    resampleBench(state, Engine::Reference, Interpolation::Bicubic);
}
void smoothVsNearest(benchmark::State& state, Interpolation sampling) {
    scene();
    pixkit::DibHolder smooth, nearest;
    pairedBench(
        state, [&] { resample(Engine::Fast, smooth, sampling); },
        [&] { resample(Engine::Fast, nearest); });
}
void BM_Resample24MPBilinearVsNearest(benchmark::State& state) {
    smoothVsNearest(state, Interpolation::Bilinear);
}
void BM_Resample24MPBicubicVsNearest(benchmark::State& state) {
    smoothVsNearest(state, Interpolation::Bicubic);
}

// Scaling: every iteration resamples with 1 thread, with 2 and with all the
// machine's (fp::defaultThreadCount), one after the other into results kept
// from iteration to iteration. The time is the 1-thread one; `ms_1`, `ms_2`,
// `ms_all` are the wall times per resampling and `ratio_2_to_1` the
// 2-thread time / the 1-thread time over the same iterations.
void scalingBench(benchmark::State& state, Interpolation sampling) {
    scene();
    const int all = fp::defaultThreadCount();
    pixkit::DibHolder result;
    double seconds[3] = {0.0, 0.0, 0.0};
    for (auto _ : state) {
        int k = 0;
        double one = 0.0;
        for (const int threads : {1, 2, all}) {
            const fp::ThreadCountScope scope(threads);
            const auto t0 = Clock::now();
            resample(Engine::Fast, result, sampling);
            const double t = std::chrono::duration<double>(Clock::now() - t0).count();
            seconds[k++] += t;
            if (threads == 1)
                one = t;
        }
        state.SetIterationTime(one);
    }
    const auto n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["ms_1"] = 1000.0 * seconds[0] / n;
    state.counters["ms_2"] = 1000.0 * seconds[1] / n;
    state.counters["ms_all"] = 1000.0 * seconds[2] / n;
    state.counters["threads_all"] = all;
    state.counters["ratio_2_to_1"] = seconds[1] / seconds[0];
}
void BM_Resample24MPScalingNearest(benchmark::State& state) {
    scalingBench(state, Interpolation::Nearest);
}
void BM_Resample24MPScalingBilinear(benchmark::State& state) {
    scalingBench(state, Interpolation::Bilinear);
}
void BM_Resample24MPScalingBicubic(benchmark::State& state) {
    scalingBench(state, Interpolation::Bicubic);
}

// ---- Resampling through a lens ---------------------------------------------------------

// A wide-angle barrel as lensfun's poly3 model has it, set up for the source.
const LensGeometry& benchLens() {
    static const std::unique_ptr<LensGeometry> lens = MakePoly3Lens(-0.02, 6000, 4000);
    if (!lens)
        std::abort();
    return *lens;
}

void resampleLens(Engine engine, pixkit::DibHolder& result, Interpolation sampling) {
    const Scene& s = scene();
    if (ResampleRectified(s.source.get(), s.camera, s.found.best, OutW, OutH, 100, result.get(),
                          engine, sampling, &benchLens()) != ResampleEnd::Done)
        std::abort();
}

// With the lens against without it, same sampling, in the same run: `ratio`
// is the lens's cost factor.
void lensVsPlain(benchmark::State& state, Interpolation sampling) {
    scene();
    benchLens();
    pixkit::DibHolder withLens, without;
    pairedBench(
        state, [&] { resampleLens(Engine::Fast, withLens, sampling); },
        [&] { resample(Engine::Fast, without, sampling); });
}
void BM_Resample24MPLensVsPlainNearest(benchmark::State& state) {
    lensVsPlain(state, Interpolation::Nearest);
}
void BM_Resample24MPLensVsPlainBilinear(benchmark::State& state) {
    lensVsPlain(state, Interpolation::Bilinear);
}
// The fast path against the step-by-step loop, which asks the lens for
// every pixel's knots.
void lensVsReference(benchmark::State& state, Interpolation sampling) {
    scene();
    benchLens();
    pixkit::DibHolder fast, reference;
    pairedBench(
        state, [&] { resampleLens(Engine::Fast, fast, sampling); },
        [&] { resampleLens(Engine::Reference, reference, sampling); });
}
// The source view's corrected photograph (24 MP): blended from the lens's
// knots against asking the lens at every pixel.
void BM_CorrectedView24MPKnotsVsPerPixel(benchmark::State& state) {
    const Scene& s = scene();
    const LensGeometry& lens = benchLens();
    pairedBench(
        state,
        [&] {
            pixkit::Image view = CorrectedPhotograph(s.source.get(), lens);
            benchmark::DoNotOptimize(view.pixels());
        },
        [&] {
            pixkit::Image view = CorrectedPhotographPerPixel(s.source.get(), lens);
            benchmark::DoNotOptimize(view.pixels());
        });
    state.counters["deviation_px"] = CorrectedPhotographDeviation(lens);
}
void BM_Resample24MPLensFastVsReferenceNearest(benchmark::State& state) {
    lensVsReference(state, Interpolation::Nearest);
}
void BM_Resample24MPLensFastVsReferenceBilinear(benchmark::State& state) {
    lensVsReference(state, Interpolation::Bilinear);
}

#if defined(FP_BENCH_WITH_OPENCV)

// The source as OpenCV holds a photograph: top row first, BGR.
const cv::Mat& cvSource() {
    static const cv::Mat m = [] {
        const pixkit::dib& src = scene().source.get();
        cv::Mat out(pixkit::dibheight(src), pixkit::dibwidth(src), CV_8UC3);
        for (int y = 0; y < out.rows; ++y)
            std::memcpy(out.ptr(y), pixkit::pictureRow(src, y),
                        3 * static_cast<std::size_t>(out.cols));
        return out;
    }();
    return m;
}

// The map from a result pixel to its source position that the found pose
// defines: the plane point anchor + x*U + y*V (U = u*La/W, V = v*Lb/H) seen at
// (cx - 1000*P.x/P.z, cy - 1000*P.y/P.z).
cv::Matx33d poseHomography() {
    const Scene& s = scene();
    const tpose& pose = s.found.best;
    const auto edges = PoseEdges(pose);
    if (!edges)
        std::abort();
    // The resampling benchmarks fill the whole 6000 x 4000 result (W = 6000, H = 4000).
    const double fu = edges->La / OutW;
    const double fv = edges->Lb / OutH;
    const tvec3 U{edges->u.x * fu, edges->u.y * fu, edges->u.z * fu};
    const tvec3 V{edges->v.x * fv, edges->v.y * fv, edges->v.z * fv};
    const tvec3& A = pose.anchor;
    const double f = FocalDistance;
    const double cx = s.camera.cx, cy = s.camera.cy;
    return cv::Matx33d(cx * U.z - f * U.x, cx * V.z - f * V.x, cx * A.z - f * A.x,
                       cy * U.z - f * U.y, cy * V.z - f * V.y, cy * A.z - f * A.y, U.z, V.z, A.z);
}

void cvWarp(int interpolation) {
    cv::Mat dst; // a fresh result every time, as ours
    cv::warpPerspective(cvSource(), dst, poseHomography(), cv::Size(OutW, OutH),
                        interpolation | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT);
    benchmark::DoNotOptimize(dst.data);
}

void openCvBench(benchmark::State& state, int interpolation) {
    cv::setNumThreads(fp::threadCount()); // as many threads as ours
    cvSource();
    for (auto _ : state)
        cvWarp(interpolation);
    state.SetItemsProcessed(state.iterations() * OutW * OutH);
}

void BM_Resample24MPOpenCVNearest(benchmark::State& state) {
    openCvBench(state, cv::INTER_NEAREST);
    // How many pixels OpenCV's nearest lookup takes from the same source pixel
    // as ours: proof that both resample the same plane.
    pixkit::DibHolder ours;
    resample(Engine::Fast, ours);
    cv::Mat theirs;
    cv::warpPerspective(cvSource(), theirs, poseHomography(), cv::Size(OutW, OutH),
                        cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT);
    std::int64_t same = 0;
    for (int y = 0; y < OutH; ++y) {
        const std::uint8_t* a = pixkit::pictureRow(ours.get(), y);
        const std::uint8_t* b = theirs.ptr(y);
        for (int x = 0; x < 3 * OutW; x += 3)
            same += a[x] == b[x] && a[x + 1] == b[x + 1] && a[x + 2] == b[x + 2];
    }
    state.counters["same_pixels"] = static_cast<double>(same) / (double{OutW} * OutH);
}
void BM_Resample24MPOpenCVBilinear(benchmark::State& state) {
    openCvBench(state, cv::INTER_LINEAR);
}
void BM_Resample24MPFastVsOpenCVNearest(benchmark::State& state) {
    cv::setNumThreads(fp::threadCount()); // as many threads as ours
    cvSource();
    pixkit::DibHolder result;
    pairedBench(
        state, [&] { resample(Engine::Fast, result); }, [] { cvWarp(cv::INTER_NEAREST); });
}

void BM_Resample24MPBilinearVsOpenCVBilinear(benchmark::State& state) {
    cv::setNumThreads(fp::threadCount()); // as many threads as ours
    cvSource();
    pixkit::DibHolder result;
    pairedBench(
        state, [&] { resample(Engine::Fast, result, Interpolation::Bilinear); },
        [] { cvWarp(cv::INTER_LINEAR); });
}

// OpenCV's remap through the maps of the same pose and lens, made once
// beforehand (as a user would build them with the lens's own maps): only
// the lookup is timed.
struct LensMaps {
    cv::Mat x, y;
    LensMaps() : x(OutH, OutW, CV_32FC1), y(OutH, OutW, CV_32FC1) {
        const cv::Matx33d h = poseHomography();
        const LensGeometry& lens = benchLens();
        fp::parallelFor(OutH, [&](int row) {
            auto* mx = x.ptr<float>(row);
            auto* my = y.ptr<float>(row);
            for (int col = 0; col < OutW; ++col) {
                const double w = h(2, 0) * col + h(2, 1) * row + h(2, 2);
                const double cx = (h(0, 0) * col + h(0, 1) * row + h(0, 2)) / w;
                const double cy = (h(1, 0) * col + h(1, 1) * row + h(1, 2)) / w;
                const SourcePos o = lens.toOriginal(cx, cy);
                mx[col] = static_cast<float>(o.sx);
                my[col] = static_cast<float>(o.sy);
            }
        });
    }
};
const LensMaps& lensMaps() {
    static const LensMaps m;
    return m;
}
void cvRemap(int interpolation) {
    cv::Mat dst;
    cv::remap(cvSource(), dst, lensMaps().x, lensMaps().y, interpolation, cv::BORDER_CONSTANT);
    benchmark::DoNotOptimize(dst.data);
}
void lensVsOpenCv(benchmark::State& state, Interpolation sampling, int interpolation) {
    cv::setNumThreads(fp::threadCount()); // as many threads as ours
    scene();
    cvSource();
    lensMaps();
    pixkit::DibHolder result;
    pairedBench(
        state, [&] { resampleLens(Engine::Fast, result, sampling); },
        [&] { cvRemap(interpolation); });
}
void BM_Resample24MPLensVsOpenCVRemapNearest(benchmark::State& state) {
    lensVsOpenCv(state, Interpolation::Nearest, cv::INTER_NEAREST);
}
void BM_Resample24MPLensVsOpenCVRemapBilinear(benchmark::State& state) {
    lensVsOpenCv(state, Interpolation::Bilinear, cv::INTER_LINEAR);
}

#endif

} // namespace

FP_WALL_BENCH(BM_SearchPoseFast);
FP_WALL_BENCH(BM_SearchPoseReference);
FP_MANUAL_BENCH(BM_SearchPoseFastVsReference);
FP_WALL_BENCH(BM_Resample24MPFast);
FP_WALL_BENCH(BM_Resample24MPReference);
FP_WALL_BENCH(BM_Resample24MPBilinearFast);
FP_WALL_BENCH(BM_Resample24MPBilinearReference);
FP_WALL_BENCH(BM_Resample24MPBicubicFast);
FP_WALL_BENCH(BM_Resample24MPBicubicReference);
FP_MANUAL_BENCH(BM_Resample24MPBilinearVsNearest);
FP_MANUAL_BENCH(BM_Resample24MPBicubicVsNearest);
FP_MANUAL_BENCH(BM_Resample24MPScalingNearest);
FP_MANUAL_BENCH(BM_Resample24MPScalingBilinear);
FP_MANUAL_BENCH(BM_Resample24MPScalingBicubic);
FP_MANUAL_BENCH(BM_Resample24MPLensVsPlainNearest);
FP_MANUAL_BENCH(BM_Resample24MPLensVsPlainBilinear);
FP_MANUAL_BENCH(BM_Resample24MPLensFastVsReferenceNearest)->Iterations(2);
FP_MANUAL_BENCH(BM_Resample24MPLensFastVsReferenceBilinear)->Iterations(2);
FP_MANUAL_BENCH(BM_CorrectedView24MPKnotsVsPerPixel)->Iterations(3);
#if defined(FP_BENCH_WITH_OPENCV)
FP_WALL_BENCH(BM_Resample24MPOpenCVNearest);
FP_WALL_BENCH(BM_Resample24MPOpenCVBilinear);
FP_MANUAL_BENCH(BM_Resample24MPFastVsOpenCVNearest);
FP_MANUAL_BENCH(BM_Resample24MPBilinearVsOpenCVBilinear);
FP_MANUAL_BENCH(BM_Resample24MPLensVsOpenCVRemapNearest);
FP_MANUAL_BENCH(BM_Resample24MPLensVsOpenCVRemapBilinear);
#endif
