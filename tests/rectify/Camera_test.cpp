// Camera model, target size, corner checks and the resampling geometry.

#include "TestScenes.h"
#include "rectify/Search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rectify {
namespace {

using test::makePhoto;

constexpr Corners AxisParallel{{{100, 100}, {300, 100}, {300, 200}, {100, 200}}};

// ---- Target size ------------------------------------------------------------------

struct SizeCase {
    const char* name;
    Corners corners;
    double realWidthCm, realHeightCm;
    int targetPercent;
    TargetSizeResult::Status status;
    std::int64_t W, H;
};

std::ostream& operator<<(std::ostream& os, const SizeCase& c) {
    return os << c.name;
}

class TargetSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(TargetSizes, FollowTheRealAspectAndThePercentage) {
    const SizeCase& c = GetParam();
    const TargetSizeResult r =
        TargetSize(c.corners, c.realWidthCm, c.realHeightCm, c.targetPercent);
    ASSERT_EQ(r.status, c.status);
    if (c.status == TargetSizeResult::Status::Ok) {
        EXPECT_EQ(r.W, c.W);
        EXPECT_EQ(r.H, c.H);
    }
}

using St = TargetSizeResult::Status;
constexpr Corners Box101{{{0, 0}, {100, 0}, {100, 100}, {0, 100}}};
constexpr Corners Box103{{{0, 0}, {102, 0}, {102, 102}, {0, 102}}};

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetSizes,
    ::testing::Values(
        // 201 x 101 box, square in reality: H = 201 is not below 101.
        SizeCase{"Square", AxisParallel, 1000, 1000, 100, St::Ok, 201, 201},
        // H = round(10.05) = 10 < 101, so H = 101 and W = round(2000 * 101 / 100).
        SizeCase{"WideFacade", AxisParallel, 2000, 100, 100, St::Ok, 2020, 101},
        // H = round(100.5) = 100 (tie to even) < 101, so W = round(2000 * 101 / 1000).
        SizeCase{"AfterWidthPreset", AxisParallel, 2000, 1000, 100, St::Ok, 202, 101},
        SizeCase{"HalfOf101TiesDown", Box101, 100, 100, 50, St::Ok, 50, 50},
        SizeCase{"HalfOf103TiesUp", Box103, 100, 100, 50, St::Ok, 52, 52},
        SizeCase{
            "OneColumn", {{{5, 0}, {5, 10}, {5, 20}, {5, 30}}}, 100, 100, 100, St::NoSize, 0, 0},
        SizeCase{"OneRow", {{{0, 7}, {10, 7}, {20, 7}, {30, 7}}}, 100, 100, 100, St::NoSize, 0, 0},
        SizeCase{"RealHeightZero", AxisParallel, 1000, 0, 100, St::Fault, 0, 0},
        SizeCase{"RealWidthZero", AxisParallel, 0, 1000, 100, St::Fault, 0, 0},
        SizeCase{"HeightBeyondInt64", AxisParallel, 1e-300, 1e300, 100, St::Fault, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Corners and camera ----------------------------------------------------------

TEST(CornersDistinct, EveryPairIsCompared) {
    EXPECT_TRUE(CornersDistinct(AxisParallel));
    const int pairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    for (const auto& p : pairs) {
        Corners c = AxisParallel;
        c[static_cast<std::size_t>(p[1])] = c[static_cast<std::size_t>(p[0])];
        EXPECT_FALSE(CornersDistinct(c)) << p[0] << "-" << p[1];
    }
    // Equal x alone or equal y alone is no coincidence.
    EXPECT_TRUE(CornersDistinct({{{0, 0}, {0, 5}, {5, 0}, {5, 5}}}));
}

TEST(MakeCamera, OddWidthGivesAHalfPixelCentre) {
    const pixkit::DibHolder photo = makePhoto(1001, 777);
    const Corners corners{{{500, 388}, {0, 0}, {1000, 776}, {3, 3}}};
    const tcamera cam = MakeCamera(photo.get(), corners);
    EXPECT_EQ(cam.cx, 500.5);
    EXPECT_EQ(cam.cy, 388.5);
    // Ray 0 is almost the optical axis; every ray is a unit vector pointing into
    // the scene, mirrored: a corner left of the centre has a positive x.
    EXPECT_NEAR(cam.rays[0].x, 0.5 / 1000.0, 1e-9);
    EXPECT_GT(cam.rays[1].x, 0.0);
    EXPECT_GT(cam.rays[1].y, 0.0);
    EXPECT_LT(cam.rays[2].x, 0.0);
    for (const tvec3& r : cam.rays) {
        EXPECT_NEAR(Dot(r, r), 1.0, 1e-15);
        EXPECT_GT(r.z, 0.0);
    }
}

TEST(IntersectLinePlane, ParallelAndStartOnThePlaneAreNotFound) {
    const tvec3 c{0, 0, 10}, d{1, 0, 10}, e{0, 1, 10}; // the plane z = 10
    const auto hit = IntersectLinePlane({0, 0, 0}, {0.5, 0.25, 1}, c, d, e);
    ASSERT_TRUE(hit.has_value());
    EXPECT_DOUBLE_EQ(hit->x, 5.0);
    EXPECT_DOUBLE_EQ(hit->y, 2.5);
    EXPECT_DOUBLE_EQ(hit->z, 10.0);
    // A plane behind the start is still met (negative t).
    const auto behind = IntersectLinePlane({0, 0, 20}, {0, 0, 21}, c, d, e);
    ASSERT_TRUE(behind.has_value());
    EXPECT_DOUBLE_EQ(behind->z, 10.0);
    EXPECT_FALSE(IntersectLinePlane({0, 0, 0}, {1, 0, 0}, c, d, e).has_value());
    EXPECT_FALSE(IntersectLinePlane({3, 4, 10}, {3, 4, 11}, c, d, e).has_value());
}

// In an 800 high photograph cy = 400: a corner on that row has a ray with
// y = 0, which at angleX = -90 runs along the plane and keeps its position.
TEST(EvaluatePose, CornerOnThePrincipalRowKeepsItsPreviousPositionAtMinus90) {
    const pixkit::DibHolder photo = makePhoto(1000, 800);
    const Corners corners{{{200, 150}, {700, 400}, {650, 700}, {180, 650}}};
    const tcamera cam = MakeCamera(photo.get(), corners);
    ASSERT_EQ(cam.rays[1].y, 0.0);

    tpose pose = StartPose(cam);
    const tpose start = pose;
    ASSERT_TRUE(EvaluatePose(cam, -90.0, 0.0, pose));
    // Nothing before it in this run: the start position stays.
    EXPECT_TRUE(test::sameBits(pose.corner1, start.corner1));
    EXPECT_FALSE(test::sameBits(pose.corner2, start.corner2));

    ASSERT_TRUE(EvaluatePose(cam, 10.0, 20.0, pose));
    const tvec3 earlier = pose.corner1;
    EXPECT_FALSE(test::sameBits(earlier, start.corner1));
    ASSERT_TRUE(EvaluatePose(cam, -90.0, 5.0, pose));
    EXPECT_TRUE(test::sameBits(pose.corner1, earlier));
    EXPECT_EQ(pose.angleX, -90.0);
    EXPECT_EQ(pose.angleY, 5.0);
}

TEST(EvaluatePose, NonFiniteAnglesFault) {
    const pixkit::DibHolder photo = makePhoto(100, 100);
    const tcamera cam = MakeCamera(photo.get(), AxisParallel);
    tpose pose = StartPose(cam);
    EXPECT_FALSE(EvaluatePose(cam, std::numeric_limits<double>::infinity(), 0.0, pose));
    EXPECT_FALSE(EvaluatePose(cam, 0.0, std::numeric_limits<double>::quiet_NaN(), pose));
}

TEST(PoseError, TargetOfOnePixelDividesZeroByZero) {
    const pixkit::DibHolder photo = makePhoto(1000, 800);
    const tcamera cam = MakeCamera(photo.get(), AxisParallel);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 0.0, 0.0, pose));
    EXPECT_TRUE(PoseError(cam, pose, AxisParallel[3], 201, 101).has_value());
    EXPECT_FALSE(PoseError(cam, pose, AxisParallel[3], 1, 101).has_value());
    EXPECT_FALSE(PoseError(cam, pose, AxisParallel[3], 201, 1).has_value());
    for (const Engine engine : {Engine::Fast, Engine::Reference}) {
        EXPECT_FALSE(SearchPose(cam, AxisParallel[3], 1, 1, std::nullopt, engine).has_value());
        EXPECT_FALSE(SearchPose(cam, AxisParallel[3], 201, 1, std::nullopt, engine).has_value());
    }
}

struct RoundCase {
    double v;
    std::optional<int> expected;
};

TEST(SourcePixel, HalvesGoToEvenAndFarPositionsStayOutside) {
    const RoundCase cases[] = {
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {-0.5, 0},
        {-1.5, -2},
        {299.005, 299},
        {199.502, 200},
        {3e9, std::numeric_limits<int>::max()},
        {-3e9, std::numeric_limits<int>::min()},
        {9.2e18, std::numeric_limits<int>::max()},
        {1e19, std::nullopt},
        {-1e19, std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const RoundCase& c : cases)
        EXPECT_EQ(SourcePixel(c.v), c.expected) << c.v;
}

// ---- Resampling -----------------------------------------------------------------

class ResampleBothEngines : public ::testing::TestWithParam<Engine> {};

// The plane parallel to the photograph: the mapping is affine, result pixel
// (i, j) samples the source at (100 + 200 i / 201, 100 + 100 j / 201).
TEST_P(ResampleBothEngines, AxisParallelPoseIsAnAffineCopy) {
    const pixkit::DibHolder photo = makePhoto(1000, 800);
    const tcamera cam = MakeCamera(photo.get(), AxisParallel);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 0.0, 0.0, pose));
    pixkit::DibHolder out;
    ASSERT_EQ(ResampleRectified(photo.get(), cam, pose, 201, 201, 100, out.get(), GetParam()),
              ResampleEnd::Done);
    ASSERT_EQ(pixkit::dibwidth(out.get()), 201);
    ASSERT_EQ(pixkit::dibheight(out.get()), 201);
    EXPECT_EQ(pixkit::getpixel(out.get(), 0, 0), pixkit::getpixel(photo.get(), 100, 100));
    EXPECT_EQ(pixkit::getpixel(out.get(), 200, 200), pixkit::getpixel(photo.get(), 299, 200));
    // No sample of this mapping lies near a half pixel, so every pixel is known.
    int wrong = 0;
    for (int j = 0; j < 201; ++j)
        for (int i = 0; i < 201; ++i) {
            const int sx = static_cast<int>(std::lround(100 + 200.0 * i / 201));
            const int sy = static_cast<int>(std::lround(100 + 100.0 * j / 201));
            wrong += pixkit::getpixel(out.get(), i, j) != pixkit::getpixel(photo.get(), sx, sy);
        }
    EXPECT_EQ(wrong, 0);
}

