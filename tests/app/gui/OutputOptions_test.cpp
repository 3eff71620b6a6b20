// The output options of the window: "Optionen" -> "Interpolation" (how the
// rectified images sample the photographs) and "Weltdatei mitspeichern", and
// the scale a saved picture carries.

#include "GuiTestSupport.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>

#include <cmath>
#include <cstring>

namespace guitest {
namespace {

class OutputOptionsTest : public GuiTest {};

// The quad of the sample photograph's puzzle, set as four clicks would.
void setPuzzleCorners(TestForm& form) {
    form.ws.completeQuad(1, {rectify::TPoint{72, 84}, {492, 69}, {520, 521}, {35, 517}}, false);
    form.ws.breitetoset = false;
}

TEST_F(OutputOptionsTest, InterpolationItemsAreRadioItemsWithTheNearestPixelFirst) {
    auto form = shownForm();
    ASSERT_NE(form->Interpolation1, nullptr);
    EXPECT_EQ(form->Interpolation1->title(), QStringLiteral("Interpolation"));
    EXPECT_TRUE(form->Optionen1->actions().contains(form->Interpolation1->menuAction()));
    const QList<QAction*> items = form->Interpolation1->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Nächster Nachbar"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Bilinear"));
    EXPECT_EQ(items[2]->text(), QStringLiteral("Bikubisch"));
    for (QAction* a : items) {
        EXPECT_TRUE(a->isCheckable());
        EXPECT_EQ(a->actionGroup(), form->InterpolationGroup);
    }
    EXPECT_TRUE(form->NchsterNachbar1->isChecked());
    EXPECT_EQ(form->interpolation(), rectify::Interpolation::Nearest);
    EXPECT_TRUE(form->Weltdateimitspeichern1->isCheckable());
    EXPECT_FALSE(form->Weltdateimitspeichern1->isChecked());
}

TEST_F(OutputOptionsTest, AChoiceRerunsBothImagesWithThatSampling) {
    auto form = shownForm({samplePath("sudoku.png")});
    setPuzzleCorners(*form);
    form->realRuns = true;
    form->Bilinear1->trigger();
    EXPECT_TRUE(form->Bilinear1->isChecked());
    EXPECT_FALSE(form->NchsterNachbar1->isChecked());
    EXPECT_EQ(form->interpolation(), rectify::Interpolation::Bilinear);
    EXPECT_EQ(form->runs1, 1);
    EXPECT_EQ(form->runs2, 1);
    ASSERT_NE(form->ws.slot(1).result.pixels(), nullptr);
    const int w = pixkit::dibwidth(form->ws.slot(1).result),
              h = pixkit::dibheight(form->ws.slot(1).result);
    const std::size_t bytes =
        static_cast<std::size_t>(form->ws.slot(1).result.get().bytew) * static_cast<std::size_t>(h);
    const std::vector<std::uint8_t> bilinear(form->ws.slot(1).result.pixels(),
                                             form->ws.slot(1).result.pixels() + bytes);

    form->NchsterNachbar1->trigger();
    EXPECT_EQ(form->runs1, 2);
    EXPECT_EQ(form->runs2, 2);
    ASSERT_EQ(pixkit::dibwidth(form->ws.slot(1).result), w);
    ASSERT_EQ(pixkit::dibheight(form->ws.slot(1).result), h);
    EXPECT_NE(std::memcmp(form->ws.slot(1).result.pixels(), bilinear.data(), bytes), 0);

    form->Bikubisch1->trigger();
    EXPECT_EQ(form->interpolation(), rectify::Interpolation::Bicubic);
    EXPECT_EQ(form->runs1, 3);
}

TEST_F(OutputOptionsTest, ChoicesAreStoredPerUserAndRestoredWithoutARun) {
    {
        auto form = shownForm();
        form->Bikubisch1->trigger();
        form->Weltdateimitspeichern1->trigger();
        form->close();
    }
    auto form = shownForm();
    EXPECT_TRUE(form->Bikubisch1->isChecked());
    EXPECT_FALSE(form->NchsterNachbar1->isChecked());
    EXPECT_EQ(form->interpolation(), rectify::Interpolation::Bicubic);
    EXPECT_TRUE(form->Weltdateimitspeichern1->isChecked());
    EXPECT_EQ(form->runs1, 0);
}

