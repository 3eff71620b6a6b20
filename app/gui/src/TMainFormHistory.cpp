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
        PaintBoxView* view = sourceSlot(slot).view;
        view->setFocusPolicy(Qt::ClickFocus);
        view->onKey = [this, slot](int key, Qt::KeyboardModifiers m) {
            return sourceKey(slot, key, m);
        };
        view->onOverlay = [this, slot](QPainter& p) { drawLoupe(slot, p); };
    }
    updateUndoAction();
}

CornerState TMainForm::cornerState(int slot) {
    const SourceSlot s = sourceSlot(slot);
    return {s.corners, s.setted, s.mode};
}

// ---------------------------------------------------------------- mouse

void TMainForm::sourceDown(int slot, int x, int y) {
    const rectify::TPoint p = imagePos(x, y);
    const CornerState before = cornerState(slot);
    const bool wasPlacing = sourceSlot(slot).insetmode;
    const app::CornerStep step = cornerDown(slot, p, cornerOptions());
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    if (!wasPlacing) {
        // A drag or a new quad begins: what Escape and the undo go back to.
        m_cornerBefore[i] = before;
        if (movepoint)
            m_lastCorner[i] = pointnr;
    } else if (!sourceSlot(slot).insetmode) {
        // The quad is complete; the corner pressed last is corner 3, or 2
        // when image 1 starts at the bottom-left corner.
        m_lastCorner[i] = slot == 1 && cornerOptions().startBottomLeft ? 2 : app::ModeComplete;
        if (m_cornerBefore[i])
            m_history.pushCorners(slot, *m_cornerBefore[i], cornerState(slot));
        m_cornerBefore[i].reset();
        updateUndoAction();
    }
    applyCornerStep(slot, step);
    if (sourceSlot(slot).insetmode || movepoint)
        updateLoupe(slot, p);
    else
        hideLoupe(slot);
}

void TMainForm::sourceMove(int slot, int x, int y) {
    const rectify::TPoint p = imagePos(x, y);
    applyCornerStep(slot, cornerMove(slot, p));
    if (sourceSlot(slot).insetmode || movepoint)
        updateLoupe(slot, p);
}

void TMainForm::sourceUp(int slot, int x, int y) {
    const bool dragging = movepoint;
    const app::CornerStep step = cornerUp(slot, imagePos(x, y));
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    if (dragging) {
        if (m_cornerBefore[i])
            m_history.pushCorners(slot, *m_cornerBefore[i], cornerState(slot));
        m_cornerBefore[i].reset();
        updateUndoAction();
        hideLoupe(slot);
    }
    applyCornerStep(slot, step);
}

// ---------------------------------------------------------------- undo and redo

void TMainForm::applyHistoryStep(const EditHistory::Step& step) {
    if (!step.corners) {
        repaintRectified(step.slot);
        // View 2 shows image 2 too while the overlay is on.
        if (step.slot == 2 && BlendEd->value() != 0)
            PaintBox2Paint();
        return;
    }
    const SourceSlot s = sourceSlot(step.slot);
    s.corners = step.state.corners;
    s.setted = step.state.setted;
    s.mode = step.state.mode;
    s.insetmode = false;
    step.slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    // As the release of a drag: the run without presetting the width.
    runSlot(step.slot);
}

void TMainForm::Rckgngig1Click() {
    if (inpaint)
        return; // the stroke under the mouse is not finished yet
    if (insetmode || insetmode2 || movepoint) {
        // A quad or a drag in progress is taken back first.
        cancelCornerInput();
        return;
    }
    if (const std::optional<EditHistory::Step> step = m_history.undo(di2, bi2))
        applyHistoryStep(*step);
    updateUndoAction();
}

void TMainForm::Wiederholen1Click() {
    if (inpaint || insetmode || insetmode2 || movepoint)
        return;
    if (const std::optional<EditHistory::Step> step = m_history.redo(di2, bi2))
        applyHistoryStep(*step);
    updateUndoAction();
}

// ---------------------------------------------------------------- keyboard

void TMainForm::cancelCornerInput() {
    for (int slot : {1, 2}) {
        const SourceSlot s = sourceSlot(slot);
        const std::size_t i = static_cast<std::size_t>(slot - 1);
        const bool dragging = movepoint && m_cornerBefore[i].has_value();
        if (!s.insetmode && !dragging)
            continue;
        if (m_cornerBefore[i]) {
            s.corners = m_cornerBefore[i]->corners;
            s.setted = m_cornerBefore[i]->setted;
            s.mode = m_cornerBefore[i]->mode;
        }
        s.insetmode = false;
        if (dragging)
            movepoint = false;
        m_cornerBefore[i].reset();
        hideLoupe(slot);
        slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    }
}

void TMainForm::nudgeCorner(int slot, int dx, int dy) {
    const SourceSlot s = sourceSlot(slot);
    if (!s.setted || s.insetmode || movepoint)
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
