// The fast search and resampling against the step-by-step reference: same
// poses, same error bits, same pixels.

#include "TestScenes.h"
#include "rectify/Search.h"
#include "testsupport/CaseNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace rectify {
namespace {

using test::bits;
using test::makePhoto;
using test::samePose;

// ---- Search ----------------------------------------------------------------------

struct SearchCase {
    const char* name;
    int width, height;
    Corners corners;
    double realWidthCm, realHeightCm;
};

std::ostream& operator<<(std::ostream& os, const SearchCase& c) {
    return os << c.name;
}

// Random quad with a fixed seed, roughly convex, inside the photograph.
Corners randomQuad(std::mt19937& rng, int width, int height) {
    auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int w = width, h = height;
    return {{{coord(0, w / 3), coord(0, h / 3)},
             {coord(2 * w / 3, w - 1), coord(0, h / 3)},
             {coord(2 * w / 3, w - 1), coord(2 * h / 3, h - 1)},
             {coord(0, w / 3), coord(2 * h / 3, h - 1)}}};
}

Corners seededQuad(std::uint32_t seed, int width, int height) {
    std::mt19937 rng(seed);
    return randomQuad(rng, width, height);
}

class SearchEquivalence : public ::testing::TestWithParam<SearchCase> {};

// The error of every grid pose, in loop order, by the step-by-step operations.
std::vector<double> referenceErrors(const tcamera& camera, TPoint corner3, std::int64_t W,
                                    std::int64_t H) {
    std::vector<double> errors;
    errors.reserve(static_cast<std::size_t>(GridSize) * GridSize);
    tpose working = StartPose(camera);
    for (int iy = -GridHalf; iy <= GridHalf; ++iy)
        for (int ix = -GridHalf; ix <= GridHalf; ++ix) {
            EXPECT_TRUE(EvaluatePose(camera, ix / 4.0, iy / 4.0, working));
            const auto e = PoseError(camera, working, corner3, W, H);
            errors.push_back(e ? *e : std::numeric_limits<double>::quiet_NaN());
        }
    return errors;
}

TEST_P(SearchEquivalence, EveryPoseErrorAndTheBestPoseAgreeToTheBit) {
    const SearchCase& c = GetParam();
    pixkit::dib frame; // only the size is read
    pixkit::newdib(frame, c.width, c.height, 24, nullptr, 0);
    pixkit::DibHolder holder(frame);
    ASSERT_NE(frame.poi, nullptr);
    const tcamera camera = MakeCamera(frame, c.corners);
    const auto size = TargetSize(c.corners, c.realWidthCm, c.realHeightCm, 100);
    ASSERT_EQ(size.status, TargetSizeResult::Status::Ok);

    std::vector<double> fastErrors(static_cast<std::size_t>(GridSize) * GridSize);
    const auto fast =
        detail::searchGridFast(camera, c.corners[3], size.W, size.H, fastErrors.data());
    const auto ref =
        SearchPose(camera, c.corners[3], size.W, size.H, std::nullopt, Engine::Reference);
    ASSERT_TRUE(fast.has_value());
    ASSERT_TRUE(ref.has_value());
    EXPECT_TRUE(samePose(fast->best, ref->best))
        << "fast " << fast->best.angleX << "/" << fast->best.angleY << ", reference "
        << ref->best.angleX << "/" << ref->best.angleY;
    EXPECT_EQ(bits(fast->error), bits(ref->error));

    const std::vector<double> refErrors = referenceErrors(camera, c.corners[3], size.W, size.H);
    std::size_t differing = 0, firstDiff = 0;
    for (std::size_t k = 0; k < refErrors.size(); ++k)
        if (bits(refErrors[k]) != bits(fastErrors[k]) && differing++ == 0)
            firstDiff = k;
    EXPECT_EQ(differing, 0u) << "first at loop index " << firstDiff << " (angleX "
                             << (static_cast<int>(firstDiff % GridSize) - GridHalf) / 4.0
                             << ", angleY "
                             << (static_cast<int>(firstDiff / GridSize) - GridHalf) / 4.0 << ")";
}

// Without the per-pose errors the search bounds every error first and
// evaluates exactly only the poses that can still be the smallest.
TEST_P(SearchEquivalence, BoundedSearchFindsTheSamePoseAndErrorBits) {
    const SearchCase& c = GetParam();
    pixkit::dib frame;
    pixkit::newdib(frame, c.width, c.height, 24, nullptr, 0);
    pixkit::DibHolder holder(frame);
    ASSERT_NE(frame.poi, nullptr);
    const tcamera camera = MakeCamera(frame, c.corners);
    const auto size = TargetSize(c.corners, c.realWidthCm, c.realHeightCm, 100);
    ASSERT_EQ(size.status, TargetSizeResult::Status::Ok);
    const auto fast = SearchPose(camera, c.corners[3], size.W, size.H, std::nullopt, Engine::Fast);
    const auto ref =
        SearchPose(camera, c.corners[3], size.W, size.H, std::nullopt, Engine::Reference);
    ASSERT_EQ(fast.has_value(), ref.has_value());
    if (!ref)
        return;
    EXPECT_TRUE(samePose(fast->best, ref->best))
        << "fast " << fast->best.angleX << "/" << fast->best.angleY << ", reference "
        << ref->best.angleX << "/" << ref->best.angleY;
    EXPECT_EQ(bits(fast->error), bits(ref->error));
}

INSTANTIATE_TEST_SUITE_P(
    Quads, SearchEquivalence,
    ::testing::Values(SearchCase{"AxisParallel",
                                 1000,
                                 800,
                                 {{{100, 100}, {300, 100}, {300, 200}, {100, 200}}},
                                 1000,
                                 1000},
                      // Corner 0 on the principal column: the anchor has x = 0, so the sign
                      // of the zero term in the fourth corner can show.
                      SearchCase{"AnchorOnPrincipalColumn",
                                 1000,
                                 800,
                                 {{{500, 250}, {820, 270}, {790, 610}, {470, 640}}},
                                 300,
                                 200},
                      // Corners 1 and 2 on the principal row: their rays run along the plane
                      // at angleX = -90 and keep the previous position.
                      SearchCase{"CornersOnPrincipalRow",
                                 1000,
                                 800,
                                 {{{200, 150}, {700, 400}, {650, 400}, {180, 650}}},
                                 500,
                                 300},
                      SearchCase{"StrongPerspective",
                                 6000,
                                 4000,
                                 {{{1150, 820}, {4720, 1240}, {4560, 3180}, {1030, 3560}}},
                                 1800,
                                 1200},
                      SearchCase{"Random320x200", 320, 200, seededQuad(7, 320, 200), 400, 250},
                      SearchCase{"RandomOddWidth", 1001, 777, seededQuad(11, 1001, 777), 100, 100}),
    [](const auto& p) { return std::string(p.param.name); });

INSTANTIATE_TEST_SUITE_P(
    MoreQuads, SearchEquivalence,
    ::testing::Values(
        SearchCase{"Random6000x4000", 6000, 4000, seededQuad(23, 6000, 4000), 900, 500},
        SearchCase{"RandomTiny", 40, 30, seededQuad(31, 40, 30), 10, 10},
        // A quad no tilted rectangle fits well: the smallest
        // error is large and many poses come close to it.
        SearchCase{
            "Twisted", 1000, 800, {{{100, 100}, {900, 700}, {850, 120}, {150, 650}}}, 100, 100}),
    [](const auto& p) { return std::string(p.param.name); });

// The bounded search on many quads, strong perspectives and near-degenerate
// ones included: the same best pose and error bits as the reference.
TEST(SearchEquivalenceRandom, BoundedSearchOnManyQuads) {
    std::mt19937 rng(2026);
    for (int round = 0; round < 24; ++round) {
        const int w = std::uniform_int_distribution<int>(20, 4000)(rng);
        const int h = std::uniform_int_distribution<int>(20, 3000)(rng);
        pixkit::dib frame;
        pixkit::newdib(frame, w, h, 24, nullptr, 0);
        pixkit::DibHolder holder(frame);
        ASSERT_NE(frame.poi, nullptr);
        Corners corners = randomQuad(rng, w, h);
        if (round % 4 == 3) // a nearly straight corner 3: a poor fit
            corners[3] = {corners[0].x + 1, corners[2].y - 1};
        if (!CornersDistinct(corners))
            continue;
        const tcamera camera = MakeCamera(frame, corners);
        const double realW = std::uniform_int_distribution<int>(10, 3000)(rng);
        const double realH = std::uniform_int_distribution<int>(10, 3000)(rng);
        const auto size = TargetSize(corners, realW, realH, 100);
        if (size.status != TargetSizeResult::Status::Ok)
            continue;
        const auto fast =
            SearchPose(camera, corners[3], size.W, size.H, std::nullopt, Engine::Fast);
        const auto ref =
            SearchPose(camera, corners[3], size.W, size.H, std::nullopt, Engine::Reference);
        ASSERT_EQ(fast.has_value(), ref.has_value()) << "round " << round;
        if (!ref)
            continue;
        EXPECT_TRUE(samePose(fast->best, ref->best)) << "round " << round;
        EXPECT_EQ(bits(fast->error), bits(ref->error)) << "round " << round;
    }
}

// ---- Resampling ------------------------------------------------------------------

struct ResampleCase {
    int width, height;
    int areaPercent;
};

std::ostream& operator<<(std::ostream& os, const ResampleCase& c) {
    return os << c.width << "x" << c.height << "@" << c.areaPercent;
}

const pixkit::dib& cachedPhoto(int width, int height) {
    static std::map<std::pair<int, int>, std::unique_ptr<pixkit::DibHolder>> photos;
    auto& slot = photos[{width, height}];
    if (!slot)
        slot = std::make_unique<pixkit::DibHolder>(makePhoto(width, height, 3));
    return slot->get();
}

class ResampleEquivalence : public ::testing::TestWithParam<ResampleCase> {};

TEST_P(ResampleEquivalence, SamePixelsForManyPoses) {
    const ResampleCase& c = GetParam();
    const pixkit::dib& photo = cachedPhoto(c.width, c.height);
    ASSERT_NE(photo.poi, nullptr);
    std::mt19937 rng(static_cast<std::uint32_t>(c.width * 31 + c.areaPercent));
    for (int round = 0; round < 12; ++round) {
        const Corners corners = randomQuad(rng, c.width, c.height);
        const tcamera camera = MakeCamera(photo, corners);
        // Grid angles and arbitrary typed angles, strong tilts included.
        const bool grid = round % 2 == 0;
        const double ax = grid ? std::uniform_int_distribution<int>(-360, 360)(rng) / 4.0
                               : std::uniform_real_distribution<double>(-89.9, 89.9)(rng);
        const double ay = grid ? std::uniform_int_distribution<int>(-360, 360)(rng) / 4.0
                               : std::uniform_real_distribution<double>(-89.9, 89.9)(rng);
        tpose pose = StartPose(camera);
        ASSERT_TRUE(EvaluatePose(camera, ax, ay, pose));
        // Small targets keep the step-by-step loop quick.
        const std::int64_t W = std::uniform_int_distribution<int>(2, 90)(rng);
        const std::int64_t H = std::uniform_int_distribution<int>(2, 90)(rng);

        pixkit::DibHolder fastOut, refOut;
        const ResampleEnd fastEnd = ResampleRectified(photo, camera, pose, W, H, c.areaPercent,
                                                      fastOut.get(), Engine::Fast);
        const ResampleEnd refEnd = ResampleRectified(photo, camera, pose, W, H, c.areaPercent,
                                                     refOut.get(), Engine::Reference);
        ASSERT_EQ(fastEnd, refEnd) << "round " << round;
        EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()))
            << "round " << round << " angles " << ax << "/" << ay << " W " << W << " H " << H;
    }
}

