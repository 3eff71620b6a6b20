// Keyboard, dialog and layout polish of the main window: shortcuts,
// Ctrl + wheel zoom about the mouse, remembered dialog folders, plain
// separators, the open filter and the smallest window size.

#include "GuiTestSupport.h"

#include "gui/FileDialog.h"
#include "gui/FileFilters.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TAboutBox.h"
#include "gui/ViewMapping.h"

#include "pixkit/ImageFile.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace guitest {
namespace {

class PolishTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        form = shownForm();
    }
    void activate() {
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    std::unique_ptr<TestForm> form;
};

struct ShortcutCase {
    const char* action;
    QKeySequence keys;
};

class ShortcutTest : public PolishTest, public ::testing::WithParamInterface<ShortcutCase> {};

TEST_P(ShortcutTest, CommandCarriesItsStandardKeyAndKeepsItsCaption) {
    auto* a = form->findChild<QAction*>(GetParam().action);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->shortcut(), GetParam().keys);
    EXPECT_FALSE(a->text().contains('\t')); // the menu shows the key beside the caption
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ShortcutTest,
    ::testing::Values(ShortcutCase{"Bildffnen1", QKeySequence(Qt::CTRL | Qt::Key_O)},
                      ShortcutCase{"Bild2ffnen1", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
                      ShortcutCase{"EntzerrtesBildspeichern1", QKeySequence(Qt::CTRL | Qt::Key_S)},
                      ShortcutCase{"Beenden1", QKeySequence(Qt::CTRL | Qt::Key_Q)},
                      ShortcutCase{"Bildneuberechnen1", QKeySequence(Qt::Key_F5)},
                      ShortcutCase{"ber1", QKeySequence(Qt::Key_F1)}),
    [](const testing::TestParamInfo<ShortcutCase>& p) { return std::string(p.param.action); });

TEST_F(PolishTest, ShortcutKeysTriggerTheirCommands) {
    activate();
    const QString one = samplePath("sudoku.png");
    const QString two = samplePath("left12.jpg");
    form->openAnswers = {one, two};
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(pixkit::dibwidth(form->ws.slot(1).source), 558);
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(form->Panel4->isVisibleTo(form.get()));
    EXPECT_TRUE(form->openAnswers.isEmpty());
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_EQ(form->runs1, 1);
    EXPECT_EQ(form->runs2, 1);

    pixkit::dib d;
    pixkit::newdib(d, 10, 10, 24, nullptr, 0);
    form->ws.slot(1).result.install(d);
    form->PaintBox2Paint();
    const QString target = configDir() + "/taste.png";
    form->saveAnswers = {target};
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QFile::exists(target));
}

TEST_F(PolishTest, AboutBoxOpensWithF1) {
    activate();
    bool shown = false;
    QTimer::singleShot(0, form->AboutBox, [&] {
        shown = form->AboutBox->isVisible();
        form->AboutBox->reject();
    });
    QTest::keyClick(form.get(), Qt::Key_F1);
    EXPECT_TRUE(shown);
}

// Ctrl + wheel over a view: the image pixel under the mouse stays under it.
struct WheelCase {
    const char* name;
    int zoom;
    QPoint mouse; // in the viewport of view 1
    int notches;  // positive: away from the user (zoom in)
};

class CtrlWheelTest : public PolishTest, public ::testing::WithParamInterface<WheelCase> {};

TEST_P(CtrlWheelTest, KeepsThePixelUnderTheMouse) {
    const WheelCase& c = GetParam();
    form->ZoomEd->setValue(c.zoom);
    QApplication::processEvents();
    gui::ScrollBox* box = form->ScrollBox1;
    box->horizontalScrollBar()->setValue(box->horizontalScrollBar()->maximum() / 2);
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum() / 2);
    const QPoint global = box->viewport()->mapToGlobal(c.mouse);
    auto pixelUnderMouse = [&] {
        const QPoint v = form->PaintBox1->mapFromGlobal(global);
        const int z = form->ZoomEd->value();
        return QPoint(gui::viewToImage(v.x(), z), gui::viewToImage(v.y(), z));
    };
    const QPoint before = pixelUnderMouse();
    const int vscroll = form->ScrollBox1->verticalScrollBar()->value();
    for (int i = 0; i < std::abs(c.notches); ++i) {
        QWidget* target = form->PaintBox1;
        const QPointF local = target->mapFromGlobal(QPointF(global));
        QWheelEvent turn(local, QPointF(global), QPoint(), QPoint(0, c.notches > 0 ? 120 : -120),
                         Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &turn);
    }
    EXPECT_EQ(form->ZoomEd->value(), c.zoom + 10 * c.notches);
    EXPECT_EQ(pixelUnderMouse(), before);
    if (c.notches == 0) {
        EXPECT_EQ(form->ScrollBox1->verticalScrollBar()->value(), vscroll);
    }
}

