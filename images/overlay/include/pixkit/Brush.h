#pragma once
// The freehand brush of the rectified views: round discs of a radius in image
// pixels, strokes as rows of discs one pixel apart, and the undo of whole
// strokes by the bytes they changed.
//
// Error policy: positions outside the image are fine and paint nothing there;
// an undo that no longer fits its image (another size or another image)
// writes nothing and says so.

#include "pixkit/dib.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace pixkit {

// Largest and smallest brush radius the brush commands allow, and the step.
inline constexpr int MinBrushRadius = 1;
inline constexpr int MaxBrushRadius = 40;
inline constexpr int BrushRadiusStep = 5;

// The radius after "Größerer Pinsel" / "Kleinerer Pinsel".
int LargerBrush(int radius);
int SmallerBrush(int radius);

// Paints one disc: for i, j = 0 ... 2r the pixel (Round(cx + fx + i - r),
// Round(cy + fy + j - r)) takes `colour` when sqrt((i - r)^2 + (j - r)^2) < r,
// so radius 1 paints one pixel. fx and fy are the fractional offsets of a
// stroke, 0 for a single stamp. Pixels outside the image are left out. Radii
// above MaxBrushRadius paint as MaxBrushRadius.
void StampBrush(const dib& image, int cx, int cy, double fx, double fy, int radius, Colour colour);

// The discs of a mouse move from (oldx, oldy) to (ax, ay): n + 1 discs at
// (ax + f * ux, ay + f * uy) for f = 0 ... n, from the new position back to
// the old one.
struct StrokeSteps {
    double ux = 0.0;
    double uy = 0.0;
    std::int64_t n = 0;
};
StrokeSteps StrokeBetween(int oldx, int oldy, int ax, int ay);

// The bytes one brush stroke changed in a 24-bit image, row by row: per row
// the span of columns the stroke's discs can reach, as it was before the
// stroke. Only the rows a stroke touches are kept.
class StrokeRecord {
public:
    StrokeRecord() = default;
    // A stroke on `image`, which the record remembers to refuse another one.
    explicit StrokeRecord(const dib& image);

    // Saves, where not saved yet, the pixels a disc of `radius` around
    // (x, y) may change. Call before the disc is painted.
    void saveDisc(const dib& image, double x, double y, int radius);

    // Writes the saved bytes back. False, and nothing written, when `image`
    // is not the image (memory, size, depth) the stroke was painted on.
    bool restore(const dib& image) const;

    // The same pixels as they are in `image` now (the stroke's result, read
    // before an undo, is what a redo writes back). Empty when `image` is not
    // the image the stroke was painted on.
    StrokeRecord current(const dib& image) const;

    bool empty() const { return m_rows.empty(); }
    std::size_t bytes() const { return m_bytes; }
    bool paintedOn(const dib& image) const;

private:
    struct RowSpan {
        int x0 = 0; // first saved column
        std::vector<std::uint8_t> bytes;
        int x1() const { return x0 + static_cast<int>(bytes.size() / 3); }
    };
    const std::uint8_t* m_poi = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::map<int, RowSpan> m_rows; // picture row -> saved span
    std::size_t m_bytes = 0;
};

// The undo history of the brush strokes of both rectified images, newest
// last. Keeps at most MaxStrokes strokes and, beyond the newest, no more
// than MaxBytes of saved pixels; older strokes are forgotten first.
class BrushHistory {
public:
    static constexpr std::size_t MaxStrokes = 32;
    static constexpr std::size_t MaxBytes = std::size_t{256} << 20;

    // Adds a finished stroke of image `slot` (1 or 2); empty strokes are dropped.
    void push(int slot, StrokeRecord stroke);
    // Undoes the newest stroke into the image of its slot. The slot undone,
    // or empty when there was nothing (left) to undo.
    std::optional<int> undo(const dib& image1, const dib& image2);
    // Forgets the strokes of one image (its image was made anew).
    void clearSlot(int slot);

    bool canUndo() const { return !m_strokes.empty(); }
    std::size_t size() const { return m_strokes.size(); }
    std::size_t bytes() const { return m_bytes; }

private:
    struct Entry {
        int slot;
        StrokeRecord stroke;
    };
    std::deque<Entry> m_strokes;
    std::size_t m_bytes = 0;
};

} // namespace pixkit
