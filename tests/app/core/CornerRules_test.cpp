// The corner input of the source views, driven on the workspace alone: the
// window only maps mouse positions and acts on the returned steps.

#include "app/Workspace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using rectify::TPoint;

using CornerWorkspace = app::Workspace;
using app::CornerEvent;
using app::CornerMode;

const TPoint A{100, 100};
const TPoint B{400, 110};
const TPoint C{390, 300};
const TPoint D{90, 310};

// Four presses on slot `slot`; returns the step of the last one.
app::CornerStep placeFour(CornerWorkspace& ws, int slot, const app::CornerOptions& options) {
    ws.cornerDown(slot, A, options);
    ws.cornerDown(slot, B, options);
    ws.cornerDown(slot, C, options);
    return ws.cornerDown(slot, D, options);
}

TEST(CornerPlacing, PressesStepThroughTheModesAndTheNextCornerFollowsTheMouse) {
    CornerWorkspace ws;
    const app::CornerOptions none;
    EXPECT_EQ(ws.slot(1).mode, CornerMode::Empty);

    app::CornerStep step = ws.cornerDown(1, A, none);
    EXPECT_EQ(step.event, CornerEvent::QuadStarted);
    EXPECT_EQ(ws.slot(1).mode, CornerMode::Placing);
    EXPECT_TRUE(ws.slot(1).insetmode());
    EXPECT_FALSE(ws.slot(1).setted());
    EXPECT_EQ(ws.slot(1).following, 1);
    EXPECT_EQ(ws.slot(1).corners[0], A);
    EXPECT_EQ(ws.slot(1).corners[1], A);
    EXPECT_TRUE(step.repaint);
    EXPECT_FALSE(step.run);

    step = ws.cornerMove(1, B);
    EXPECT_EQ(ws.slot(1).corners[1], B);
    EXPECT_EQ(step.event, CornerEvent::Followed);
    EXPECT_TRUE(step.repaint);

    step = ws.cornerDown(1, B, none);
    EXPECT_EQ(ws.slot(1).following, 2);
    EXPECT_EQ(ws.slot(1).corners[2], B) << "the next corner starts under the mouse";
    EXPECT_TRUE(step.repaint);
    EXPECT_FALSE(step.run);

    // A release while placing does nothing.
    step = ws.cornerUp(1, D);
    EXPECT_EQ(step.event, CornerEvent::None);
    EXPECT_FALSE(step.run);
    EXPECT_FALSE(step.repaint);
    EXPECT_EQ(ws.slot(1).following, 2);

    step = ws.cornerDown(1, C, none);
    EXPECT_EQ(ws.slot(1).following, app::LastCorner);
    EXPECT_EQ(ws.slot(1).mode, CornerMode::Placing);
    EXPECT_EQ(step.event, CornerEvent::CornerPlaced);
    EXPECT_EQ(step.corner, 2);

    step = ws.cornerDown(1, D, none);
    EXPECT_FALSE(ws.slot(1).insetmode());
    EXPECT_TRUE(ws.slot(1).setted());
    EXPECT_EQ(ws.slot(1).mode, CornerMode::Complete);
    EXPECT_EQ(step.event, CornerEvent::QuadCompleted);
    EXPECT_EQ(step.corner, app::LastCorner);
    EXPECT_TRUE(step.run);
    EXPECT_TRUE(step.repaint);
    EXPECT_EQ(ws.slot(1).corners, (rectify::Corners{A, B, C, D}));
    EXPECT_FALSE(ws.breitetoset);
}

struct StartCornerCase {
    std::string name;
    int slot;
    bool startBottomLeft;
    rectify::Corners expected;
};

class StartCorner : public testing::TestWithParam<StartCornerCase> {};

TEST_P(StartCorner, RotatesOnlyImage1) {
    const StartCornerCase& c = GetParam();
    CornerWorkspace ws;
    const app::CornerStep last = placeFour(ws, c.slot, {c.startBottomLeft, false});
    EXPECT_EQ(ws.slot(c.slot).corners, c.expected);
    // The corner pressed last (D) is the one the step names.
    EXPECT_EQ(ws.slot(c.slot).corners[static_cast<std::size_t>(last.corner)], D);
    EXPECT_EQ(c.slot == 1 ? ws.slot(2).corners : ws.slot(1).corners, rectify::Corners{})
        << "other slot untouched";
}

INSTANTIATE_TEST_SUITE_P(
    Corners, StartCorner,
    testing::Values(StartCornerCase{"Image1TopLeft", 1, false, {A, B, C, D}},
                    StartCornerCase{"Image1BottomLeft", 1, true, {B, C, D, A}},
                    StartCornerCase{"Image2TopLeft", 2, false, {A, B, C, D}},
                    StartCornerCase{"Image2OptionIgnored", 2, true, {A, B, C, D}}),
    [](const testing::TestParamInfo<StartCornerCase>& p) { return p.param.name; });