INSTANTIATE_TEST_SUITE_P(Turns, CtrlWheelTest,
                         ::testing::Values(WheelCase{"InAt400", 400, {150, 90}, 1},
                                           WheelCase{"InThreeAt200", 200, {40, 200}, 3},
                                           WheelCase{"OutAt300", 300, {300, 50}, -1},
                                           WheelCase{"OutTwiceAt500", 500, {10, 10}, -2}),
                         [](const testing::TestParamInfo<WheelCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(PolishTest, CtrlWheelOverAFieldZoomsAndLeavesTheField) {
    const int blend = form->BlendEd->value();
    QWheelEvent turn(QPointF(5, 5), form->BlendEd->mapToGlobal(QPointF(5, 5)), QPoint(),
                     QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form->BlendEd, &turn);
    EXPECT_EQ(form->ZoomEd->value(), 50);
    EXPECT_EQ(form->BlendEd->value(), blend);
}

TEST_F(PolishTest, EachDialogRemembersItsOwnFolder) {
    QDir(configDir()).mkpath("bilder");
    QDir(configDir()).mkpath("ergebnisse");
    const QString pictures = QDir(configDir()).filePath("bilder");
    const QString results = QDir(configDir()).filePath("ergebnisse");
    form->OpenDialog1->rememberFolder(pictures + "/fassade.jpg");
    form->SaveDialog1->rememberFolder(results + "/fassade.png");
    form.reset();
    // A new window, as after a restart.
    form = shownForm();
    EXPECT_EQ(form->OpenDialog1->startFolder(), pictures);
    EXPECT_EQ(form->SaveDialog1->startFolder(), results);
    EXPECT_EQ(form->SaveDialog2->startFolder(), QString()); // the export chose nothing yet
    // A remembered folder that is gone is not offered.
    ASSERT_TRUE(QDir(pictures).removeRecursively());
    EXPECT_EQ(form->OpenDialog1->startFolder(), QString());
}

TEST_F(PolishTest, SeparatorsKeepTheirCaptionButShowNone) {
    ASSERT_EQ(form->N7->text(), "-");
    // Two menus alike but for the separator's caption look the same in the
    // window's menu style.
    auto build = [&](const QString& caption) {
        auto* m = new QMenu(form.get());
        m->setStyle(form->Datei1->style());
        m->addAction(QStringLiteral("Bild öffnen..."));
        QAction* sep = m->addSeparator();
        sep->setText(caption);
        m->addAction(QStringLiteral("Beenden"));
        m->ensurePolished();
        m->resize(m->sizeHint());
        return m;
    };
    QMenu* withDash = build(QStringLiteral("-"));
    QMenu* plain = build(QString());
    EXPECT_EQ(withDash->sizeHint(), plain->sizeHint());
    EXPECT_EQ(withDash->grab().toImage(), plain->grab().toImage());
}

TEST(OpenFilterTest, EachTypeListsItsPatternsOnce) {
    EXPECT_EQ(gui::qtFilterFromPipes("Windows-Bitmap (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle"),
              "Windows-Bitmap (*.bmp *.dib *.rle)");
    const QString filter =
        gui::qtFilterFromPipes(QString::fromStdString(pixkit::GetDIBOpenFilter()));
    // Once among all pictures, once in the entry of its own type.
    EXPECT_EQ(filter.count("*.bmp"), 2) << filter.toStdString();
    EXPECT_EQ(filter.count("*.jpg"), 2) << filter.toStdString();
    EXPECT_FALSE(filter.contains(';' + QString("*.")) && filter.contains("(*.bmp;"));
}

TEST_F(PolishTest, SmallestWindowCutsOffNoLabelOrButton) {
    EXPECT_LE(form->minimumWidth(), gui::TMainForm::InitialClientWidth);
    form->resize(form->minimumSize());
    QApplication::processEvents();
    for (QWidget* panel : {form->Panel1, form->Panel2}) {
        for (QWidget* w : panel->findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(w) == nullptr && qobject_cast<QPushButton*>(w) == nullptr)
                continue;
            EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
            EXPECT_TRUE(panel->rect().contains(w->geometry())) << w->objectName().toStdString();
        }
    }
}

TEST_F(GuiTest, ViewsHaveTheirSplitWidthsAtTheFirstPaint) {
    TestForm form;
    form.show();
    QApplication::processEvents(); // no layout timer has fired yet
    EXPECT_EQ(form.ScrollBox1->width(), 377);
    EXPECT_EQ(form.ScrollBox2->width(), 754 - 377 - form.Splitter1->handleWidth());
}

} // namespace
} // namespace guitest
