#pragma once
// Colour-depth promotion of opened photographs and the quarter turns of
// source images (pixels) and rectified images (corner order).
//
// Failure policy: when the new image cannot be made (no memory, no image in
// the record) the record is left exactly as it was; nothing is reported.

#include "pixkit/dib.h"

#include <array>

namespace pixkit {

// Promotes a 1-, 4- or 8-bit image to `nbpp` (always 24) bits in place: the
// old image is released and the record describes the new one. 24-bit images,
// other depths and records without an image are left unchanged; so is the
// record when the new image cannot be made.
void DepthUpTo(int nbpp, dib& image);

enum class TurnDirection { Left, Right };

// Turns a source image by a quarter in place: width and height are exchanged,
// depth and colour table stay. Left is counter-clockwise as seen (the top-right
// pixel becomes the top-left one). The old image is released; on failure the
// record is unchanged. 8- and 24-bit images are moved row by row; the result is
// the same as TurnSourceImageReference's.
void TurnSourceImage(dib& image, TurnDirection dir);

// The same turn pixel by pixel through getpixel/setpixel, for every depth.
void TurnSourceImageReference(dib& image, TurnDirection dir);

// Renumbers the four corners of a rectified image so that the next
// rectification yields the picture turned by a quarter: corner 0 is placed
// at the top-left and the edge 0-1 along the top.
template <typename Point> void TurnCorners(std::array<Point, 4>& c, TurnDirection dir) {
    const std::array<Point, 4> old = c;
    if (dir == TurnDirection::Left) {
        c = {old[1], old[2], old[3], old[0]};
    } else {
        c = {old[3], old[0], old[1], old[2]};
    }
}

} // namespace pixkit
