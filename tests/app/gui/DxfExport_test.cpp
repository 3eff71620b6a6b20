// "Export als DXF Datei..." in the window: the command on the rectified
// sample photograph, its dialog answers, and its failures.

#include "GuiTestSupport.h"

#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "i18n/Messages.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <QTest>

#include <algorithm>
#include <vector>

namespace guitest {
namespace {

class DxfExportTest : public GuiTest {
protected:
    // The sample photograph rectified as image 1 (with the width found from the tilt).
    std::unique_ptr<TestForm> rectifiedForm(const QString& photo = samplePath("sudoku.png")) {
        auto form = shownForm({photo});
        form->realRuns = true;
        form->ZoomEd->setValue(50);
        form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
        form->Bildneuberechnen1->trigger();
        form->Timer1->stop();
        EXPECT_GT(pixkit::dibwidth(form->ws.slot(1).result), 400);
        // The newspaper's greys have one peak only: a low threshold.
        form->Schwelled->setValue(20);
        return form;
    }

    QByteArray fileBytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The value of a header variable: the second line after its name.
    static QByteArray headerValue(const QByteArray& dxf, const char* name) {
        const QList<QByteArray> lines = dxf.split('\n');
        for (qsizetype i = 0; i + 2 < lines.size(); ++i)
            if (lines[i].trimmed() == name)
                return lines[i + 2].trimmed();
        return {};
    }

