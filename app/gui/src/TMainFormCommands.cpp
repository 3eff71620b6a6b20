// Commands of the main window: opening, saving, turning, recomputing, the
// debounced recomputation after field changes, the zoom and the layout.

#include "app/Translate.h"
#include "gui/FileDialog.h"
#include "gui/PaintBoxView.h"
#include "gui/PhotographGuard.h"
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
#include <QLabel>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
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

// ---------------------------------------------------------------- runs

bool TMainForm::holdChecked() const {
    return NowDoNotRenderCheck->isChecked();
}

app::FieldValues TMainForm::fieldValues() const {
    app::FieldValues f;
    f.hold = holdChecked();
    f.realWidthCm = BreiteED->value();
    f.realHeightCm = HoeheEd->value();
    f.targetPercent = zieledValue->value();
    f.areaPercent = RechenbereichEd->value();
    f.angleXDeg = RxSpinEdit1->value();
    f.angleYDeg = RxSpinEdit2->value();
    f.sampling = interpolation();
    return f;
}

void TMainForm::showAngles(double angleXDeg, double angleYDeg) {
    // The fields show two decimals, which hold every quarter degree exactly.
    const QSignalBlocker blockX(RxSpinEdit1);
    const QSignalBlocker blockY(RxSpinEdit2);
    RxSpinEdit1->setValue(angleXDeg);
    RxSpinEdit2->setValue(angleYDeg);
}

void TMainForm::showPresetWidth(double widthCm) {
    // Not blocked: BreiteEDChange restarts Timer1, whose runs make the image
    // with the new width. The field raises it only when its text changes.
    BreiteED->setValue(widthCm);
}

void TMainForm::applyRun(int slot, rectify::RunResult& result) {
    // The angles first, then the width or the new image.
    if (result.pose)
        showAngles(result.pose->angleX, result.pose->angleY);
    const bool newImage = !result.image.empty();
    if (newImage)
        keepPaintedPicture(slot, false); // a painted picture can come back
    ws.takeRun(slot, result);
    if (result.presetWidthCm)
        showPresetWidth(*result.presetWidthCm);
    if (newImage)
        rectifiedImageRemade(slot);
    // A fault inside the resampling leaves its partly filled image unshown.
    if (result.end == rectify::RunEnd::Done)
        repaintRectified(slot);
}

void TMainForm::updateMismatch(int slot, rectify::RunEnd end) {
    bool& mismatch = m_mismatch[slot - 1];
    switch (end) {
    case rectify::RunEnd::Done:
    case rectify::RunEnd::WidthPreset: // the timer's runs follow with the new width
    case rectify::RunEnd::PoseOnly:
        mismatch = false;
        break;
    case rectify::RunEnd::NoCorners:
        break; // a photograph without a quad shows no rectified image of its own
    default:
        // The image shown was made with other values than the fields hold now.
        mismatch = hasRectified(slot);
        break;
    }
    MismatchLabel->setText(app::Translate(QStringLiteral("Bild entspricht nicht den Eingaben")));
    MismatchLabel->setVisible(m_mismatch[0] || m_mismatch[1]);
}

