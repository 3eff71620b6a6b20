// The PDF at a drawing scale: rectified image 1 placed so that one cm of the
// facade is 1/N cm on paper, at the scale its run recorded, tiled over
// several pages when it is larger than one sheet.

#include "app/Translate.h"
#include "gui/FaultText.h"
#include "gui/FileDialog.h"
#include "gui/FileFilters.h"
#include "gui/TMainForm.h"
#include "gui/TScalePrintForm.h"
#include "gui/TranslateApplication.h"

#include "pixkit/ScalePrint.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QStatusBar>

#include <cstring>

namespace gui {

namespace {

QString germanStatus(pixkit::PrintStatus status) {
    return app::Translate(QString::fromUtf8(pixkit::PrintStatusGerman(status)));
}

} // namespace

void TMainForm::buildScalePrint() {
    SaveDialog3 = new FileDialog(QStringLiteral("SaveDialog3"), this);
    SaveDialog3->setFilter(QStringLiteral("PDF-Dateien (*.pdf)|*.pdf"));
    AlsPDFimMastabexportieren1->setEnabled(false);
}

QString TMainForm::choosePdfFile() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.setNameFilter(qtFilterFromPipes(SaveDialog3->filter()));
    const QString folder = SaveDialog3->startFolder();
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    SaveDialog3->rememberFolder(dialog.selectedFiles().constFirst());
    return dialog.selectedFiles().constFirst();
}

bool TMainForm::runScalePrintDialog() {
    return ScalePrintForm->exec() == QDialog::Accepted;
}

void TMainForm::AlsPDFimMastabexportieren1Click() {
    // Rectified image 1, at the scale its run recorded (not the fields').
    if (!hasRectified(1)) {
        reportError(germanStatus(pixkit::PrintStatus::NoImage));
        return;
    }
    const pixkit::Image& image = ws.slot(1).result;
    const std::optional<rectify::RunScale>& scale = ws.slot(1).scale;
    if (!scale || !scale->pixelsPerCm) {
        reportError(germanStatus(pixkit::PrintStatus::NoScale));
        return;
    }
    if (ScalePrintForm == nullptr) {
        // Made at the first use, in the windows' language.
        ScalePrintForm = new TScalePrintForm(this);
        ScalePrintForm->FormStorage1.onError = [this](const QString& t) { reportError(t); };
        translateTexts(ScalePrintForm, app::Translate);
        for (QObject* o : ScalePrintForm->findChildren<QObject*>())
            translateTexts(o, app::Translate);
    }
    ScalePrintForm->setPicture(image.width(), image.height(), *scale->pixelsPerCm);
    if (!runScalePrintDialog())
        return;
    const pixkit::PagePlan plan = ScalePrintForm->plan();
    if (plan.status != pixkit::PrintStatus::Done) {
        reportError(germanStatus(plan.status));
        return;
    }
    QString f = choosePdfFile();
    if (f.isEmpty())
        return;
    if (QFileInfo(f).suffix().isEmpty())
        f += QStringLiteral(".pdf");

    pixkit::ScalePdfJob job;
    job.pixelsPerCmX = job.pixelsPerCmY = *scale->pixelsPerCm;
    job.scale = *ScalePrintForm->scale();
    job.paper = ScalePrintForm->paper();
    job.marginMm = ScalePrintForm->marginMm();
    job.photoName = QFileInfo(QFile::decodeName(QByteArray::fromStdString(ws.slot(1).fileName)))
                        .fileName()
                        .toStdString();
    job.rectangleWidthCm = scale->realWidthCm;
    job.rectangleHeightCm = scale->realHeightCm;
    job.date = QDate::currentDate();
    job.locale = QLocale();
    job.captions = pixkit::TranslatedPrintCaptions([](const std::string& german) {
        return app::Translate(QString::fromStdString(german)).toStdString();
    });
    pixkit::PdfWrite written;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        written = pixkit::WriteScalePdf(QFile::encodeName(f).toStdString(), image, job);
        QApplication::restoreOverrideCursor();
    }
    if (written.status == pixkit::PrintStatus::CannotWrite) {
        QString text =
            germanStatus(written.status) + QLatin1Char(' ') + QDir::toNativeSeparators(f);
        if (written.errorCode > 0)
            text += QLatin1Char('\n') + faultText(fp::fileFault(written.errorCode));
        reportError(text);
        return;
    }
    if (written.status != pixkit::PrintStatus::Done) {
        reportError(germanStatus(written.status));
        return;
    }
    showSaved(f);
}

} // namespace gui
