#pragma once
// Halftone copies of 24-bit images for displays of 256 colours or fewer.
//
// The copy is an 8-bit image on a fixed palette, a 6 x 6 x 6 colour cube
// (index = 36 r + 6 g + b, levels 0, 51, ..., 255; entries 216..255 black),
// dithered with a 4 x 4 ordered (Bayer) matrix anchored at the copy's top-left
// pixel. The palette is in the colour table and in `pal`; `ispal` is 1.
// Failure (no image, not 24 bits, bad size, no memory) leaves `out` empty:
// `poi` nil. `out` is overwritten, never released.

#include "pixkit/dib.h"

namespace pixkit {

// 8-bit halftone copy of a 24-bit image at the same size.
void DIBHalftoneDIB(dib& out, const dib& image);

// The same, scaled nearest-neighbour to width x height first.
void DIBHalftoneDIBXY(dib& out, const dib& image, int width, int height);

} // namespace pixkit
