// The small comforts of the window through the real widgets: the magnifier
// keeps clear of the mouse, corners are grabbed at any zoom, "Ganzes Bild",
// the menus' keyboard letters and the brush swatch.

#include "GuiTestSupport.h"

#include "app/Workspace.h"
#include "gui/Mnemonics.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/ViewMapping.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <optional>

namespace guitest {
namespace {

using rectify::TPoint;

class ColourForm : public TestForm {
public:
    using TestForm::TestForm;
    std::optional<QColor> colourAnswer;

protected:
    std::optional<QColor> chooseColour(const QColor&) override { return colourAnswer; }
};

class FrictionsTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        form = std::make_unique<ColourForm>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QApplication::processEvents();
    }
    void openPhoto(int slot, const char* name) {
        form->openAnswers = {samplePath(name)};
        (slot == 1 ? form->Bildffnen1 : form->Bild2ffnen1)->trigger();
        QApplication::processEvents();
    }
    void setZoom(int z) {
        form->ZoomEd->setValue(z);
        QApplication::processEvents();
    }
    QPoint viewOf(TPoint p) const {
        const int z = form->ZoomEd->value();
        return {gui::imageToView(p.x, z), gui::imageToView(p.y, z)};
    }
    void activate() {
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    std::unique_ptr<ColourForm> form;
};

// Left12 is 640 x 480; its top-left corner dragged about the view.
TEST_F(FrictionsTest, LoupeNeverCoversTheMouseOrTheCornerBeingDragged) {
    openPhoto(1, "left12.jpg");
    enum Where { InWindow, ViewCentre, NearTopLeft };
    struct Case {
        int zoom;
        Where where;
        QPoint p; // window pixels for InWindow
    };
    const Case cases[] = {
        {40, InWindow, {130, 230}}, {40, ViewCentre, {}},   {100, ViewCentre, {}},
        {25, ViewCentre, {}},       {100, NearTopLeft, {}},
    };
    for (const Case& c : cases) {
        setZoom(c.zoom);
        form->placeCorners({{{60, 50}, {580, 40}, {600, 440}, {40, 430}}});
        QApplication::processEvents();
        const QRect seen = form->PaintBox1->visibleRect();
        QPoint mouse = c.where == InWindow     ? form->PaintBox1->mapFrom(form.get(), c.p)
                       : c.where == ViewCentre ? seen.center()
                                               : seen.topLeft() + QPoint(20, 20);
        QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, viewOf({60, 50}));
        QTest::mouseMove(form->PaintBox1, mouse);
        const QRect loupe = form->loupeRect(1);
        const std::string what = std::to_string(c.zoom) + " % at " + std::to_string(mouse.x()) +
                                 ", " + std::to_string(mouse.y()) + " in " +
                                 std::to_string(seen.width()) + " x " +
                                 std::to_string(seen.height());
        ASSERT_TRUE(form->ws.movepoint) << what;
        // The corner follows the mouse; the cursor and the corner's box stay in sight.
        const QPoint corner = viewOf(form->ws.slot(1).corners[0]);
        EXPECT_LE((corner - mouse).manhattanLength(), 2) << what;
        ASSERT_FALSE(loupe.isEmpty()) << what;
        EXPECT_FALSE(loupe.intersects(QRect(mouse - QPoint(12, 12), QSize(25, 25)))) << what;
        EXPECT_FALSE(loupe.intersects(QRect(corner - QPoint(4, 4), QSize(9, 9)))) << what;
        EXPECT_TRUE(loupe.intersects(seen)) << what;
        if (c.where == NearTopLeft) {
            // Room enough: wholly in sight, in the quarter away from the mouse.
            EXPECT_TRUE(seen.contains(loupe)) << what;
            EXPECT_GT(loupe.center().x(), seen.center().x()) << what;
            EXPECT_GT(loupe.center().y(), seen.center().y()) << what;
        }
        QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, mouse);
        EXPECT_TRUE(form->loupeRect(1).isEmpty());
    }
}

