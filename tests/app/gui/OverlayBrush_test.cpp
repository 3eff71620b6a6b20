// The rectified views: the overlay in view 2, the shift tool window with its
// delayed recomposition, painting with the brush, its undo and its cursor,
// driven through the real widgets.

#include "GuiTestSupport.h"

#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TAboutBox.h"
#include "gui/TJPEGQualForm.h"
#include "gui/TMovePicsForm.h"
#include "gui/ViewMapping.h"

#include "pixkit/Overlay.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace guitest {
namespace {

// Counts the compositions of the overlay and answers the colour dialog.
class OverlayForm : public TestForm {
public:
    using TestForm::TestForm;

    int compositions = 0;
    QElapsedTimer clock;      // started with the window
    qint64 lastComposed = -1; // clock time of the last composition
    std::vector<std::optional<QColor>> colourAnswers;
    std::vector<QColor> colourOffers;

protected:
    void ComposeOverlay() override {
        ++compositions;
        lastComposed = clock.elapsed();
        TestForm::ComposeOverlay();
    }
    std::optional<QColor> chooseColour(const QColor& current) override {
        colourOffers.push_back(current);
        if (colourAnswers.empty())
            return std::nullopt;
        const std::optional<QColor> answer = colourAnswers.front();
        colourAnswers.erase(colourAnswers.begin());
        return answer;
    }
};

std::vector<std::uint8_t> bytesOf(const pixkit::dib& d) {
    if (d.poi == nullptr)
        return {};
    return {d.poi, d.poi + static_cast<std::ptrdiff_t>(d.bytew) * pixkit::dibheight(d)};
}

// A 24-bit image whose every pixel differs from its neighbours.
pixkit::dib patternImage(int w, int h, int seed) {
    pixkit::dib d;
    pixkit::newdib(d, w, h, 24, nullptr, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixkit::setpixel(d, x, y,
                             pixkit::rgb(static_cast<std::uint8_t>(x * 7 + seed),
                                         static_cast<std::uint8_t>(y * 5 + seed),
                                         static_cast<std::uint8_t>((x + y) * 3 + seed)));
    return d;
}

class OverlayBrushTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        form = std::make_unique<OverlayForm>();
        form->clock.start();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QApplication::processEvents();
    }

    // Installs rectified images directly, as a run would, and shows them.
    void installRectified(int w1, int h1, int w2, int h2) {
        form->ws.slot(1).result.install(patternImage(w1, h1, 1));
        form->ws.slot(2).result.install(patternImage(w2, h2, 77));
        form->Panel4->setVisible(true);
        form->PaintBox2Paint();
        form->PaintBox3Paint();
        QApplication::processEvents();
    }

    // Opens both sample photographs through the menu and rectifies both.
    void openAndRectifyBoth() {
        form->realRuns = true;
        form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
        form->openAnswers = {samplePath("left12.jpg"), samplePath("sudoku.png")};
        form->Bildffnen1->trigger();
        form->Bild2ffnen1->trigger();
        const int w1 = pixkit::dibwidth(form->ws.slot(1).source),
                  h1 = pixkit::dibheight(form->ws.slot(1).source);
        const int w2 = pixkit::dibwidth(form->ws.slot(2).source),
                  h2 = pixkit::dibheight(form->ws.slot(2).source);
        form->placeCorners({{{w1 / 10, h1 / 8},
                             {w1 * 8 / 10, h1 / 10},
                             {w1 * 9 / 10, h1 * 7 / 8},
                             {w1 / 8, h1 * 9 / 10}}});
        form->ws.completeQuad(2,
                              {{{w2 / 8, h2 / 10},
                                {w2 * 9 / 10, h2 / 8},
                                {w2 * 8 / 10, h2 * 9 / 10},
                                {w2 / 10, h2 * 8 / 10}}},
                              false);
        ASSERT_EQ(form->renderdi4(), rectify::RunEnd::Done);
        form->Timer1->stop();
        QApplication::processEvents();
    }

    // The view position that maps onto image pixel p at the current zoom.
    QPoint viewAt(int px, int py) const {
        const int z = form->ZoomEd->value();
        return {gui::imageToView(px, z), gui::imageToView(py, z)};
    }
    rectify::TPoint imageAt(QPoint v) const {
        const int z = form->ZoomEd->value();
        return {gui::viewToImage(v.x(), z), gui::viewToImage(v.y(), z)};
    }