rectify::RunEnd TMainForm::render(int slot) {
    if (refuseRun(slot))
        return rectify::RunEnd::Fault;
    // The run blocks the window; the busy cursor says so until it ends.
    rectify::RunResult result;
    {
        const BusyCursor busy(!holdChecked());
        rectify::RunRequest request = ws.runRequest(slot, fieldValues());
        request.lens = sourceLens(slot);
        result = rectify::run(request);
        if (result.end == rectify::RunEnd::Done)
            projectRunMade(slot, request, result);
        applyRun(slot, result);
    }
    const rectify::RunEnd end = result.end;
    // Said once the run is over: the box must not open inside it.
    if (end == rectify::RunEnd::TooLarge) {
        reportError(app::Translate(QStringLiteral("Das entzerrte Bild hätte %1 × %2 Pixel, mehr "
                                                  "als die Grenze von 268 Millionen."))
                        .arg(result.refusedWidth)
                        .arg(result.refusedHeight));
        // The box is gone once answered; the status bar keeps saying it.
        StatusBar1->showMessage(
            app::Translate(QStringLiteral("Nicht berechnet: das entzerrte Bild hätte %1 × %2 "
                                          "Pixel, mehr als erlaubt"))
                .arg(result.refusedWidth)
                .arg(result.refusedHeight));
    }
    if (end == rectify::RunEnd::CornersNoQuad)
        StatusBar1->showMessage(
            app::Translate(QStringLiteral("Die Ecken bilden kein Viereck: drei liegen auf einer "
                                          "Linie oder zwei Seiten kreuzen sich.")));
    updateSaveCommands();
    updateMismatch(slot, end);
    if (end == rectify::RunEnd::Done)
        showRunResult(slot);
    updateProjectTitle();
    if (!m_runsInPair)
        showReplacedNotice();
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
    Timer2->start(); // the lower row takes its half
}

void TMainForm::Bild2wiederausblenden1Click() {
    Panel4->setVisible(false);
}

void TMainForm::saveRectified(int slot) {
    const QString f = chooseSaveFile();
    if (f.isEmpty())
        return;
    if (const QString refused = photographReplacedText(ws, f, Weltdateimitspeichern1->isChecked());
        !refused.isEmpty()) {
        reportError(refused);
        return;
    }
    const app::RectifiedWrite r = writeRectifiedFile(slot, f);
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
        saveRectified(1);
}
void TMainForm::EntzerrtesBild2speichern1Click() {
    if (hasRectified(2))
        saveRectified(2);
}

// ---------------------------------------------------------------- turns

void TMainForm::turnSource(int slot, bool left) {
    const auto dir = left ? pixkit::TurnDirection::Left : pixkit::TurnDirection::Right;
    pixkit::TurnSourceImage(ws.slot(slot).source.get(), dir);
    projectSourceTurned(slot, left);
    slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    render(slot);
}

void TMainForm::turnRectified(int slot, bool left) {
    const auto dir = left ? pixkit::TurnDirection::Left : pixkit::TurnDirection::Right;
    const CornerState before = cornerState(slot);
    rectify::Corners& now = ws.slot(slot).corners;
    pixkit::TurnCorners(now, dir);
    m_history.pushCorners(slot, before, cornerState(slot));
    updateUndoAction();
    // The arrow keys keep moving the same corner under its new number.
    int& last = m_lastCorner[slot - 1];
    const rectify::TPoint lastAt = before.corners[static_cast<std::size_t>(last)];
    last = static_cast<int>(std::find(now.begin(), now.end(), lastAt) - now.begin()) % 4;
    slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    render(slot);
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
    m_runsInPair = true;
    render(1);
    render(2);
    m_runsInPair = false;
    showReplacedNotice();
}

void TMainForm::Beenden1Click() {
    if (!confirmDiscard())
        return;
    // Ends the message loop without closing the window. Nothing is lost: the
    // language was written when it was chosen, the stored window values as
    // they changed (and once more as the window is destroyed).
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
    // A typed angle (the runs write theirs with the signals blocked).
    ws.setwink = true;
    restartTimer1();
}

void TMainForm::NowDoNotRenderCheckClick() {
    if (!NowDoNotRenderCheck->isChecked())
        restartTimer1();
}

void TMainForm::Timer1Timer() {
    Timer1->stop();
    m_runsInPair = true;
    render(1);
    render(2);
    m_runsInPair = false;
    showReplacedNotice();
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
    // Once more when the rows have taken their new height.
    Timer2->start();
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
}

void TMainForm::Timer2Timer() {
    FormResize();
}

void TMainForm::Splitter1CanResize(int newLeftWidth) {
    if (width() > 0)
        percent = newLeftWidth * 100 / width();
    // The next layout pass gives both rows the new split.
    Timer2->start();
}

} // namespace gui
