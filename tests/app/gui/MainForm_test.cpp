// The main window's frame: controls, commands, timers and layout.

#include "GuiTestSupport.h"
#include "testsupport/CaseNames.h"

#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"

#include "pixkit/QImageDevice.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QWheelEvent>

#include <QSpontaneKeyEvent>
#include <QTest>

namespace guitest {
namespace {

class MainFormTest : public GuiTest {};

struct FieldCase {
    const char* name;
    double minimum;
    double maximum;
    double start;
    double step;
    int decimals; // -1: whole numbers
};

class ControlPanelTest : public MainFormTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(ControlPanelTest, FieldHasItsLimitsStepAndStartValue) {
    const FieldCase c = GetParam();
    auto form = std::make_unique<TestForm>();
    if (c.decimals < 0) {
        auto* e = form->findChild<QSpinBox*>(c.name);
        ASSERT_NE(e, nullptr) << c.name;
        EXPECT_EQ(e->minimum(), c.minimum);
        EXPECT_EQ(e->maximum(), c.maximum);
        EXPECT_EQ(e->value(), c.start);
        EXPECT_EQ(e->singleStep(), c.step);
    } else {
        auto* e = form->findChild<QDoubleSpinBox*>(c.name);
        ASSERT_NE(e, nullptr) << c.name;
        EXPECT_EQ(e->minimum(), c.minimum);
        EXPECT_EQ(e->maximum(), c.maximum);
        EXPECT_EQ(e->value(), c.start);
        EXPECT_EQ(e->singleStep(), c.step);
        EXPECT_EQ(e->decimals(), c.decimals);
    }
}

INSTANTIATE_TEST_SUITE_P(Window, ControlPanelTest,
                         ::testing::Values(FieldCase{"ZoomEd", 1, 1000, 40, 10, -1},
                                           FieldCase{"RxSpinEdit1", -1e12, 1e12, 0, 1, 2},
                                           FieldCase{"RxSpinEdit2", -1e12, 1e12, 0, 1, 2},
                                           FieldCase{"BreiteED", -1e12, 1e12, 1000, 1, 2},
                                           FieldCase{"HoeheEd", -1e12, 1e12, 1000, 1, 2},
                                           FieldCase{"zieledValue", 1, 1000, 100, 10, -1},
                                           FieldCase{"RechenbereichEd", 1, 10000, 100, 10, -1},
                                           FieldCase{"Schwelled", 1, 99, 50, 1, -1},
                                           FieldCase{"BlendEd", 0, 100, 0, 10, -1}),
                         [](const testing::TestParamInfo<FieldCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(MainFormTest, MenusAndButtonsCarryTheirNamesAndCaptions) {
    auto form = std::make_unique<TestForm>();
    const std::vector<std::pair<const char*, const char*>> actions{
        {"Bildffnen1", "Bild öffnen..."},
        {"Bild2wiederausblenden1", "Bild 2 wieder ausblenden"},
        {"N7", "-"},
        {"EntzerrtesBild2speichern1", "Entzerrtes Bild 2 speichern..."},
        {"ExportalsDXFDatei1", "Export als DXF Datei..."},
        {"bergeblendeteBilderverschieben1", "Übergeblendete Bilder verschieben..."},
        {"Ausgangsbildnachrechtsrotieren2", "Ausgangsbild nach rechts rotieren"},
        {"GrererPinsel1", "Größerer Pinsel"},
        {"BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1",
         "Breite und Höhe nach dem Setzen von 4 Punkten voreinstellen"},
        {"JPEGQualitteinstellen1", "JPEG Qualität einstellen..."},
        {"bersetzen1", "Übersetzen..."},
        {"ber1", "Über..."}};
    for (const auto& [name, caption] : actions) {
        auto* a = form->findChild<QAction*>(name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text(), QString::fromUtf8(caption)) << name;
    }
    for (const char* sep : {"N1", "N2", "N3", "N4", "N5", "N6", "N7", "N8"}) {
        auto* a = form->findChild<QAction*>(sep);
        ASSERT_NE(a, nullptr) << sep;
        EXPECT_TRUE(a->isSeparator()) << sep;
    }
    EXPECT_EQ(form->RotierenBild21->title(), "Rotieren Bild 2");
    EXPECT_EQ(form->Spracge1->title(), "Sprache");
    EXPECT_TRUE(form->Deutsch1->isChecked());
    EXPECT_EQ(form->LanguageGroup->checkedAction(), form->Deutsch1);
    EXPECT_TRUE(form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->isChecked());
    EXPECT_FALSE(form->LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->isChecked());
    EXPECT_EQ(form->findChild<QPushButton*>("OpenBtn")->text(), "Öffnen Bild 1...");
    EXPECT_EQ(form->findChild<QPushButton*>("BitBtnXP2")->text(), "Speichern Bild 2...");
    EXPECT_EQ(form->NowDoNotRenderCheck->text(), "Jetzt erstmal nicht gleich rechnen");
    EXPECT_EQ(form->Label10->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(form->windowTitle(), "Velkor Fassadenplan 1.0");
    EXPECT_TRUE(form->Panel4->isHidden());
    EXPECT_EQ(form->Timer1->interval(), 1000);
    EXPECT_EQ(form->Timer2->interval(), 100);
}

TEST_F(MainFormTest, QuickWidthChangesGiveOneRunAfterTheLast) {
    auto form = shownForm();
    int changes = 0;
    QObject::connect(form->BreiteED, &QDoubleSpinBox::valueChanged, [&] { ++changes; });
    form->BreiteED->setFocus();
    form->BreiteED->selectAll();
    QTest::keyClicks(form->BreiteED, "1250");
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(form->BreiteED->value(), 1250.0);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_GT(form->Timer1->remainingTime(), 500);
    EXPECT_EQ(form->runs1, 0);
    QTest::qWait(1300);
    EXPECT_EQ(form->runs1, 1);
    EXPECT_EQ(form->runs2, 1);
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(MainFormTest, TypedAngleSetsSetwinkButWriteBackStaysQuiet) {
    auto form = shownForm();
    form->RxSpinEdit2->setValue(3.25);
    EXPECT_TRUE(form->ws.setwink);
    EXPECT_TRUE(form->Timer1->isActive());
    form->Timer1->stop();
    form->ws.setwink = false;
    // A run shows the found angles: that is no typed angle.
    form->showAngles(12.5, -3.25);
    EXPECT_EQ(form->RxSpinEdit1->value(), 12.5);
    EXPECT_EQ(form->RxSpinEdit2->value(), -3.25);
    EXPECT_FALSE(form->ws.setwink);
    EXPECT_FALSE(form->Timer1->isActive());
    // The preset width is a change like a user's: the recomputation follows,
    // but only when the shown text changes.
    form->showPresetWidth(1000.001);
    EXPECT_FALSE(form->Timer1->isActive());
    form->showPresetWidth(1234.5);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_FALSE(form->ws.setwink);
}

TEST_F(MainFormTest, HoldCheckBoxHoldsAndReleasingItRecomputes) {
    auto form = shownForm();
    form->NowDoNotRenderCheck->click();
    EXPECT_TRUE(form->holdChecked());
    EXPECT_FALSE(form->Timer1->isActive());
    form->NowDoNotRenderCheck->click();
    EXPECT_FALSE(form->holdChecked());
    EXPECT_TRUE(form->Timer1->isActive());
}

TEST_F(MainFormTest, RecomputeRunsImage1ThenImage2) {
    auto form = shownForm();
    form->Bildneuberechnen1->trigger();
    EXPECT_EQ(form->runs1, 1);
    EXPECT_EQ(form->runs2, 1);
}

TEST_F(MainFormTest, SplitOfBothRowsFollowsPercent) {
    auto form = shownForm();
    // The window starts with a client area of 754 x 563 below its menu.
    EXPECT_EQ(form->width(), 754);
    EXPECT_EQ(form->height() - form->menuBar()->height(), 563);
    form->showImage2Row();
    QTest::qWait(250); // two layout passes
    ASSERT_EQ(form->width(), 754);
    EXPECT_EQ(form->ScrollBox1->width(), 377);
    EXPECT_EQ(form->ScrollBox4->width(), 377);
    // Dragging the upper splitter to 200.
    QSplitterHandle* handle = form->Splitter1->handle(1);
    const QPoint start = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start.x() + 200 - 377, start.y()),
                     handle->mapToGlobal(QPointF(start.x() + 200 - 377, start.y())), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier,
                        QPoint(start.x() + 200 - 377, start.y()));
    EXPECT_EQ(form->percent, 26); // 200 * 100 div 754
    EXPECT_TRUE(form->Timer2->isActive()) << "the drag asks for one layout pass";
    QTest::qWait(250);
    EXPECT_EQ(form->ScrollBox1->width(), 196);
    EXPECT_EQ(form->ScrollBox4->width(), 196);
    // One pass, not a timer that goes on for ever.
    EXPECT_TRUE(form->Timer2->isSingleShot());
    EXPECT_FALSE(form->Timer2->isActive());
    // The lower row keeps half the height of both rows.
    EXPECT_LE(std::abs(form->Panel4->height() - form->Panel3->height()), 1);
}

TEST_F(MainFormTest, WheelScrollsSourceView1WhereverTheMouseIs) {
    auto form = shownForm();
    form->ZoomEd->setValue(1000); // 3200 x 2000: view 1 can scroll
    QApplication::processEvents();
    QScrollBar* sb = form->ScrollBox1->verticalScrollBar();
    ASSERT_GT(sb->maximum(), 100);
    sb->setValue(100);
    for (QWidget* target :
         {static_cast<QWidget*>(form->PaintBox2), static_cast<QWidget*>(form->PaintBox1),
          static_cast<QWidget*>(form->ZoomEd)}) {
        const int before = sb->value();
        QWheelEvent towardsUser(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(),
                                QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                                false);
        QApplication::sendEvent(target, &towardsUser);
        EXPECT_EQ(sb->value(), before + 20) << target->objectName().toStdString();
        QWheelEvent away(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(),
                         QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &away);
        EXPECT_EQ(sb->value(), before);
    }
    // A turn from the system travels up through every parent that ignores
    // it; the window still scrolls once per turn.
    for (std::uint64_t t = 1000; t < 1003; ++t) {
        const int before = sb->value();
        QWheelEvent turn(QPointF(5, 5), form->PaintBox2->mapToGlobal(QPointF(5, 5)), QPoint(),
                         QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        turn.setTimestamp(t);
        QSpontaneKeyEvent::setSpontaneous(&turn);
        QApplication::instance()->notify(form->PaintBox2, &turn); // as the system delivers it
        EXPECT_EQ(sb->value(), before + 20);
    }
}

TEST_F(MainFormTest, OpeningImagesShowsThemAndImage2Row) {
    auto form = shownForm();
    form->openAnswers = {samplePath("sudoku.png"), samplePath("left12.jpg"),
                         configDir() + "/missing.png"};
    QTest::mouseClick(form->OpenBtn, Qt::LeftButton);
    ASSERT_NE(form->ws.slot(1).source.pixels(), nullptr);
    EXPECT_EQ(pixkit::dibwidth(form->ws.slot(1).source), 558);
    EXPECT_EQ(form->PaintBox1->size(), QSize(223, 225)); // 558 * 0.4 = 223.2, 563 * 0.4 = 225.2
    QTest::mouseClick(form->BitBtnXP1, Qt::LeftButton);
    EXPECT_FALSE(form->Panel4->isHidden());
    EXPECT_EQ(pixkit::dibbits(form->ws.slot(2).source), 24); // grey JPEG promoted
    EXPECT_EQ(form->PaintBox4->size(), QSize(256, 192));
    form->Bild2wiederausblenden1->trigger();
    EXPECT_TRUE(form->Panel4->isHidden());
    // An unreadable file changes nothing.
    const pixkit::dib before = form->ws.slot(1).source;
    form->Bildffnen1->trigger();
    EXPECT_EQ(form->ws.slot(1).source.pixels(), before.poi);
    // A cancelled dialog neither.
    form->Bildffnen1->trigger();
    EXPECT_EQ(form->ws.slot(1).source.pixels(), before.poi);
}

TEST_F(MainFormTest, SavingWritesTheRectifiedImageOrReportsWhy) {
    auto form = shownForm();
    // Both photographs have a rectified image to save.
    for (pixkit::Image* field : {&form->ws.slot(1).result, &form->ws.slot(2).result}) {
        pixkit::dib d;
        pixkit::newdib(d, 8, 6, 24, nullptr, 0);
        field->install(d);
    }
    form->PaintBox2Paint();
    form->PaintBox3Paint();
    const QString good = configDir() + "/out.png";
    const QString bad = configDir() + "/no/such/folder/out.png";
    form->saveAnswers = {good, bad};
    QTest::mouseClick(form->SaveAsBtn, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(good));
    EXPECT_TRUE(form->errors.isEmpty());
    form->EntzerrtesBild2speichern1->trigger();
    EXPECT_FALSE(QFile::exists(bad));
    ASSERT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->errors.front().contains(bad));
}

TEST_F(MainFormTest, TurnsActOnTheirImageAndRunIt) {
    auto form = shownForm();
    form->ws.slot(1).corners = {rectify::TPoint{1, 2}, {3, 4}, {5, 6}, {7, 8}};
    const rectify::Corners start = form->ws.slot(1).corners;
    form->Ausgangsbildnachlinksrotieren1->trigger();
    EXPECT_EQ(pixkit::dibwidth(form->ws.slot(1).source), 200);
    EXPECT_EQ(form->PaintBox1->size(), QSize(80, 128));
    EXPECT_EQ(form->runs1, 1);
    form->Ausgangsbildnachrechtsrotieren2->trigger();
    EXPECT_EQ(pixkit::dibwidth(form->ws.slot(2).source), 200);
    EXPECT_EQ(form->runs2, 1);
    form->EntzerrtesBildnachlinksrotieren1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners[0], start[1]);
    form->EntzerrtesBildnachrechtsrotieren1->trigger();
    EXPECT_EQ(form->ws.slot(1).corners, start);
    EXPECT_EQ(form->runs1, 3);
}

} // namespace
} // namespace guitest

namespace guitest {
namespace {

// The whole road on the sample photograph with the real engine: four clicks,
// the width preset, the image one second later, then a typed angle.
TEST_F(MainFormTest, FourClicksOnThePhotographShowItRectified) {
    auto form = shownForm({samplePath("sudoku.png")});
    form->realRuns = true;
    ASSERT_EQ(pixkit::dibwidth(form->ws.slot(1).source), 558);
    form->ZoomEd->setValue(100);
    QApplication::processEvents();
    const pixkit::dib blank = form->ws.slot(1).result;
    for (const QPoint& p : {QPoint(72, 84), QPoint(492, 69), QPoint(520, 521), QPoint(35, 517)}) {
        QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, p);
    }
    // The fourth click preset the width from the found tilt; no image yet.
    EXPECT_EQ(form->runs1, 1);
    EXPECT_FALSE(form->ws.breitetoset);
    EXPECT_NE(form->BreiteED->value(), 1000.0);
    EXPECT_EQ(form->ws.slot(1).result.pixels(), blank.poi);
    EXPECT_TRUE(form->Timer1->isActive());
    QTest::qWait(1300);
    EXPECT_EQ(form->runs1, 2);
    ASSERT_NE(form->ws.slot(1).result.pixels(), blank.poi);
    EXPECT_EQ(form->PaintBox2->size(), QSize(pixkit::dibwidth(form->ws.slot(1).result),
                                             pixkit::dibheight(form->ws.slot(1).result)));
    EXPECT_EQ(form->bit1.size(), form->PaintBox2->size());
    EXPECT_FALSE(form->Timer1->isActive()); // the angle write-back stayed quiet
    EXPECT_FALSE(form->ws.setwink);
    // The view shows the rectified image exactly as the pixel-by-pixel
    // definition of the drawing does, also scaled.
    for (int zoom : {100, 40}) {
        form->ZoomEd->setValue(zoom);
        const QSize size = form->PaintBox2->size();
        QImage reference(size, QImage::Format_RGB32);
        pixkit::drawDibRowsReference(
            reference, 0, 0, size.width(), size.height(), form->ws.slot(1).result, 0, 0,
            pixkit::dibwidth(form->ws.slot(1).result), pixkit::dibheight(form->ws.slot(1).result));
        EXPECT_EQ(form->bit1, reference) << zoom;
    }

    // A typed angle: one run with that angle, and nothing after it.
    const double foundY = form->RxSpinEdit2->value();
    form->RxSpinEdit1->setFocus();
    form->RxSpinEdit1->selectAll();
    QTest::keyClicks(form->RxSpinEdit1, "5");
    EXPECT_TRUE(form->ws.setwink);
    QTest::qWait(1300);
    EXPECT_EQ(form->runs1, 3);
    EXPECT_FALSE(form->ws.setwink);
    EXPECT_EQ(form->RxSpinEdit1->value(), 5.0);
    EXPECT_EQ(form->RxSpinEdit2->value(), foundY);
    EXPECT_FALSE(form->Timer1->isActive());

    // Held: neither the recompute command nor a field change makes an image.
    form->NowDoNotRenderCheck->click();
    const pixkit::dib shown = form->ws.slot(1).result;
    form->HoeheEd->setValue(500.0);
    form->Bildneuberechnen1->trigger();
    EXPECT_EQ(form->ws.slot(1).result.pixels(), shown.poi);
    form->NowDoNotRenderCheck->click();
    QTest::qWait(1300);
    EXPECT_NE(form->ws.slot(1).result.pixels(), shown.poi);
}

} // namespace
} // namespace guitest