    std::unique_ptr<OverlayForm> form;
};

// ---- The tool window ---------------------------------------------------------

TEST_F(OverlayBrushTest, ToolWindowExistsOnceWithItsFieldsAndStartValues) {
    const auto windows = form->findChildren<gui::TMovePicsForm*>();
    ASSERT_EQ(windows.size(), 1);
    gui::TMovePicsForm* w = windows.front();
    EXPECT_EQ(w, form->MovePicsForm);
    EXPECT_EQ(w->objectName(), "MovePicsForm");
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Übergeblendete Bilder verschieben"));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::Tool));
    EXPECT_FALSE(w->isModal());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->findChild<QLabel*>("Label1")->text(), QStringLiteral("Horizontale Verschiebung:"));
    EXPECT_EQ(w->findChild<QLabel*>("Label2")->text(), QStringLiteral("Vertikale Verschiebung:"));
    EXPECT_EQ(w->findChild<QLabel*>("Label3")->text(), QStringLiteral("Zoom:"));
    auto* horz = w->findChild<QSpinBox*>("HorzEd");
    auto* vert = w->findChild<QSpinBox*>("VertEd");
    auto* zoom = w->findChild<QDoubleSpinBox*>("ZoomBlendEd");
    ASSERT_TRUE(horz && vert && zoom);
    EXPECT_EQ(horz->value(), 0);
    EXPECT_EQ(vert->value(), 0);
    EXPECT_EQ(zoom->value(), 100.0);
    EXPECT_EQ(zoom->minimum(), 0.001);
    EXPECT_EQ(zoom->maximum(), 100000.0);
    EXPECT_LT(horz->minimum(), -1000000);
    EXPECT_GT(vert->maximum(), 1000000);
    auto* timer = w->findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 500);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(OverlayBrushTest, WindowsAreCreatedInTheProgramsOrder) {
    const QObjectList children = form->children();
    const auto at = [&](QObject* o) { return children.indexOf(o); };
    ASSERT_GE(at(form->AboutBox), 0);
    EXPECT_LT(at(form->AboutBox), at(form->MovePicsForm));
    EXPECT_LT(at(form->MovePicsForm), at(form->JPEGQualForm));
}

TEST_F(OverlayBrushTest, MenuShowsTheToolWindowWithoutBlockingTheMainWindow) {
    form->openAnswers = {samplePath("sudoku.png")}; // the command waits for image 2
    form->Bild2ffnen1->trigger();
    EXPECT_EQ(form->bergeblendeteBilderverschieben1->text(),
              QStringLiteral("Übergeblendete Bilder verschieben..."));
    form->bergeblendeteBilderverschieben1->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->MovePicsForm));
    EXPECT_TRUE(form->MovePicsForm->isVisible());
    EXPECT_EQ(form->MovePicsForm->size(), QSize(179, 150));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The main window still takes input: the zoom field changes.
    QTest::keyClick(form->ZoomEd, Qt::Key_Up);
    EXPECT_EQ(form->ZoomEd->value(), 50);
    // Showing it again keeps the one window and its values.
    form->MovePicsForm->HorzEd->setValue(7);
    form->MovePicsForm->hide();
    form->bergeblendeteBilderverschieben1->trigger();
    EXPECT_EQ(form->MovePicsForm->HorzEd->value(), 7);
}

// ---- The overlay in view 2 -----------------------------------------------------

TEST_F(OverlayBrushTest, BlendZeroShowsImageOneAndLeavesTheOverlayUntouched) {
    installRectified(60, 40, 60, 40);
    const std::uint8_t* overlayMemory = form->ws.di3.pixels();
    const auto overlayBytes = bytesOf(form->ws.di3);
    form->PaintBox2Paint();
    EXPECT_EQ(form->compositions, 0);
    EXPECT_EQ(form->ws.di3.pixels(), overlayMemory);
    EXPECT_EQ(bytesOf(form->ws.di3), overlayBytes);
    EXPECT_EQ(form->PaintBox2->size(), QSize(24, 16)); // 60 x 40 at 40 %
}

