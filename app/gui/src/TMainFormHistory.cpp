// Safety nets of the corner input: the one undo/redo history shared with the
// brush, Escape while placing or dragging, and the arrow keys that nudge the
// last corner of a source view.

#include "gui/PaintBoxView.h"
#include "gui/TMainForm.h"
#include "gui/ViewMapping.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>

namespace gui {

void TMainForm::buildHistory() {
    Wiederholen1 = new QAction(QStringLiteral("Wiederholen"), this);
    Wiederholen1->setObjectName(QStringLiteral("Wiederholen1"));
    Wiederholen1->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    // Right under "Rückgängig", both above the separator before the commands.
    Bearbeiten1->insertAction(N9, Wiederholen1);
    connect(Rckgngig1, &QAction::triggered, this, [this] { Rckgngig1Click(); });
    connect(Wiederholen1, &QAction::triggered, this, [this] { Wiederholen1Click(); });

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("EscapeShortcut"));
    connect(escape, &QShortcut::activated, this, [this] { cancelCornerInput(); });

    // A click into a source view gives it the focus for the arrow keys.
    for (int slot : {1, 2}) {
        PaintBoxView* view = sourceView(slot);
        view->setFocusPolicy(Qt::ClickFocus);
        view->onKey = [this, slot](int key, Qt::KeyboardModifiers m) {
            return sourceKey(slot, key, m);
        };
        view->onOverlay = [this, slot](QPainter& p) { drawLoupe(slot, p); };
    }
    buildFieldUndo();
    updateUndoAction();
}

CornerState TMainForm::cornerState(int slot) {
    const app::Slot& s = ws.slot(slot);
    return {s.corners, s.setted()};
}

// ---------------------------------------------------------------- mouse

void TMainForm::sourceDown(int slot, int x, int y) {
    const rectify::TPoint p = sourcePos(slot, x, y);
    const CornerState before = cornerState(slot);
    const app::CornerStep step = ws.cornerDown(slot, p, cornerOptions());
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    switch (step.event) {
    case app::CornerEvent::QuadStarted:
    case app::CornerEvent::DragStarted:
        // What Escape and the undo go back to.
        m_cornerBefore[i] = before;
        if (step.event == app::CornerEvent::DragStarted)
            m_lastCorner[i] = step.corner;
        break;
    case app::CornerEvent::QuadCompleted:
        // The corner pressed last becomes the one the arrow keys move.
        m_lastCorner[i] = step.corner;
        if (m_cornerBefore[i])
            m_history.pushCorners(slot, *m_cornerBefore[i], cornerState(slot));
        m_cornerBefore[i].reset();
        updateUndoAction();
        break;
    default:
        break;
    }
    applyCornerStep(slot, step);
    if (ws.slot(slot).insetmode() || ws.movepoint)
        updateLoupe(slot, p);
    else
        hideLoupe(slot);
}

void TMainForm::sourceMove(int slot, int x, int y) {
    const rectify::TPoint p = sourcePos(slot, x, y);
    const app::CornerStep step = ws.cornerMove(slot, p);
    applyCornerStep(slot, step);
    if (step.event == app::CornerEvent::Followed)
        updateLoupe(slot, p);
}

void TMainForm::sourceUp(int slot, int x, int y) {
    const app::CornerStep step = ws.cornerUp(slot, sourcePos(slot, x, y));
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    if (step.event == app::CornerEvent::DragEnded) {
        if (m_cornerBefore[i])
            m_history.pushCorners(slot, *m_cornerBefore[i], cornerState(slot));
        m_cornerBefore[i].reset();
        updateUndoAction();
        hideLoupe(slot);
    }
    applyCornerStep(slot, step);
}

// ---------------------------------------------------------------- undo and redo

void TMainForm::restoreCorners(int slot, const CornerState& state) {
    app::Slot& s = ws.slot(slot);
    s.corners = state.corners;
    s.mode = state.setted ? app::CornerMode::Complete : app::CornerMode::Empty;
    s.following = 0;
}

void TMainForm::applyHistoryStep(const EditHistory::Step& step) {
    if (step.swapped) {
        // A kept picture is shown again: no run.
        if (step.corners) {
            restoreCorners(step.slot, step.state);
            step.slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
        }
        updateSaveCommands();
    }
    if (!step.corners || step.swapped) {
        repaintRectified(step.slot);
        // View 2 shows image 2 too while the overlay is on.
        if (step.slot == 2 && BlendEd->value() != 0)
            PaintBox2Paint();
        return;
    }
    restoreCorners(step.slot, step.state);
    step.slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    // As the release of a drag: the run without presetting the width. The
    // picture it replaces stays with this step.
    m_historyRerun = true;
    render(step.slot);
    m_historyRerun = false;
}

void TMainForm::Rckgngig1Click() {
    if (inpaint)
        return; // the stroke under the mouse is not finished yet
    if (ws.slot(1).insetmode() || ws.slot(2).insetmode() || ws.movepoint) {
        // A quad or a drag in progress is taken back first.
        cancelCornerInput();
        return;
    }
    if (const std::optional<EditHistory::Step> step =
            m_history.undo(ws.slot(1).result, ws.slot(2).result, pictureSwap()))
        applyHistoryStep(*step);
    updateUndoAction();
}

void TMainForm::Wiederholen1Click() {
    if (inpaint || ws.slot(1).insetmode() || ws.slot(2).insetmode() || ws.movepoint)
        return;
    if (const std::optional<EditHistory::Step> step =
            m_history.redo(ws.slot(1).result, ws.slot(2).result, pictureSwap()))
        applyHistoryStep(*step);
    updateUndoAction();
}

// ---------------------------------------------------------------- keyboard

void TMainForm::cancelCornerInput() {
    for (int slot : {1, 2}) {
        app::Slot& s = ws.slot(slot);
        const std::size_t i = static_cast<std::size_t>(slot - 1);
        const bool dragging = ws.movepoint && m_cornerBefore[i].has_value();
        if (!s.insetmode() && !dragging)
            continue;
        if (m_cornerBefore[i])
            restoreCorners(slot, *m_cornerBefore[i]);
        else
            s.mode = s.setted() ? app::CornerMode::Complete : app::CornerMode::Empty;
        if (dragging)
            ws.movepoint = false;
        m_cornerBefore[i].reset();
        hideLoupe(slot);
        slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    }
}

void TMainForm::nudgeCorner(int slot, int dx, int dy) {
    app::Slot& s = ws.slot(slot);
    if (!s.setted() || s.insetmode() || ws.movepoint)
        return;
    const CornerState before = cornerState(slot);
    rectify::TPoint& c = s.corners[static_cast<std::size_t>(m_lastCorner[slot - 1])];
    c.x += dx;
    c.y += dy;
    m_history.pushCorners(slot, before, cornerState(slot), true);
    updateUndoAction();
    slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    restartTimer1();
}

bool TMainForm::sourceKey(int slot, int key, Qt::KeyboardModifiers modifiers) {
    const int step = (modifiers & Qt::ShiftModifier) ? 10 : 1;
    switch (key) {
    case Qt::Key_Left:
        nudgeCorner(slot, -step, 0);
        return true;
    case Qt::Key_Right:
        nudgeCorner(slot, step, 0);
        return true;
    case Qt::Key_Up:
        nudgeCorner(slot, 0, -step);
        return true;
    case Qt::Key_Down:
        nudgeCorner(slot, 0, step);
        return true;
    default:
        return false;
    }
}

} // namespace gui
