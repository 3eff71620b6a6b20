// The safety nets of the corner input, driven through the real widgets:
// undo and redo of quads, drags and rectified turns in the history shared
// with the brush, Escape, the arrow keys and the magnifier.

#include "GuiTestSupport.h"

#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/ViewMapping.h"

#include <QAction>
#include <QApplication>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

namespace guitest {
namespace {

using rectify::Corners;
using rectify::TPoint;

const Corners QuadA{TPoint{20, 20}, TPoint{250, 25}, TPoint{240, 170}, TPoint{25, 160}};
const Corners QuadB{TPoint{40, 30}, TPoint{200, 40}, TPoint{210, 150}, TPoint{50, 140}};

class CornerHistoryTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        form = shownForm();
        form->ZoomEd->setValue(100); // view pixels are image pixels
        QApplication::processEvents();
    }
    void click(QWidget* view, TPoint p) {
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(p.x, p.y));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(p.x, p.y));
    }
    void quad(QWidget* view, const Corners& c) {
        for (const TPoint& p : c)
            click(view, p);
    }
    void drag(QWidget* view, TPoint from, TPoint to) {
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(from.x, from.y));
        QTest::mouseMove(view, QPoint((from.x + to.x) / 2, (from.y + to.y) / 2));
        QTest::mouseMove(view, QPoint(to.x, to.y));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(to.x, to.y));
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(k), m);
    }
    void activate() {
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    std::unique_ptr<TestForm> form;
};

TEST_F(CornerHistoryTest, UndoAndRedoOfAQuadRestoreTheCornersAndRerun) {
    quad(form->PaintBox1, QuadA);
    quad(form->PaintBox1, QuadB);
    ASSERT_EQ(form->ws.slot(1).corners, QuadB);
    ASSERT_EQ(form->runs1, 2);
    EXPECT_FALSE(form->Wiederholen1->isEnabled());

    form->Rckgngig1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
    EXPECT_EQ(form->runs1, 3);
    EXPECT_TRUE(form->ws.slot(1).setted());
    EXPECT_EQ(form->ws.slot(1).mode, app::CornerMode::Complete);
    EXPECT_TRUE(form->Wiederholen1->isEnabled());

    form->Rckgngig1->trigger(); // the very first quad: no quad at all
    EXPECT_FALSE(form->ws.slot(1).setted());
    EXPECT_EQ(form->ws.slot(1).mode, app::CornerMode::Empty);
    EXPECT_FALSE(form->Rckgngig1->isEnabled());

    form->Wiederholen1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
    EXPECT_TRUE(form->ws.slot(1).setted());
    form->Wiederholen1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, QuadB);
    EXPECT_EQ(form->runs1, 6);
    EXPECT_FALSE(form->Wiederholen1->isEnabled());
    EXPECT_EQ(form->runs2, 0);
}

TEST_F(CornerHistoryTest, UndoOfADragInViewTwoReturnsTheCorner) {
    form->showImage2Row();
    form->PaintBox4Paint();
    QApplication::processEvents();
    quad(form->PaintBox4, QuadA);
    drag(form->PaintBox4, QuadA[2], TPoint{200, 100});
    ASSERT_EQ(form->ws.slot(2).corners[2], (TPoint{200, 100}));
    ASSERT_EQ(form->runs2, 2);
    form->Rckgngig1->trigger();
    EXPECT_EQ(form->ws.slot(2).corners, QuadA);
    EXPECT_EQ(form->runs2, 3);
    form->Wiederholen1->trigger();
    EXPECT_EQ(form->ws.slot(2).corners[2], (TPoint{200, 100}));
    EXPECT_EQ(form->runs1, 0);
}

TEST_F(CornerHistoryTest, UndoOfARectifiedTurnRenumbersTheCornersBack) {
    quad(form->PaintBox1, QuadA);
    form->EntzerrtesBildnachlinksrotieren1->trigger();
    ASSERT_NE(form->ws.slot(1).corners, QuadA);
    const Corners turned = form->ws.slot(1).corners;
    const int runs = form->runs1;
    form->Rckgngig1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
    EXPECT_EQ(form->runs1, runs + 1);
    form->Wiederholen1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, turned);
}

TEST_F(CornerHistoryTest, NewChangeAfterAnUndoDropsTheRedo) {
    quad(form->PaintBox1, QuadA);
    drag(form->PaintBox1, QuadA[0], TPoint{30, 30});
    form->Rckgngig1->trigger();
    ASSERT_TRUE(form->Wiederholen1->isEnabled());
    drag(form->PaintBox1, QuadA[1], TPoint{260, 30});
    EXPECT_FALSE(form->Wiederholen1->isEnabled());
    form->Rckgngig1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
}