TEST_F(OverlayBrushTest, BlendChangeRecomposesAtOnceAndViewTakesTheCanvasSize) {
    installRectified(400, 300, 200, 600);
    form->ZoomEd->setValue(100);
    form->BlendEd->setFocus();
    QTest::keyClick(form->BlendEd, Qt::Key_Up); // 0 -> 10
    EXPECT_EQ(form->BlendEd->value(), 10);
    EXPECT_EQ(form->compositions, 1);
    EXPECT_EQ(form->PaintBox2->size(), QSize(400, 600));
    pixkit::DibHolder expected;
    ASSERT_TRUE(pixkit::ComposeOverlayReference(form->ws.slot(1).result, form->ws.slot(2).result,
                                                {100.0, 0, 0, 10}, expected.get()));
    EXPECT_EQ(bytesOf(form->ws.di3), bytesOf(expected.get()));
    // The view shows the overlay: pixel (0, 0) of the back buffer is the canvas pixel.
    const pixkit::Colour c = pixkit::getpixel(form->ws.di3, 0, 0);
    EXPECT_EQ(form->bit1.pixel(0, 0),
              qRgb(pixkit::redOf(c), pixkit::greenOf(c), pixkit::blueOf(c)));
}

TEST_F(OverlayBrushTest, ThreeQuickShiftChangesRecomposeOnceHalfASecondLater) {
    openAndRectifyBoth();
    form->BlendEd->setValue(50);
    ASSERT_GE(form->compositions, 1);
    form->compositions = 0;
    form->bergeblendeteBilderverschieben1->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->MovePicsForm));
    QSpinBox* horz = form->MovePicsForm->HorzEd;
    horz->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(horz, Qt::Key_Up);
    const qint64 lastChange = form->clock.elapsed();
    ASSERT_EQ(horz->value(), 3);
    EXPECT_TRUE(form->MovePicsForm->Timer1->isActive());
    EXPECT_EQ(form->compositions, 0);
    // (QtTest's QTRY_ macros report to QtTest, which GoogleTest never hears.)
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->compositions >= 1; }, 2000));
    QTest::qWait(700);
    // One composition, half a second after the last change (a coarse timer
    // may fire up to 5 % early). The key clicks run no event loop, so the
    // timer cannot fire between them.
    EXPECT_EQ(form->compositions, 1);
    EXPECT_GE(form->lastComposed - lastChange, 475);
    EXPECT_FALSE(form->MovePicsForm->Timer1->isActive());
    pixkit::DibHolder expected;
    ASSERT_TRUE(pixkit::ComposeOverlayReference(form->ws.slot(1).result, form->ws.slot(2).result,
                                                {100.0, 3, 0, 50}, expected.get()));
    EXPECT_EQ(bytesOf(form->ws.di3), bytesOf(expected.get()));
}

TEST_F(OverlayBrushTest, ZoomAndVerticalShiftRestartTheSameTimer) {
    installRectified(50, 50, 50, 50);
    form->BlendEd->setValue(100);
    form->compositions = 0;
    form->MovePicsForm->VertEd->setValue(4);
    const qint64 firstChange = form->clock.elapsed();
    QTest::qWait(250);
    form->MovePicsForm->ZoomBlendEd->setValue(200.0);
    const qint64 lastChange = form->clock.elapsed();
    QTest::qWait(1200);
    // Unless the machine stalled past the delay between the two changes, the
    // second one restarted the timer: one composition, after the last change.
    if (lastChange - firstChange < 450) {
        EXPECT_EQ(form->compositions, 1);
        EXPECT_GE(form->lastComposed - lastChange, 475);
    }
    ASSERT_GE(form->compositions, 1);
    pixkit::DibHolder expected;
    ASSERT_TRUE(pixkit::ComposeOverlayReference(form->ws.slot(1).result, form->ws.slot(2).result,
                                                {200.0, 0, 4, 100}, expected.get()));
    EXPECT_EQ(bytesOf(form->ws.di3), bytesOf(expected.get()));
}

TEST_F(OverlayBrushTest, HidingImageTwoKeepsTheOverlay) {
    installRectified(80, 60, 80, 60);
    form->BlendEd->setValue(50);
    const auto overlay = bytesOf(form->ws.di3);
    const QImage shown = form->bit1.copy();
    form->Bild2wiederausblenden1->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(form->Panel4->isVisible());
    form->PaintBox2Paint();
    EXPECT_EQ(bytesOf(form->ws.di3), overlay);
    EXPECT_EQ(form->bit1, shown);
}

