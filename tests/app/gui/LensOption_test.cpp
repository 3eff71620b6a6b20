// "Optionen" -> "Objektivkorrektur": the corrected photograph in the source
// view, clicks landing on original pixels, corners kept in original pixels.

#include "GuiTestSupport.h"

#include "gui/PaintBoxView.h"
#include "rectify/LensProfile.h"

#include <QAction>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

#include <cmath>
#include <cstring>

namespace guitest {
namespace {

using rectify::TPoint;

// A window whose photographs all carry a strongly bending lens, as if
// their EXIF named one of the database.
class LensForm : public TestForm {
public:
    using TestForm::TestForm;

protected:
    app::LensApplied findLens(int slot) const override {
        const pixkit::Image& photo = ws.slot(slot).source;
        app::LensApplied a;
        a.geometry = rectify::MakePoly3Lens(-0.15, photo.width(), photo.height());
        a.lookup = rectify::LensLookup::Found;
        a.lensName = "Testobjektiv 24 mm";
        a.focalMm = 24.0;
        return a;
    }
};

class LensOptionTest : public GuiTest {
protected:
    std::unique_ptr<LensForm> lensForm() {
        auto form = std::make_unique<LensForm>(QStringList{samplePath("sudoku.png")});
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QApplication::processEvents();
        form->ZoomEd->setValue(100); // view pixels are image pixels
        QApplication::processEvents();
        return form;
    }
    static TPoint rounded(rectify::SourcePos p) {
        return {static_cast<std::int32_t>(std::lround(p.sx)),
                static_cast<std::int32_t>(std::lround(p.sy))};
    }
};

TEST_F(LensOptionTest, TogglingKeepsTheCornersAndTheRunBendsThroughTheLens) {
    auto form = lensForm();
    EXPECT_FALSE(form->Objektivkorrektur1->isChecked()); // off unless the user wants it
    const rectify::Corners corners{TPoint{150, 130}, {420, 120}, {430, 440}, {140, 430}};
    form->ws.completeQuad(1, corners, false);
    form->ws.breitetoset = false;
    form->realRuns = true;
    form->Bildneuberechnen1Click();
    const pixkit::Image& result = form->ws.slot(1).result;
    ASSERT_FALSE(result.empty());
    const std::size_t plainBytes =
        static_cast<std::size_t>(result.get().bytew) * static_cast<std::size_t>(result.height());
    const std::vector<std::uint8_t> plain(result.pixels(), result.pixels() + plainBytes);

    form->Objektivkorrektur1->trigger();
    ASSERT_NE(form->sourceLens(1), nullptr);
    EXPECT_EQ(form->ws.slot(1).corners, corners);
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("Objektiv: Testobjektiv 24 mm bei 24 mm"));
    // The run looked through the lens: another picture than without it.
    const pixkit::Image& corrected = form->ws.slot(1).result;
    ASSERT_FALSE(corrected.empty());
    const std::size_t bytes = static_cast<std::size_t>(corrected.get().bytew) *
                              static_cast<std::size_t>(corrected.height());
    EXPECT_TRUE(bytes != plainBytes || std::memcmp(corrected.pixels(), plain.data(), bytes) != 0);

    // The red box of a corner sits where the lens moves it in the view.
    const TPoint shown = rounded(form->sourceLens(1)->toCorrected(corners[0].x, corners[0].y));
    ASSERT_GT(std::abs(shown.x - corners[0].x) + std::abs(shown.y - corners[0].y), 4);
    const QPoint origin = form->PaintBox1->bufferOrigin();
    EXPECT_EQ(form->bit0.pixel(shown.x + 3 - origin.x(), shown.y - origin.y()), qRgb(255, 0, 0));

    // A project saved now carries the correction of the photograph.
    const app::Project withLens = form->currentProject();
    ASSERT_TRUE(withLens.photos[0] && withLens.photos[0]->lens);
    EXPECT_EQ(app::projectLensSetting(*withLens.photos[0]->lens),
              (app::LensSetting{app::LensSetting::Mode::Auto, 0.0}));

    form->Objektivkorrektur1->trigger();
    EXPECT_EQ(form->sourceLens(1), nullptr);
    EXPECT_EQ(form->ws.slot(1).corners, corners);
    ASSERT_EQ(static_cast<std::size_t>(form->ws.slot(1).result.get().bytew) *
                  static_cast<std::size_t>(form->ws.slot(1).result.height()),
              plainBytes);
    EXPECT_EQ(std::memcmp(form->ws.slot(1).result.pixels(), plain.data(), plainBytes), 0);
}

TEST_F(LensOptionTest, AClickInTheCorrectedViewLandsOnTheOriginalPixelAndTheMarkIsStored) {
    {
        auto form = lensForm();
        form->Objektivkorrektur1->trigger();
        const rectify::LensGeometry* lens = form->sourceLens(1);
        ASSERT_NE(lens, nullptr);
        // Near a corner of the photograph, where the lens bends most.
        const QPoint click(40, 30);
        const TPoint original = rounded(lens->toOriginal(click.x(), click.y()));
        ASSERT_GT(std::abs(original.x - click.x()) + std::abs(original.y - click.y()), 4);
        QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, click);
        QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, click);
        EXPECT_TRUE(form->ws.slot(1).insetmode());
        EXPECT_EQ(form->ws.slot(1).corners[0], original);
        form->close();
    }
    // The mark survives a restart.
    auto form = lensForm();
    EXPECT_TRUE(form->Objektivkorrektur1->isChecked());
    EXPECT_NE(form->sourceLens(1), nullptr);
}

TEST_F(LensOptionTest, APhotographWithoutCameraDataKeepsItsPixelsAndSaysWhy) {
    auto form = shownForm({samplePath("sudoku.png")}); // no EXIF
    form->ZoomEd->setValue(100);
    form->Objektivkorrektur1->trigger();
    EXPECT_EQ(form->sourceLens(1), nullptr);
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("Kein Objektiv gefunden: das Foto nennt keine Kamera"));
    QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
    EXPECT_EQ(form->ws.slot(1).corners[0], (TPoint{40, 30}));
}

} // namespace
} // namespace guitest