INSTANTIATE_TEST_SUITE_P(SourcesAndAreas, ResampleEquivalence,
                         ::testing::Values(ResampleCase{320, 200, 50}, ResampleCase{320, 200, 100},
                                           ResampleCase{1001, 777, 95},
                                           ResampleCase{1001, 777, 105},
                                           ResampleCase{1001, 777, 150},
                                           ResampleCase{6000, 4000, 100},
                                           ResampleCase{6000, 4000, 150}),
                         testsupport::printed<ResampleCase>());

// Sources the word-wise copy must be careful with: a width whose rows have no
// padding (the last pixel in memory is the photograph's top-right one) and an
// 8-bit photograph read through getpixel.
TEST(ResampleEquivalenceSources, UnpaddedAndPalettedSources) {
    pixkit::DibHolder unpadded = makePhoto(4, 4, 5);
    ASSERT_EQ(unpadded.get().bytew, 12);
    pixkit::dib paletted;
    pixkit::newdib(paletted, 37, 23, 8, nullptr, 0);
    pixkit::DibHolder palettedHolder(paletted);
    ASSERT_NE(paletted.poi, nullptr);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            pixkit::setpixel(paletted, x, y, static_cast<pixkit::Colour>((x * 7 + y * 13) % 256));

    for (const pixkit::dib* photo : {&unpadded.get(), &paletted}) {
        const int w = pixkit::dibwidth(*photo), h = pixkit::dibheight(*photo);
        const Corners corners{{{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}};
        const tcamera camera = MakeCamera(*photo, corners);
        for (const double angle : {0.0, 3.5, -20.0}) {
            tpose pose = StartPose(camera);
            ASSERT_TRUE(EvaluatePose(camera, angle, -angle / 2, pose));
            for (const int area : {100, 120, 300}) {
                pixkit::DibHolder fastOut, refOut;
                ASSERT_EQ(ResampleRectified(*photo, camera, pose, 2 * w, 2 * h, area, fastOut.get(),
                                            Engine::Fast),
                          ResampleEnd::Done);
                ASSERT_EQ(ResampleRectified(*photo, camera, pose, 2 * w, 2 * h, area, refOut.get(),
                                            Engine::Reference),
                          ResampleEnd::Done);
                EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()))
                    << w << "x" << h << " angle " << angle << " area " << area;
            }
        }
    }
    // The top-right pixel, the last bytes of the unpadded photograph, is copied.
    const tcamera camera = MakeCamera(unpadded.get(), {{{0, 0}, {3, 0}, {3, 3}, {0, 3}}});
    tpose pose = StartPose(camera);
    ASSERT_TRUE(EvaluatePose(camera, 0, 0, pose));
    // W = H = 3 at 200 %: result (4, 1) is i = 3, j = 0, source (3, 0).
    pixkit::DibHolder out;
    ASSERT_EQ(ResampleRectified(unpadded.get(), camera, pose, 3, 3, 200, out.get(), Engine::Fast),
              ResampleEnd::Done);
    EXPECT_EQ(pixkit::getpixel(out.get(), 4, 1), pixkit::getpixel(unpadded.get(), 3, 0));
}

