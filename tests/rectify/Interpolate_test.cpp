// Blended sampling: the fast rows against the step-by-step loop (same bytes),
// the weights, and the gain in quality over the nearest pixel on a facade
// photographed under a known tilt.

#include "TestScenes.h"
#include "rectify/Interpolate.h"
#include "rectify/Search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

namespace rectify {
namespace {

using test::makePhoto;

const char* samplingName(Interpolation s) {
    switch (s) {
    case Interpolation::Nearest:
        return "Nearest";
    case Interpolation::Bilinear:
        return "Bilinear";
    case Interpolation::Bicubic:
        return "Bicubic";
    }
    return "?";
}

// ---- Fast and step-by-step give the same bytes --------------------------------------

enum class QuadKind { AxisParallel, StrongPerspective, Random };

struct SmoothCase {
    Interpolation sampling;
    QuadKind quad;
    int areaPercent;
};

std::string smoothCaseName(const ::testing::TestParamInfo<SmoothCase>& p) {
    static const char* const quads[] = {"AxisParallel", "StrongPerspective", "Random"};
    return std::string(samplingName(p.param.sampling)) + quads[static_cast<int>(p.param.quad)] +
           "Area" + std::to_string(p.param.areaPercent);
}

class SmoothEquivalence : public ::testing::TestWithParam<SmoothCase> {};

// Poses of one kind on a 301 x 203 photograph, each with its target size.
struct PoseAndSize {
    tcamera camera;
    tpose pose;
    std::int64_t W = 0, H = 0;
};

std::vector<PoseAndSize> posesOf(QuadKind kind, const pixkit::dib& photo) {
    const int w = pixkit::dibwidth(photo), h = pixkit::dibheight(photo);
    std::vector<PoseAndSize> out;
    auto fixedPose = [&](const Corners& corners, double ax, double ay, std::int64_t W,
                         std::int64_t H) {
        PoseAndSize p;
        p.camera = MakeCamera(photo, corners);
        p.pose = StartPose(p.camera);
        EXPECT_TRUE(EvaluatePose(p.camera, ax, ay, p.pose));
        p.W = W;
        p.H = H;
        out.push_back(p);
    };
    switch (kind) {
    case QuadKind::AxisParallel: {
        // Doubled and halved sizes put many positions on exact halves and quarters.
        const Corners whole{{{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}};
        fixedPose(whole, 0, 0, 2 * w, 2 * h);
        fixedPose(whole, 0, 0, w / 2, h / 2);
        fixedPose({{{40, 30}, {240, 30}, {240, 150}, {40, 150}}}, 0, 0, 333, 250);
        break;
    }
    case QuadKind::StrongPerspective: {
        const Corners whole{{{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}};
        fixedPose(whole, 40.0, -35.0, 420, 300);
        fixedPose(whole, -60.25, 12.5, 300, 300);
        fixedPose({{{20, 20}, {280, 60}, {270, 150}, {30, 190}}}, 0.0, 75.0, 500, 200);
        break;
    }
    case QuadKind::Random: {
        std::mt19937 rng(2024);
        auto coord = [&](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(rng);
        };
        for (int k = 0; k < 4; ++k) {
            const Corners corners{{{coord(0, w / 3), coord(0, h / 3)},
                                   {coord(2 * w / 3, w - 1), coord(0, h / 3)},
                                   {coord(2 * w / 3, w - 1), coord(2 * h / 3, h - 1)},
                                   {coord(0, w / 3), coord(2 * h / 3, h - 1)}}};
            PoseAndSize p;
            p.camera = MakeCamera(photo, corners);
            const auto size = TargetSize(corners, coord(100, 900), coord(100, 900), 100);
            EXPECT_EQ(size.status, TargetSizeResult::Status::Ok);
            const auto found = SearchPose(p.camera, corners[3], size.W, size.H, std::nullopt);
            EXPECT_TRUE(found.has_value());
            if (!found)
                continue;
            p.pose = found->best;
            p.W = size.W;
            p.H = size.H;
            out.push_back(p);
        }
        break;
    }
    }
    return out;
}

void checkSmoothCase(const SmoothCase& c, int width);

TEST_P(SmoothEquivalence, FastRowsGiveTheBytesOfTheStepByStepLoop) {
    const SmoothCase& c = GetParam();
    // 301 pixels leave a padding byte at the end of each stored row, 300 none:
    // the wide loads of the last columns must not reach past the photograph.
    for (const int width : {301, 300})
        checkSmoothCase(c, width);
}

void checkSmoothCase(const SmoothCase& c, int width) {
    const pixkit::DibHolder photo = makePhoto(width, 203, 17);
    ASSERT_NE(photo.get().poi, nullptr);
    const auto poses = posesOf(c.quad, photo.get());
    ASSERT_FALSE(poses.empty());
    for (std::size_t k = 0; k < poses.size(); ++k) {
        const PoseAndSize& p = poses[k];
        pixkit::DibHolder refOut;
        const ResampleEnd refEnd =
            ResampleRectified(photo.get(), p.camera, p.pose, p.W, p.H, c.areaPercent, refOut.get(),
                              Engine::Reference, c.sampling);
        // Eight pixels at a time (where the processor can) and one by one.
        for (const bool vector : {true, false}) {
            detail::useVectorBlending(vector);
            pixkit::DibHolder fastOut;
            const ResampleEnd fastEnd =
                ResampleRectified(photo.get(), p.camera, p.pose, p.W, p.H, c.areaPercent,
                                  fastOut.get(), Engine::Fast, c.sampling);
            EXPECT_EQ(fastEnd, ResampleEnd::Done)
                << "width " << width << " pose " << k << " vector " << vector;
            EXPECT_EQ(fastEnd, refEnd)
                << "width " << width << " pose " << k << " vector " << vector;
            EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()))
                << "width " << width << " pose " << k << " vector " << vector;
        }
        detail::useVectorBlending(true);
    }
}

std::vector<SmoothCase> smoothCases() {
    std::vector<SmoothCase> cases;
    for (Interpolation s : {Interpolation::Bilinear, Interpolation::Bicubic})
        for (QuadKind q : {QuadKind::AxisParallel, QuadKind::StrongPerspective, QuadKind::Random})
            for (int area : {50, 100, 150})
                cases.push_back({s, q, area});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Quads, SmoothEquivalence, ::testing::ValuesIn(smoothCases()),
                         smoothCaseName);

class SmoothFault : public ::testing::TestWithParam<Interpolation> {};

// A plane through the camera centre faults in the first row: both paths stop
// at the same pixel and leave nothing after it.
TEST_P(SmoothFault, PartlyFilledImageIsTheSame) {
    const pixkit::DibHolder photo = makePhoto(2000, 1500, 3);
    ASSERT_NE(photo.get().poi, nullptr);
    tcamera camera;
    camera.cx = 1000;
    camera.cy = 1500;
    tpose pose;
    pose.anchor = {-3, -2, -4};
    pose.corner1 = {0, -2, 0};
    pose.corner2 = {0, 8, 0};
    pixkit::DibHolder fastOut, refOut;
    EXPECT_EQ(ResampleRectified(photo.get(), camera, pose, 5, 10, 200, fastOut.get(), Engine::Fast,
                                GetParam()),
              ResampleEnd::Fault);
    EXPECT_EQ(ResampleRectified(photo.get(), camera, pose, 5, 10, 200, refOut.get(),
                                Engine::Reference, GetParam()),
              ResampleEnd::Fault);
    EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()));
    // Column 7 of row 0 is the faulting pixel.
    for (int x = 7; x < pixkit::dibwidth(refOut.get()); ++x)
        EXPECT_EQ(pixkit::getpixel(refOut.get(), x, 0), 0u) << x;
}

