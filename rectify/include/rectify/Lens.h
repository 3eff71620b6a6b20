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
// bilinearly in between. The knots lie close enough that they are at most
// LensKnotReach pixels of the photograph apart, so the displacement, which
// changes slowly over the photograph, is blended over short stretches only.

#include "rectify/Camera.h"

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

} // namespace rectify
