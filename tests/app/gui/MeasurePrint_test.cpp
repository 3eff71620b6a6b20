// Measuring in the rectified view and the PDF at a drawing scale, driven
// through the real widgets on the rectified sample photograph; the PDF is
// read back with poppler's pdfimages and pdfinfo.

#include "GuiTestSupport.h"

#include "gui/PaintBoxView.h"
#include "gui/TScalePrintForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>

namespace guitest {
namespace {

// Answers the PDF dialog through its widgets and the file dialog by a name.
class PrintForm : public TestForm {
public:
    using TestForm::TestForm;

    QStringList pdfAnswers;
    // Sets the dialog's widgets; OK is clicked after it unless it returns false.
    std::function<bool(gui::TScalePrintForm&)> dialogAnswer;

protected:
    QString choosePdfFile() override {
        return pdfAnswers.isEmpty() ? QString() : pdfAnswers.takeFirst();
    }
    bool runScalePrintDialog() override {
        ScalePrintForm->show();
        const bool ok = !dialogAnswer || dialogAnswer(*ScalePrintForm);
        QTest::mouseClick(ok ? ScalePrintForm->OKBtn : ScalePrintForm->CancelBtn, Qt::LeftButton);
        return ScalePrintForm->result() == QDialog::Accepted;
    }
};

class MeasurePrintTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        GuiTest::TearDown();
    }

    // The sample rectified as image 1 at zoom 100 % (a view pixel is an image
    // pixel), made with the real width `widthCm` of its whole picture.
    std::unique_ptr<PrintForm> rectified(double widthCm) {
        auto form = std::make_unique<PrintForm>(QStringList{samplePath("sudoku.png")});
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->realRuns = true;
        form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
        form->ZoomEd->setValue(100);
        form->BreiteED->setValue(widthCm);
        form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
        form->Timer1->stop();
        QApplication::processEvents();
        return form;
    }

    static void click(QWidget* view, QPoint at) {
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, at);
    }

    QTemporaryDir m_out;
};

// The picture's width made as W / 2 cm: 2 pixels per cm, so every figure is
// known from the clicked pixels alone.
TEST_F(MeasurePrintTest, ClickedPointsAreMeasuredAtThePicturesScale) {
    auto probe = rectified(1000.0);
    const int W = probe->ws.slot(1).result.width();
    const int H = probe->ws.slot(1).result.height();
    probe.reset();
    ASSERT_GT(W, 300);
    ASSERT_GT(H, 300);
    auto form = rectified(W / 2.0);
    ASSERT_TRUE(form->ws.slot(1).scale && form->ws.slot(1).scale->pixelsPerCm);
    ASSERT_DOUBLE_EQ(*form->ws.slot(1).scale->pixelsPerCm, 2.0);
    ASSERT_EQ(form->PaintBox2->width(), W);
    const auto before = form->ws.slot(1).result.pixels()
                            ? std::vector<std::uint8_t>(form->ws.slot(1).result.pixels(),
                                                        form->ws.slot(1).result.pixels() + 3 * W)
                            : std::vector<std::uint8_t>();

    form->Messen1->trigger();
    ASSERT_TRUE(form->Messen1->isChecked());
    // 240 x 320 pixels apart: 400 pixels, 200 cm.
    click(form->PaintBox2, {20, 30});
    click(form->PaintBox2, {260, 350});
    EXPECT_EQ(form->StatusBar1->currentMessage(), QStringLiteral("Abstand 200,0 cm"));
    EXPECT_TRUE(form->Messungkopieren1->isEnabled());
    // A double click ends it; the next click starts anew. A rectangle of
    // 200 x 150 pixels: 100 x 75 cm.
    QTest::mouseDClick(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, {260, 350});
    EXPECT_EQ(form->StatusBar1->currentMessage(), QStringLiteral("Abstand 200,0 cm"));
    click(form->PaintBox2, {20, 30});
    click(form->PaintBox2, {220, 30});
    click(form->PaintBox2, {220, 180});
    EXPECT_EQ(form->StatusBar1->currentMessage(), QStringLiteral("Länge 175,0 cm"));
    click(form->PaintBox2, {20, 180});
    QTest::mouseDClick(form->PaintBox2, Qt::LeftButton, Qt::NoModifier, {20, 180});
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("Fläche 7.500,0 cm² (Umfang 350,0 cm)"));
    form->Messungkopieren1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Fläche 7.500,0 cm² (Umfang 350,0 cm)\nStrecke 1: 100,0 cm\n"
                             "Strecke 2: 75,0 cm\nStrecke 3: 100,0 cm\nStrecke 4: 75,0 cm\n"));

    // Measuring never paints into the picture; unchecking ends it.
    EXPECT_EQ(std::vector<std::uint8_t>(form->ws.slot(1).result.pixels(),
                                        form->ws.slot(1).result.pixels() + 3 * W),
              before);
    form->Messen1->trigger();
    EXPECT_FALSE(form->Messen1->isChecked());
    EXPECT_FALSE(form->measureSession().result.has_value());
    EXPECT_FALSE(form->Messungkopieren1->isEnabled());
}

} // namespace
} // namespace guitest
