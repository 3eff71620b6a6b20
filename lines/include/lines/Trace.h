#pragma once
// Outline tracing: the black areas of a black/white image are reduced to
// their one-pixel outline, and every outline is walked and cut into straight
// segments wherever the path bends away from the chord by the tolerance.
//
// Error policy as in Separation.h: no memory comes back as a status, the
// caller shows message 8; nothing is written through a missing image.

#include "lines/Separation.h"
#include "pixkit/dib.h"

#include <cstdint>
#include <functional>

namespace lines {

// One traced segment in pixels of the traced image, rows from the top.
struct tlineinf {
    std::int32_t x1 = 0;
    std::int32_t y1 = 0;
    std::int32_t x2 = 0;
    std::int32_t y2 = 0;
    bool newpoly = false; // begins a new polyline
    friend bool operator==(const tlineinf&, const tlineinf&) = default;
};

// A 5 x 5 filter: result = sum(coef * value) div divisor + bias, 0 ... 255.
struct tfilter5 {
    std::int32_t divisor = 1;
    std::int32_t bias = 0;
    std::int32_t coef[5][5] = {}; // row 0 on top
};

// The 3 x 3 Laplacian in the middle of the 5 x 5 grid.
inline constexpr tfilter5 OutlineFilter = {
    1,
    0,
    {{0, 0, 0, 0, 0}, {0, -1, -1, -1, 0}, {0, -1, 8, -1, 0}, {0, -1, -1, -1, 0}, {0, 0, 0, 0, 0}}};

// A pixel position (x from the left, y from the top).
struct tpixel {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The negative of an image in place. 24 bits: every colour byte b becomes
// 255 - b. 1 bit: every byte of the pixel rows is inverted. 4 and 8 bits: the
// 16 or 256 colours of the colour table and of `pal` are inverted.
void InvertImage(pixkit::dib& image, Engine engine = DefaultEngine);

// Applies `filter` to each colour byte of a 24-bit image in place; positions
// outside the image read the nearest border pixel, all results come from the
// unchanged input. A divisor of 0 counts as 1. False (image unchanged) when
// the work memory cannot be had or the image is not 24 bits.
bool ApplyFilter5x5(pixkit::dib& image, const tfilter5& filter, Engine engine = DefaultEngine);

// A new image with the same size, depth, colour table and pixels. An empty
// record when it cannot be made.
pixkit::dib DuplicateImage(const pixkit::dib& image);

// Signed distance of Q from the line through A and N; 1000 when A = N.
double PointLineDistance(tpixel A, tpixel N, tpixel Q);

// Tolerance of the deviation test for a traced image `width` pixels wide.
double TraceTolerance(int width);

enum class OutlineEnd {
    Done,           // `image` holds the outline image
    FilterNoMemory, // the filter had no work memory: the image is the promoted
                    // input inverted twice (unfiltered); the run may go on
    NoImage,        // no pixels (or they could not be brought to 24 bits)
};

// Steps 2 to 5 of the tracing: promote to 24 bits, invert, outline filter,
// invert. For a black/white image the result is black exactly at the black
// pixels with a white pixel among their eight neighbours (outside counts as
// the nearest border pixel). The fast path does the three passes in one.
OutlineEnd MakeOutlineImage(pixkit::dib& image, Engine engine = DefaultEngine);

// Receives each segment as it is found. `drawn` is false for the closing
// segment of an outline, which the window does not draw. Returning false
// ends the trace (the list could not take the segment).
using SegmentSink = std::function<bool(const tlineinf& segment, bool drawn)>;

enum class TraceEnd {
    Done,
    NoImage,     // no 24-bit image to trace
    OutOfMemory, // the working copy could not be made; nothing was emitted
    Stopped,     // the sink refused a segment
};

// Step 7 of the tracing: scans the outline image row by row, left to right,
// and walks every black pixel's path (neighbours left, right, up, down, then
// up-left, down-right, up-right, down-left; row 0 is never stepped into),
// emitting segments in the order found. `outline` itself is not changed: the
// walk consumes a working copy.
TraceEnd TraceSegments(const pixkit::dib& outline, const SegmentSink& emit,
                       Engine engine = DefaultEngine);

} // namespace lines
