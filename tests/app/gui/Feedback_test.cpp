// What the window tells the user: status bar texts after opening, a failed
// opening, saving and a run; German save failures; and the save commands
// that wait for a rectified image.

#include "GuiTestSupport.h"

#include "gui/PaintBoxView.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

namespace guitest {
namespace {

class FeedbackTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        form = shownForm();
    }
    QString status() const { return form->StatusBar1->currentMessage(); }
    void installRectified(pixkit::Image& field) {
        pixkit::dib d;
        pixkit::newdib(d, 12, 9, 24, nullptr, 0);
        ASSERT_NE(d.poi, nullptr);
        field.install(d);
        form->PaintBox2Paint();
        form->PaintBox3Paint();
    }
    std::unique_ptr<TestForm> form;
};

TEST_F(FeedbackTest, StatusBarNamesTheOpenedFileWithItsSize) {
    const QString file = samplePath("sudoku.png");
    form->openAnswers = {file};
    form->Bildffnen1->trigger();
    EXPECT_EQ(status(),
              QString("Geöffnet: %1 (558 × 563 Pixel)").arg(QDir::toNativeSeparators(file)))
        << status().toStdString();
}

TEST_F(FeedbackTest, StatusBarShowsMessageOneForAFileThatCannotBeOpened) {
    const QString file = configDir() + "/kaputt.jpg";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("no picture");
    f.close();
    form->openAnswers = {file};
    form->Bild2ffnen1->trigger();
    EXPECT_EQ(status(), "Konte die folgende Datei nicht öffnen: " + file);
    EXPECT_TRUE(form->Panel4->isHidden());
}

TEST_F(FeedbackTest, StatusBarAfterARunGivesTheAnglesAndTheSize) {
    form->realRuns = true;
    form->openAnswers = {samplePath("sudoku.png")};
    form->Bildffnen1->trigger();
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
    const QString expected =
        QString("Bild 1 entzerrt: X-Rotation %1°, Y-Rotation %2°, %3 × %4 Pixel")
            .arg(QLocale().toString(form->RxSpinEdit1->value(), 'f', 2))
            .arg(QLocale().toString(form->RxSpinEdit2->value(), 'f', 2))
            .arg(pixkit::dibwidth(form->ws.slot(1).result))
            .arg(pixkit::dibheight(form->ws.slot(1).result));
    EXPECT_EQ(status(), expected);
}

// Corners on one line, or in an order whose sides cross, make no image: the
// status bar says why instead of showing a picture of nothing.
TEST_F(FeedbackTest, StatusBarExplainsCornersThatFormNoQuad) {
    form->realRuns = true;
    form->openAnswers = {samplePath("sudoku.png")};
    form->Bildffnen1->trigger();
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    for (const rectify::Corners& corners :
         {rectify::Corners{{{0, 0}, {10, 10}, {20, 20}, {30, 30}}},
          rectify::Corners{{{72, 84}, {492, 69}, {35, 517}, {520, 521}}}}) {
        form->StatusBar1->clearMessage();
        form->placeCorners(corners);
        EXPECT_EQ(status(), "Die Ecken bilden kein Viereck: drei liegen auf einer Linie oder "
                            "zwei Seiten kreuzen sich.");
        EXPECT_FALSE(form->hasRectified(1));
    }
}

TEST_F(FeedbackTest, SavedFileIsNamedAndAFailureIsExplainedInGerman) {
    installRectified(form->ws.slot(1).result);
    const QString good = configDir() + "/ergebnis.png";
    const QString bad = configDir() + "/fehlt/ergebnis.png";
    form->saveAnswers = {good, bad};
    form->EntzerrtesBildspeichern1->trigger();
    ASSERT_TRUE(QFile::exists(good));
    EXPECT_EQ(status(), "Gespeichert: " + QDir::toNativeSeparators(good));
    form->EntzerrtesBildspeichern1->trigger();
    ASSERT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->errors.front().startsWith("Das Bild konnte nicht gespeichert werden: " +
                                                QDir::toNativeSeparators(bad)))
        << form->errors.front().toStdString();
}

TEST_F(FeedbackTest, SaveFailureIsTranslatedInEnglish) {
    installShippedDictionary();
    writeLanguage(1);
    form.reset();
    form = shownForm();
    installRectified(form->ws.slot(1).result);
    form->saveAnswers = {configDir() + "/fehlt/ergebnis.png"};
    form->SaveAsBtn->click();
    ASSERT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->errors.front().startsWith("The image could not be saved: "))
        << form->errors.front().toStdString();
}

// A value no picture can be made with keeps the picture, marks it as not
// matching the fields and says why, until a run succeeds again.
struct RefusedCase {
    const char* name;
    QDoubleSpinBox* TestForm::*field;
    double refused;
    const char* why;
};

