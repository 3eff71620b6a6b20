// One run of RectifyImage against a recording stand-in for the window's fields.

#include "TestScenes.h"
#include "rectify/Search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace rectify {
namespace {

using test::makePhoto;

// The window's fields as the run sees them; every read and write is logged,
// writes with the flag values at that moment.
class RecordingFields : public RunFields {
public:
    explicit RecordingFields(const bool& donotreender) : m_donotreender(donotreender) {}

    bool hold = false;
    double widthCm = 1000, heightCm = 1000;
    int targetPercent_ = 100, areaPercent_ = 100;
    double angleX = 0, angleY = 0;
    std::vector<std::string> log;

    bool holdChecked() override { return note("hold"), hold; }
    double realWidthCm() override { return note("width"), widthCm; }
    double realHeightCm() override { return note("height"), heightCm; }
    int targetPercent() override { return note("target"), targetPercent_; }
    int areaPercent() override { return note("area"), areaPercent_; }
    double angleXDeg() override { return note("angleX"), angleX; }
    double angleYDeg() override { return note("angleY"), angleY; }
    void setAngleXDeg(double v) override { angleX = v, noteWrite("setAngleX"); }
    void setAngleYDeg(double v) override { angleY = v, noteWrite("setAngleY"); }
    void setRealWidthCm(double v) override { widthCm = v, noteWrite("setWidth"); }
    void repaintResult(int slot) override { note("repaint" + std::to_string(slot)); }
    void resultRefused(std::int64_t w, std::int64_t h) override {
        note("refused" + std::to_string(w) + "x" + std::to_string(h));
    }

private:
    void note(const std::string& s) { log.push_back(s); }
    void noteWrite(const std::string& s) { log.push_back(s + (m_donotreender ? "[dnr]" : "")); }
    const bool& m_donotreender;
};

std::string joined(const std::vector<std::string>& v) {
    std::ostringstream os;
    for (std::size_t k = 0; k < v.size(); ++k)
        os << (k ? " " : "") << v[k];
    return os.str();
}

constexpr Corners AxisParallel{{{100, 100}, {300, 100}, {300, 200}, {100, 200}}};

// Workspace of one slot: flags, corners, source and result.
struct Workspace {
    bool setwink = false, breitetoset = false, donotreender = false;
    bool setted = true;
    Corners corners = AxisParallel;
    pixkit::DibHolder source = makePhoto(1000, 800);
    pixkit::DibHolder result;
    RecordingFields fields{donotreender};