struct AreaCase {
    int areaPercent;
    int outSize; // W' = H'
    int offset;  // offX = offY
};

class CalculationArea : public ::testing::TestWithParam<std::tuple<AreaCase, Engine>> {};

// Against the 100 % image of the same pose, the margin or crop is a pure shift:
// out(x, y) = full(x - off, y - off) where both exist.
TEST_P(CalculationArea, ShiftsTheTargetRectangleByTheOffset) {
    const auto [area, engine] = GetParam();
    const pixkit::DibHolder photo = makePhoto(1000, 800, 9);
    const Corners corners{{{120, 140}, {520, 110}, {560, 470}, {90, 430}}};
    const tcamera cam = MakeCamera(photo.get(), corners);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 8.5, -12.25, pose));

    pixkit::DibHolder full, out;
    ASSERT_EQ(ResampleRectified(photo.get(), cam, pose, 100, 100, 100, full.get(), engine),
              ResampleEnd::Done);
    ASSERT_EQ(
        ResampleRectified(photo.get(), cam, pose, 100, 100, area.areaPercent, out.get(), engine),
        ResampleEnd::Done);
    ASSERT_EQ(pixkit::dibwidth(out.get()), area.outSize);
    ASSERT_EQ(pixkit::dibheight(out.get()), area.outSize);
    int compared = 0;
    for (int y = 0; y < area.outSize; ++y)
        for (int x = 0; x < area.outSize; ++x) {
            const int fx = x - area.offset, fy = y - area.offset;
            if (fx < 0 || fy < 0 || fx >= 100 || fy >= 100)
                continue;
            ASSERT_EQ(pixkit::getpixel(out.get(), x, y), pixkit::getpixel(full.get(), fx, fy))
                << x << "," << y;
            ++compared;
        }
    EXPECT_EQ(compared, std::min(100, area.outSize) * std::min(100, area.outSize));
}

