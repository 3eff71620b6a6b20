// The window at the limits: the fields follow the one table of limits, a
// rectified image over the pixel limit is refused with a message, and a
// command that throws ends in an error box instead of ending the program.

#include "GuiTestSupport.h"

#include "app/Fields.h"
#include "gui/InteractiveStart.h"
#include "gui/TJPEGQualForm.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <fstream>
#include <new>
#include <stdexcept>

namespace guitest {
namespace {

class LimitsTest : public GuiTest {};

// Every numeric field of the window and its dialogs has the limits, start
// value, step and decimals of the table.
TEST_F(LimitsTest, FieldsFollowTheTable) {
    auto form = std::make_unique<TestForm>();
    for (const app::FieldLimits& f : app::fields::All) {
        const QString name =
            QString::fromLatin1(f.name.data(), static_cast<qsizetype>(f.name.size()));
        SCOPED_TRACE(name.toStdString());
        QAbstractSpinBox* box = form->findChild<QAbstractSpinBox*>(name);
        ASSERT_NE(box, nullptr);
        if (auto* whole = qobject_cast<QSpinBox*>(box)) {
            EXPECT_EQ(f.decimals, 0);
            EXPECT_EQ(whole->minimum(), f.minimum);
            EXPECT_EQ(whole->maximum(), f.maximum);
            EXPECT_EQ(whole->value(), f.start);
            EXPECT_EQ(whole->singleStep(), f.step);
        } else {
            auto* fraction = qobject_cast<QDoubleSpinBox*>(box);
            ASSERT_NE(fraction, nullptr);
            EXPECT_EQ(fraction->decimals(), f.decimals);
            EXPECT_EQ(fraction->minimum(), f.minimum);
            EXPECT_EQ(fraction->maximum(), f.maximum);
            EXPECT_EQ(fraction->value(), f.start);
            EXPECT_EQ(fraction->singleStep(), f.step);
        }
    }
}

TEST_F(LimitsTest, RectifiedImageOverTheLimitIsRefusedWithItsSize) {
    auto form = shownForm({samplePath("sudoku.png")});
    form->realRuns = true;
    form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
    form->Bildneuberechnen1->trigger();
    form->Timer1->stop();
    ASSERT_GT(pixkit::dibwidth(form->ws.slot(1).result), 400);
    const std::uint8_t* before = form->ws.slot(1).result.pixels();
    form->errors.clear();

    // 10000 %: about 45000 pixels a side.
    form->RechenbereichEd->setValue(10000);
    form->Bildneuberechnen1->trigger();
    form->Timer1->stop();

    ASSERT_EQ(form->errors.size(), 1) << form->errors.join("; ").toStdString();
    EXPECT_TRUE(form->errors[0].contains(QStringLiteral("268"))) << form->errors[0].toStdString();
    EXPECT_TRUE(form->errors[0].contains(QStringLiteral(" × "))) << form->errors[0].toStdString();
    EXPECT_EQ(form->ws.slot(1).result.pixels(), before) << "the previous result must stay";
}

// A photograph whose name is no UTF-8, given as the command line's bytes,
// opens on the first showing (its text form would name another file).
TEST_F(LimitsTest, StartPhotographKeepsTheBytesOfItsName) {
    QTemporaryDir dir;
    const std::string name = dir.path().toStdString() + "/sudoku\xff\xfe.png";
    const QByteArray png = [] {
        QFile f(samplePath("sudoku.png"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(png.isEmpty());
    {
        std::ofstream out(name, std::ios::binary);
        out.write(png.constData(), png.size());
    }
    auto form = std::make_unique<TestForm>(QStringList{QString::fromLocal8Bit(name.c_str())});
    form->startFileBytes = name;
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();
    EXPECT_EQ(pixkit::dibwidth(form->ws.slot(1).source), 558);
    EXPECT_EQ(pixkit::dibheight(form->ws.slot(1).source), 563);
    EXPECT_TRUE(form->errors.isEmpty()) << form->errors.join("; ").toStdString();
    ::unlink(name.c_str()); // QTemporaryDir cannot name it to remove it
}

struct GuardCase {
    const char* name;
    std::function<bool()> command;
    bool result;
    const char* boxText; // nullptr: no box
};
void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << c.name;
}

class EventGuard : public GuiTest, public testing::WithParamInterface<GuardCase> {};

TEST_P(EventGuard, ExceptionsEndInAnErrorBox) {
    const GuardCase& c = GetParam();
    EXPECT_EQ(gui::deliverGuarded(c.command), c.result);
    if (c.boxText == nullptr) {
        EXPECT_TRUE(m_boxes.boxes.empty());
        return;
    }
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(m_boxes.boxes[0].text.contains(QString::fromUtf8(c.boxText)))
        << m_boxes.boxes[0].text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Window, EventGuard,
    testing::Values(GuardCase{"handled", [] { return true; }, true, nullptr},
                    GuardCase{"ignored", [] { return false; }, false, nullptr},
                    GuardCase{"out_of_memory", []() -> bool { throw std::bad_alloc(); }, false,
                              "Nicht genug Speicher"},
                    GuardCase{"other_failure", []() -> bool { throw std::runtime_error("broken"); },
                              false, "unerwarteter Fehler"}),
    [](const testing::TestParamInfo<GuardCase>& i) { return std::string(i.param.name); });

} // namespace
} // namespace guitest