TEST_F(OverlayBrushTest, CanvasTooLargeShowsBlackWithoutEndlessRepaints) {
    form->ws.slot(1).result = pixkit::Image::blank(20000, 3);
    form->ws.slot(2).result = pixkit::Image::blank(3, 20000);
    form->BlendEd->setValue(30);
    QApplication::processEvents();
    EXPECT_EQ(form->ws.di3.pixels(), nullptr);
    EXPECT_LE(form->compositions, 2);
    form->BlendEd->setValue(0); // back to image 1 alone
    EXPECT_EQ(form->PaintBox2->size(), QSize(8000, 1));
}

// ---- The brush -----------------------------------------------------------------

TEST_F(OverlayBrushTest, BrushMenuStepsTheRadius) {
    EXPECT_EQ(form->pinsel, 10);
    const std::vector<int> smaller{5, 1, 1};
    for (int expected : smaller) {
        form->KleinererPinsel1->trigger();
        EXPECT_EQ(form->pinsel, expected);
    }
    const std::vector<int> larger{6, 11, 16, 21, 26, 31, 36, 40, 40};
    for (int expected : larger) {
        form->GrererPinsel1->trigger();
        EXPECT_EQ(form->pinsel, expected);
    }
}

TEST_F(OverlayBrushTest, ColourDialogOffersTheBrushColourAndCancelKeepsIt) {
    EXPECT_EQ(form->paintcol, pixkit::rgb(255, 255, 255));
    form->colourAnswers = {QColor(12, 200, 34), std::nullopt};
    form->Farbewhlen1->trigger();
    EXPECT_EQ(form->paintcol, pixkit::rgb(12, 200, 34));
    form->Farbewhlen1->trigger();
    EXPECT_EQ(form->paintcol, pixkit::rgb(12, 200, 34));
    ASSERT_EQ(form->colourOffers.size(), 2u);
    EXPECT_EQ(form->colourOffers[0], QColor(255, 255, 255));
    EXPECT_EQ(form->colourOffers[1], QColor(12, 200, 34));
}

TEST_F(OverlayBrushTest, PressPaintsOneDiscInImageOneAndRepaintsView2) {
    installRectified(100, 80, 100, 80);
    form->ZoomEd->setValue(100);
    form->KleinererPinsel1->trigger(); // radius 5
    const auto before = bytesOf(form->ws.slot(1).result);
    QTest::mousePress(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(30, 20));
    EXPECT_TRUE(form->inpaint);
    EXPECT_EQ(form->oldx, 30);
    EXPECT_EQ(form->oldy, 20);
    int painted = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inDisc = (x - 30) * (x - 30) + (y - 20) * (y - 20) < 25;
            const bool white = pixkit::getpixel(form->ws.slot(1).result, x, y) == 0xFFFFFFu;
            painted += white;
            if (inDisc) {
                EXPECT_TRUE(white) << x << "," << y;
            }
        }
    EXPECT_EQ(painted, 69); // columns of 9, 9, 9, 7 and 5 pixels from the centre out
    EXPECT_EQ(form->bit1.pixel(30, 20), qRgb(255, 255, 255));
    QTest::mouseRelease(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(30, 20));
    EXPECT_FALSE(form->inpaint);
    EXPECT_NE(bytesOf(form->ws.slot(1).result), before);
    // Moving without a button held paints nothing.
    const auto afterStroke = bytesOf(form->ws.slot(1).result);
    QTest::mouseMove(form->PaintBox2, QPoint(70, 60));
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), afterStroke);
}

