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
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
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
        m_locale = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void TearDown() override {
        QLocale::setDefault(m_locale);
        GuiTest::TearDown();
    }

    // The sample rectified as image 1 at zoom 100 % (a view pixel is an image
    // pixel), made as a square `widthCm` wide (its pixel size stays the same).
    std::unique_ptr<PrintForm> rectified(double widthCm) {
        auto form = std::make_unique<PrintForm>(QStringList{samplePath("sudoku.png")});
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->realRuns = true;
        form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
        form->ZoomEd->setValue(100);
        form->BreiteED->setValue(widthCm);
        form->HoeheEd->setValue(widthCm);
        form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
        form->Timer1->stop();
        QApplication::processEvents();
        return form;
    }

    static void click(QWidget* view, QPoint at) {
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, at);
    }

    QTemporaryDir m_out;
    QLocale m_locale;
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

QString toolOutput(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool havePoppler() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty();
}

struct PdfCase {
    const char* name;
    const char* scaleTyped; // into the dialog's scale box
    int paper;              // A4 ... A0
    bool landscape;
    int scale;
    double pageWidthPt; // the sheet, read back by pdfinfo
    double pageHeightPt;
    bool tiled;
};

class ScalePdfTest : public MeasurePrintTest, public ::testing::WithParamInterface<PdfCase> {};

// The sample made W x 2.54 cm wide, one pixel per inch of the facade: at 1:N
// its picture is placed at exactly N pixels per inch of paper, which
// pdfimages reports as a whole number.
TEST_P(ScalePdfTest, DialogValuesGiveThePlacedSizeAndSheet) {
    const PdfCase& c = GetParam();
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils (pdfinfo, pdfimages) missing";
    const int W = rectified(1000.0)->ws.slot(1).result.width();
    ASSERT_GT(W, 300);
    auto form = rectified(W * 2.54);
    ASSERT_EQ(form->ws.slot(1).result.width(), W);
    const QString file = m_out.filePath(QStringLiteral("plan.pdf"));
    form->pdfAnswers = {file};
    QString preview;
    form->dialogAnswer = [&](gui::TScalePrintForm& d) {
        d.ScaleBox->setFocus();
        d.ScaleBox->lineEdit()->selectAll();
        QTest::keyClicks(d.ScaleBox, QString::fromLatin1(c.scaleTyped));
        d.PaperBox->setCurrentIndex(c.paper);
        if (d.QuerformatCheck->isChecked() != c.landscape)
            QTest::mouseClick(d.QuerformatCheck, Qt::LeftButton, Qt::NoModifier,
                              QPoint(4, d.QuerformatCheck->height() / 2));
        preview = d.PreviewLabel->text();
        return true;
    };
    form->AlsPDFimMastabexportieren1->trigger();
    ASSERT_TRUE(form->errors.isEmpty()) << form->errors.join("; ").toStdString();
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(preview.contains(QStringLiteral("Seiten")), c.tiled) << preview.toStdString();

    const QString info = toolOutput(QStringLiteral("pdfinfo"), {file});
    double pw = 0.0, ph = 0.0;
    int pages = 0;
    for (const QString& line : info.split(QLatin1Char('\n'))) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (line.startsWith(QStringLiteral("Pages:")) && f.size() >= 2)
            pages = f[1].toInt();
        if (line.startsWith(QStringLiteral("Page size:")) && f.size() >= 5) {
            pw = f[2].toDouble();
            ph = f[4].toDouble();
        }
    }
    EXPECT_NEAR(pw, c.pageWidthPt, 0.5);
    EXPECT_NEAR(ph, c.pageHeightPt, 0.5);
    EXPECT_EQ(pages > 1, c.tiled) << pages;

    // pdfimages -list: page num type width height color comp bpc enc interp
    // object ID x-ppi y-ppi ...; the picture once per page, at one size.
    const QStringList rows =
        toolOutput(QStringLiteral("pdfimages"), {QStringLiteral("-list"), file})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            .mid(2);
    ASSERT_EQ(rows.size(), pages);
    for (const QString& row : rows) {
        const QStringList f = row.simplified().split(QLatin1Char(' '));
        ASSERT_GE(f.size(), 14) << row.toStdString();
        EXPECT_EQ(f[3].toInt(), W);
        EXPECT_EQ(f[12].toInt(), c.scale) << row.toStdString(); // x-ppi
        EXPECT_EQ(f[13].toInt(), c.scale) << row.toStdString(); // y-ppi
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scales, ScalePdfTest,
    ::testing::Values(PdfCase{"OneToHundredOnA4", "1:100", 0, false, 100, 595.28, 841.89, false},
                      PdfCase{"FiftyTypedOnA3Landscape", "50", 1, true, 50, 1190.55, 841.89, false},
                      PdfCase{"OneToTwentyTiledOnA4", "1:20", 0, false, 20, 595.28, 841.89, true}),
    [](const ::testing::TestParamInfo<PdfCase>& i) { return std::string(i.param.name); });

// Refusals: nothing is written, and the user is told why.
TEST_F(MeasurePrintTest, PdfCancelledOrWithoutFolderOrPictureWritesNothing) {
    auto form = rectified(1000.0);
    // The dialog cancelled: no file asked for.
    form->pdfAnswers = {m_out.filePath(QStringLiteral("cancelled.pdf"))};
    form->dialogAnswer = [](gui::TScalePrintForm&) { return false; };
    form->AlsPDFimMastabexportieren1->trigger();
    EXPECT_EQ(form->pdfAnswers.size(), 1);
    EXPECT_TRUE(form->errors.isEmpty());

    // A folder that is not there: its name in the message.
    const QString lost = m_out.filePath(QStringLiteral("kein Ordner/plan.pdf"));
    form->pdfAnswers = {lost};
    form->dialogAnswer = {};
    form->AlsPDFimMastabexportieren1->trigger();
    ASSERT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->errors[0].contains(QStringLiteral("kein Ordner")))
        << form->errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(lost));

    // Without a rectified picture there is nothing to print.
    EXPECT_FALSE(shownForm()->AlsPDFimMastabexportieren1->isEnabled());
    EXPECT_TRUE(QDir(m_out.path()).isEmpty());
}

} // namespace
} // namespace guitest