    QTemporaryDir m_out;
};

TEST_F(DxfExportTest, MenuItemTracesTheRectifiedImageAndWritesTheDrawing) {
    auto form = rectifiedForm();
    const int W = pixkit::dibwidth(form->ws.slot(1).result),
              H = pixkit::dibheight(form->ws.slot(1).result);
    const QString file = m_out.filePath("zeitung.dxf");
    form->dxfAnswers = {file};

    ASSERT_TRUE(form->Datei1->actions().contains(form->ExportalsDXFDatei1));
    form->ExportalsDXFDatei1->trigger();

    EXPECT_TRUE(form->errors.isEmpty()) << form->errors.join("; ").toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor stayed";
    // di2 is the outline image of the 3 x 3 enlargement, shown at the zoom.
    EXPECT_EQ(pixkit::dibwidth(form->ws.slot(1).result), 3 * W);
    EXPECT_EQ(pixkit::dibheight(form->ws.slot(1).result), 3 * H);
    EXPECT_NEAR(form->PaintBox2->width(), 3 * W / 2.0, 1.0);
    EXPECT_NEAR(form->PaintBox2->height(), 3 * H / 2.0, 1.0);
    ASSERT_GT(form->ws.lines.count(), 100u);
    EXPECT_TRUE(form->ws.lines[0].newpoly);

    const QByteArray dxf = fileBytes(file);
    EXPECT_TRUE(dxf.startsWith(" 0\r\nSECTION\r\n  2\r\nTABLES\r\n"));
    EXPECT_TRUE(dxf.endsWith("  0\r\nENDSEC\r\n  0\r\nEOF\r\n"));
    EXPECT_EQ(dxf.count("\r\nPOLYLINE\r\n"), dxf.count("\r\nSEQEND\r\n"));
    EXPECT_GT(dxf.count("\r\nPOLYLINE\r\n"), 10);
}

// The menus' choices reach the drawing and the world file of the same
// picture, and the user store keeps them: the CAD drawing in cm with the
// photograph beside it, the specks left out, and the world file in cm too.
TEST_F(DxfExportTest, MenuChoicesMakeTheCadDrawingAndAreKept) {
    {
        auto form = rectifiedForm();
        form->CADmitEinheitenundFoto1->trigger();
        form->Zentimeter1->trigger();
        form->Weltdateimitspeichern1->trigger();
        EXPECT_FALSE(form->Einfach1->isChecked());
        EXPECT_FALSE(form->EinheitAutomatisch1->isChecked());
        const int W = pixkit::dibwidth(form->ws.slot(1).result);
        form->saveAnswers = {m_out.filePath("foto.png")};
        form->EntzerrtesBildspeichern1->trigger();

        // Every outline first, then only those of 40 pixels and more.
        std::size_t chains[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            form->MindestgroesseEd->setValue(k == 0 ? 0 : 40);
            const QString file = m_out.filePath(k == 0 ? "alle.dxf" : "gross.dxf");
            form->dxfAnswers = {file};
            form->Bildneuberechnen1->trigger(); // the photograph again, not the outlines
            form->ExportalsDXFDatei1->trigger();
            ASSERT_TRUE(form->errors.isEmpty()) << form->errors.join("; ").toStdString();
            const QByteArray dxf = fileBytes(file);
            EXPECT_TRUE(dxf.contains("AC1015")) << k;
            EXPECT_EQ(headerValue(dxf, "$INSUNITS"), "5") << k; // centimetres
            EXPECT_TRUE(dxf.contains("Umrisse")) << k;
            chains[k] = static_cast<std::size_t>(dxf.count("LWPOLYLINE"));
            // The photograph beside the drawing is the rectified picture, not the outlines.
            QImage photo(m_out.filePath(k == 0 ? "alle.png" : "gross.png"));
            EXPECT_EQ(photo.width(), W) << k;
            EXPECT_NE(photo.pixel(W / 2, 5), photo.pixel(0, 0)) << k;
        }
        EXPECT_GT(chains[0], chains[1]);
        EXPECT_GT(chains[1], 0u);

        // The world file of the saved picture is in cm: the real width 30
        // ... cm over W pixels, not the automatic unit of 10 cm.
        QFile world(m_out.filePath("foto.pgw"));
        ASSERT_TRUE(world.open(QIODevice::ReadOnly));
        const double pixel = world.readLine().trimmed().toDouble();
        EXPECT_NEAR(pixel * W, form->BreiteED->value(), 1e-6);
        form->close();
    }
    auto form = shownForm();
    EXPECT_TRUE(form->CADmitEinheitenundFoto1->isChecked());
    EXPECT_TRUE(form->Zentimeter1->isChecked());
    EXPECT_EQ(form->MindestgroesseEd->value(), 40);
    EXPECT_EQ(form->drawingChoice().unit, lines::DrawingUnit::Cm);
}

// A threshold that leaves nothing to trace says so instead of writing an
// empty drawing; no file name is asked for.
TEST_F(DxfExportTest, NoSegmentIsToldWithAHintAtTheThreshold) {
    auto form = rectifiedForm();
    // A picture of one grey: nothing to separate at any threshold.
    pixkit::dib grey;
    pixkit::newdib(grey, 120, 80, 24, nullptr, 0);
    std::fill(grey.poi, grey.poi + static_cast<std::size_t>(grey.bytew) * 80, std::uint8_t{128});
    form->ws.slot(1).result.install(grey);
    form->dxfAnswers = {m_out.filePath("leer.dxf")};
    form->ExportalsDXFDatei1->trigger();
    ASSERT_EQ(form->errors.size(), 1) << form->errors.join("; ").toStdString();
    EXPECT_TRUE(form->errors[0].contains(QStringLiteral("keine Linie")))
        << form->errors[0].toStdString();
    EXPECT_TRUE(form->errors[0].contains(QStringLiteral("Schwellwert")));
    EXPECT_EQ(form->dxfAnswers.size(), 1);
    EXPECT_TRUE(QDir(m_out.path()).isEmpty());
}

// A CAD drawing named after the photograph would put its photograph in the
// photograph's place: the user is told, and the photograph keeps its bytes.
TEST_F(DxfExportTest, CadDrawingNeverReplacesThePhotograph) {
    const QString photo = m_out.filePath("zeitung.png");
    ASSERT_TRUE(QFile::copy(samplePath("sudoku.png"), photo));
    const QByteArray before = fileBytes(photo);
    auto form = rectifiedForm(photo);
    form->CADmitEinheitenundFoto1->trigger();
    form->dxfAnswers = {m_out.filePath("zeitung.dxf")};
    form->ExportalsDXFDatei1->trigger();
    ASSERT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->errors[0].contains(QStringLiteral("würde das entzerrte Foto ersetzen")))
        << form->errors[0].toStdString();
    EXPECT_EQ(fileBytes(photo), before);
    EXPECT_FALSE(QFile::exists(m_out.filePath("zeitung.dxf")));
}

TEST_F(DxfExportTest, CancelledDialogKeepsOutlineAndLines) {
    auto form = rectifiedForm();
    form->ExportalsDXFDatei1->trigger(); // no answer: the dialog is cancelled
    EXPECT_TRUE(form->errors.isEmpty());
    EXPECT_GT(form->ws.lines.count(), 0u);
    EXPECT_TRUE(QDir(m_out.path()).isEmpty());
    // Black and white only: the outline image stayed.
    for (int x = 0; x < pixkit::dibwidth(form->ws.slot(1).result); x += 7) {
        const auto c = pixkit::getpixel(form->ws.slot(1).result, x, 100);
        ASSERT_TRUE(c == 0 || c == 0xFFFFFFu) << x;
    }
}

TEST_F(DxfExportTest, FileThatCannotBeCreatedShowsMessage9WithTheName) {
    auto form = rectifiedForm();
    const QString file = m_out.filePath("kein Ordner/zeitung.dxf");
    form->dxfAnswers = {file};
    form->ExportalsDXFDatei1->trigger();
    ASSERT_EQ(form->errors.size(), 1);
    // The name, then why in the window's words.
    EXPECT_EQ(form->errors[0], QString::fromStdU16String(i18n::MessageText(9)) + file +
                                   "\ndie Datei oder ihr Ordner existiert nicht");
    EXPECT_TRUE(
        form->errors[0].startsWith(QStringLiteral("Konnte folgende Datei nicht erstellen:")));
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(DxfExportTest, ExportWaitsForARectifiedImageNotForAPhotograph) {
    auto form = shownForm();
    const pixkit::dib blank = form->ws.slot(1).result;
    auto enabled = [&form] { return std::vector<bool>{form->ExportalsDXFDatei1->isEnabled()}; };
    EXPECT_EQ(enabled(), (std::vector<bool>{false}));
    // A photograph without a rectified image is not enough for the export.
    form->openAnswers = {samplePath("sudoku.png")};
    form->Bildffnen1->trigger();
    EXPECT_EQ(enabled(), (std::vector<bool>{false}));
    form->dxfAnswers = {m_out.filePath("leer.dxf")};
    form->ExportalsDXFDatei1Click(); // reached all the same: the user is told
    ASSERT_EQ(form->errors.size(), 1);
    EXPECT_TRUE(form->errors[0].contains(QStringLiteral("kein entzerrtes Bild")));
    EXPECT_EQ(form->ws.slot(1).result.pixels(), blank.poi);
    EXPECT_EQ(form->dxfAnswers.size(), 1); // no dialog was asked
    EXPECT_EQ(form->ws.lines.count(), 0u);

    form->realRuns = true;
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
    EXPECT_TRUE(form->ExportalsDXFDatei1->isEnabled());
}

} // namespace
} // namespace guitest