// On the overlay the stroke lands in image 1 at the pixel the composite shows
// under the cursor, whatever the view's zoom, the overlay's zoom and shift;
// where the composite shows no image 1 nothing is painted.
TEST_F(OverlayBrushTest, StrokeOnTheOverlayChangesTheCompositeUnderTheCursor) {
    struct Case {
        int viewZoom;
        double overlayZoom;
        int shiftX, shiftY;
        QPoint from, to;
        bool onImageOne;
    };
    const Case cases[] = {
        {100, 200.0, 7, -4, {50, 40}, {90, 70}, true},
        {150, 60.0, -5, 3, {30, 25}, {60, 20}, true},
        {100, 100.0, 10, 0, {100, 70}, {20, 80}, true},
        {60, 137.5, -3, 9, {10, 40}, {60, 12}, true},
        {100, 50.0, 2, 2, {110, 85}, {80, 60}, false}, // beyond half of the canvas
    };
    for (const Case& c : cases) {
        installRectified(80, 60, 120, 90); // canvas 120 x 90
        form->ZoomEd->setValue(c.viewZoom);
        while (form->pinsel > 1)
            form->KleinererPinsel1->trigger();
        form->BlendEd->setValue(50);
        form->MovePicsForm->ZoomBlendEd->setValue(c.overlayZoom);
        form->MovePicsForm->HorzEd->setValue(c.shiftX);
        form->MovePicsForm->VertEd->setValue(c.shiftY);
        form->MovePicsForm->Timer1->stop();
        form->PaintBox2Paint();
        QApplication::processEvents();
        const QSize view = form->PaintBox2->size();
        ASSERT_EQ(view, QSize(gui::imageToView(120, c.viewZoom), gui::imageToView(90, c.viewZoom)));
        const auto canvasAt = [&](QPoint v) {
            return QPoint(120 * v.x() / view.width(), 90 * v.y() / view.height());
        };
        const auto shownAt = [&](QPoint v) {
            const QPoint p = canvasAt(v);
            return pixkit::getpixel(form->ws.di3, p.x(), p.y());
        };
        const pixkit::Colour fromBefore = shownAt(c.from), toBefore = shownAt(c.to);
        const auto imageBefore = bytesOf(form->ws.slot(1).result);

        QTest::mousePress(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, c.from);
        QTest::mouseMove(form->PaintBox2, c.to);
        QTest::mouseRelease(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, c.to);
        QApplication::processEvents();

        const std::string what =
            std::to_string(c.viewZoom) + " % / " + std::to_string(c.overlayZoom) + " %";
        if (!c.onImageOne) {
            EXPECT_EQ(bytesOf(form->ws.slot(1).result), imageBefore) << what;
            continue;
        }
        EXPECT_NE(shownAt(c.from), fromBefore) << what;
        EXPECT_NE(shownAt(c.to), toBefore) << what;
        // The view shows the recomposed pixel under the cursor.
        const QPoint inBuffer = c.to - form->PaintBox2->bufferOrigin();
        const pixkit::Colour shown = shownAt(c.to);
        EXPECT_EQ(form->bit1.pixel(inBuffer),
                  qRgb(pixkit::redOf(shown), pixkit::greenOf(shown), pixkit::blueOf(shown)))
            << what;
    }
}