INSTANTIATE_TEST_SUITE_P(
    Areas, CalculationArea,
    ::testing::Combine(::testing::Values(AreaCase{150, 150, 25}, AreaCase{105, 105, 2},
                                         // Column 0 shows output column i = 2.
                                         AreaCase{95, 95, -2}, AreaCase{50, 50, -25}),
                       ::testing::Values(Engine::Fast, Engine::Reference)),
    [](const ::testing::TestParamInfo<std::tuple<AreaCase, Engine>>& i) {
        return "Area" + std::to_string(std::get<0>(i.param).areaPercent) +
               (std::get<1>(i.param) == Engine::Fast ? "Fast" : "Reference");
    });

TEST_P(ResampleBothEngines, FailedImageKeepsThePreviousResult) {
    const pixkit::DibHolder photo = makePhoto(1000, 800);
    const tcamera cam = MakeCamera(photo.get(), AxisParallel);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 0.0, 0.0, pose));
    pixkit::DibHolder out;
    ASSERT_EQ(ResampleRectified(photo.get(), cam, pose, 50, 40, 100, out.get(), GetParam()),
              ResampleEnd::Done);
    const std::uint8_t* before = out.get().poi;
    const pixkit::Colour firstPixel = pixkit::getpixel(out.get(), 0, 0);
    // 10000 % of 5000 x 5000 is far over the pixel limit, one pixel row
    // over it as well; 1 % of 40 x 40 has no pixel.
    EXPECT_EQ(ResampleRectified(photo.get(), cam, pose, 5000, 5000, 10000, out.get(), GetParam()),
              ResampleEnd::TooLarge);
    EXPECT_EQ(ResampleRectified(photo.get(), cam, pose, 16384, 16385, 100, out.get(), GetParam()),
              ResampleEnd::TooLarge);
    EXPECT_EQ(ResampleRectified(photo.get(), cam, pose, 40, 40, 1, out.get(), GetParam()),
              ResampleEnd::Empty);
    EXPECT_EQ(out.get().poi, before);
    EXPECT_EQ(pixkit::dibwidth(out.get()), 50);
    EXPECT_EQ(pixkit::getpixel(out.get(), 0, 0), firstPixel);
}