// A press a few screen pixels off a corner's box grabs it at any zoom, also
// the edge point of a corner outside the picture; farther off it starts a
// new quad. Where five image pixels are more, they count.
TEST_F(FrictionsTest, CornerGrabZoneIsSomeScreenPixelsAtAnyZoom) {
    openPhoto(1, "left12.jpg");
    const rectify::Corners quad{{{-200, -150}, {620, 30}, {600, 460}, {30, 440}}};
    for (int zoom : {6, 10, 25, 50, 100, 250, 400}) {
        setZoom(zoom);
        const std::string what = std::to_string(zoom) + " %";
        form->placeCorners(quad);
        // The corner beyond the picture, taken back at the view's corner.
        const QPoint near = viewOf({0, 0}) + QPoint(5, 4);
        QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, near);
        EXPECT_TRUE(form->ws.movepoint) << what;
        EXPECT_EQ(form->ws.pointnr, 0) << what;
        const QPoint inside = viewOf({100, 80});
        QTest::mouseMove(form->PaintBox1, inside);
        QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, inside);
        EXPECT_EQ(form->ws.slot(1).corners[0],
                  (TPoint{gui::viewToImage(inside.x(), zoom), gui::viewToImage(inside.y(), zoom)}))
            << what;

        // Beyond the zone of corner 2 (left of it, inside the picture).
        form->placeCorners(quad);
        const int zone = std::max(app::CornerGrabScreenPixels, gui::imageToView(5, zoom));
        const QPoint far = viewOf(quad[2]) - QPoint(zone + 3, 0);
        QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, far);
        EXPECT_FALSE(form->ws.movepoint) << what;
        EXPECT_TRUE(form->ws.slot(1).insetmode()) << what;
        QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, far);
        QTest::keyClick(form->PaintBox1, Qt::Key_Escape);
        // Just within it.
        form->placeCorners(quad);
        const QPoint close = viewOf(quad[2]) - QPoint(app::CornerGrabScreenPixels - 1, 0);
        QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, close);
        EXPECT_TRUE(form->ws.movepoint) << what;
        EXPECT_EQ(form->ws.pointnr, 2) << what;
        QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, close);
    }
}

// Ctrl+0 zooms so that the photographs fit their views without scrolling,
// the larger one as large as it goes.
TEST_F(FrictionsTest, WholePictureZoomFitsThePhotographsIntoTheirViews) {
    struct Case {
        QSize window;
        bool second;
    };
    const Case cases[] = {{{754, 600}, false}, {{1200, 900}, true}, {{800, 700}, true}};
    activate();
    for (const Case& c : cases) {
        if (c.second)
            openPhoto(2, "sudoku.png");
        openPhoto(1, "left12.jpg");
        form->resize(c.window);
        setZoom(300);
        QTest::qWait(150); // the rows take their heights
        QTest::keyClick(form.get(), Qt::Key_0, Qt::ControlModifier);
        QApplication::processEvents();
        const int z = form->ZoomEd->value();
        const std::string what = std::to_string(c.window.width()) + " x " +
                                 std::to_string(c.window.height()) + ": " + std::to_string(z) +
                                 " %";
        EXPECT_LT(z, 300) << what;
        bool tight = false;
        for (int slot : {1, 2}) {
            if (slot == 2 && !c.second)
                continue;
            gui::ScrollBox* box = slot == 1 ? form->ScrollBox1 : form->ScrollBox4;
            EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0) << what << " view " << slot;
            EXPECT_EQ(box->verticalScrollBar()->maximum(), 0) << what << " view " << slot;
            const pixkit::Image& photo = form->ws.slot(slot).source;
            const QSize room = box->maximumViewportSize();
            tight = tight || gui::imageToView(photo.width(), z + 1) > room.width() ||
                    gui::imageToView(photo.height(), z + 1) > room.height();
        }
        EXPECT_TRUE(tight) << what << ": one more percent still fits";
    }
}