TEST(CornerPlacing, PresetOptionSetsBreitetosetOnlyOnTheFourthPress) {
    CornerWorkspace ws;
    const app::CornerOptions preset{false, true};
    ws.cornerDown(2, A, preset);
    ws.cornerDown(2, B, preset);
    ws.cornerDown(2, C, preset);
    EXPECT_FALSE(ws.breitetoset);
    ws.cornerDown(2, D, preset);
    EXPECT_TRUE(ws.breitetoset);
    EXPECT_TRUE(ws.slot(2).setted());
    EXPECT_FALSE(ws.slot(1).setted());
}

struct GrabCase {
    std::string name;
    TPoint offset;
    bool grabs;
};

class CornerGrab : public testing::TestWithParam<GrabCase> {};

TEST_P(CornerGrab, WithinFiveImagePixelsInBothDirections) {
    const GrabCase& g = GetParam();
    CornerWorkspace ws;
    placeFour(ws, 1, {});
    const TPoint press{C.x + g.offset.x, C.y + g.offset.y};
    const app::CornerStep step = ws.cornerDown(1, press, {});
    EXPECT_EQ(ws.movepoint, g.grabs);
    EXPECT_EQ(step.event, g.grabs ? CornerEvent::DragStarted : CornerEvent::QuadStarted);
    if (g.grabs) {
        EXPECT_EQ(ws.pointnr, 2);
        EXPECT_EQ(step.corner, 2);
        EXPECT_FALSE(step.repaint) << "a grab does not repaint";
        EXPECT_FALSE(ws.slot(1).insetmode());
    } else {
        // A press away from the corners starts a new quad; setted stays.
        EXPECT_TRUE(ws.slot(1).insetmode());
        EXPECT_TRUE(ws.slot(1).setted());
        EXPECT_EQ(ws.slot(1).following, 1);
        EXPECT_EQ(ws.slot(1).corners[0], press);
        EXPECT_TRUE(step.repaint);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corners, CornerGrab,
    testing::Values(GrabCase{"OnTheCorner", {0, 0}, true}, GrabCase{"FiveUpLeft", {-5, -5}, true},
                    GrabCase{"FiveDownRight", {5, 5}, true}, GrabCase{"SixRight", {6, 0}, false},
                    GrabCase{"SixUp", {0, -6}, false}, GrabCase{"SixLeftFiveDown", {-6, 5}, false}),
    [](const testing::TestParamInfo<GrabCase>& p) { return p.param.name; });

TEST(CornerGrab, LowerIndexWinsWithTwoCornersInReach) {
    CornerWorkspace ws;
    ws.completeQuad(1, {TPoint{10, 10}, TPoint{14, 10}, TPoint{200, 200}, TPoint{0, 200}}, false);
    ws.cornerDown(1, TPoint{13, 10}, {});
    EXPECT_TRUE(ws.movepoint);
    EXPECT_EQ(ws.pointnr, 0);
}

TEST(CornerDrag, MoveRepaintsReleaseStoresAndRunsWithoutPreset) {
    CornerWorkspace ws;
    placeFour(ws, 1, {});
    ws.breitetoset = false;
    ws.cornerDown(1, TPoint{B.x + 3, B.y - 2}, {false, true});
    ASSERT_TRUE(ws.movepoint);
    EXPECT_EQ(ws.slot(1).corners[1], B) << "a press alone leaves the corner where it was";

    app::CornerStep step = ws.cornerMove(1, TPoint{420, 130});
    EXPECT_EQ(ws.slot(1).corners[1], (TPoint{420, 130}));
    EXPECT_TRUE(step.repaint);
    EXPECT_FALSE(step.run);

    step = ws.cornerUp(1, TPoint{425, 135});
    EXPECT_EQ(step.event, CornerEvent::DragEnded);
    EXPECT_EQ(step.corner, 1);
    EXPECT_FALSE(ws.movepoint);
    EXPECT_EQ(ws.slot(1).corners[1], (TPoint{425, 135}));
    EXPECT_TRUE(step.run);
    EXPECT_FALSE(step.repaint) << "the last move has drawn";
    EXPECT_FALSE(ws.breitetoset) << "dragging never presets the size";
}

TEST(CornerDrag, PressAndReleaseWithoutMovingTakesThePressPosition) {
    CornerWorkspace ws;
    placeFour(ws, 2, {});
    const TPoint press{D.x - 5, D.y + 5};
    ws.cornerDown(2, press, {});
    const app::CornerStep step = ws.cornerUp(2, press);
    EXPECT_EQ(ws.slot(2).corners[3], press);
    EXPECT_TRUE(step.run);
}

TEST(CornerCursor, HandOverACornerCrossElsewhereNothingBeforeAQuad) {
    CornerWorkspace ws;
    EXPECT_EQ(ws.cornerMove(1, A).cursor, app::CornerCursor::Keep);
    EXPECT_FALSE(ws.cornerMove(1, A).repaint);

    placeFour(ws, 1, {});
    EXPECT_EQ(ws.cornerMove(1, TPoint{A.x + 5, A.y}).cursor, app::CornerCursor::Hand);
    EXPECT_EQ(ws.cornerMove(1, TPoint{A.x + 5, A.y}).event, CornerEvent::Hovered);
    EXPECT_EQ(ws.cornerMove(1, TPoint{A.x + 6, A.y}).cursor, app::CornerCursor::Cross);
    EXPECT_FALSE(ws.cornerMove(1, A).repaint);
    EXPECT_EQ(ws.slot(1).corners[0], A) << "hovering moves no corner";
}

TEST(CompleteQuad, InstallsTheQuadInStoredOrderAndAsksForRunAndRepaint) {
    CornerWorkspace ws;
    ws.cornerDown(2, A, {}); // placing on image 2 ends as well
    const app::CornerStep step = ws.completeQuad(2, {D, C, B, A}, true);
    EXPECT_EQ(ws.slot(2).corners, (rectify::Corners{D, C, B, A}));
    EXPECT_FALSE(ws.slot(2).insetmode());
    EXPECT_TRUE(ws.slot(2).setted());
    EXPECT_EQ(ws.slot(2).mode, CornerMode::Complete);
    EXPECT_TRUE(ws.breitetoset);
    EXPECT_TRUE(step.run);
    EXPECT_TRUE(step.repaint);
    EXPECT_FALSE(ws.slot(1).setted());
}

} // namespace