    RunEnd run(int slot = 1, Engine engine = Engine::Fast, RunScope scope = RunScope::Full) {
        return RectifyImage(fields, RunFlags{setwink, breitetoset, donotreender},
                            SlotFields{slot, setted, corners, source.get(), result.get()}, engine,
                            scope);
    }
};

// ---- Runs that stop early --------------------------------------------------------

struct EarlyCase {
    const char* name;
    void (*prepare)(Workspace&);
    RunEnd end;
    bool setwinkAfter;     // setwink is set before the run
    bool breitetosetAfter; // breitetoset is set before the run
    const char* log;
};

std::ostream& operator<<(std::ostream& os, const EarlyCase& c) {
    return os << c.name;
}

class EarlyEnd : public ::testing::TestWithParam<EarlyCase> {};

TEST_P(EarlyEnd, LeavesResultAndAnglesAlone) {
    const EarlyCase& c = GetParam();
    Workspace ws;
    ws.setwink = true;
    ws.breitetoset = true;
    ws.fields.angleX = 3.25;
    ws.fields.angleY = -4.5;
    pixkit::dib previous;
    pixkit::newdib(previous, 7, 5, 24, nullptr, 0);
    ws.result.install(previous);
    c.prepare(ws);

    EXPECT_EQ(ws.run(), c.end);
    EXPECT_EQ(ws.setwink, c.setwinkAfter);
    EXPECT_EQ(ws.breitetoset, c.breitetosetAfter);
    EXPECT_FALSE(ws.donotreender);
    EXPECT_EQ(ws.fields.angleX, 3.25);
    EXPECT_EQ(ws.fields.angleY, -4.5);
    EXPECT_EQ(ws.result.get().poi, previous.poi);
    EXPECT_EQ(joined(ws.fields.log), c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EarlyEnd,
    ::testing::Values(
        // The hold check box: not even setwink changes.
        EarlyCase{"Held", [](Workspace& w) { w.fields.hold = true; }, RunEnd::Held, true, true,
                  "hold"},
        EarlyCase{"NoCorners", [](Workspace& w) { w.setted = false; }, RunEnd::NoCorners, false,
                  true, "hold"},
        // The width request waits for a run with usable corners.
        EarlyCase{"CornersCoincide", [](Workspace& w) { w.corners[2] = w.corners[0]; },
                  RunEnd::CornersCoincide, false, true, "hold"},
        EarlyCase{"OneColumnWide",
                  [](Workspace& w) {
                      w.corners = {{{5, 0}, {5, 10}, {5, 20}, {5, 30}}};
                  },
                  RunEnd::NoTargetSize, true, true, "hold width height target"},
        EarlyCase{"NoPhotograph", [](Workspace& w) { w.source.install(pixkit::dib{}); },
                  RunEnd::Fault, true, true, "hold"},
        EarlyCase{"RealHeightZero", [](Workspace& w) { w.fields.heightCm = 0; }, RunEnd::Fault,
                  true, true, "hold width height target"},
        // W = H = round(1 * 100 / 100) = 1: the first pose divides 0 by 0.
        EarlyCase{"TargetOfOnePixel",
                  [](Workspace& w) {
                      w.setwink = false;
                      w.corners = {{{0, 0}, {99, 0}, {99, 99}, {0, 99}}};
                      w.fields.targetPercent_ = 1;
                  },
                  RunEnd::Fault, false, true, "hold width height target"},
        EarlyCase{"TargetOfOnePixelFixedAngles",
                  [](Workspace& w) {
                      w.corners = {{{0, 0}, {99, 0}, {99, 99}, {0, 99}}};
                      w.fields.targetPercent_ = 1;
                  },
                  RunEnd::Fault, true, true, "hold width height target angleX angleY"}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Complete runs ---------------------------------------------------------------

class CompleteRun : public ::testing::TestWithParam<Engine> {};

TEST_P(CompleteRun, AxisParallelRectangleIsSeenHeadOn) {
    Workspace ws;
    ws.fields.angleX = 7;
    EXPECT_EQ(ws.run(2, GetParam()), RunEnd::Done);
    EXPECT_EQ(ws.fields.angleX, 0.0);
    EXPECT_EQ(ws.fields.angleY, 0.0);
    EXPECT_EQ(joined(ws.fields.log),
              "hold width height target setAngleX[dnr] setAngleY[dnr] area repaint2");
    ASSERT_NE(ws.result.get().poi, nullptr);
    EXPECT_EQ(pixkit::dibwidth(ws.result.get()), 201);
    EXPECT_EQ(pixkit::dibheight(ws.result.get()), 201);
    EXPECT_EQ(pixkit::getpixel(ws.result.get(), 0, 0), pixkit::getpixel(ws.source.get(), 100, 100));
}

// With the width request the run writes a width in place of an image; the
// next run then makes the image with that width.
TEST_P(CompleteRun, WidthPresetThenImage) {
    Workspace ws;
    ws.breitetoset = true;
    pixkit::dib previous;
    pixkit::newdib(previous, 3, 3, 24, nullptr, 0);
    ws.result.install(previous);

    EXPECT_EQ(ws.run(1, GetParam()), RunEnd::WidthPreset);
    EXPECT_FALSE(ws.breitetoset);
    EXPECT_NEAR(ws.fields.widthCm, 2000.0, 0.005); // La / Lb = 200 / 100
    EXPECT_EQ(ws.fields.heightCm, 1000.0);
    EXPECT_EQ(ws.result.get().poi, previous.poi);
    // The width write raises the field's handler: not covered by donotreender.
    EXPECT_EQ(joined(ws.fields.log),
              "hold width height target setAngleX[dnr] setAngleY[dnr] height setWidth");

    ws.fields.widthCm = std::round(ws.fields.widthCm * 100) / 100; // the field's two decimals
    ws.fields.log.clear();
    EXPECT_EQ(ws.run(1, GetParam()), RunEnd::Done);
    EXPECT_EQ(pixkit::dibwidth(ws.result.get()), 202);
    EXPECT_EQ(pixkit::dibheight(ws.result.get()), 101);
}

// Typed angles: the image of exactly those angles, the fields read back; the
// next run (image 2 in the same timer tick) searches again.
TEST_P(CompleteRun, TypedAnglesAreUsedOnce) {
    Workspace ws;
    ws.setwink = true;
    ws.fields.angleX = 10;
    ws.fields.angleY = -5;
    EXPECT_EQ(ws.run(1, GetParam()), RunEnd::Done);
    EXPECT_FALSE(ws.setwink);
    EXPECT_EQ(ws.fields.angleX, 10.0);
    EXPECT_EQ(ws.fields.angleY, -5.0);
    EXPECT_EQ(joined(ws.fields.log), "hold width height target angleX angleY setAngleX[dnr] "
                                     "setAngleY[dnr] area repaint1");

    const tcamera cam = MakeCamera(ws.source.get(), ws.corners);
    tpose pose = StartPose(cam);
    ASSERT_TRUE(EvaluatePose(cam, 10, -5, pose));
    pixkit::DibHolder expected;
    ASSERT_EQ(ResampleRectified(ws.source.get(), cam, pose, 201, 201, 100, expected.get()),
              ResampleEnd::Done);
    EXPECT_TRUE(test::sameImage(ws.result.get(), expected.get()));

    Workspace second;
    second.fields.angleX = 10;
    second.fields.angleY = -5;
    EXPECT_EQ(second.run(2, GetParam()), RunEnd::Done);
    EXPECT_EQ(second.fields.angleX, 0.0);
    EXPECT_EQ(second.fields.angleY, 0.0);
}

TEST_P(CompleteRun, FailedImageKeepsThePreviousResultAndDoesNotRepaint) {
    Workspace ws;
    ws.fields.areaPercent_ = 10000;
    ws.fields.widthCm = 200000; // W = 20200 x 101: 10000 % is beyond the pixel limit
    pixkit::dib previous;
    pixkit::newdib(previous, 3, 3, 24, nullptr, 0);
    ws.result.install(previous);
    EXPECT_EQ(ws.run(1, GetParam()), RunEnd::TooLarge);
    EXPECT_EQ(ws.result.get().poi, previous.poi);
    EXPECT_EQ(joined(ws.fields.log),
              "hold width height target setAngleX[dnr] setAngleY[dnr] area refused2020000x10100");
}

TEST_P(CompleteRun, ResultWithoutAPixelKeepsThePreviousResult) {
    Workspace ws;
    ws.corners = Corners{{{100, 100}, {103, 100}, {103, 103}, {100, 103}}};
    ws.fields.areaPercent_ = 1; // 1 % of a 4 x 4 rectangle rounds to nothing
    pixkit::dib previous;
    pixkit::newdib(previous, 3, 3, 24, nullptr, 0);
    ws.result.install(previous);
    EXPECT_EQ(ws.run(1, GetParam()), RunEnd::EmptyImage);
    EXPECT_EQ(ws.result.get().poi, previous.poi);
    EXPECT_EQ(joined(ws.fields.log), "hold width height target setAngleX[dnr] setAngleY[dnr] area");
}

// A run that stops before the resampling does everything up to it (angles
// written, flags cleared) and leaves the result image and the view alone; the
// full run that follows makes the image a run of its own would make.
TEST_P(CompleteRun, PoseOnlyStopsBeforeTheImage) {
    Workspace ws;
    ws.corners = {{{120, 90}, {610, 140}, {590, 520}, {100, 560}}};
    pixkit::dib previous;
    pixkit::newdib(previous, 3, 3, 24, nullptr, 0);
    ws.result.install(previous);
    EXPECT_EQ(ws.run(1, GetParam(), RunScope::PoseOnly), RunEnd::PoseOnly);
    EXPECT_EQ(ws.result.get().poi, previous.poi);
    EXPECT_EQ(joined(ws.fields.log), "hold width height target setAngleX[dnr] setAngleY[dnr]");
    const double angleX = ws.fields.angleX, angleY = ws.fields.angleY;
    EXPECT_NE(angleX, 0.0);

    EXPECT_EQ(ws.run(1, GetParam()), RunEnd::Done);
    EXPECT_EQ(ws.fields.angleX, angleX);
    EXPECT_EQ(ws.fields.angleY, angleY);
    Workspace single;
    single.corners = ws.corners;
    EXPECT_EQ(single.run(1, GetParam()), RunEnd::Done);
    EXPECT_TRUE(test::sameImage(ws.result.get(), single.result.get()));
}

// A pending width preset still wins: the run presets the width as usual.
TEST_P(CompleteRun, PoseOnlyKeepsTheWidthPreset) {
    Workspace ws;
    ws.breitetoset = true;
    EXPECT_EQ(ws.run(1, GetParam(), RunScope::PoseOnly), RunEnd::WidthPreset);
    EXPECT_FALSE(ws.breitetoset);
    EXPECT_NEAR(ws.fields.widthCm, 2000.0, 0.005);
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
    const pixkit::DibHolder photo = makePhoto(1000, 800);
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
