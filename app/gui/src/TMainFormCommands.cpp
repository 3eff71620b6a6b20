// Commands of the main window: opening, saving, turning, recomputing, the
// debounced recomputation after field changes, the zoom and the layout.

#include "app/Translate.h"
#include "gui/FileDialog.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TAboutBox.h"
#include "gui/TJPEGQualForm.h"
#include "gui/TMainForm.h"

#include "pixkit/DepthTurn.h"
#include "pixkit/ImageFile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>

#include <algorithm>

namespace gui {

namespace {

// The wait cursor over the whole application for the lifetime of the scope.
class BusyCursor {
public:
    explicit BusyCursor(bool on) : m_on(on) {
        if (m_on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() {
        if (m_on)
            QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool m_on;
};

} // namespace

// ---------------------------------------------------------------- run fields

bool TMainForm::holdChecked() {
    return NowDoNotRenderCheck->isChecked();
}
double TMainForm::realWidthCm() {
    return BreiteED->value();
}
double TMainForm::realHeightCm() {
    return HoeheEd->value();
}
int TMainForm::targetPercent() {
    return zieledValue->value();
}
int TMainForm::areaPercent() {
    return RechenbereichEd->value();
}
double TMainForm::angleXDeg() {
    return RxSpinEdit1->value();
}
double TMainForm::angleYDeg() {
    return RxSpinEdit2->value();
}
void TMainForm::setAngleXDeg(double v) {
    RxSpinEdit1->setValue(v);
}
void TMainForm::setAngleYDeg(double v) {
    RxSpinEdit2->setValue(v);
}
void TMainForm::setRealWidthCm(double v) {
    BreiteED->setValue(v);
}

void TMainForm::repaintResult(int slot) {
    if (slot == 1)
        PaintBox2Paint();
    else
        PaintBox3Paint();
}

void TMainForm::resultRefused(std::int64_t width, std::int64_t height) {
    m_refusedWidth = width;
    m_refusedHeight = height;
}

rectify::RunEnd TMainForm::runSlot(int slot) {
    // A run that made a new rectified image (also one that faulted while
    // filling it) ends the undo of the strokes on the old one. The new image
    // is made before the old one is released, so its memory always differs.
    const std::uint8_t* before = (slot == 1 ? di2 : bi2).poi;
    // The run blocks the window; the busy cursor says so until it ends.
    const BusyCursor busy(!holdChecked());
    const rectify::RunEnd end = slot == 1 ? RenderDi2() : renderdi4();
    if (end == rectify::RunEnd::Done || (slot == 1 ? di2 : bi2).poi != before)
        rectifiedImageRemade(slot);
    // Said once the run is over: the box must not open inside it.
    if (end == rectify::RunEnd::TooLarge)
        reportError(app::Translate(QStringLiteral("Das entzerrte Bild hätte %1 × %2 Pixel, mehr "
                                                  "als die Grenze von 268 Millionen."))
                        .arg(m_refusedWidth)
                        .arg(m_refusedHeight));
    updateSaveCommands();
    if (end == rectify::RunEnd::Done)
        showRunResult(slot);
    return end;
}

// ---------------------------------------------------------------- files

QString TMainForm::chooseOpenFile() {
    OpenDialog1->setFilter(app::Translate(QString::fromStdString(pixkit::GetDIBOpenFilter())));
    return OpenDialog1->getOpenFileName(this);
}

QString TMainForm::chooseSaveFile() {
    QString selected;
    QString f = SaveDialog1->getSaveFileName(this, &selected);
    // A name typed without extension gets the one of the chosen format.
    if (!f.isEmpty() && QFileInfo(f).suffix().isEmpty()) {
        const qsizetype star = selected.indexOf(QStringLiteral("*."));
        if (star >= 0) {
            const qsizetype end =
                selected.indexOf(QRegularExpression(QStringLiteral("[ )]")), star);
            f += selected.mid(star + 1, end < 0 ? -1 : end - star - 1);
        }
    }
    return f;
}

void TMainForm::Bildffnen1Click() {
    const QString f = chooseOpenFile();
    if (!f.isEmpty())
        openImage(1, f);
}

void TMainForm::Bild2ffnen1Click() {
    const QString f = chooseOpenFile();
    if (!f.isEmpty())
        openImage(2, f);
}

void TMainForm::BitBtnXP1Click() {
    Bild2ffnen1Click();
}

void TMainForm::showImage2Row() {
    Panel4->setVisible(true);
}

void TMainForm::Bild2wiederausblenden1Click() {
    Panel4->setVisible(false);
}

void TMainForm::saveRectified(pixkit::dib& image) {
    const QString f = chooseSaveFile();
    if (f.isEmpty())
        return;
    const app::RectifiedWrite r = writeRectifiedFile(image, f);
    if (!r.ok) { // the German sentence with the file, the library's reason below it
        reportError(
            saveFailedText(QString::fromStdString(r.file), QString::fromStdString(r.error)));
        return;
    }
    showSaved(f);
}

void TMainForm::EntzerrtesBildspeichern1Click() {
    // Without a rectified image there is nothing to save (not the blank start image).
    if (hasRectified(1))
        saveRectified(di2);
}
void TMainForm::EntzerrtesBild2speichern1Click() {
    if (hasRectified(2))
        saveRectified(bi2);
}

// ---------------------------------------------------------------- turns

void TMainForm::turnSource(int slot, bool left) {
    const auto dir = left ? pixkit::TurnDirection::Left : pixkit::TurnDirection::Right;
    if (slot == 1) {
        pixkit::TurnSourceImage(di, dir);
        PaintBox1Paint();
    } else {
        pixkit::TurnSourceImage(bi, dir);
        PaintBox4Paint();
    }
    runSlot(slot);
}

void TMainForm::turnRectified(int slot, bool left) {
    const auto dir = left ? pixkit::TurnDirection::Left : pixkit::TurnDirection::Right;
    const CornerState before = cornerState(slot);
    pixkit::TurnCorners(slot == 1 ? points : doints, dir);
    m_history.pushCorners(slot, before, cornerState(slot));
    updateUndoAction();
    // The arrow keys keep moving the same corner under its new number.
    int& last = m_lastCorner[slot - 1];
    const rectify::TPoint lastAt = before.corners[static_cast<std::size_t>(last)];
    const rectify::Corners& now = slot == 1 ? points : doints;
    last = static_cast<int>(std::find(now.begin(), now.end(), lastAt) - now.begin()) % 4;
    if (slot == 1) {
        PaintBox1Paint();
    } else {
        PaintBox4Paint();
    }
    runSlot(slot);
}

void TMainForm::Ausgangsbildnachlinksrotieren1Click() {
    turnSource(1, true);
}
void TMainForm::Ausgangsbildnachrechtsrotieren1Click() {
    turnSource(1, false);
}
void TMainForm::Ausgangsbildnachlinksrotieren2Click() {
    turnSource(2, true);
}
void TMainForm::Ausgangsbildnachrechtsrotieren2Click() {
    turnSource(2, false);
}
void TMainForm::EntzerrtesBildnachlinksrotieren1Click() {
    turnRectified(1, true);
}
void TMainForm::EntzerrtesBildnachrechtsrotieren1Click() {
    turnRectified(1, false);
}
void TMainForm::EntzerrtesBildnachlinksrotieren2Click() {
    turnRectified(2, true);
}
void TMainForm::EntzerrtesBildnachrechtsrotieren2Click() {
    turnRectified(2, false);
}

// ---------------------------------------------------------------- other commands

void TMainForm::Bildneuberechnen1Click() {
    runSlot(1);
    runSlot(2);
}

void TMainForm::Beenden1Click() {
    // Ends the message loop without closing the window: the language is not
    // written; the stored window values are, as the window is destroyed.
    QCoreApplication::exit(0);
}

void TMainForm::JPEGQualitteinstellen1Click() {
    JPEGQualForm->exec();
}

void TMainForm::ber1Click() {
    AboutBox->exec();
}

// ---------------------------------------------------------------- recomputation

void TMainForm::restartTimer1() {
    Timer1->stop();
    Timer1->start();
}

void TMainForm::BreiteEDChange() {
    restartTimer1();
}
void TMainForm::HoeheEdChange() {
    restartTimer1();
}
void TMainForm::zieledValueChange() {
    restartTimer1();
}
void TMainForm::RechenbereichEdChange() {
    restartTimer1();
}

void TMainForm::RxSpinEdit1Change() {
    if (donotreender)
        return;
    setwink = true;
    restartTimer1();
}

void TMainForm::NowDoNotRenderCheckClick() {
    if (!NowDoNotRenderCheck->isChecked())
        restartTimer1();
}

void TMainForm::Timer1Timer() {
    Timer1->stop();
    runSlot(1);
    runSlot(2);
}

void TMainForm::ZoomEdChange() {
    PaintBox1Paint();
    PaintBox2Paint();
    PaintBox3Paint();
    PaintBox4Paint();
}

// ---------------------------------------------------------------- layout

void TMainForm::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    FormResize();
}

void TMainForm::FormResize() {
    const int left = width() * percent / 100;
    // The rows span the client width. Before their first layout the
    // splitters still have their default width; sizing them from the window
    // gives both views their split widths from the first paint on.
    auto split = [this, left](QSplitter* s) {
        const int rest = width() - s->handleWidth() - left;
        s->setSizes({left, rest > 0 ? rest : 0});
    };
    split(Splitter1);
    split(Splitter3);
    if (!Panel4->isHidden())
        Panel4->setFixedHeight((Panel3->height() + Panel4->height()) / 2);
    if (!Timer2->isActive())
        Timer2->start();
}

void TMainForm::Timer2Timer() {
    FormResize();
}

void TMainForm::Splitter1CanResize(int newLeftWidth) {
    if (width() > 0)
        percent = newLeftWidth * 100 / width();
}

} // namespace gui
