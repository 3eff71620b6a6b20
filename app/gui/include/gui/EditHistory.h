#pragma once
// The one undo history of the main window: brush strokes in the rectified
// images and corner changes of the source views (a completed quad, a drag,
// a turn of a rectified image, arrow-key nudges), newest last, with redo.
// "Rückgängig" takes back the newest step of either kind, "Wiederholen"
// brings back the last one taken back; any new step drops what could be
// redone.

#include "pixkit/Brush.h"
#include "rectify/Run.h"

#include <cstddef>
#include <deque>
#include <optional>

namespace gui {

// What an undo of a corner change puts back into a source view.
struct CornerState {
    rectify::Corners corners{};
    bool setted = false; // a complete quad (else none)
    bool operator==(const CornerState&) const = default;
};

class EditHistory {
public:
    // At most this many steps, at most MaxStrokes of them strokes and, beyond
    // the newest, no more than MaxBytes of saved pixels; the oldest go first.
    static constexpr std::size_t MaxSteps = 100;
    static constexpr std::size_t MaxStrokes = pixkit::BrushHistory::MaxStrokes;
    static constexpr std::size_t MaxBytes = pixkit::BrushHistory::MaxBytes;

    // A finished stroke in rectified image `slot` (1 or 2); empty ones are dropped.
    void pushStroke(int slot, pixkit::StrokeRecord stroke);
    // A corner change of source view `slot`; none when nothing changed.
    // `nudge`: an arrow-key step, which joins a nudge of the same view just
    // before it into one step.
    void pushCorners(int slot, const CornerState& before, const CornerState& after,
                     bool nudge = false);
    // Rectified image `slot` was made anew: its strokes cannot come back.
    void clearStrokes(int slot);

    // The step taken back or brought back.
    struct Step {
        int slot = 0;
        bool corners = false; // a corner change: apply `state` and rerun
        CornerState state;    // the corners to put back
    };
    // Takes back the newest step into image1/image2 (strokes) or returns the
    // corners to put back. Empty when there is nothing to take back.
    std::optional<Step> undo(const pixkit::dib& image1, const pixkit::dib& image2);
    std::optional<Step> redo(const pixkit::dib& image1, const pixkit::dib& image2);

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    std::size_t size() const { return m_undo.size(); } // steps that can be taken back
    std::size_t bytes() const { return m_bytes; }

private:
    struct Entry {
        int slot = 0;
        bool corners = false;
        bool nudge = false;
        pixkit::StrokeRecord stroke; // strokes: the pixels to write back
        CornerState before;          // corner changes
        CornerState after;
    };
    void push(Entry e);
    void trim();
    std::optional<Step> move(std::deque<Entry>& from, std::deque<Entry>& to, bool undoing,
                             const pixkit::dib& image1, const pixkit::dib& image2);

    std::deque<Entry> m_undo;
    std::deque<Entry> m_redo;
    std::size_t m_bytes = 0; // saved pixels of both stacks
};

} // namespace gui
