// Every threaded kernel gives the bytes of its step-by-step reference with 1,
// 2, 3 and 7 threads: the resampling (nearest, bilinear, bicubic, and a
// fault in a middle row, which only the rows before it may keep), the pose
// search (bounded, and with the error of every pose), the overlay, and the
// line extraction from preparation to the traced segments.

#include "LineImages.h"
#include "TestScenes.h"
#include "foundation/ThreadPool.h"
#include "lines/Separation.h"
#include "lines/Trace.h"
#include "pixkit/Overlay.h"
#include "rectify/Camera.h"
#include "rectify/Search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void append(Bytes& out, const void* p, std::size_t n) {
    const std::size_t at = out.size();
    out.resize(at + n);
    std::memcpy(out.data() + at, p, n);
}

template <class T> void appendValue(Bytes& out, const T& v) {
    append(out, &v, sizeof v);
}

void appendImage(Bytes& out, const pixkit::dib& d) {
    if (d.poi == nullptr) {
        appendValue(out, -1);
        return;
    }
    appendValue(out, pixkit::dibwidth(d));
    appendValue(out, pixkit::dibheight(d));
    append(out, d.poi,
           static_cast<std::size_t>(d.bytew) * static_cast<std::size_t>(pixkit::dibheight(d)));
}

// ---- Resampling ------------------------------------------------------------------------

// A facade seen at an angle, and its pose as the reference search finds it.
struct Scene {
    pixkit::DibHolder photo = rectify::test::makePhoto(360, 260, 11);
    rectify::Corners corners{{{40, 30}, {320, 55}, {300, 230}, {25, 245}}};
    rectify::tcamera camera;
    rectify::TargetSizeResult size;
    rectify::tpose pose;
    Scene() {
        camera = rectify::MakeCamera(photo.get(), corners);
        size = rectify::TargetSize(corners, 900.0, 600.0, 100);
        const auto found = rectify::SearchPose(camera, corners[3], size.W, size.H, std::nullopt,
                                               rectify::Engine::Reference);
        if (found)
            pose = found->best;
    }
};

const Scene& scene() {
    static const Scene s;
    return s;
}

// A result of the right size full of bytes no kernel writes: the fast
// paths keep its memory and must write every byte, padding included.
pixkit::DibHolder stale(std::int64_t W, std::int64_t H, int areaPercent) {
    const auto size = rectify::ScaledResultSize(W, H, areaPercent);
    pixkit::dib d;
    pixkit::newdib(d, static_cast<int>(size->width), static_cast<int>(size->height), 24, nullptr,
                   0);
    std::memset(d.poi, 0xA5,
                static_cast<std::size_t>(d.bytew) * static_cast<std::size_t>(size->height));
    return pixkit::DibHolder(d);
}

Bytes resample(rectify::Engine engine, rectify::Interpolation sampling) {
    const Scene& s = scene();
    pixkit::DibHolder out = stale(s.size.W, s.size.H, 120);
    Bytes bytes;
    appendValue(bytes, rectify::ResampleRectified(s.photo.get(), s.camera, s.pose, s.size.W,
                                                  s.size.H, 120, out.get(), engine, sampling));
    appendImage(bytes, out.get());
    return bytes;
}

// The plane point (-3 + 4i/W, -2, j - 250) lies in the camera's plane z = 0 in
// row 250 of 400: the first pixel there faults, and nothing after it may
// stay, neither rows other threads made nor what the memory held before.
Bytes resampleFault(rectify::Engine engine, rectify::Interpolation sampling) {
    static const pixkit::DibHolder photo = rectify::test::makePhoto(2000, 1500, 4);
    rectify::tcamera camera;
    camera.cx = 1000;
    camera.cy = 1500;
    rectify::tpose pose;
    pose.anchor = {-3, -2, -250};
    pose.corner1 = {1, -2, -250};
    pose.corner2 = {1, -2, 150};
    pixkit::DibHolder out;
    Bytes bytes;
    const rectify::ResampleEnd end = rectify::ResampleRectified(photo.get(), camera, pose, 300, 400,
                                                                100, out.get(), engine, sampling);
    EXPECT_EQ(end, rectify::ResampleEnd::Fault);
    appendValue(bytes, end);
    appendImage(bytes, out.get());
    return bytes;
}

// ---- Pose search -----------------------------------------------------------------------

void appendSearch(Bytes& out, const std::optional<rectify::SearchResult>& r) {
    appendValue(out, r.has_value());
    if (!r)
        return;
    const rectify::tpose& p = r->best;
    for (const double v :
         {r->error, p.angleX, p.angleY, p.anchor.x, p.anchor.y, p.anchor.z, p.corner1.x,
          p.corner1.y, p.corner1.z, p.corner2.x, p.corner2.y, p.corner2.z})
        appendValue(out, v);
}

Bytes search(rectify::Engine engine) {
    const Scene& s = scene();
    Bytes bytes;
    appendSearch(bytes, rectify::SearchPose(s.camera, s.corners[3], s.size.W, s.size.H,
                                            std::nullopt, engine));
    return bytes;
}