TEST_F(OverlayBrushTest, MoveFromTenTenToThirteenFourteenLaysSixDiscs) {
    installRectified(40, 40, 40, 40);
    form->ZoomEd->setValue(100);
    form->KleinererPinsel1->trigger();
    form->KleinererPinsel1->trigger(); // radius 1: every disc is one pixel
    ASSERT_EQ(form->pinsel, 1);
    QTest::mousePress(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(form->PaintBox2, QPoint(13, 14));
    QTest::mouseRelease(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(13, 14));
    // (13, 14), (12.4, 13.2), (11.8, 12.4), (11.2, 11.6), (10.6, 10.8), (10, 10), rounded.
    const std::set<std::pair<int, int>> expected{{13, 14}, {12, 13}, {12, 12},
                                                 {11, 12}, {11, 11}, {10, 10}};
    std::set<std::pair<int, int>> painted;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            if (pixkit::getpixel(form->ws.slot(1).result, x, y) == 0xFFFFFFu)
                painted.insert({x, y});
    EXPECT_EQ(painted, expected);
    EXPECT_EQ(form->oldx, 13);
    EXPECT_EQ(form->oldy, 14);
}

TEST_F(OverlayBrushTest, StrokeInView3LandsInImageTwoAndUndoRestoresItExactly) {
    openAndRectifyBoth();
    form->colourAnswers = {QColor(12, 200, 34)};
    form->Farbewhlen1->trigger();
    const pixkit::Colour paint = pixkit::rgb(12, 200, 34);
    const auto imageOne = bytesOf(form->ws.slot(1).result);
    const auto before = bytesOf(form->ws.slot(2).result);
    EXPECT_FALSE(form->Rckgngig1->isEnabled());

    // The user last typed into a field; the press into the view takes the focus.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->BlendEd->setFocus();
    const QPoint from(20, 20), to(60, 45);
    QTest::mousePress(form->PaintBox3, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(form->PaintBox3, QPoint(40, 30));
    QTest::mouseMove(form->PaintBox3, to);
    QTest::mouseRelease(form->PaintBox3, Qt::LeftButton, Qt::NoModifier, to);

    for (QPoint v : {from, QPoint(40, 30), to}) {
        const rectify::TPoint p = imageAt(v);
        EXPECT_EQ(pixkit::getpixel(form->ws.slot(2).result, p.x, p.y), paint) << p.x << "," << p.y;
    }
    EXPECT_EQ(form->dit1.pixel(to), qRgb(12, 200, 34));
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), imageOne);
    EXPECT_TRUE(form->Rckgngig1->isEnabled());

    ASSERT_NE(QApplication::focusWidget(), form->BlendEd);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bytesOf(form->ws.slot(2).result), before);
    EXPECT_FALSE(form->Rckgngig1->isEnabled());
    EXPECT_NE(form->dit1.pixel(to), qRgb(12, 200, 34));
}

TEST_F(OverlayBrushTest, UndoTakesBackStrokesOfBothImagesNewestFirst) {
    installRectified(120, 90, 120, 90);
    form->ZoomEd->setValue(100);
    const auto one0 = bytesOf(form->ws.slot(1).result), two0 = bytesOf(form->ws.slot(2).result);
    auto stroke = [&](QWidget* view, QPoint a, QPoint b) {
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, a);
        QTest::mouseMove(view, b);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, b);
    };
    stroke(form->PaintBox2, {10, 10}, {50, 40});
    const auto one1 = bytesOf(form->ws.slot(1).result);
    stroke(form->PaintBox3, {100, 10}, {20, 80});
    stroke(form->PaintBox2, {90, 80}, {60, 5});
    ASSERT_EQ(form->brushHistory().size(), 3u);

    form->Rckgngig1->trigger();
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), one1);
    form->Rckgngig1->trigger();
    EXPECT_EQ(bytesOf(form->ws.slot(2).result), two0);
    form->Rckgngig1->trigger();
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), one0);
    EXPECT_FALSE(form->Rckgngig1->isEnabled());
}

TEST_F(OverlayBrushTest, UndoKeepsTwentyStrokes) {
    installRectified(200, 100, 50, 50);
    form->ZoomEd->setValue(100);
    form->KleinererPinsel1->trigger();
    std::vector<std::vector<std::uint8_t>> states;
    for (int i = 0; i < 25; ++i) {
        states.push_back(bytesOf(form->ws.slot(1).result));
        const QPoint p(5 + 7 * i, 10);
        QTest::mousePress(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseMove(form->PaintBox2, p + QPoint(0, 70));
        QTest::mouseRelease(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, p + QPoint(0, 70));
    }
    for (int i = 0; i < 20; ++i)
        form->Rckgngig1->trigger();
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), states[5]);
}

// Whatever makes rectified image 1 anew, the painted picture comes back with
// Ctrl+Z, the new one with Ctrl+Y, and the strokes on it stay undoable.
struct ReplaceCase {
    const char* name;
    std::function<void(OverlayForm&)> replace;
    bool undoFromField;    // Ctrl+Z typed while a number field has the focus
    bool strokeUndoneNext; // the step below the picture is the stroke
};