// The searched pose of a real quad, resampled at a size with many rows for
// both threads.
TEST(ResampleEquivalenceLarge, SearchedPoseAtFullTarget) {
    const pixkit::dib& photo = cachedPhoto(1001, 777);
    const Corners corners{{{130, 90}, {880, 140}, {850, 700}, {100, 660}}};
    const tcamera camera = MakeCamera(photo, corners);
    const auto size = TargetSize(corners, 500, 400, 50);
    const auto found = SearchPose(camera, corners[3], size.W, size.H, std::nullopt);
    ASSERT_TRUE(found.has_value());
    pixkit::DibHolder fastOut, refOut;
    EXPECT_EQ(ResampleRectified(photo, camera, found->best, size.W, size.H, 100, fastOut.get(),
                                Engine::Fast),
              ResampleEnd::Done);
    EXPECT_EQ(ResampleRectified(photo, camera, found->best, size.W, size.H, 100, refOut.get(),
                                Engine::Reference),
              ResampleEnd::Done);
    EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()));
}

// A plane through the camera centre: the plane point of column 7 lies in z = 0,
// so the loop faults there in the first row. Both paths leave the same partly
// filled image: the pixels before the fault, nothing after it.
TEST(ResampleEquivalenceFault, PartlyFilledImageIsTheSame) {
    pixkit::dib photo;
    pixkit::newdib(photo, 2000, 1500, 24, nullptr, 0);
    pixkit::DibHolder photoHolder(photo);
    ASSERT_NE(photo.poi, nullptr);
    for (int y = 0; y < 1500; ++y)
        for (int x = 0; x < 2000; ++x)
            pixkit::setpixel(photo, x, y, pixkit::rgb(10, 20, 30));
    tcamera camera;
    camera.cx = 1000;
    camera.cy = 1500;
    tpose pose;
    pose.anchor = {-3, -2, -4};
    pose.corner1 = {0, -2, 0}; // a = (3, 0, 4): u = (0.6, 0, 0.8), La = 5
    pose.corner2 = {0, 8, 0};  // b = (0, 10, 0)
    const std::int64_t W = 5, H = 10;

    pixkit::DibHolder fastOut, refOut;
    EXPECT_EQ(ResampleRectified(photo, camera, pose, W, H, 200, fastOut.get(), Engine::Fast),
              ResampleEnd::Fault);
    EXPECT_EQ(ResampleRectified(photo, camera, pose, W, H, 200, refOut.get(), Engine::Reference),
              ResampleEnd::Fault);
    ASSERT_NE(refOut.get().poi, nullptr);
    EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()));
    const pixkit::dib& out = refOut.get();
    // W' = 10, offX = 2: column 7 is i = 5, where the plane point has z = 0.
    int before = 0;
    for (int x = 0; x < 7; ++x)
        before += pixkit::getpixel(out, x, 0) != 0;
    EXPECT_GT(before, 0);
    for (int y = 0; y < pixkit::dibheight(out); ++y)
        for (int x = y == 0 ? 7 : 0; x < pixkit::dibwidth(out); ++x)
            ASSERT_EQ(pixkit::getpixel(out, x, y), 0u) << x << "," << y;
}