// The error of every pose in loop order, then the best pose.
Bytes searchEveryError(rectify::Engine engine) {
    using rectify::GridHalf, rectify::GridSize;
    const Scene& s = scene();
    std::vector<double> errors(static_cast<std::size_t>(GridSize) * GridSize);
    std::optional<rectify::SearchResult> best;
    if (engine == rectify::Engine::Fast) {
        best = rectify::detail::searchGridFast(s.camera, s.corners[3], s.size.W, s.size.H,
                                               errors.data());
    } else {
        rectify::tpose working = rectify::StartPose(s.camera);
        std::size_t k = 0;
        for (int iy = -GridHalf; iy <= GridHalf; ++iy)
            for (int ix = -GridHalf; ix <= GridHalf; ++ix) {
                rectify::EvaluatePose(s.camera, ix / 4.0, iy / 4.0, working);
                const auto e =
                    rectify::PoseError(s.camera, working, s.corners[3], s.size.W, s.size.H);
                errors[k++] = e ? *e : std::numeric_limits<double>::quiet_NaN();
            }
        best =
            rectify::SearchPose(s.camera, s.corners[3], s.size.W, s.size.H, std::nullopt, engine);
    }
    Bytes bytes;
    append(bytes, errors.data(), errors.size() * sizeof(double));
    appendSearch(bytes, best);
    return bytes;
}

// ---- Overlay ---------------------------------------------------------------------------

pixkit::DibHolder overlayImage(int w, int h, std::uint32_t seed) {
    return rectify::test::makePhoto(w, h, seed);
}

Bytes overlay(bool fast) {
    static const pixkit::DibHolder one = overlayImage(700, 520, 21);
    static const pixkit::DibHolder two = overlayImage(690, 530, 22);
    const pixkit::OverlaySettings settings{103.0, 25, -12, 50};
    pixkit::DibHolder canvas;
    Bytes bytes;
    appendValue(bytes, fast ? pixkit::ComposeOverlay(one.get(), two.get(), settings, canvas.get())
                            : pixkit::ComposeOverlayReference(one.get(), two.get(), settings,
                                                              canvas.get()));
    appendImage(bytes, canvas.get());
    return bytes;
}

// ---- Line extraction -------------------------------------------------------------------

Bytes lineExtraction(lines::Engine engine) {
    static const pixkit::DibHolder source =
        lines::test::drawing(lines::test::Drawing::Strokes, 200, 180, 7);
    Bytes bytes;
    pixkit::DibHolder prepared(lines::DuplicateImage(source.get()));
    lines::PrepareForTracing(prepared.get(), engine);
    appendImage(bytes, prepared.get());
    pixkit::dib bw;
    lines::SeparationTables tables;
    appendValue(bytes, lines::ToBlackWhite(prepared.get(), 50, bw, tables, engine));
    const pixkit::DibHolder separated(bw);
    append(bytes, tables.col1.data(), tables.col1.size() * sizeof(tables.col1[0]));
    appendImage(bytes, separated.get());
    pixkit::DibHolder outline(lines::DuplicateImage(bw));
    appendValue(bytes, lines::MakeOutlineImage(outline.get(), engine));
    appendImage(bytes, outline.get());
    appendValue(bytes, lines::TraceSegments(
                           outline.get(),
                           [&](const lines::tlineinf& seg, bool drawn) {
                               for (const std::int32_t v : {seg.x1, seg.y1, seg.x2, seg.y2})
                                   appendValue(bytes, v);
                               appendValue(bytes, seg.newpoly);
                               appendValue(bytes, drawn);
                               return true;
                           },
                           engine));
    return bytes;
}

// ---- The table -------------------------------------------------------------------------

struct Kernel {
    const char* name;
    std::function<Bytes()> fast;
    std::function<Bytes()> reference;
};

using rectify::Interpolation;

const std::vector<Kernel>& kernels() {
    static const std::vector<Kernel> table = [] {
        using E = rectify::Engine;
        std::vector<Kernel> k;
        for (const auto& [name, sampling] : {std::pair{"Nearest", Interpolation::Nearest},
                                             std::pair{"Bilinear", Interpolation::Bilinear},
                                             std::pair{"Bicubic", Interpolation::Bicubic}}) {
            k.push_back({name, [s = sampling] { return resample(E::Fast, s); },
                         [s = sampling] { return resample(E::Reference, s); }});
        }
        k.push_back({"NearestFaultInRow250",
                     [] { return resampleFault(E::Fast, Interpolation::Nearest); },
                     [] { return resampleFault(E::Reference, Interpolation::Nearest); }});
        k.push_back({"BilinearFaultInRow250",
                     [] { return resampleFault(E::Fast, Interpolation::Bilinear); },
                     [] { return resampleFault(E::Reference, Interpolation::Bilinear); }});
        k.push_back(
            {"PoseSearch", [] { return search(E::Fast); }, [] { return search(E::Reference); }});
        k.push_back({"PoseSearchEveryError", [] { return searchEveryError(E::Fast); },
                     [] { return searchEveryError(E::Reference); }});
        k.push_back({"Overlay", [] { return overlay(true); }, [] { return overlay(false); }});
        k.push_back({"LineExtraction", [] { return lineExtraction(lines::Engine::Fast); },
                     [] { return lineExtraction(lines::Engine::Reference); }});
        return k;
    }();
    return table;
}

class ThreadCount : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ThreadCount, KernelGivesTheReferenceBytesWithAnyNumberOfThreads) {
    const Kernel& k = kernels()[GetParam()];
    const Bytes expected = k.reference();
    ASSERT_GT(expected.size(), 8u);
    for (const int threads : {1, 2, 3, 7}) {
        const fp::ThreadCountScope scope(threads);
        const Bytes got = k.fast();
        ASSERT_EQ(got.size(), expected.size()) << threads << " threads";
        std::size_t first = 0;
        while (first < got.size() && got[first] == expected[first])
            ++first;
        EXPECT_EQ(first, got.size()) << threads << " threads: first differing byte " << first;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, ThreadCount, ::testing::Range<std::size_t>(0, kernels().size()),
                         [](const auto& p) { return std::string(kernels()[p.param].name); });

} // namespace
