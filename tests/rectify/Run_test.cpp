// One run: what it reads comes in a RunRequest, what it found comes back in a
// RunResult, and nothing else changes.

#include "TestScenes.h"
#include "rectify/Search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace rectify {
namespace {

using test::makePhoto;

constexpr Corners AxisParallel{{{100, 100}, {300, 100}, {300, 200}, {100, 200}}};

// One photograph with the request the window would make for it.
struct Scene {
    pixkit::Image source = makePhoto(1000, 800);
    RunRequest request;
    Scene() {
        request.source = &source.get();
        request.corners = AxisParallel;
        request.cornersComplete = true;
    }
    RunResult run(Engine engine = Engine::Fast, RunScope scope = RunScope::Full) {
        request.engine = engine;
        request.scope = scope;
        return rectify::run(request);
    }
};

// ---- Runs that stop early --------------------------------------------------------

struct EarlyCase {
    const char* name;
    void (*prepare)(Scene&);
    RunEnd end;
    bool fixedConsumed;  // the typed angles are consumed (setwink cleared)
    bool presetConsumed; // the width request is consumed (breitetoset cleared)
};

std::ostream& operator<<(std::ostream& os, const EarlyCase& c) {
    return os << c.name;
}

class EarlyEnd : public ::testing::TestWithParam<EarlyCase> {};

// An early end finds no pose (the angles stay as they are), makes no image
// (the previous result stays) and presets no width.
TEST_P(EarlyEnd, LeavesResultAndAnglesAlone) {
    const EarlyCase& c = GetParam();
    Scene scene;
    scene.request.fixedAngles = true;
    scene.request.presetWidth = true;
    scene.request.angleXDeg = 3.25;
    scene.request.angleYDeg = -4.5;
    c.prepare(scene);

    const RunResult r = scene.run();
    EXPECT_EQ(r.end, c.end);
    EXPECT_EQ(r.fixedAnglesConsumed, c.fixedConsumed);
    EXPECT_EQ(r.presetConsumed, c.presetConsumed);
    EXPECT_FALSE(r.pose.has_value());
    EXPECT_FALSE(r.presetWidthCm.has_value());
    EXPECT_TRUE(r.image.empty());
    EXPECT_FALSE(r.scale.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EarlyEnd,
    ::testing::Values(
        // The hold flag: not even the typed angles are consumed.
        EarlyCase{"Held", [](Scene& s) { s.request.hold = true; }, RunEnd::Held, false, false},
        EarlyCase{"NoCorners", [](Scene& s) { s.request.cornersComplete = false; },
                  RunEnd::NoCorners, true, false},
        // The width request waits for a run with usable corners.
        EarlyCase{"CornersCoincide", [](Scene& s) { s.request.corners[2] = s.request.corners[0]; },
                  RunEnd::CornersCoincide, true, false},
        EarlyCase{"OneColumnWide",
                  [](Scene& s) {
                      s.request.corners = {{{5, 0}, {5, 10}, {5, 20}, {5, 30}}};
                  },
                  RunEnd::NoTargetSize, false, false},
        // Quads no rectangle in perspective gives: four corners on a slanted
        // line, three on one, and sides that cross (corners 2 and 3 swapped).
        EarlyCase{"FourOnASlantedLine",
                  [](Scene& s) {
                      s.request.corners = {{{0, 0}, {10, 10}, {20, 20}, {30, 30}}};
                  },
                  RunEnd::CornersNoQuad, true, false},
        EarlyCase{"ThreeOnALine",
                  [](Scene& s) {
                      s.request.corners = {{{10, 10}, {60, 35}, {110, 60}, {20, 90}}};
                  },
                  RunEnd::CornersNoQuad, true, false},
        EarlyCase{"SidesCross",
                  [](Scene& s) {
                      s.request.corners = {{{10, 10}, {110, 12}, {12, 90}, {108, 95}}};
                  },
                  RunEnd::CornersNoQuad, true, false},
        EarlyCase{"NoPhotograph", [](Scene& s) { s.source.reset(); }, RunEnd::Fault, false, false},
        EarlyCase{"RealHeightZero", [](Scene& s) { s.request.realHeightCm = 0; }, RunEnd::Fault,
                  false, false},
        // W = H = round(1 * 100 / 100) = 1: the first pose divides 0 by 0.
        EarlyCase{"TargetOfOnePixel",
                  [](Scene& s) {
                      s.request.fixedAngles = false;
                      s.request.corners = {{{0, 0}, {99, 0}, {99, 99}, {0, 99}}};
                      s.request.targetPercent = 1;
                  },
                  RunEnd::Fault, false, false},
        EarlyCase{"TargetOfOnePixelFixedAngles",
                  [](Scene& s) {
                      s.request.corners = {{{0, 0}, {99, 0}, {99, 99}, {0, 99}}};
                      s.request.targetPercent = 1;
                  },
                  RunEnd::Fault, false, false}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Complete runs ---------------------------------------------------------------

class CompleteRun : public ::testing::TestWithParam<Engine> {};

TEST_P(CompleteRun, AxisParallelRectangleIsSeenHeadOn) {
    Scene scene;
    scene.request.angleXDeg = 7; // typed, but not asked for: the run searches
    const RunResult r = scene.run(GetParam());
    EXPECT_EQ(r.end, RunEnd::Done);
    ASSERT_TRUE(r.pose.has_value());
    EXPECT_EQ(r.pose->angleX, 0.0);
    EXPECT_EQ(r.pose->angleY, 0.0);
    EXPECT_TRUE(r.fixedAnglesConsumed);
    EXPECT_FALSE(r.presetConsumed);
    ASSERT_FALSE(r.image.empty());
    EXPECT_EQ(r.image.width(), 201);
    EXPECT_EQ(r.image.height(), 201);
    EXPECT_EQ(pixkit::getpixel(r.image, 0, 0), pixkit::getpixel(scene.source, 100, 100));
    // The scale it was made with: 201 pixels for the 1000 cm of the rectangle.
    ASSERT_TRUE(r.scale.has_value());
    EXPECT_EQ(r.scale->realWidthCm, 1000.0);
    EXPECT_EQ(r.scale->realHeightCm, 1000.0);
    EXPECT_EQ(r.scale->areaPercent, 100);
    ASSERT_TRUE(r.scale->pixelsPerCm.has_value());
    EXPECT_DOUBLE_EQ(*r.scale->pixelsPerCm, 0.201);
}

// With the width request the run finds a width in place of an image; the
// next run then makes the image with that width.
TEST_P(CompleteRun, WidthPresetThenImage) {
    Scene scene;
    scene.request.presetWidth = true;
    const RunResult preset = scene.run(GetParam());
    EXPECT_EQ(preset.end, RunEnd::WidthPreset);
    EXPECT_TRUE(preset.presetConsumed);
    ASSERT_TRUE(preset.presetWidthCm.has_value());
    EXPECT_NEAR(*preset.presetWidthCm, 2000.0, 0.005); // La / Lb = 200 / 100
    EXPECT_TRUE(preset.pose.has_value());              // the angles are shown before the width
    EXPECT_TRUE(preset.image.empty());

    // The field's two decimals.
    scene.request.realWidthCm = std::round(*preset.presetWidthCm * 100) / 100;
    scene.request.presetWidth = false;
    const RunResult image = scene.run(GetParam());
    EXPECT_EQ(image.end, RunEnd::Done);
    EXPECT_EQ(image.image.width(), 202);
    EXPECT_EQ(image.image.height(), 101);
    EXPECT_EQ(image.scale->realWidthCm, 2000.0);
}

// Typed angles: the image of exactly those angles; the next run without the
// request (image 2 in the same timer tick) searches again.
TEST_P(CompleteRun, TypedAnglesAreUsedOnce) {
    Scene scene;
    scene.request.fixedAngles = true;
    scene.request.angleXDeg = 10;
    scene.request.angleYDeg = -5;
    const RunResult r = scene.run(GetParam());
    EXPECT_EQ(r.end, RunEnd::Done);
    EXPECT_TRUE(r.fixedAnglesConsumed);
    ASSERT_TRUE(r.pose.has_value());
    EXPECT_EQ(r.pose->angleX, 10.0);
    EXPECT_EQ(r.pose->angleY, -5.0);

    const tcamera cam = MakeCamera(scene.source, scene.request.corners);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 10, -5, pose));
    pixkit::Image expected;
    ASSERT_EQ(ResampleRectified(scene.source, cam, pose, 201, 201, 100, expected.get()),
              ResampleEnd::Done);
    EXPECT_TRUE(test::sameImage(r.image, expected));

    Scene second;
    second.request.angleXDeg = 10;
    second.request.angleYDeg = -5;
    const RunResult searched = second.run(GetParam());
    EXPECT_EQ(searched.end, RunEnd::Done);
    EXPECT_EQ(searched.pose->angleX, 0.0);
    EXPECT_EQ(searched.pose->angleY, 0.0);
}

TEST_P(CompleteRun, RefusedImageComesBackWithItsSize) {
    Scene scene;
    scene.request.areaPercent = 10000;
    scene.request.realWidthCm = 200000; // W = 20200 x 101: 10000 % is beyond the pixel limit
    const RunResult r = scene.run(GetParam());
    EXPECT_EQ(r.end, RunEnd::TooLarge);
    EXPECT_TRUE(r.image.empty());
    EXPECT_FALSE(r.scale.has_value());
    EXPECT_TRUE(r.pose.has_value()); // the angles were found and are shown
    EXPECT_EQ(r.refusedWidth, 2020000);
    EXPECT_EQ(r.refusedHeight, 10100);
}

TEST_P(CompleteRun, ResultWithoutAPixelMakesNoImage) {
    Scene scene;
    scene.request.corners = Corners{{{100, 100}, {103, 100}, {103, 103}, {100, 103}}};
    scene.request.areaPercent = 1; // 1 % of a 4 x 4 rectangle rounds to nothing
    const RunResult r = scene.run(GetParam());
    EXPECT_EQ(r.end, RunEnd::EmptyImage);
    EXPECT_TRUE(r.image.empty());
    EXPECT_TRUE(r.pose.has_value());
    EXPECT_EQ(r.refusedWidth, 0);
}

// A run that stops before the resampling finds the pose and consumes the
// typed angles, and makes no image; the full run with the same request makes
// the image a run of its own would make, with the same angles.
TEST_P(CompleteRun, PoseOnlyStopsBeforeTheImage) {
    Scene scene;
    scene.request.corners = {{{120, 90}, {610, 140}, {590, 520}, {100, 560}}};
    const RunResult poseOnly = scene.run(GetParam(), RunScope::PoseOnly);
    EXPECT_EQ(poseOnly.end, RunEnd::PoseOnly);
    EXPECT_TRUE(poseOnly.image.empty());
    ASSERT_TRUE(poseOnly.pose.has_value());
    EXPECT_NE(poseOnly.pose->angleX, 0.0);

    const RunResult full = scene.run(GetParam());
    EXPECT_EQ(full.end, RunEnd::Done);
    EXPECT_TRUE(test::samePose(*full.pose, *poseOnly.pose));
    Scene single;
    single.request.corners = scene.request.corners;
    EXPECT_TRUE(test::sameImage(single.run(GetParam()).image, full.image));
}

// A pending width preset still wins: the run presets the width as usual.
TEST_P(CompleteRun, PoseOnlyKeepsTheWidthPreset) {
    Scene scene;
    scene.request.presetWidth = true;
    const RunResult r = scene.run(GetParam(), RunScope::PoseOnly);
    EXPECT_EQ(r.end, RunEnd::WidthPreset);
    EXPECT_TRUE(r.presetConsumed);
    EXPECT_NEAR(*r.presetWidthCm, 2000.0, 0.005);
}

INSTANTIATE_TEST_SUITE_P(Engines, CompleteRun, ::testing::Values(Engine::Fast, Engine::Reference),
                         test::engineName);

// ---- Ties ------------------------------------------------------------------------

// Corners on the principal row (principal column) make the error of angleX and
// -angleX (angleY and -angleY) the same to the bit, and nearly the same across
// the whole axis. The earliest pose in loop order must win.
struct TieCase {
    const char* name;
    Corners corners;
    bool mirrorX; // the tie partner has -angleX (else -angleY)
};

std::ostream& operator<<(std::ostream& os, const TieCase& c) {
    return os << c.name;
}

class Ties : public ::testing::TestWithParam<std::tuple<TieCase, Engine>> {};

TEST_P(Ties, EarliestPoseInLoopOrderWins) {
    const auto& [c, engine] = GetParam();
    const pixkit::Image photo = makePhoto(1000, 800);
    const tcamera cam = MakeCamera(photo.get(), c.corners);
    const auto found = SearchPose(cam, c.corners[3], 100, 100, std::nullopt, engine);
    ASSERT_TRUE(found.has_value());
    const double ax = found->best.angleX, ay = found->best.angleY;
    const double partnerX = c.mirrorX ? -ax : ax;
    const double partnerY = c.mirrorX ? ay : -ay;
    ASSERT_FALSE(partnerX == ax && partnerY == ay) << "best pose on the mirror axis";

    tpose partner = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, partnerX, partnerY, partner));
    const auto partnerError = PoseError(cam, partner, c.corners[3], 100, 100);
    ASSERT_TRUE(partnerError.has_value());
    EXPECT_EQ(test::bits(*partnerError), test::bits(found->error));
    // Equal error: the smaller angle of the pair comes first in loop order.
    if (c.mirrorX)
        EXPECT_LT(ax, 0.0);
    else
        EXPECT_LT(ay, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Mirrored, Ties,
    ::testing::Combine(
        ::testing::Values(
            TieCase{"PrincipalRow", {{{100, 400}, {700, 400}, {900, 400}, {300, 400}}}, true},
            TieCase{"PrincipalColumn", {{{500, 100}, {500, 600}, {500, 700}, {500, 300}}}, false}),
        ::testing::Values(Engine::Fast, Engine::Reference)),
    [](const auto& p) {
        return std::string(std::get<0>(p.param).name) +
               (std::get<1>(p.param) == Engine::Fast ? "Fast" : "Reference");
    });

} // namespace
} // namespace rectify