TEST_F(OutputOptionsTest, SavingWritesTheWorldFileOnRequestOrReportsWhy) {
    auto form = shownForm();
    const QString plain = configDir() + "/plain.png";
    const QString withWorld = configDir() + "/plan.png";
    const QString blocked = configDir() + "/blocked.tif";
    ASSERT_TRUE(QDir(configDir()).mkdir(QStringLiteral("blocked.tfw")));
    // A rectified image of the start image's size, so that saving is offered.
    pixkit::dib rectified;
    pixkit::newdib(rectified, 320, 200, 24, nullptr, 0);
    form->ws.slot(1).result.install(rectified);
    form->PaintBox2Paint();
    form->saveAnswers = {plain, withWorld, blocked};
    form->EntzerrtesBildspeichern1->trigger();
    EXPECT_TRUE(QFile::exists(plain));
    EXPECT_FALSE(QFile::exists(configDir() + "/plain.pgw"));

    form->Weltdateimitspeichern1->trigger();
    form->EntzerrtesBildspeichern1->trigger();
    EXPECT_TRUE(form->errors.isEmpty()) << form->errors.join('\n').toStdString();
    QFile world(configDir() + "/plan.pgw");
    ASSERT_TRUE(world.open(QIODevice::ReadOnly));
    // The 320 x 200 image at 1000 cm: unit 10 cm, 100 units over 320
    // pixels, 0.3125 units (3.125 cm) per pixel.
    EXPECT_EQ(world.readAll(), QByteArray("0.3125\n0\n0\n-0.3125\n0.15625\n62.34375\n"));
    // The PNG carries 0.32 pixels per cm, 32 per metre.
    QFile png(withWorld);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray data = png.readAll();
    const qsizetype at = data.indexOf("pHYs");
    ASSERT_GE(at, 0);
    EXPECT_EQ(data.mid(at + 4, 9), QByteArray("\0\0\0\x20\0\0\0\x20\x01", 9));

    // A world file that cannot be written fails the save like the image.
    form->EntzerrtesBildspeichern1->trigger();
    ASSERT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->errors.front().contains("blocked.tfw")) << form->errors.front().toStdString();
    EXPECT_FALSE(QFile::exists(blocked));
}

// The pixels per metre in the pHYs chunk of a PNG file; -1 without one.
long pngPixelsPerMetre(const QString& file) {
    QFile png(file);
    if (!png.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = png.readAll();
    const qsizetype at = data.indexOf("pHYs");
    if (at < 0 || at + 8 > data.size())
        return -1;
    long v = 0;
    for (int i = 0; i < 4; ++i)
        v = v * 256 + static_cast<unsigned char>(data[at + 4 + i]);
    return v;
}

// A saved picture carries the scale it was made with, whatever the fields
// hold by now; while they do not match it, the status bar says so.
TEST_F(OutputOptionsTest, SavedPictureKeepsTheScaleItWasMadeWith) {
    auto form = shownForm({samplePath("sudoku.png")});
    form->realRuns = true;
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
    form->Timer1->stop();
    const int width = form->ws.slot(1).result.width();
    ASSERT_GT(width, 100);
    EXPECT_FALSE(form->MismatchLabel->isVisible());
    // The world file in cm says the scale exactly: its first line is the
    // pixel size.
    form->Weltdateimitspeichern1->trigger();
    form->Zentimeter1->trigger();
    QString world; // the world file of the last save
    auto saved = [&](const char* name) {
        const QString file = configDir() + "/" + name;
        form->saveAnswers = {file};
        form->EntzerrtesBildspeichern1->trigger();
        QFile wf(configDir() + "/" + QString::fromLatin1(name).replace(".png", ".pgw"));
        world = wf.open(QIODevice::ReadOnly) ? QString::fromLatin1(wf.readAll()) : QString();
        return pngPixelsPerMetre(file);
    };
    // 1000 cm over `width` pixels.
    const long made = saved("made.png");
    EXPECT_EQ(made, static_cast<long>(std::nearbyint(width * 100.0 / 1000.0)));
    const QString madeWorld = world;
    EXPECT_NEAR(madeWorld.section('\n', 0, 0).toDouble() * width, 1000.0, 1e-6);

    // Held: the width typed since is not the picture's.
    form->NowDoNotRenderCheck->click();
    form->BreiteED->setValue(500.0);
    form->Timer1Timer();
    EXPECT_TRUE(form->MismatchLabel->isVisible());
    EXPECT_EQ(form->MismatchLabel->text(), QStringLiteral("Bild entspricht nicht den Eingaben"));
    EXPECT_EQ(saved("held.png"), made);
    EXPECT_EQ(world, madeWorld);
    // A width the run refuses (the picture would be far over the pixel
    // limit) leaves the picture and its scale as they were.
    form->BreiteED->setValue(0.01);
    form->NowDoNotRenderCheck->click();
    form->Timer1Timer();
    EXPECT_FALSE(form->errors.isEmpty());
    EXPECT_TRUE(form->MismatchLabel->isVisible());
    EXPECT_EQ(saved("refused-width.png"), made);
    EXPECT_EQ(world, madeWorld);
    form->errors.clear();
    form->NowDoNotRenderCheck->click();
    form->BreiteED->setValue(10.0);

    // Released: the next run makes the picture of the fields, and the notice goes.
    form->NowDoNotRenderCheck->click();
    form->Timer1Timer();
    EXPECT_FALSE(form->MismatchLabel->isVisible());
    const long narrow = saved("narrow.png");
    EXPECT_EQ(narrow,
              static_cast<long>(std::nearbyint(form->ws.slot(1).result.width() * 100.0 / 10.0)));
    EXPECT_NE(narrow, made);

    // A refused calculation area leaves the picture of 10 cm in place.
    form->errors.clear();
    form->RechenbereichEd->setValue(10000);
    form->Timer1Timer();
    EXPECT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->MismatchLabel->isVisible());
    EXPECT_EQ(saved("refused.png"), narrow);
}

} // namespace
} // namespace guitest