// The plane point (i - 3, -2, j - 5) lies in the camera's plane z = 0 for
// j = 5: the first pixel of row 9 (of 16) faults, inside a band of rows the
// fast path works through together and in the lower rows' half.
TEST_P(SmoothFault, FaultInALaterRowLeavesTheRowsBeforeIt) {
    const pixkit::DibHolder photo = makePhoto(2000, 1500, 5);
    ASSERT_NE(photo.get().poi, nullptr);
    tcamera camera;
    camera.cx = 1000;
    camera.cy = 1500;
    tpose pose;
    pose.anchor = {-3, -2, -5};
    pose.corner1 = {1, -2, -5};
    pose.corner2 = {1, -2, 3};
    pixkit::DibHolder fastOut, refOut;
    EXPECT_EQ(ResampleRectified(photo.get(), camera, pose, 4, 8, 200, fastOut.get(), Engine::Fast,
                                GetParam()),
              ResampleEnd::Fault);
    EXPECT_EQ(ResampleRectified(photo.get(), camera, pose, 4, 8, 200, refOut.get(),
                                Engine::Reference, GetParam()),
              ResampleEnd::Fault);
    EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()));
    int lastLit = -1;
    for (int y = 0; y < pixkit::dibheight(refOut.get()); ++y)
        for (int x = 0; x < pixkit::dibwidth(refOut.get()); ++x)
            if (pixkit::getpixel(refOut.get(), x, y) != 0)
                lastLit = y;
    // Rows 0 ... 7 see the photograph; row 8 looks past its top edge, and
    // from the fault on nothing is written.
    EXPECT_EQ(lastLit, 7);
}

