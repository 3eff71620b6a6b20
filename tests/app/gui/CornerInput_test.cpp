// Corner input in the source views, driven by real mouse events.

#include "GuiTestSupport.h"
#include "testsupport/CaseNames.h"

#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/ViewMapping.h"

#include <QAction>
#include <QSpinBox>
#include <QTest>

namespace guitest {
namespace {

using rectify::TPoint;

class CornerInputTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        form = shownForm();
    }
    void press(QWidget* view, int x, int y) {
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
    }
    // Four corners at zoom 100 (view pixels are image pixels).
    void setQuad(QWidget* view, const std::array<QPoint, 4>& c) {
        for (const QPoint& p : c)
            press(view, p.x(), p.y());
    }
    std::unique_ptr<TestForm> form;
};

TEST_F(CornerInputTest, PressAtZoom40MapsHalvesToEven) {
    ASSERT_EQ(form->ZoomEd->value(), 40);
    QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(101, 50));
    EXPECT_TRUE(form->ws.slot(1).insetmode());
    EXPECT_EQ(form->ws.slot(1).following, 1);
    EXPECT_EQ(form->ws.slot(1).corners[0], (TPoint{252, 125})); // 252.5 -> 252
    EXPECT_EQ(form->ws.slot(1).corners[1], (TPoint{252, 125}));
}

TEST_F(CornerInputTest, FourthPressCompletesTheQuadAndStartsOneRun) {
    form->ZoomEd->setValue(100);
    setQuad(form->PaintBox1, {QPoint(10, 10), QPoint(200, 12), QPoint(190, 150), QPoint(15, 140)});
    EXPECT_FALSE(form->ws.slot(1).insetmode());
    EXPECT_TRUE(form->ws.slot(1).setted());
    EXPECT_EQ(form->ws.slot(1).mode, app::CornerMode::Complete);
    EXPECT_EQ(form->runs1, 1);
    EXPECT_EQ(form->runs2, 0);
    EXPECT_TRUE(form->ws.breitetoset); // the preset option is checked at start
    EXPECT_EQ(form->ws.slot(1).corners[2], (TPoint{190, 150}));
}

TEST_F(CornerInputTest, PlacedCornerFollowsTheMouse) {
    form->ZoomEd->setValue(100);
    press(form->PaintBox1, 10, 10);
    QTest::mouseMove(form->PaintBox1, QPoint(60, 70));
    EXPECT_EQ(form->ws.slot(1).corners[1], (TPoint{60, 70}));
    EXPECT_EQ(form->runs1, 0);
}

TEST_F(CornerInputTest, StartCornerOptionRotatesImage1Only) {
    form->ZoomEd->setValue(100);
    form->LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->setChecked(true);
    const std::array<QPoint, 4> abcd{QPoint(20, 180), QPoint(20, 20), QPoint(300, 20),
                                     QPoint(300, 180)};
    setQuad(form->PaintBox1, abcd);
    EXPECT_EQ(form->ws.slot(1).corners, (rectify::Corners{TPoint{20, 20}, TPoint{300, 20},
                                                          TPoint{300, 180}, TPoint{20, 180}}));
    form->showImage2Row();
    form->PaintBox4Paint();
    QApplication::processEvents();
    setQuad(form->PaintBox4, abcd);
    EXPECT_EQ(form->ws.slot(2).corners, (rectify::Corners{TPoint{20, 180}, TPoint{20, 20},
                                                          TPoint{300, 20}, TPoint{300, 180}}));
    EXPECT_EQ(form->runs2, 1);
}

TEST_F(CornerInputTest, WithoutPresetOptionTheWidthIsNotPreset) {
    form->ZoomEd->setValue(100);
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    setQuad(form->PaintBox1, {QPoint(10, 10), QPoint(200, 12), QPoint(190, 150), QPoint(15, 140)});
    EXPECT_FALSE(form->ws.breitetoset);
}

// A press within 5 image pixels of a corner grabs it, or within 4 screen
// pixels beyond its box (7 from its centre) where that is more; farther off
// starts a new quad.
struct GrabCase {
    int zoom;
    int dxImage;
    int dyImage;
    bool grabs;
};

class CornerGrabTest : public CornerInputTest, public ::testing::WithParamInterface<GrabCase> {};

