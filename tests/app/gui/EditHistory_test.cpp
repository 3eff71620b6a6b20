// The one undo history of the window on its own: corner steps, nudges that
// join, strokes of an image made anew, and the limit on strokes.

#include "gui/EditHistory.h"

#include <gtest/gtest.h>

namespace {

using gui::CornerState;
using gui::EditHistory;

CornerState at(int x) {
    CornerState s;
    s.corners[0] = {x, 0};
    s.setted = true;
    return s;
}

TEST(EditHistoryTest, NudgesInARowAreOneStepAnythingElseEndsThem) {
    EditHistory h;
    const pixkit::dib none{};
    h.pushCorners(1, at(0), at(1), true);
    h.pushCorners(1, at(1), at(2), true);
    h.pushCorners(2, at(0), at(5), true); // the other view: a step of its own
    h.pushCorners(1, at(2), at(3), true);
    EXPECT_EQ(h.size(), 3u);
    h.pushCorners(1, at(3), at(3)); // nothing changed: no step
    EXPECT_EQ(h.size(), 3u);
    auto step = h.undo(none, none);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->state, at(2));
    step = h.undo(none, none);
    EXPECT_EQ(step->slot, 2);
    step = h.undo(none, none);
    EXPECT_EQ(step->state, at(0)); // both nudges of view 1 at once
    EXPECT_FALSE(h.canUndo());
    step = h.redo(none, none);
    EXPECT_EQ(step->state, at(2));
}

TEST(EditHistoryTest, StrokesOfAnImageMadeAnewLeaveUndoAndRedo) {
    pixkit::DibHolder one, two;
    pixkit::newdib(one.get(), 20, 20, 24, nullptr, 0);
    pixkit::newdib(two.get(), 20, 20, 24, nullptr, 0);
    EditHistory h;
    for (int slot : {1, 2, 1}) {
        pixkit::StrokeRecord r(slot == 1 ? one.get() : two.get());
        r.saveDisc(slot == 1 ? one.get() : two.get(), 10, 10, 3);
        h.pushStroke(slot, std::move(r));
    }
    h.pushCorners(1, at(0), at(1));
    ASSERT_EQ(h.size(), 4u);
    h.undo(one.get(), two.get()); // the corners
    h.undo(one.get(), two.get()); // the last stroke of image 1, now redoable
    h.clearStrokes(1);
    EXPECT_EQ(h.size(), 1u); // the stroke of image 2
    const auto redone = h.redo(one.get(), two.get());
    ASSERT_TRUE(redone);
    EXPECT_TRUE(redone->corners); // the stroke of image 1 is gone from redo too
    EXPECT_GT(h.bytes(), 0u);     // the stroke of image 2 still holds its pixels
}

TEST(EditHistoryTest, KeepsTheNewestStrokesUpToTheLimit) {
    pixkit::DibHolder one;
    pixkit::newdib(one.get(), 30, 30, 24, nullptr, 0);
    EditHistory h;
    for (std::size_t i = 0; i < EditHistory::MaxStrokes + 4; ++i) {
        pixkit::StrokeRecord r(one.get());
        r.saveDisc(one.get(), 15, 15, 2);
        h.pushStroke(1, std::move(r));
        h.pushCorners(2, at(static_cast<int>(i)), at(static_cast<int>(i) + 1));
    }
    std::size_t strokes = 0;
    const pixkit::dib none{};
    while (const auto step = h.undo(one.get(), none))
        strokes += step->corners ? 0u : 1u;
    EXPECT_EQ(strokes, EditHistory::MaxStrokes);
}

} // namespace
