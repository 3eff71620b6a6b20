// GCC 12 under the sanitizers takes the empty optional picture of a step
// moved into the history for "maybe uninitialized" (inside std::optional's
// move); the picture is only ever read when it is there.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "gui/EditHistory.h"

#include <algorithm>
#include <utility>

namespace gui {

std::size_t EditHistory::Entry::bytes() const {
    std::size_t n = stroke.bytes();
    if (picture && !picture->image.empty())
        n += static_cast<std::size_t>(picture->image.get().bytew) *
             static_cast<std::size_t>(picture->image.height());
    return n;
}

void EditHistory::release(Entry& e) {
    m_bytes -= e.bytes();
    if (e.picture && !e.picture->image.empty())
        forgetStrokesOn(e.picture->image);
    e.picture.reset();
}

void EditHistory::push(Entry e) {
    std::deque<Entry> dropped = std::move(m_redo);
    m_redo.clear();
    for (Entry& r : dropped)
        release(r);
    m_lastMovedTo = nullptr;
    m_bytes += e.bytes();
    m_undo.push_back(std::move(e));
    trim();
}

void EditHistory::trim() {
    auto strokes = [this] {
        return static_cast<std::size_t>(
            std::count_if(m_undo.begin(), m_undo.end(),
                          [](const Entry& e) { return !e.corners && !e.replaced; }));
    };
    while (m_undo.size() > 1 &&
           (m_undo.size() > MaxSteps || strokes() > MaxStrokes || m_bytes > MaxBytes)) {
        Entry oldest = std::move(m_undo.front());
        m_undo.pop_front();
        release(oldest);
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
            if (!it->corners && !it->replaced && it->slot == slot) {
                m_bytes -= it->stroke.bytes();
                it = stack->erase(it);
            } else {
                ++it;
            }
        }
    }
}

bool EditHistory::hasStrokesOn(const pixkit::dib& image) const {
    return std::any_of(m_undo.begin(), m_undo.end(), [&image](const Entry& e) {
        return !e.corners && !e.replaced && e.stroke.paintedOn(image);
    });
}

void EditHistory::forgetStrokesOn(const pixkit::dib& image) {
    for (std::deque<Entry>* stack : {&m_undo, &m_redo}) {
        for (auto it = stack->begin(); it != stack->end();) {
            if (!it->corners && !it->replaced && it->stroke.paintedOn(image)) {
                m_bytes -= it->stroke.bytes();
                it = stack->erase(it);
            } else {
                ++it;
            }
        }
    }
}

void EditHistory::pushReplaced(int slot, Picture painted) {
    if (painted.image.empty())
        return;
    Entry e;
    e.slot = slot;
    e.replaced = true;
    e.picture = std::move(painted);
    push(std::move(e));
}

bool EditHistory::attachPicture(int slot, Picture& replaced) {
    if (m_lastMovedTo == nullptr || m_lastMovedTo->empty() || replaced.image.empty())
        return false;
    Entry& e = m_lastMovedTo->back();
    if (!e.corners || e.slot != slot || e.picture)
        return false;
    e.picture = std::move(replaced);
    m_bytes += e.bytes() - e.stroke.bytes();
    trim();
    return true;
}

std::optional<EditHistory::Step> EditHistory::move(std::deque<Entry>& from, std::deque<Entry>& to,
                                                   bool undoing, const pixkit::dib& image1,
                                                   const pixkit::dib& image2,
                                                   const PictureSwap& swap) {
    while (!from.empty()) {
        Entry e = std::move(from.back());
        from.pop_back();
        if (e.picture && !swap) {
            // Nobody to take the picture: a picture step is gone, a corner
            // step runs again.
            release(e);
            m_bytes += e.bytes();
            if (e.replaced)
                continue;
        }
        if (e.picture) {
            // The kept picture and the shown one trade places.
            m_bytes -= e.bytes();
            swap(e.slot, *e.picture);
            m_bytes += e.bytes();
            Step step{e.slot, e.corners, undoing ? e.before : e.after, true};
            to.push_back(std::move(e));
            m_lastMovedTo = &to;
            return step;
        }
        if (e.corners) {
            Step step{e.slot, true, undoing ? e.before : e.after, false};
            to.push_back(std::move(e));
            m_lastMovedTo = &to;
            return step;
        }
        const pixkit::dib& image = e.slot == 1 ? image1 : image2;
        // The pixels as they are now go to the other stack: writing them
        // back reverses this step.
        pixkit::StrokeRecord now = e.stroke.current(image);
        m_bytes -= e.stroke.bytes();
        if (now.empty() || !e.stroke.restore(image))
            continue; // painted on a picture that is not shown now: that stroke is gone
        m_bytes += now.bytes();
        e.stroke = std::move(now);
        const int slot = e.slot;
        to.push_back(std::move(e));
        m_lastMovedTo = &to;
        return Step{slot, false, {}, false};
    }
    return std::nullopt;
}

std::optional<EditHistory::Step>
EditHistory::undo(const pixkit::dib& image1, const pixkit::dib& image2, const PictureSwap& swap) {
    return move(m_undo, m_redo, true, image1, image2, swap);
}

std::optional<EditHistory::Step>
EditHistory::redo(const pixkit::dib& image1, const pixkit::dib& image2, const PictureSwap& swap) {
    return move(m_redo, m_undo, false, image1, image2, swap);
}

} // namespace gui
