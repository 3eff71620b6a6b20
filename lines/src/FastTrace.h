#pragma once
// The fast paths of the outline image and the trace, over rows and words.
// Each gives exactly the result of its per-pixel reference in Trace.cpp.

#include "lines/Trace.h"

namespace lines::detail {

// Every colour byte b becomes 255 - b (24-bit images).
void invertFast(const pixkit::dib& image);

// ApplyFilter5x5 over a five-row window of border-extended rows, zero
// coefficients skipped. False when the window cannot be had.
bool filterFast(const pixkit::dib& image, const tfilter5& filter);

// Invert, outline filter and invert in one pass: with the input bytes c and
// its eight neighbours n, the result is 255 - clamp(sum(n) - 8c, 0, 255).
// False (image unchanged, as the inversions cancel) without work memory.
bool outlineFast(const pixkit::dib& image);

// The trace on a bit mask of the black pixels, scanned by 64-bit words.
TraceEnd traceFast(const pixkit::dib& outline, const SegmentSink& emit);

} // namespace lines::detail