TEST_F(CornerHistoryTest, StrokesAndCornersShareOneHistoryNewestFirst) {
    pixkit::dib d;
    pixkit::newdib(d, 120, 90, 24, nullptr, 0);
    ASSERT_NE(d.poi, nullptr);
    form->ws.slot(1).result.install(d);
    form->PaintBox2Paint();
    QApplication::processEvents();
    quad(form->PaintBox1, QuadA);
    auto bytes = [&] {
        const pixkit::dib& di2 = form->ws.slot(1).result;
        return std::vector<std::uint8_t>(di2.poi, di2.poi + di2.bytew * pixkit::dibheight(di2));
    };
    const auto blank = bytes();
    drag(form->PaintBox2, TPoint{10, 10}, TPoint{60, 40}); // a brush stroke
    const auto painted = bytes();
    ASSERT_NE(painted, blank);
    drag(form->PaintBox1, QuadA[3], TPoint{30, 150});

    activate();
    form->PaintBox1->setFocus();
    key(Qt::Key_Z, Qt::ControlModifier); // the drag
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
    EXPECT_EQ(bytes(), painted);
    key(Qt::Key_Z, Qt::ControlModifier); // the stroke
    EXPECT_EQ(bytes(), blank);
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
    key(Qt::Key_Y, Qt::ControlModifier); // the stroke again
    EXPECT_EQ(bytes(), painted);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); // the drag again
    EXPECT_EQ(form->ws.slot(1).corners[3], (TPoint{30, 150}));
}

TEST_F(CornerHistoryTest, EscapeCancelsANewQuadWithoutARun) {
    quad(form->PaintBox1, QuadA);
    const QImage shown = form->bit0.copy();
    click(form->PaintBox1, TPoint{100, 100});
    click(form->PaintBox1, TPoint{150, 100});
    QTest::mouseMove(form->PaintBox1, QPoint(170, 120));
    ASSERT_TRUE(form->ws.slot(1).insetmode());
    activate();
    key(Qt::Key_Escape);
    EXPECT_FALSE(form->ws.slot(1).insetmode());
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
    EXPECT_EQ(form->ws.slot(1).mode, app::CornerMode::Complete);
    EXPECT_EQ(form->runs1, 1);
    EXPECT_EQ(form->bit0, shown);
    EXPECT_TRUE(form->loupeRect(1).isEmpty());
}

TEST_F(CornerHistoryTest, EscapeDuringADragPutsTheCornerBackWithoutARun) {
    quad(form->PaintBox1, QuadA);
    QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier,
                      QPoint(QuadA[2].x, QuadA[2].y));
    QTest::mouseMove(form->PaintBox1, QPoint(100, 100));
    ASSERT_EQ(form->ws.slot(1).corners[2], (TPoint{100, 100}));
    activate();
    key(Qt::Key_Escape);
    QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
    EXPECT_FALSE(form->ws.movepoint);
    EXPECT_EQ(form->runs1, 1);
    EXPECT_EQ(form->brushHistory().size(), 1u); // only the quad
}

TEST_F(CornerHistoryTest, EscapeWhilePlacingTheFirstQuadLeavesNoQuad) {
    click(form->PaintBox1, TPoint{100, 100});
    activate();
    key(Qt::Key_Escape);
    EXPECT_FALSE(form->ws.slot(1).insetmode());
    EXPECT_FALSE(form->ws.slot(1).setted());
    EXPECT_EQ(form->ws.slot(1).mode, app::CornerMode::Empty);
    EXPECT_EQ(form->runs1, 0);
}

TEST_F(CornerHistoryTest, ArrowKeysMoveTheLastCornerAndRunOnceAfterTheLastKey) {
    quad(form->PaintBox1, QuadA); // the last press set corner 3
    activate();
    form->PaintBox1->setFocus();
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    key(Qt::Key_Up);
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(form->ws.slot(1).corners[3], (TPoint{QuadA[3].x + 2, QuadA[3].y + 9}));
    EXPECT_EQ(form->runs1, 1); // no run yet
    EXPECT_TRUE(form->Timer1->isActive());
    // The view shows the moved corner at once: its box is drawn there.
    EXPECT_EQ(form->bit0.pixel(QuadA[3].x + 2 - 3, QuadA[3].y + 9), qRgb(255, 0, 0));
    QTest::qWait(600);
    key(Qt::Key_Left);
    QTest::qWait(600);
    EXPECT_EQ(form->runs1, 1); // the timer started anew with the last key
    QTest::qWait(600);
    EXPECT_EQ(form->runs1, 2);
    EXPECT_EQ(form->runs2, 1);
    // The nudges are one step of the history.
    form->Rckgngig1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, QuadA);
}