TEST_P(ResampleBothEngines, PositionsOutsideTheSourceReadBlack) {
    const pixkit::DibHolder photo = makePhoto(1000, 800);
    const tcamera cam = MakeCamera(photo.get(), AxisParallel);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 0.0, 0.0, pose));
    pixkit::DibHolder out;
    // 1000 %: the margin reaches far beyond the photograph on every side.
    ASSERT_EQ(ResampleRectified(photo.get(), cam, pose, 201, 201, 1000, out.get(), GetParam()),
              ResampleEnd::Done);
    EXPECT_EQ(pixkit::getpixel(out.get(), 0, 0), 0u);
    EXPECT_EQ(pixkit::getpixel(out.get(), 2009, 2009), 0u);
    const int off = (2010 - 201) / 2;
    EXPECT_EQ(pixkit::getpixel(out.get(), off, off), pixkit::getpixel(photo.get(), 100, 100));
}

TEST_P(ResampleBothEngines, RecordWithoutImageReadsBlack) {
    const pixkit::DibHolder photo = makePhoto(1000, 800);
    const tcamera cam = MakeCamera(photo.get(), AxisParallel);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 0.0, 0.0, pose));
    const pixkit::dib empty;
    pixkit::DibHolder out;
    ASSERT_EQ(ResampleRectified(empty, cam, pose, 20, 10, 100, out.get(), GetParam()),
              ResampleEnd::Done);
    int lit = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            lit += pixkit::getpixel(out.get(), x, y) != 0;
    EXPECT_EQ(lit, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, ResampleBothEngines,
                         ::testing::Values(Engine::Fast, Engine::Reference), test::engineName);

} // namespace
} // namespace rectify