// A result wider than a block of columns is resampled block by block, each
// block forming its own column terms: the pixels stay those of the
// step-by-step loop for every sampling, also when the loop faults in a later
// block (a plane through the camera centre at column 150000 of row 1).
TEST(ResampleEquivalenceWide, BlocksOfColumnsGiveTheSamePixels) {
    const pixkit::dib& photo = cachedPhoto(320, 200);
    const Corners corners{{{10, 20}, {300, 30}, {290, 180}, {20, 170}}};
    const tcamera camera = MakeCamera(photo, corners);
    tpose tilted = StartPose(camera);
    ASSERT_TRUE(EvaluatePose(camera, 12.5, -20.0, tilted));
    tpose throughCentre;
    throughCentre.anchor = {-3, -2, -4};
    throughCentre.corner1 = {-3, -2, 0}; // a = (0, 0, 4): z = -4 + 4 i / W
    throughCentre.corner2 = {-3, 8, 0};
    const struct {
        const tpose* pose;
        std::int64_t W, H;
        int area;
        ResampleEnd end;
    } cases[] = {{&tilted, 200003, 3, 100, ResampleEnd::Done},
                 {&tilted, 140000, 2, 150, ResampleEnd::Done},
                 {&throughCentre, 100000, 2, 200, ResampleEnd::Fault}};
    for (const auto& c : cases)
        for (const Interpolation s :
             {Interpolation::Nearest, Interpolation::Bilinear, Interpolation::Bicubic}) {
            pixkit::DibHolder fastOut, refOut;
            EXPECT_EQ(ResampleRectified(photo, camera, *c.pose, c.W, c.H, c.area, fastOut.get(),
                                        Engine::Fast, s),
                      c.end);
            EXPECT_EQ(ResampleRectified(photo, camera, *c.pose, c.W, c.H, c.area, refOut.get(),
                                        Engine::Reference, s),
                      c.end);
            EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get()))
                << c.W << " x " << c.H << " sampling " << static_cast<int>(s);
        }
}

} // namespace
} // namespace rectify