TEST_F(CornerHistoryTest, ArrowKeysFollowTheDraggedCorner) {
    quad(form->PaintBox1, QuadA);
    drag(form->PaintBox1, QuadA[1], TPoint{240, 30});
    activate();
    form->PaintBox1->setFocus();
    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(form->ws.slot(1).corners[1], (TPoint{230, 30}));
    EXPECT_EQ(form->ws.slot(1).corners[3], QuadA[3]);
}

TEST_F(CornerHistoryTest, LoupeShowsThePixelUnderTheCrossHairWhileDragging) {
    // A picture whose pixels all differ.
    pixkit::dib d;
    pixkit::newdib(d, 320, 200, 24, nullptr, 0);
    ASSERT_NE(d.poi, nullptr);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            pixkit::setpixel(
                d, x, y,
                pixkit::rgb(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 77));
    form->ws.slot(1).source.install(d);
    form->PaintBox1Paint();
    quad(form->PaintBox1, QuadA);
    EXPECT_TRUE(form->loupeRect(1).isEmpty());

    const TPoint to{60, 45};
    QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier,
                      QPoint(QuadA[0].x, QuadA[0].y));
    QTest::mouseMove(form->PaintBox1, QPoint(to.x, to.y));
    const QRect loupe = form->loupeRect(1);
    ASSERT_EQ(loupe.size(), QSize(gui::TMainForm::LoupeSize, gui::TMainForm::LoupeSize));
    // Away from the mouse: the mouse is top left, the loupe bottom right.
    const QRect seen = form->PaintBox1->visibleRect();
    EXPECT_EQ(loupe.bottomRight(), seen.bottomRight() - QPoint(4, 4));
    const QImage shown = form->PaintBox1->grab(loupe).toImage();
    const int mid = gui::TMainForm::LoupeSize / 2;
    // Zoom 100: the loupe magnifies four times, one image pixel spans four.
    EXPECT_EQ(shown.pixel(mid, mid), qRgb(to.x, to.y, 77));
    EXPECT_EQ(shown.pixel(mid - 2, mid - 2), qRgb(to.x, to.y, 77));
    // Columns mid - 2 ... mid + 1 show the pixel, the next four its neighbour.
    EXPECT_EQ(shown.pixel(mid + 4, mid + 1), qRgb(to.x + 1, to.y, 77));
    EXPECT_EQ(shown.pixel(mid + 1, mid - 6), qRgb(to.x, to.y - 1, 77));
    EXPECT_EQ(shown.pixel(mid - 40, mid - 50), qRgb(to.x - 10, to.y - 12, 77));
    EXPECT_EQ(shown.pixel(mid - 3, mid), qRgb(255, 0, 0)); // the cross-hair's frame

    QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(to.x, to.y));
    EXPECT_TRUE(form->loupeRect(1).isEmpty());
}

TEST_F(CornerHistoryTest, LoupeIsSharpAtLowZoomToo) {
    // A photograph that leaves the loupe room beside the mouse at 10 %.
    form->ws.slot(1).source = pixkit::Image::blank(3200, 2000);
    form->ZoomEd->setValue(10); // the loupe shows 100 %: one image pixel each
    QApplication::processEvents();
    QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(form->PaintBox1, QPoint(12, 11));
    const QRect loupe = form->loupeRect(1);
    ASSERT_FALSE(loupe.isEmpty());
    EXPECT_EQ(form->ws.slot(1).corners[1], (TPoint{120, 110}));
}

TEST_F(CornerHistoryTest, CornerBeyondThePictureIsGrabbedAtTheViewsEdge) {
    quad(form->PaintBox1,
         (Corners{TPoint{-30, 20}, TPoint{250, 25}, TPoint{240, 170}, TPoint{25, 160}}));
    QTest::mouseMove(form->PaintBox1, QPoint(0, 22));
    EXPECT_EQ(form->PaintBox1->cursor().shape(), Qt::PointingHandCursor);
    drag(form->PaintBox1, TPoint{0, 22}, TPoint{12, 30});
    EXPECT_EQ(form->ws.slot(1).corners[0], (TPoint{12, 30}));
    EXPECT_EQ(form->runs1, 2);
}

} // namespace
} // namespace guitest
