// Views that keep only their visible part in the back buffer: what they
// show is pixel for pixel what the whole-view buffer shows, at every zoom and
// scroll position, with the red quad and its corner boxes.

#include "GuiTestSupport.h"
#include "testsupport/CaseNames.h"

#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMovePicsForm.h"
#include "gui/ViewMapping.h"
#include "gui/ViewRender.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

namespace guitest {
namespace {

// A picture whose every pixel differs from its neighbours, so a shifted or
// wrongly scaled part shows.
void fillPattern(const pixkit::dib& d) {
    for (int y = 0; y < pixkit::dibheight(d); ++y) {
        std::uint8_t* row = pixkit::pictureRow(d, y);
        for (int x = 0; x < pixkit::dibwidth(d); ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 7 + y);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 5 + x / 3);
            row[3 * x + 2] = static_cast<std::uint8_t>((x ^ y) * 3);
        }
    }
}

void installPattern(pixkit::Image& field, int w, int h) {
    pixkit::dib d;
    pixkit::newdib(d, w, h, 24, nullptr, 0);
    ASSERT_NE(d.poi, nullptr);
    fillPattern(d);
    field.install(d);
}

// Where two buffers differ first; empty when they are equal.
std::string difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return "sizes " + std::to_string(a.width()) + "x" + std::to_string(a.height()) + " and " +
               std::to_string(b.width()) + "x" + std::to_string(b.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " +
                       std::to_string(a.pixel(x, y)) + " and " + std::to_string(b.pixel(x, y));
    return {};
}

// Scroll positions as fractions of the scroll range.
constexpr double ScrollSteps[] = {0.0, 0.31, 0.5, 0.77, 1.0};

class ViewPartTest : public GuiTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        form = shownForm();
        installPattern(form->ws.slot(1).source, 301, 203);
        installPattern(form->ws.slot(1).result, 257, 190);
        // A quad with one corner beyond the picture and one on its edge.
        form->ws.completeQuad(1,
                              {rectify::TPoint{20, 15}, rectify::TPoint{330, 40},
                               rectify::TPoint{280, 202}, rectify::TPoint{-6, 170}},
                              false);
    }

    // The whole-view buffer of `view` at the current zoom.
    QImage wholeBuffer(gui::PaintBoxView* view, const QImage& buffer) {
        form->setWholeViewPixels(std::numeric_limits<qint64>::max());
        view->onPaint();
        QApplication::processEvents();
        view->onPaint();
        EXPECT_EQ(buffer.size(), view->size());
        EXPECT_EQ(view->bufferOrigin(), QPoint(0, 0));
        return buffer.copy();
    }

    // Scrolls through the view with only its visible part kept and compares
    // the buffer, and what the widget paints, with the whole buffer.
    void compareParts(gui::ScrollBox* box, gui::PaintBoxView* view, const QImage& buffer,
                      const QImage& whole) {
        form->setWholeViewPixels(0);
        view->onPaint();
        QScrollBar* h = box->horizontalScrollBar();
        QScrollBar* v = box->verticalScrollBar();
        for (double fx : ScrollSteps)
            for (double fy : ScrollSteps) {
                h->setValue(static_cast<int>(h->maximum() * fx));
                v->setValue(static_cast<int>(v->maximum() * fy));
                QApplication::processEvents();
                const QRect seen = view->visibleRect();
                const QRect held(view->bufferOrigin(), buffer.size());
                ASSERT_TRUE(held.contains(seen)) << fx << " " << fy;
                if (whole.width() * whole.height() > 4 * seen.width() * seen.height()) {
                    EXPECT_LT(buffer.width() * buffer.height(), whole.width() * whole.height());
                }
                EXPECT_EQ(difference(buffer, whole.copy(held)), "") << fx << " " << fy;
                const QImage painted =
                    view->grab(seen).toImage().convertToFormat(QImage::Format_RGB32);
                EXPECT_EQ(difference(painted, whole.copy(seen)), "") << fx << " " << fy;
            }
    }

    std::unique_ptr<TestForm> form;
};

TEST_P(ViewPartTest, SourceViewWithQuadEqualsTheWholeBuffer) {
    form->ZoomEd->setValue(GetParam());
    const QImage whole = wholeBuffer(form->PaintBox1, form->bit0);
    compareParts(form->ScrollBox1, form->PaintBox1, form->bit0, whole);
}

