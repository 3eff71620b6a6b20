// Painted work is never lost without a way back: a rectified image with
// strokes that a run, a turn or the DXF export replaces goes to the one
// history first, and Ctrl+Z in a number field that has nothing of its own to
// undo reaches that history instead of doing nothing.

#include "app/Translate.h"
#include "gui/PaintBoxView.h"
#include "gui/TMainForm.h"
#include "gui/TMovePicsForm.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>

#include <cstring>
#include <utility>

namespace gui {

namespace {

// A copy of a 24-bit (or any) image with its own pixels; empty when there is
// no memory for it.
pixkit::Image copyOf(const pixkit::dib& d) {
    pixkit::Image copy;
    if (d.poi == nullptr || d.pmi == nullptr)
        return copy;
    const int colours = static_cast<int>(pixkit::dibcolors(d));
    pixkit::newdib(copy.get(), pixkit::dibwidth(d), pixkit::dibheight(d), pixkit::dibbits(d), d.pmi,
                   colours);
    if (copy.empty() || copy.get().bytew != d.bytew) {
        copy.reset();
        return copy;
    }
    std::memcpy(copy.get().poi, d.poi,
                static_cast<std::size_t>(d.bytew) * static_cast<std::size_t>(pixkit::dibheight(d)));
    return copy;
}

// Hears the number fields' shortcut keys for the window.
class FieldUndoFilter : public QObject {
public:
    FieldUndoFilter(QObject* parent, std::function<bool(QObject*, QEvent*)> filter)
        : QObject(parent), m_filter(std::move(filter)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* e) override { return m_filter(watched, e); }

private:
    std::function<bool(QObject*, QEvent*)> m_filter;
};

// Why the fields cannot make a picture; empty when they can. The angles only
// count when they were typed (the pose search finds its own).
QString refusal(const app::FieldValues& f, bool typedAngles) {
    if (!(f.realWidthCm > 0.0) || !(f.realHeightCm > 0.0))
        return app::Translate(
            QStringLiteral("Nicht berechnet: Breite und Höhe müssen größer als 0 sein"));
    // Beyond a quarter turn the facade would face away from the camera.
    auto facing = [](double deg) { return deg > -90.0 && deg < 90.0; };
    if (typedAngles && (!facing(f.angleXDeg) || !facing(f.angleYDeg)))
        return app::Translate(
            QStringLiteral("Nicht berechnet: die Winkel müssen zwischen -90° und 90° liegen"));
    return QString();
}

} // namespace

void TMainForm::updateCommandStates() {
    if (ExportalsDXFDatei1 == nullptr)
        return;
    // The export traces rectified image 1, never the blank start image.
    ExportalsDXFDatei1->setEnabled(hasRectified(1));
    // The commands of image 2 wait for its photograph; hiding its row waits
    // for the row to be shown.
    const bool image2 = !ws.slot(2).fileName.empty();
    Bild2wiederausblenden1->setEnabled(!Panel4->isHidden());
    bergeblendeteBilderverschieben1->setEnabled(image2);
    RotierenBild21->menuAction()->setEnabled(image2);
    if (!image2 && MovePicsForm != nullptr)
        MovePicsForm->hide(); // nothing left to shift
}

bool TMainForm::refuseRun(int slot) {
    if (holdChecked() || !ws.slot(slot).setted())
        return false; // a held run does nothing; without a quad there is nothing to run
    const QString why = refusal(fieldValues(), ws.setwink);
    if (why.isEmpty())
        return false;
    // The picture shown stays, marked as not matching the fields, and the
    // status bar says why until a run succeeds.
    updateMismatch(slot, rectify::RunEnd::Fault);
    StatusBar1->showMessage(why);
    return true;
}

void TMainForm::keepPaintedPicture(int slot, bool copyBack) {
    app::Slot& s = ws.slot(slot);
    if (s.result.empty())
        return;
    if (!m_history.hasStrokesOn(s.result)) {
        // Nothing painted that could be taken back: the strokes that point at
        // it (taken back already) go with it.
        m_history.forgetStrokesOn(s.result);
        return;
    }
    Picture painted;
    if (copyBack) {
        pixkit::Image copy = copyOf(s.result);
        if (copy.empty()) {
            m_history.forgetStrokesOn(s.result);
            return; // no memory for the copy: the export works on the one image
        }
        painted.image = std::exchange(s.result, std::move(copy));
    } else {
        painted.image = std::move(s.result);
    }
    painted.scale = s.scale;
    // A stroke in progress cannot go on in a picture that is put away.
    if (m_strokeSlot == slot)
        brushUp();
    if (!(m_historyRerun && m_history.attachPicture(slot, painted)))
        m_history.pushReplaced(slot, std::move(painted));
    if (!m_replacedNoticeShown)
        m_replacedNoticeDue = true;
    updateUndoAction();
}

void TMainForm::showReplacedNotice() {
    if (!m_replacedNoticeDue)
        return;
    m_replacedNoticeDue = false;
    m_replacedNoticeShown = true;
    StatusBar1->showMessage(
        app::Translate(QStringLiteral("Zeichnung ersetzt – Rückgängig stellt sie wieder her")));
}

EditHistory::PictureSwap TMainForm::pictureSwap() {
    return [this](int slot, Picture& picture) {
        app::Slot& s = ws.slot(slot);
        std::swap(s.result, picture.image);
        std::swap(s.scale, picture.scale);
    };
}

void TMainForm::buildFieldUndo() {
    // The menus check their commands' preconditions whenever they open.
    for (QMenu* menu : {Datei1, Bearbeiten1})
        connect(menu, &QMenu::aboutToShow, this, [this] {
            updateSaveCommands();
            updateCommandStates();
        });
    updateCommandStates();
    auto* filter = new FieldUndoFilter(
        this, [this](QObject* watched, QEvent* e) { return fieldUndoFilter(watched, e); });
    // Ended with the window's destructor, before the fields go (see ~TMainForm).
    filter->setObjectName(QStringLiteral("fieldUndoFilter"));
    for (QAbstractSpinBox* field : findChildren<QAbstractSpinBox*>())
        if (field->window() == this)
            field->installEventFilter(filter);
}

bool TMainForm::fieldUndoFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::ShortcutOverride)
        return false;
    const auto* key = static_cast<QKeyEvent*>(e);
    const bool undo = key->matches(QKeySequence::Undo);
    const bool redo = key->matches(QKeySequence::Redo) ||
                      key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::Key_Y);
    if (!undo && !redo)
        return false;
    auto* field = qobject_cast<QAbstractSpinBox*>(watched);
    const QLineEdit* edit = field != nullptr ? field->findChild<QLineEdit*>() : nullptr;
    if (edit == nullptr || (undo ? edit->isUndoAvailable() : edit->isRedoAvailable()))
        return false; // the field's own typing is taken back first
    // The field lets the key go: the window's undo or redo takes it, and the
    // field's value no longer has the focus to be typed over by accident.
    PaintBox2->setFocus(Qt::ShortcutFocusReason);
    e->ignore();
    return true;
}

} // namespace gui
