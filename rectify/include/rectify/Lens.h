#pragma once
// A lens that bends straight lines, as the rectification sees it: the
// mapping between the original photograph (as the lens drew it, upright as
// any viewer shows it) and the corrected photograph a pinhole camera would
// have taken, both of the same size in pixels.
//
// With a lens the corners stay in original pixels; the run moves them into
// the corrected photograph for the pose search and, for every pixel of the
// rectified image, moves its position in the corrected photograph back into
// the original, where it samples.
//
// Where the rectified image looks it up (one call of the lens per pixel
// would cost far more than the rest of the resampling): the corrected
// position of a rectified pixel is exact, and the lens's displacement
// (original minus corrected position) is taken from knots, rectified pixels
// every LensKnotStep pixels apart at which the lens is asked, and blended
// bilinearly in between (the last knot of a row or column sits on its last
// pixel, so every knot's plane point lies in the result). The knots lie close enough that they are
// at most LensKnotReach pixels of the photograph apart, so the displacement, which changes slowly
// over the photograph, is blended over short stretches only. The step-by-step
// loop asks for the knots of every pixel one by one; the fast resampling
// forms the same knots a row at a time and blends them by the same rule, in
// the same order of operations, so both give the same bits.

#include "pixkit/dib.h"
#include "rectify/Camera.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace rectify {

class LensGeometry {
public:
    virtual ~LensGeometry() = default;
    // The photograph the lens is set up for; a run uses it only for a
    // photograph of this size.
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Where corrected position (x, y) lies in the original photograph; not
    // finite where the lens gives no position. Callable from several
    // threads at once.
    virtual SourcePos toOriginal(double x, double y) const = 0;
    // Where original position (x, y) lies in the corrected photograph; not
    // finite where the lens gives no position. Callable from several
    // threads at once.
    virtual SourcePos toCorrected(double x, double y) const = 0;
};

// The lens is asked only within the photograph and a margin of half its
// width (height) on either side: beyond it the lens models bend back on
// themselves, and such positions sample the outside value.
bool InLensRange(double x, double y, int width, int height);

// The largest and the smallest knot spacing in rectified pixels, and the
// distance in photograph pixels that neighbouring knots keep to.
inline constexpr int LensKnotStepMax = 16;
inline constexpr double LensKnotReach = 16.0;
// The knot table never holds more knots than this (64 MiB).
inline constexpr std::int64_t LensKnotsMax = std::int64_t{1} << 22;

// The knots along a side of the result `pixels` long at spacing `step`:
// every step-th pixel and the last pixel, at least two.
inline std::int64_t LensKnotsAlong(std::int64_t pixels, std::int64_t step) {
    const std::int64_t last = std::max<std::int64_t>(pixels, 1) - 1;
    return std::max<std::int64_t>((last + step - 1) / step + 1, 2);
}
// The pixel of knot k along that side.
inline std::int64_t LensKnotPixel(std::int64_t k, std::int64_t step, std::int64_t pixels) {
    return std::min(k * step, std::max<std::int64_t>(pixels, 1) - 1);
}
// The cell of pixel p along that side: its first knot, and p's place
// between that knot and the next (0 at the first, 1 at the next).
struct LensCell {
    std::int64_t knot = 0;
    double f = 0.0;
};
inline LensCell LensCellOf(std::int64_t p, std::int64_t step, std::int64_t pixels) {
    const std::int64_t last = std::max<std::int64_t>(pixels, 1) - 1;
    if (last == 0)
        return {};
    const std::int64_t c = std::min(p / step, (last - 1) / step);
    const std::int64_t from = c * step;
    const std::int64_t span = std::min(from + step, last) - from;
    return {c, static_cast<double>(p - from) / static_cast<double>(span)};
}

// Where the run looks up the lens for the pixels of a result outW x outH
// pixels, the W x H rectangle in its middle, under `pose`.
struct LensFrame {
    const tcamera* camera = nullptr;
    const tpose* pose = nullptr;
    const tedges* edges = nullptr;
    std::int64_t W = 0, H = 0;
    std::int64_t outW = 0, outH = 0;
    int srcW = 0, srcH = 0; // the photograph
};

// The knot spacing for a frame: the largest power of two up to
// LensKnotStepMax at which knots that both lie in the lens range are at most
// LensKnotReach photograph pixels apart, and at which the table holds at most
// LensKnotsMax knots.
int LensKnotStep(const LensFrame& frame);

// The displacement of the lens at the knot on rectified pixel (x, y): the
// plane point's corrected position s (exact, as ProjectToSource gives it)
// taken to the original by the lens, minus s. Not a number when the plane
// point lies behind the camera, its projection faults, s lies outside the
// lens range or the lens gives no finite position.
SourcePos LensKnotDisplacement(const LensFrame& frame, const LensGeometry& lens, std::int64_t x,
                               std::int64_t y);

// The photograph `source` as `lens` corrects it, the same size and depth:
// every pixel takes the original pixel nearest to where the lens draws it
// (halves up), black where that lies outside the photograph or the lens
// gives none. The lens is asked at knots every LensKnotStepMax pixels and its
// displacement blended in between, by the rule the run uses; the position
// of a pixel then differs from the lens's own by at most
// CorrectedPhotographDeviation(lens). Empty when `lens` is set up for
// another size or there is no memory.
pixkit::Image CorrectedPhotograph(const pixkit::dib& source, const LensGeometry& lens);

// The same with the lens asked at every pixel: the measure the blended view
// is held to.
pixkit::Image CorrectedPhotographPerPixel(const pixkit::dib& source, const LensGeometry& lens);

// The largest difference, in either coordinate, between a pixel's blended
// position and the lens's own, over every pixel of the lens's photograph whose position is finite.
// Asks the lens at every pixel: for tests and benchmarks.
double CorrectedPhotographDeviation(const LensGeometry& lens);

} // namespace rectify