TEST_P(CornerGrabTest, GrabWindowIsFiveImagePixels) {
    const GrabCase c = GetParam();
    form->ZoomEd->setValue(100);
    setQuad(form->PaintBox1, {QPoint(50, 50), QPoint(250, 50), QPoint(250, 150), QPoint(50, 150)});
    form->ZoomEd->setValue(c.zoom);
    QApplication::processEvents();
    const int vx = gui::imageToView(250 + c.dxImage, c.zoom);
    const int vy = gui::imageToView(150 + c.dyImage, c.zoom);
    QTest::mousePress(form->PaintBox1, Qt::RightButton, Qt::NoModifier, QPoint(vx, vy));
    EXPECT_EQ(form->ws.movepoint, c.grabs);
    EXPECT_EQ(form->ws.slot(1).insetmode(), !c.grabs);
    if (c.grabs) {
        EXPECT_EQ(form->ws.pointnr, 2);
    }
    QTest::mouseRelease(form->PaintBox1, Qt::RightButton, Qt::NoModifier, QPoint(vx, vy));
}

INSTANTIATE_TEST_SUITE_P(Window, CornerGrabTest,
                         ::testing::Values(GrabCase{100, 5, 5, true}, GrabCase{100, -5, 5, true},
                                           GrabCase{100, 7, 0, true}, GrabCase{100, 8, 0, false},
                                           GrabCase{100, 0, -8, false}, GrabCase{400, 5, -5, true},
                                           GrabCase{400, 6, 6, false}),
                         [](const testing::TestParamInfo<GrabCase>& p) {
                             return testsupport::numberedName("Zoom", p.param.zoom) +
                                    testsupport::numberedName("X", p.param.dxImage) +
                                    testsupport::numberedName("Y", p.param.dyImage);
                         });

TEST_F(CornerInputTest, DraggedCornerRunsOnRelease) {
    form->ZoomEd->setValue(100);
    setQuad(form->PaintBox1, {QPoint(50, 50), QPoint(250, 50), QPoint(250, 150), QPoint(50, 150)});
    form->ws.breitetoset = false;
    QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(52, 48));
    ASSERT_TRUE(form->ws.movepoint);
    QTest::mouseMove(form->PaintBox1, QPoint(70, 60));
    EXPECT_EQ(form->ws.slot(1).corners[0], (TPoint{70, 60}));
    EXPECT_EQ(form->runs1, 1);
    QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(72, 61));
    EXPECT_FALSE(form->ws.movepoint);
    EXPECT_EQ(form->ws.slot(1).corners[0], (TPoint{72, 61}));
    EXPECT_EQ(form->runs1, 2);
    EXPECT_FALSE(form->ws.breitetoset); // dragging never presets the width
}

TEST_F(CornerInputTest, CursorBecomesAHandOverACorner) {
    form->ZoomEd->setValue(100);
    setQuad(form->PaintBox1, {QPoint(50, 50), QPoint(250, 50), QPoint(250, 150), QPoint(50, 150)});
    QTest::mouseMove(form->PaintBox1, QPoint(248, 52));
    EXPECT_EQ(form->PaintBox1->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(form->PaintBox1, QPoint(120, 100));
    EXPECT_EQ(form->PaintBox1->cursor().shape(), Qt::CrossCursor);
}

TEST_F(CornerInputTest, QuadIsDrawnInPureRedWithCornerBoxes) {
    form->ZoomEd->setValue(100);
    QApplication::processEvents();
    setQuad(form->PaintBox1, {QPoint(50, 50), QPoint(250, 50), QPoint(250, 150), QPoint(50, 150)});
    const QImage& buf = form->bit0;
    ASSERT_EQ(buf.size(), QSize(320, 200));
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_EQ(buf.pixel(150, 50), red);            // top edge
    EXPECT_EQ(buf.pixel(50, 100), red);            // left edge, closing line
    EXPECT_EQ(buf.pixel(247, 153), red);           // box around corner 2
    EXPECT_EQ(buf.pixel(150, 100), qRgb(0, 0, 0)); // inside: the blank picture
    EXPECT_NE(buf.pixel(245, 100), red);           // outside the box
}

TEST_F(CornerInputTest, ZoomSizesAllViewsBeforeDrawing) {
    form->ZoomEd->setValue(100);
    QApplication::processEvents();
    EXPECT_EQ(form->PaintBox1->size(), QSize(320, 200));
    EXPECT_EQ(form->bit0.size(), QSize(320, 200));
    EXPECT_EQ(form->PaintBox2->size(), QSize(320, 200));
    form->ZoomEd->setValue(15); // 48 x 30
    EXPECT_EQ(form->PaintBox1->size(), QSize(48, 30));
    EXPECT_EQ(form->bit0.size(), QSize(48, 30));
    EXPECT_EQ(form->bit1.size(), QSize(48, 30));
}

} // namespace
} // namespace guitest