TEST_P(ViewPartTest, RectifiedViewEqualsTheWholeBuffer) {
    form->ZoomEd->setValue(GetParam());
    const QImage whole = wholeBuffer(form->PaintBox2, form->bit1);
    compareParts(form->ScrollBox2, form->PaintBox2, form->bit1, whole);
}

TEST_P(ViewPartTest, QuadBeingPlacedEqualsTheWholeBuffer) {
    form->ws.slot(1).mode = app::CornerMode::Replacing;
    form->ws.slot(1).following = 2;
    form->ZoomEd->setValue(GetParam());
    const QImage whole = wholeBuffer(form->PaintBox1, form->bit0);
    compareParts(form->ScrollBox1, form->PaintBox1, form->bit0, whole);
}

// The overlay of a larger, shifted image 2 over a zoomed image 1: the view
// that keeps its visible part blends only that part of the canvas and shows
// what the whole composite shows there.
TEST_P(ViewPartTest, OverlayViewEqualsTheWholeBuffer) {
    installPattern(form->ws.slot(2).result, 283, 171);
    form->MovePicsForm->ZoomBlendEd->setValue(137.0);
    form->MovePicsForm->HorzEd->setValue(-9);
    form->MovePicsForm->VertEd->setValue(14);
    form->BlendEd->setValue(35);
    form->ZoomEd->setValue(GetParam());
    const QImage whole = wholeBuffer(form->PaintBox2, form->bit1);
    compareParts(form->ScrollBox2, form->PaintBox2, form->bit1, whole);
}

INSTANTIATE_TEST_SUITE_P(Zooms, ViewPartTest,
                         ::testing::Values(1, 13, 40, 100, 137, 250, 333, 640, 1000),
                         testsupport::numbered<int>("Zoom"));

// The fast part renderer against the pixel-by-pixel one, on parts that
// straddle the view's edges and zooms that do not divide evenly.
struct PartCase {
    const char* name;
    QSize view;
    QRect part;
};

class PartRendererTest : public ::testing::TestWithParam<PartCase> {};

TEST_P(PartRendererTest, FastEqualsReference) {
    pixkit::DibHolder image;
    pixkit::newdib(image.get(), 37, 23, 24, nullptr, 0);
    ASSERT_FALSE(image.empty());
    fillPattern(image.get());
    const PartCase& c = GetParam();
    QImage fast;
    QImage reference;
    gui::renderViewPart(fast, c.view, c.part, image.get());
    gui::renderViewPartReference(reference, c.view, c.part, image.get());
    ASSERT_EQ(fast.size(), c.part.size());
    EXPECT_EQ(fast, reference);
    // A whole-view part is what the drawing routine of the views makes.
    if (c.part == QRect(QPoint(0, 0), c.view)) {
        QImage whole;
        gui::renderImageToBuffer(whole, c.view.width(), c.view.height(), image.get());
        EXPECT_EQ(fast, whole);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Parts, PartRendererTest,
    ::testing::Values(PartCase{"WholeEnlarged", {370, 230}, {0, 0, 370, 230}},
                      PartCase{"WholeOddZoom", {51, 31}, {0, 0, 51, 31}},
                      PartCase{"WholeReduced", {9, 5}, {0, 0, 9, 5}},
                      PartCase{"MiddleOfLargeView", {3700, 2300}, {1234, 777, 120, 90}},
                      PartCase{"BottomRightCorner", {3700, 2300}, {3600, 2250, 100, 50}},
                      PartCase{"SingleColumn", {500, 400}, {499, 0, 1, 400}}),
    [](const testing::TestParamInfo<PartCase>& p) { return std::string(p.param.name); });

TEST(BufferPartTest, SmallViewsKeepEverythingLargeOnesTheVisiblePartWithMargin) {
    const QSize small(2000, 2000);
    EXPECT_EQ(gui::bufferPart(small, QRect(100, 100, 300, 300)), QRect(0, 0, 2000, 2000));
    const QSize large(60000, 40000);
    const int m = gui::ViewMarginPixels;
    EXPECT_EQ(gui::bufferPart(large, QRect(30000, 20000, 377, 400)),
              QRect(30000 - m, 20000 - m, 377 + 2 * m, 400 + 2 * m));
    // At the view's edge the margin stops at the view.
    EXPECT_EQ(gui::bufferPart(large, QRect(0, 39700, 377, 300)),
              QRect(0, 39700 - m, 377 + m, 300 + m));
}

} // namespace
} // namespace guitest
