#include "gui/EditHistory.h"

#include <algorithm>
#include <utility>

namespace gui {

void EditHistory::push(Entry e) {
    for (const Entry& r : m_redo)
        m_bytes -= r.stroke.bytes();
    m_redo.clear();
    m_bytes += e.stroke.bytes();
    m_undo.push_back(std::move(e));
    trim();
}

void EditHistory::trim() {
    auto strokes = [this] {
        return static_cast<std::size_t>(
            std::count_if(m_undo.begin(), m_undo.end(), [](const Entry& e) { return !e.corners; }));
    };
    while (m_undo.size() > 1 &&
           (m_undo.size() > MaxSteps || strokes() > MaxStrokes || m_bytes > MaxBytes)) {
        m_bytes -= m_undo.front().stroke.bytes();
        m_undo.pop_front();
    }
}

void EditHistory::pushStroke(int slot, pixkit::StrokeRecord stroke) {
    if (stroke.empty())
        return;
    Entry e;
    e.slot = slot;
    e.stroke = std::move(stroke);
    push(std::move(e));
}

void EditHistory::pushCorners(int slot, const CornerState& before, const CornerState& after,
                              bool nudge) {
    if (before == after)
        return;
    if (nudge && m_redo.empty() && !m_undo.empty()) {
        Entry& last = m_undo.back();
        if (last.corners && last.nudge && last.slot == slot) {
            last.after = after;
            return;
        }
    }
    Entry e;
    e.slot = slot;
    e.corners = true;
    e.nudge = nudge;
    e.before = before;
    e.after = after;
    push(std::move(e));
}

void EditHistory::clearStrokes(int slot) {
    for (std::deque<Entry>* stack : {&m_undo, &m_redo}) {
        for (auto it = stack->begin(); it != stack->end();) {
            if (!it->corners && it->slot == slot) {
                m_bytes -= it->stroke.bytes();
                it = stack->erase(it);
            } else {
                ++it;
            }
        }
    }
}

std::optional<EditHistory::Step> EditHistory::move(std::deque<Entry>& from, std::deque<Entry>& to,
                                                   bool undoing, const pixkit::dib& image1,
                                                   const pixkit::dib& image2) {
    while (!from.empty()) {
        Entry e = std::move(from.back());
        from.pop_back();
        if (e.corners) {
            Step step{e.slot, true, undoing ? e.before : e.after};
            to.push_back(std::move(e));
            return step;
        }
        const pixkit::dib& image = e.slot == 1 ? image1 : image2;
        // The pixels as they are now go to the other stack: writing them
        // back reverses this step.
        pixkit::StrokeRecord now = e.stroke.current(image);
        m_bytes -= e.stroke.bytes();
        if (now.empty() || !e.stroke.restore(image)) {
            // The image was made anew since: none of its strokes can come back.
            clearStrokes(e.slot);
            continue;
        }
        m_bytes += now.bytes();
        e.stroke = std::move(now);
        const int slot = e.slot;
        to.push_back(std::move(e));
        return Step{slot, false, {}};
    }
    return std::nullopt;
}

std::optional<EditHistory::Step> EditHistory::undo(const pixkit::dib& image1,
                                                   const pixkit::dib& image2) {
    return move(m_undo, m_redo, true, image1, image2);
}

std::optional<EditHistory::Step> EditHistory::redo(const pixkit::dib& image1,
                                                   const pixkit::dib& image2) {
    return move(m_redo, m_undo, false, image1, image2);
}

} // namespace gui
