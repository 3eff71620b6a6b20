#pragma once
// The one undo history of the main window: brush strokes in the rectified
// images and corner changes of the source views (a completed quad, a drag,
// a turn of a rectified image, arrow-key nudges), newest last, with redo.
// "Rückgängig" takes back the newest step of either kind, "Wiederholen"
// brings back the last one taken back; any new step drops what could be
// redone.
//
// A rectified image with strokes is not lost when a run, a turn or the DXF
// export makes a new one: the painted picture is kept as a step of its own
// (pushReplaced), so an undo puts it back in place of the new one and a redo
// brings the new one again. A rerun caused by an undo or redo of corners
// keeps the picture it replaces with that corner step (attachPicture): going
// that step back and forth again swaps the pictures instead of running.
// Strokes only ever point at the shown image or a kept picture; whoever
// releases an image first drops the strokes on it (forgetStrokesOn).

#include "pixkit/Brush.h"
#include "rectify/Run.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>

namespace gui {

// What an undo of a corner change puts back into a source view.
struct CornerState {
    rectify::Corners corners{};
    bool setted = false; // a complete quad (else none)
    bool operator==(const CornerState&) const = default;
};

// A rectified image as the history keeps it: its pixels and the scale it was made with.
struct Picture {
    pixkit::Image image;
    std::optional<rectify::RunScale> scale;
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
    // True when a stroke that can be taken back was painted on `image`.
    bool hasStrokesOn(const pixkit::dib& image) const;
    // Drops every stroke painted on `image`, which is about to be released.
    void forgetStrokesOn(const pixkit::dib& image);
    // The painted picture of rectified image `slot`, replaced by a new one,
    // as a step of its own; an empty picture is dropped.
    void pushReplaced(int slot, Picture painted);
    // The picture a rerun replaced right after an undo or redo of a corner
    // step of `slot`: kept with that step (when it was the last one moved).
    // False, and the picture released by the caller, when there is none.
    bool attachPicture(int slot, Picture& replaced);

    // Swaps the history's picture with the shown one of rectified image `slot`.
    using PictureSwap = std::function<void(int slot, Picture& picture)>;

    // The step taken back or brought back.
    struct Step {
        int slot = 0;
        bool corners = false; // a corner change: apply `state` and rerun
        CornerState state;    // the corners to put back
        bool swapped = false; // a kept picture was swapped in: no rerun
    };
    // Takes back the newest step into image1/image2 (strokes) or returns the
    // corners to put back. Empty when there is nothing to take back.
    // Steps that keep a picture call `swap`; without one they are skipped.
    std::optional<Step> undo(const pixkit::dib& image1, const pixkit::dib& image2,
                             const PictureSwap& swap = {});
    std::optional<Step> redo(const pixkit::dib& image1, const pixkit::dib& image2,
                             const PictureSwap& swap = {});

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
        bool replaced = false;          // a picture step of its own
        std::optional<Picture> picture; // the kept picture (replaced, or with corners)
        std::size_t bytes() const;
    };
    void push(Entry e);
    void trim();
    void release(Entry& e); // drops the strokes on its picture, uncounts its bytes
    std::optional<Step> move(std::deque<Entry>& from, std::deque<Entry>& to, bool undoing,
                             const pixkit::dib& image1, const pixkit::dib& image2,
                             const PictureSwap& swap);

    std::deque<Entry> m_undo;
    std::deque<Entry> m_redo;
    std::size_t m_bytes = 0;                    // saved pixels of both stacks
    std::deque<Entry>* m_lastMovedTo = nullptr; // the stack the last undo or redo filled
};

} // namespace gui