class RefusedValueTest : public FeedbackTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedValueTest, RefusedValueSaysWhyAndMarksThePicture) {
    const RefusedCase c = GetParam();
    form->realRuns = true;
    form->openAnswers = {samplePath("sudoku.png")};
    form->Bildffnen1->trigger();
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
    const pixkit::dib shown = form->ws.slot(1).result;
    ASSERT_NE(shown.poi, nullptr);
    QDoubleSpinBox* field = (*form).*c.field;
    const double good = field->value();

    field->setValue(c.refused);
    form->Timer1Timer();
    EXPECT_EQ(status(), QString::fromUtf8(c.why));
    EXPECT_TRUE(form->MismatchLabel->isVisible());
    EXPECT_EQ(form->ws.slot(1).result.pixels(), shown.poi); // the old picture stays

    field->setValue(good);
    form->Timer1Timer();
    EXPECT_TRUE(status().startsWith("Bild 1 entzerrt")) << status().toStdString();
    EXPECT_FALSE(form->MismatchLabel->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RefusedValueTest,
    ::testing::Values(
        RefusedCase{"WidthZero", &TestForm::BreiteED, 0.0,
                    "Nicht berechnet: Breite und Höhe müssen größer als 0 sein"},
        RefusedCase{"HeightNegative", &TestForm::HoeheEd, -5.0,
                    "Nicht berechnet: Breite und Höhe müssen größer als 0 sein"},
        RefusedCase{"AngleX9999", &TestForm::RxSpinEdit1, 9999.0,
                    "Nicht berechnet: die Winkel müssen zwischen -90° und 90° liegen"},
        RefusedCase{"AngleYMinus90", &TestForm::RxSpinEdit2, -90.0,
                    "Nicht berechnet: die Winkel müssen zwischen -90° und 90° liegen"}),
    [](const ::testing::TestParamInfo<RefusedCase>& c) { return c.param.name; });

// Remembers the cursor the application showed while a run drew its result.
class BusyForm : public TestForm {
public:
    using TestForm::TestForm;
    bool recording = false;
    std::vector<Qt::CursorShape> shapesDuringRuns;
    void PaintBox2Paint() override {
        if (recording) {
            const QCursor* c = QApplication::overrideCursor();
            shapesDuringRuns.push_back(c != nullptr ? c->shape() : Qt::ArrowCursor);
        }
        TestForm::PaintBox2Paint();
    }
};

TEST_F(GuiTest, RunsShowTheBusyCursorUntilTheyEnd) {
    BusyForm form;
    form.show();
    form.realRuns = true;
    form.openAnswers = {samplePath("sudoku.png")};
    form.Bildffnen1->trigger();
    form.BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    form.recording = true; // the run draws its result into view 2
    form.placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
    form.recording = false;
    ASSERT_FALSE(form.shapesDuringRuns.empty());
    for (Qt::CursorShape shape : form.shapesDuringRuns)
        EXPECT_EQ(shape, Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The save commands of each photograph follow its rectified image.
struct SaveCommandCase {
    const char* name;
    bool image1;
    bool image2;
};

class SaveCommandsTest : public FeedbackTest,
                         public ::testing::WithParamInterface<SaveCommandCase> {};

TEST_P(SaveCommandsTest, EnabledOnlyWithARectifiedImage) {
    const SaveCommandCase& c = GetParam();
    if (c.image1)
        installRectified(form->ws.slot(1).result);
    if (c.image2)
        installRectified(form->ws.slot(2).result);
    EXPECT_EQ(form->EntzerrtesBildspeichern1->isEnabled(), c.image1);
    EXPECT_EQ(form->SaveAsBtn->isEnabled(), c.image1);
    EXPECT_EQ(form->EntzerrtesBild2speichern1->isEnabled(), c.image2);
    EXPECT_EQ(form->BitBtnXP2->isEnabled(), c.image2);
    // A click on a disabled button asks for no file.
    form->saveAnswers = {configDir() + "/a.png", configDir() + "/b.png"};
    QTest::mouseClick(form->SaveAsBtn, Qt::LeftButton);
    QTest::mouseClick(form->BitBtnXP2, Qt::LeftButton);
    EXPECT_EQ(QFile::exists(configDir() + "/a.png"), c.image1 || c.image2);
    EXPECT_EQ(QFile::exists(configDir() + "/b.png"), c.image1 && c.image2);
    EXPECT_EQ(form->saveAnswers.size(), 2 - int(c.image1) - int(c.image2));
}

INSTANTIATE_TEST_SUITE_P(Images, SaveCommandsTest,
                         ::testing::Values(SaveCommandCase{"NoneAtStart", false, false},
                                           SaveCommandCase{"OnlyImageOne", true, false},
                                           SaveCommandCase{"OnlyImageTwo", false, true},
                                           SaveCommandCase{"Both", true, true}),
                         [](const testing::TestParamInfo<SaveCommandCase>& p) {
                             return std::string(p.param.name);
                         });

} // namespace
} // namespace guitest
