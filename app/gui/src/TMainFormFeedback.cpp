// What the window tells the user: the status bar after opening, saving and
// each run, and the save commands that are only offered once there is a
// rectified image to save.

#include "app/Translate.h"
#include "gui/TMainForm.h"
#include "i18n/Messages.h"

#include <QAction>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>

namespace gui {

namespace {

QString fileShown(const QString& file) {
    return QDir::toNativeSeparators(file);
}

} // namespace

bool TMainForm::openImage(int slot, const QString& file) {
    return openImageBytes(slot, QFile::encodeName(file).toStdString());
}

bool TMainForm::openImageBytes(int slot, const std::string& fileBytes) {
    const QString file = QFile::decodeName(QByteArray::fromStdString(fileBytes));
    const bool opened = ws.openPhotograph(slot, fileBytes);
    if (!opened) {
        StatusBar1->showMessage(QString::fromStdU16String(i18n::MessageText(1)) + fileShown(file));
        return false;
    }
    projectPhotoOpened(slot);
    // The view shows the photograph; image 2 shows its row first.
    if (slot == 1) {
        PaintBox1Paint();
    } else {
        showImage2Row();
        PaintBox4Paint();
    }
    updateCommandStates();
    const pixkit::Image& image = ws.slot(slot).source;
    StatusBar1->showMessage(
        withLensStatus(slot, app::Translate(QStringLiteral("Geöffnet: %1 (%2 × %3 Pixel)"))
                                 .arg(fileShown(file))
                                 .arg(image.width())
                                 .arg(image.height())));
    return true;
}

void TMainForm::showSaved(const QString& file) {
    StatusBar1->showMessage(app::Translate(QStringLiteral("Gespeichert: %1")).arg(fileShown(file)));
}

void TMainForm::showRunResult(int slot) {
    const pixkit::Image& image = ws.slot(slot).result;
    if (image.empty())
        return;
    const QLocale locale;
    StatusBar1->showMessage(withLensStatus(
        slot, app::Translate(
                  QStringLiteral("Bild %1 entzerrt: X-Rotation %2°, Y-Rotation %3°, %4 × %5 Pixel"))
                  .arg(slot)
                  .arg(locale.toString(RxSpinEdit1->value(), 'f', 2))
                  .arg(locale.toString(RxSpinEdit2->value(), 'f', 2))
                  .arg(image.width())
                  .arg(image.height())));
}

QString TMainForm::saveFailedText(const QString& file, const QString& reason) {
    QString text = app::Translate(QStringLiteral("Das Bild konnte nicht gespeichert werden: %1"))
                       .arg(fileShown(file));
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    return text;
}

void TMainForm::updateSaveCommands() {
    for (std::size_t i = 0; i < 2; ++i) {
        // The start image is a blank placeholder; any other image in the
        // field came from a run (or was made from one) and can be saved.
        const pixkit::Image& image = ws.photos[i].result;
        if (!m_hasResult[i] && !image.empty() && image.pixels() != m_blankResult[i])
            m_hasResult[i] = true;
    }
    updateCommandStates();
    if (EntzerrtesBildspeichern1 == nullptr || SaveAsBtn == nullptr)
        return;
    EntzerrtesBildspeichern1->setEnabled(m_hasResult[0]);
    SaveAsBtn->setEnabled(m_hasResult[0]);
    EntzerrtesBild2speichern1->setEnabled(m_hasResult[1]);
    BitBtnXP2->setEnabled(m_hasResult[1]);
    if (AlsPDFimMastabexportieren1 != nullptr)
        AlsPDFimMastabexportieren1->setEnabled(m_hasResult[0]);
}

bool TMainForm::hasRectified(int slot) const {
    return m_hasResult[static_cast<std::size_t>(slot - 1)];
}

} // namespace gui