namespace {

// A corner beyond the picture is grabbed on the picture's edge nearest to it.
struct ReachCase {
    const char* name;
    TPoint corner;
    TPoint press;
    bool reached;
};

class CornerReach : public ::testing::TestWithParam<ReachCase> {};

TEST_P(CornerReach, OnTheCornerOrOnTheEdgeNearestToAnOutsideCorner) {
    const ReachCase& c = GetParam();
    EXPECT_EQ(app::CornerReached(c.corner, c.press, 320, 200), c.reached);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CornerReach,
    ::testing::Values(ReachCase{"InsideWithinFive", {100, 100}, {105, 95}, true},
                      ReachCase{"InsideSixAway", {100, 100}, {106, 100}, false},
                      ReachCase{"InsideNearTheEdgeNotFromTheEdge", {7, 100}, {0, 100}, false},
                      ReachCase{"LeftOfThePictureAtTheLeftEdge", {-40, 100}, {0, 103}, true},
                      ReachCase{"LeftOfThePictureSixAlongTheEdge", {-40, 100}, {0, 106}, false},
                      ReachCase{"LeftOfThePictureFiveIn", {-40, 100}, {5, 100}, true},
                      ReachCase{"BelowRightAtTheLastPixel", {400, 260}, {319, 199}, true},
                      ReachCase{"BelowRightOneInside", {400, 260}, {313, 199}, false},
                      ReachCase{"FarAboveAtTheTopEdge", {150, -100000}, {152, 0}, true},
                      ReachCase{"OutsideOnTheCornerItself", {-40, 100}, {-38, 98}, true}),
    [](const testing::TestParamInfo<ReachCase>& p) { return std::string(p.param.name); });

TEST(CornerReachWorkspace, DragStartsAtTheEdgeForACornerOutsideThePicture) {
    CornerWorkspace ws;
    ws.createWorkspace("/nonexistent/fassadenplan");
    const app::CornerOptions none;
    ws.cornerDown(1, {-30, 20}, none);
    ws.cornerDown(1, {300, 20}, none);
    ws.cornerDown(1, {300, 180}, none);
    ws.cornerDown(1, {20, 180}, none);
    ASSERT_TRUE(ws.slot(1).setted());
    ws.cornerDown(1, {0, 22}, none);
    EXPECT_TRUE(ws.movepoint);
    EXPECT_EQ(ws.pointnr, 0);
    EXPECT_EQ(ws.cornerUp(1, {5, 22}).run, true);
    EXPECT_EQ(ws.slot(1).corners[0], (TPoint{5, 22}));
}

} // namespace