INSTANTIATE_TEST_SUITE_P(Samplings, SmoothFault,
                         ::testing::Values(Interpolation::Bilinear, Interpolation::Bicubic),
                         [](const auto& p) { return std::string(samplingName(p.param)); });

// ---- Weights and positions ------------------------------------------------------------

TEST(CubicWeights, SumToOneAndMirrorEachOther) {
    for (int f = 0; f < SubSteps; ++f) {
        const auto w = CubicWeights(f);
        EXPECT_EQ(w[0] + w[1] + w[2] + w[3], CubicOne) << f;
        EXPECT_LE(w[0], 0) << f;
        EXPECT_LE(w[3], 0) << f;
        if (f > 0) {
            // The fraction 256 - f sees the same pixels from the other side.
            const auto m = CubicWeights(SubSteps - f);
            for (std::size_t k = 0; k < 4; ++k)
                EXPECT_NEAR(w[k], m[3 - k], 1) << f << " weight " << k;
        }
    }
    const auto atPixel = CubicWeights(0);
    EXPECT_EQ(atPixel, (std::array<std::int32_t, 4>{0, CubicOne, 0, 0}));
    // Halfway: -1/16, 9/16, 9/16, -1/16.
    EXPECT_EQ(CubicWeights(128), (std::array<std::int32_t, 4>{-128, 1152, 1152, -128}));
}

struct SubPixelCase {
    const char* name;
    double v;
    std::int64_t expected;
};

class SubPixel : public ::testing::TestWithParam<SubPixelCase> {};