// Every menu level has one distinct letter per item in either language;
// Alt+letter opens a menu, a letter chooses an item or a submenu, F10 opens
// the first menu.
TEST_F(FrictionsTest, MenusAnswerTheirLettersInEitherLanguage) {
    installShippedDictionary();
    const auto letterKey = [](QChar letter) { return static_cast<Qt::Key>(letter.unicode()); };
    const auto shows = [](QWidget* w, bool shown) {
        return QTest::qWaitFor([w, shown] { return w->isVisible() == shown; }, 3000);
    };
    for (int language : {0, 1}) {
        writeLanguage(language);
        form.reset();
        form = std::make_unique<ColourForm>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        activate();
        openPhoto(2, "sudoku.png"); // "Rotieren Bild 2" waits for image 2
        const std::string what = form->Datei1->title().toStdString();
        ASSERT_EQ(what, language == 0 ? "Datei" : "File");
        QList<QWidget*> levels{form->menuBar()};
        for (QMenu* m : form->findChildren<QMenu*>())
            levels << m;
        for (QWidget* level : levels) {
            QSet<QChar> seen;
            for (QAction* a : gui::mnemonicItems(level)) {
                const QChar l = gui::mnemonicOf(level, a);
                EXPECT_FALSE(l.isNull()) << what << ": " << a->text().toStdString();
                EXPECT_FALSE(seen.contains(l)) << what << ": " << a->text().toStdString();
                seen.insert(l);
                // Drawn underlined, the caption itself untouched.
                EXPECT_FALSE(a->text().contains(u'&'));
                EXPECT_EQ(gui::mnemonicShown(level, a->text()).remove(u'&'), a->text());
            }
        }

        QMenuBar* bar = form->menuBar();
        QMenu* draw = form->ZeichnenimentzerrtenBild1;
        QTest::keyClick(form.get(), letterKey(gui::mnemonicOf(bar, draw->menuAction())),
                        Qt::AltModifier);
        ASSERT_TRUE(shows(draw, true)) << what;
        const int radius = form->pinsel;
        QTest::keyClick(draw, letterKey(gui::mnemonicOf(draw, form->GrererPinsel1)));
        EXPECT_EQ(form->pinsel, std::min(radius + 5, 40)) << what;
        EXPECT_TRUE(shows(draw, false)) << what;

        QMenu* turn = form->Rotieren1;
        QTest::keyClick(form.get(), letterKey(gui::mnemonicOf(bar, turn->menuAction())),
                        Qt::AltModifier);
        ASSERT_TRUE(shows(turn, true)) << what;
        QTest::keyClick(turn, letterKey(gui::mnemonicOf(turn, form->RotierenBild21->menuAction())));
        EXPECT_TRUE(shows(form->RotierenBild21, true)) << what;
        QTest::keyClick(form->RotierenBild21, Qt::Key_Escape);
        QTest::keyClick(turn, Qt::Key_Escape);
        EXPECT_TRUE(shows(turn, false)) << what;

        QTest::keyClick(form.get(), Qt::Key_F10);
        EXPECT_TRUE(shows(form->Datei1, true)) << what;
        QTest::keyClick(form->Datei1, Qt::Key_Escape);
        EXPECT_TRUE(shows(form->Datei1, false)) << what;
    }
}

// The swatch shows the colour chosen and changes with the radius.
TEST_F(FrictionsTest, BrushSwatchShowsTheColourAndTheRadius) {
    QLabel* swatch = form->BrushSwatchLabel;
    ASSERT_NE(swatch, nullptr);
    EXPECT_TRUE(swatch->isVisible());
    const auto picture = [swatch] { return swatch->pixmap().toImage(); };
    const auto centre = [&] {
        const QImage p = picture();
        return QColor(p.pixel(p.height() / 2, p.height() / 2));
    };
    EXPECT_EQ(centre(), QColor(Qt::white));
    for (const QColor& c : {QColor(200, 30, 10), QColor(0, 0, 255)}) {
        form->colourAnswer = c;
        form->Farbewhlen1->trigger();
        EXPECT_EQ(centre(), c);
    }
    const QImage at10 = picture();
    form->GrererPinsel1->trigger();
    EXPECT_NE(picture(), at10);
    form->KleinererPinsel1->trigger();
    EXPECT_EQ(picture(), at10);
}

} // namespace
} // namespace guitest