namespace rectify {
namespace {

// The resampling places most pixels by the homography and computes a pixel
// exactly only where that estimate lies close to a half. These poses put
// many positions exactly on halves (the estimate must defer to the exact
// rounding, halves to even), on the principal row and column (plane
// coordinates of 0 and tiny ones), and a plane that passes behind the camera
// inside the calculation area (rows whose plane points change sign in z).
struct HalfwayCase {
    const char* name;
    double angleX, angleY;
    int scale; // W = scale * width, H = scale * height
    int areaPercent;
};

std::ostream& operator<<(std::ostream& os, const HalfwayCase& c) {
    return os << c.name;
}

class ResampleEstimate : public ::testing::TestWithParam<HalfwayCase> {};

TEST_P(ResampleEstimate, SamePixelsAsTheReference) {
    const HalfwayCase& c = GetParam();
    for (const auto& [w, h] : {std::pair{64, 48}, std::pair{101, 77}, std::pair{300, 200}}) {
        const pixkit::DibHolder photo = test::makePhoto(w, h, 9);
        ASSERT_NE(photo.get().poi, nullptr);
        const Corners corners{{{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}}};
        const tcamera camera = MakeCamera(photo.get(), corners);
        tpose pose = StartPose(camera);
        ASSERT_TRUE(EvaluatePose(camera, c.angleX, c.angleY, pose));
        pixkit::DibHolder fastOut, refOut;
        const ResampleEnd fastEnd =
            ResampleRectified(photo.get(), camera, pose, c.scale * w, c.scale * h, c.areaPercent,
                              fastOut.get(), Engine::Fast);
        const ResampleEnd refEnd =
            ResampleRectified(photo.get(), camera, pose, c.scale * w, c.scale * h, c.areaPercent,
                              refOut.get(), Engine::Reference);
        EXPECT_EQ(fastEnd, refEnd) << w << "x" << h;
        EXPECT_TRUE(test::sameImage(fastOut.get(), refOut.get())) << w << "x" << h;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Poses, ResampleEstimate,
    ::testing::Values(HalfwayCase{"UprightDoubled", 0.0, 0.0, 2, 100},
                      HalfwayCase{"UprightDoubledWithMargin", 0.0, 0.0, 2, 300},
                      HalfwayCase{"UprightQuadrupled", 0.0, 0.0, 4, 100},
                      HalfwayCase{"QuarterDegreeTilt", 0.25, -0.25, 2, 150},
                      HalfwayCase{"SteepTiltBehindTheCamera", 89.75, 0.0, 1, 1000},
                      HalfwayCase{"SteepSideways", 0.0, -89.5, 1, 800}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace rectify