TEST_P(SubPixel, RoundsToTheNearestStepHalvesToEven) {
    EXPECT_EQ(SubPixelPosition(GetParam().v), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Positions, SubPixel,
                         ::testing::Values(SubPixelCase{"PixelCentre", 3.0, 768},
                                           SubPixelCase{"HalfStepDownToEven", 1.0 / 512, 0},
                                           SubPixelCase{"HalfStepUpToEven", 3.0 / 512, 2},
                                           SubPixelCase{"NegativeFraction", -0.25, -64},
                                           SubPixelCase{"FarRight", 1e30, FarSub},
                                           SubPixelCase{"FarLeft", -1e30, -FarSub}),
                         [](const auto& p) { return std::string(p.param.name); });

// A ramp 10 * x + 5 * y (red), blue constant: bilinear reproduces it exactly
// between pixels; at a pixel centre every blend gives the pixel itself; at the
// border the outside reads black.
TEST(SampleAt, BlendsRampsAndReadsBlackOutside) {
    pixkit::dib ramp;
    pixkit::newdib(ramp, 8, 6, 24, nullptr, 0);
    pixkit::DibHolder holder(ramp);
    ASSERT_NE(ramp.poi, nullptr);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            pixkit::setpixel(ramp, x, y,
                             pixkit::rgb(static_cast<std::uint8_t>(10 * x + 5 * y), 0, 200));
    for (Interpolation s : {Interpolation::Bilinear, Interpolation::Bicubic})
        EXPECT_EQ(SampleAt(ramp, 3 * 256, 2 * 256, s), pixkit::getpixel(ramp, 3, 2))
            << samplingName(s);
    // (3.25, 2.5): 10 * 3.25 + 5 * 2.5 = 45.
    EXPECT_EQ(pixkit::redOf(SampleAt(ramp, 3 * 256 + 64, 2 * 256 + 128, Interpolation::Bilinear)),
              45);
    // Cubic convolution keeps straight ramps as well (inside, away from the border).
    EXPECT_EQ(pixkit::redOf(SampleAt(ramp, 3 * 256 + 64, 2 * 256 + 128, Interpolation::Bicubic)),
              45);
    // Halfway past the right border: half the last pixel's blue.
    EXPECT_EQ(pixkit::blueOf(SampleAt(ramp, 7 * 256 + 128, 2 * 256, Interpolation::Bilinear)), 100);
    EXPECT_EQ(SampleAt(ramp, -5 * 256, 2 * 256, Interpolation::Bicubic), 0u);
}

// ---- Quality on a known scene ----------------------------------------------------------

// The facade head-on: a smooth pattern of light and dark bands, a function of
// the plane position (i, j) in result pixels.
double frontView(double i, double j, int channel) {
    const double k = 2 * std::numbers::pi / 13.0;
    return 128 + 90 * std::sin(k * i + channel) * std::cos(k * 0.7 * j - channel);
}

// A photograph of that facade under the tilt (angleX, angleY): every
// photograph pixel's ray meets the pose plane at some (i, j), whose front view
// it shows. The rectification with the same pose must give the front view.
TEST(SmoothQuality, BlendingComesCloserToTheFrontViewThanTheNearestPixel) {
    const int photoW = 640, photoH = 480;
    const Corners corners{{{150, 110}, {500, 140}, {480, 380}, {130, 350}}};
    pixkit::dib photo;
    pixkit::newdib(photo, photoW, photoH, 24, nullptr, 0);
    pixkit::DibHolder holder(photo);
    ASSERT_NE(photo.poi, nullptr);
    const tcamera camera = MakeCamera(photo, corners);
    tpose pose = StartPose(camera);
    ASSERT_TRUE(EvaluatePose(camera, 12.0, -18.5, pose));
    const auto edges = PoseEdges(pose);
    ASSERT_TRUE(edges.has_value());
    // The result is larger than the quad in the photograph: pixels are blown up.
    const std::int64_t W = 520, H = 400;
    const tvec3 U{edges->u.x * edges->La / W, edges->u.y * edges->La / W,
                  edges->u.z * edges->La / W};
    const tvec3 V{edges->v.x * edges->Lb / H, edges->v.y * edges->Lb / H,
                  edges->v.z * edges->Lb / H};
    const tvec3 N = Cross(U, V);
    for (int y = 0; y < photoH; ++y)
        for (int x = 0; x < photoW; ++x) {
            const tvec3 ray{camera.cx - x, camera.cy - y, FocalDistance};
            const double t = Dot(N, pose.anchor) / Dot(N, ray);
            const tvec3 rel{t * ray.x - pose.anchor.x, t * ray.y - pose.anchor.y,
                            t * ray.z - pose.anchor.z};
            // rel = i * U + j * V: solve with the cross products.
            const double i = Dot(Cross(rel, V), N) / Dot(N, N);
            const double j = Dot(Cross(U, rel), N) / Dot(N, N);
            std::uint8_t rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = static_cast<std::uint8_t>(std::lround(frontView(i, j, c)));
            pixkit::setpixel(photo, x, y, pixkit::rgb(rgb[0], rgb[1], rgb[2]));
        }

    auto meanError = [&](Interpolation s) {
        pixkit::DibHolder out;
        EXPECT_EQ(ResampleRectified(photo, camera, pose, W, H, 100, out.get(), Engine::Fast, s),
                  ResampleEnd::Done);
        double sum = 0;
        long n = 0;
        for (int y = 10; y < H - 10; ++y)
            for (int x = 10; x < W - 10; ++x) {
                const pixkit::Colour c = pixkit::getpixel(out.get(), x, y);
                for (int k = 0; k < 3; ++k, ++n)
                    sum +=
                        std::fabs(static_cast<double>((c >> (8 * k)) & 0xFF) - frontView(x, y, k));
            }
        return sum / static_cast<double>(n);
    };
    const double nearest = meanError(Interpolation::Nearest);
    const double bilinear = meanError(Interpolation::Bilinear);
    const double bicubic = meanError(Interpolation::Bicubic);
    EXPECT_GT(nearest, 3.0); // the pattern is hard enough to show a difference
    EXPECT_LT(bilinear, 0.6 * nearest) << "nearest " << nearest << ", bilinear " << bilinear;
    EXPECT_LT(bicubic, 0.6 * nearest) << "nearest " << nearest << ", bicubic " << bicubic;
    EXPECT_LT(bicubic, bilinear) << "bilinear " << bilinear << ", bicubic " << bicubic;
}

// The run takes the sampling from its fields.
TEST(SmoothRun, TheRunResamplesWithTheFieldsSampling) {
    const pixkit::DibHolder photo = makePhoto(200, 150, 4);
    const Corners corners{{{20, 15}, {180, 25}, {170, 130}, {25, 140}}};
    for (Interpolation s :
         {Interpolation::Nearest, Interpolation::Bilinear, Interpolation::Bicubic}) {
        RunRequest request;
        request.source = &photo.get();
        request.corners = corners;
        request.cornersComplete = true;
        request.realWidthCm = 300;
        request.realHeightCm = 200;
        request.sampling = s;
        const RunResult found = run(request);
        ASSERT_EQ(found.end, RunEnd::Done);
        ASSERT_TRUE(found.pose.has_value());
        const pixkit::Image& result = found.image;
        const tcamera camera = MakeCamera(photo.get(), corners);
        const auto size = TargetSize(corners, 300, 200, 100);
        tpose pose = StartPose(camera);
        ASSERT_TRUE(EvaluatePose(camera, found.pose->angleX, found.pose->angleY, pose));
        pixkit::DibHolder direct;
        ASSERT_EQ(ResampleRectified(photo.get(), camera, pose, size.W, size.H, 100, direct.get(),
                                    Engine::Reference, s),
                  ResampleEnd::Done);
        EXPECT_TRUE(test::sameImage(result.get(), direct.get())) << samplingName(s);
    }
}

} // namespace
} // namespace rectify
