#pragma once
// Line drawings from rectified image 1, first stages: the preparation that
// makes every pixel a 3 x 3 block, and the black/white separation at the
// user's threshold (Schwelled, percent of the distance between the
// background grey and the nearest other significant grey).
//
// Error policy of the line layer: expected failures (no memory for an image,
// a file that cannot be created) come back as a status; the caller shows the
// message. Nothing throws and nothing is written through a missing image.
// Every operation exists twice: the per-pixel reference through
// getpixel/setpixel, and the fast path over rows that the program uses.
// Both give identical images.

#include "foundation/Engine.h"
#include "pixkit/dib.h"

#include <array>
#include <cstdint>

namespace lines {

// Which implementation to use (foundation/Engine.h); both give identical results.
using fp::DefaultEngine;
using fp::Engine;

// Widest and highest image that is enlarged 3 x 3; larger ones are made
// blocky in place (the enlargement needs nine times the memory).
inline constexpr int EnlargeLimit = 3000;

// Makes every pixel a 3 x 3 block. Images up to 3000 x 3000 pixels become
// three times as wide and high (the old pixels are released); larger ones keep
// their size and take the colour of the first stored pixel of their 3 x 3
// block, blocks counted from the bottom stored row and the first column.
// Palette images are promoted to 24 bits first. Records without an image are
// left alone; when the enlarged image cannot be made the image stays as it
// is, without a report.
void PrepareForTracing(pixkit::dib& image, Engine engine = DefaultEngine);

// One entry of the peak table.
struct tpeak {
    std::uint32_t count = 0;
    std::int32_t value = 0; // luminance 0 ... 255
};

// The histogram and the peak table of the last separation (workspace fields
// col1 and col2, recomputed by every run) and what was derived from them.
struct SeparationTables {
    std::array<std::uint32_t, 256> col1{}; // count per luminance
    std::array<tpeak, 256> col2{};         // peaks after the suppression
    int M = 0;                             // background luminance
    int D = 255;                           // distance to the nearest other peak
    int T = 0;                             // threshold in luminance levels
};

// Luminance of a 24-bit colour value: the plain mean of its three bytes.
constexpr int Luminance(pixkit::Colour c) {
    return static_cast<int>(
        (static_cast<unsigned>(pixkit::redOf(c)) + pixkit::greenOf(c) + pixkit::blueOf(c)) / 3u);
}

// Derives M, the peak table, D and T from the histogram in `tables.col1`,
// for a threshold of `schwellePercent` (1 ... 99). Used by both paths.
void AnalyseHistogram(SeparationTables& tables, int schwellePercent);

enum class SeparationEnd {
    Done,        // `out` holds the black/white image
    NoImage,     // the input has no pixels or is not 24 bits; `out` untouched
    OutOfMemory, // the output image could not be made; `out` untouched
};

// The separation of ToBlackWhiteBtnClick: reads the 24-bit image `dicol` and
// makes a new image of the same size in `out` where every pixel whose
// luminance lies closer than T to the background M (or equals M) is white and
// every other pixel black. `out` is overwritten, not released: it must not
// hold an image that is still needed. `tables` receives col1, col2, M, D, T.
SeparationEnd ToBlackWhite(const pixkit::dib& dicol, int schwellePercent, pixkit::dib& out,
                           SeparationTables& tables, Engine engine = DefaultEngine);

} // namespace lines