class PaintedPictureTest : public OverlayBrushTest,
                           public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(PaintedPictureTest, ReplacedPaintedPictureComesBackWithUndo) {
    openAndRectifyBoth();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const auto rectified = bytesOf(form->ws.slot(1).result);
    QTest::mousePress(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(form->PaintBox2, QPoint(40, 30));
    QTest::mouseRelease(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
    const auto painted = bytesOf(form->ws.slot(1).result);
    ASSERT_NE(painted, rectified);

    GetParam().replace(*form);
    const auto remade = bytesOf(form->ws.slot(1).result);
    ASSERT_FALSE(remade.empty());
    ASSERT_NE(remade, painted);
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("Zeichnung ersetzt – Rückgängig stellt sie wieder her"));

    if (GetParam().undoFromField) {
        form->BreiteED->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), form->BreiteED);
    } else {
        form->PaintBox2->setFocus();
    }
    auto key = [](Qt::Key k) {
        QTest::keyClick(QApplication::focusWidget(), k, Qt::ControlModifier);
    };
    key(Qt::Key_Z);
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), painted);
    EXPECT_NE(QApplication::focusWidget(), form->BreiteED);
    key(Qt::Key_Y);
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), remade);
    key(Qt::Key_Z);
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), painted);
    if (GetParam().strokeUndoneNext) {
        key(Qt::Key_Z);
        EXPECT_EQ(bytesOf(form->ws.slot(1).result), rectified);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replacements, PaintedPictureTest,
    ::testing::Values(
        ReplaceCase{"RecomputeKey",
                    [](OverlayForm& f) {
                        f.PaintBox2->setFocus();
                        QTest::keyClick(&f, Qt::Key_F5);
                    },
                    false, true},
        ReplaceCase{"WidthTypedThenUndoInTheField",
                    [](OverlayForm& f) {
                        f.BreiteED->setValue(f.BreiteED->value() / 2.0);
                        f.Timer1Timer();
                    },
                    true, true},
        ReplaceCase{"TurnOfTheRectifiedImage",
                    [](OverlayForm& f) { f.EntzerrtesBildnachlinksrotieren1->trigger(); }, false,
                    false},
        ReplaceCase{"DxfExportCancelled", [](OverlayForm& f) { f.ExportalsDXFDatei1->trigger(); },
                    true, true}),
    [](const ::testing::TestParamInfo<ReplaceCase>& c) { return c.param.name; });

TEST_F(OverlayBrushTest, RunThatMakesNoImageKeepsTheStrokes) {
    openAndRectifyBoth();
    const auto before = bytesOf(form->ws.slot(1).result);
    QTest::mousePress(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    form->NowDoNotRenderCheck->setChecked(true);
    form->Timer1->stop();
    form->Bildneuberechnen1->trigger(); // held: both runs return at once
    EXPECT_TRUE(form->Rckgngig1->isEnabled());
    form->Rckgngig1->trigger();
    EXPECT_EQ(bytesOf(form->ws.slot(1).result), before);
}

TEST_F(OverlayBrushTest, UndoItemIsFirstInTheEditMenu) {
    const QList<QAction*> items = form->Bearbeiten1->actions();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items[0], form->Rckgngig1);
    EXPECT_EQ(form->Rckgngig1->objectName(), "Rckgngig1");
    EXPECT_EQ(form->Rckgngig1->text(), QStringLiteral("Rückgängig"));
    EXPECT_EQ(form->Rckgngig1->shortcut(), QKeySequence(QKeySequence::Undo));
    // "Wiederholen" pairs with it; the separator sets both off from the commands.
    EXPECT_EQ(items[1], form->Wiederholen1);
    EXPECT_TRUE(items[2]->isSeparator());
}

TEST_F(OverlayBrushTest, BrushCursorIsACircleOfTheDiscsSizeAtTheZoom) {
    form->ZoomEd->setValue(100);
    const QCursor c10 = form->PaintBox2->cursor();
    EXPECT_EQ(c10.shape(), Qt::BitmapCursor);
    const int size10 = c10.pixmap().width();
    EXPECT_EQ(size10, 19 + 4); // 2 * 10 - 1 pixels across, and a margin
    form->ZoomEd->setValue(200);
    EXPECT_EQ(form->PaintBox3->cursor().pixmap().width(), 38 + 4);
    form->KleinererPinsel1->trigger();
    EXPECT_EQ(form->PaintBox2->cursor().pixmap().width(), 18 + 4);
    EXPECT_EQ(form->PaintBox2->cursor().hotSpot(), QPoint(11, 11));
    // Around the picture the scroll box keeps the arrow.
    EXPECT_EQ(form->ScrollBox2->viewport()->cursor().shape(), Qt::ArrowCursor);
}

} // namespace
} // namespace guitest
