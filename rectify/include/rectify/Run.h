#pragma once
// One rectification run for one photograph: corners, camera, target size,
// pose search, then either the preset real width or the rectified image.
//
// A run takes everything it reads in a RunRequest and returns everything it
// found in a RunResult; it changes nothing else. The caller applies the
// result in this order: the angles first, then the preset width or the new
// image (the window shows the angles, then writes the width field or shows
// the image; the batch goes on with the width or writes the image).
//
// Error policy of the engine: expected failures (missing or coinciding
// corners, arithmetic faults, no memory) end the run with RunEnd saying
// where; nothing throws.

#include "pixkit/dib.h"
#include "rectify/Camera.h"
#include "rectify/Lens.h"
#include "rectify/RectifiedRows.h"

#include <cstdint>
#include <optional>

namespace rectify {

// Where a run ended.
enum class RunEnd {
    Held,            // the hold flag: nothing was done
    NoCorners,       // corners incomplete; the typed angles are consumed
    CornersCoincide, // two corners equal; the typed angles are consumed
    CornersNoQuad,   // three corners on a line, or crossing sides; the typed angles are consumed
    NoTargetSize,    // bounding box 1 pixel wide or high
    Fault,           // arithmetic fault (zero divisor, non-finite, rounding out of range)
    WidthPreset,     // the width request consumed: a width was found, no image
    NoImage,         // no memory for the image: the previous result stays
    EmptyImage,      // the scaled result has no pixel: the previous result stays
    TooLarge,        // the result would be over MaxRectifiedPixels: the previous result stays
    Done,            // a new rectified image was made
    PoseOnly,        // RunScope::PoseOnly: the pose was found, no image made
};

// How far a run goes. PoseOnly stops where the resampling would begin: for a
// caller that only wants the angles.
enum class RunScope { Full, PoseOnly };

// Everything a run reads.
struct RunRequest {
    const pixkit::dib* source = nullptr; // the photograph; not owned, read only
    Corners corners{};                   // in source pixels, stored order
    bool cornersComplete = false;        // the quad was completed (`setted`)
    double realWidthCm = 1000.0;         // real size of the marked rectangle
    double realHeightCm = 1000.0;
    int targetPercent = 100; // size of the rectified image
    int areaPercent = 100;   // calculation area: margin around, or crop of, the rectangle
    // The typed angles and whether to use them instead of searching (`setwink`).
    double angleXDeg = 0.0;
    double angleYDeg = 0.0;
    bool fixedAngles = false;
    bool hold = false;        // hold all computation: the run ends at once
    bool presetWidth = false; // find the real width instead of an image (`breitetoset`)
    Interpolation sampling = Interpolation::Nearest;
    Engine engine = DefaultEngine;
    RunScope scope = RunScope::Full;
    // The lens correction, not owned; none: the photograph as it is. With
    // one (set up for the source's size, else the run faults) the corners
    // stay in pixels of the original photograph: the search works on their
    // places in the corrected photograph (the target size on those places
    // rounded to whole pixels), and the resampling samples the original
    // through the lens. Corners outside the lens range fault.
    const LensGeometry* lens = nullptr;
    // Not owned; none: the run makes the image. With one (and no lens) the
    // rows of the rectified image go to it band by band instead: a Done run
    // then has its scale but no image, unless the consumer left the image
    // to the run.
    const RowsConsumer* rows = nullptr;
};

// The scale of a rectified image: the real size and calculation area it was
// made with, and the pixels per centimetre of the real facade that follow
// (the marked rectangle is width / area * 100 pixels for realWidthCm).
struct RunScale {
    double realWidthCm = 0.0;
    double realHeightCm = 0.0;
    int areaPercent = 100;
    std::optional<double> pixelsPerCm; // empty when not a positive finite number
    friend bool operator==(const RunScale&, const RunScale&) = default;
};

// Pixels per centimetre of an image `width` pixels wide made at `realWidthCm`
// and `areaPercent`; empty when not a positive finite number.
std::optional<double> ScalePixelsPerCm(double realWidthCm, int areaPercent, int width);

// Everything a run found.
struct RunResult {
    RunEnd end = RunEnd::Held;
    // The request's typed angles were consumed (the caller clears `setwink`).
    bool fixedAnglesConsumed = false;
    // The request's width preset was consumed (the caller clears `breitetoset`).
    bool presetConsumed = false;
    // The found pose, whose angles the caller shows; empty when the search
    // did not complete.
    std::optional<tpose> pose;
    // With WidthPreset: the real width that gives the result the aspect of
    // the pose's parallelogram (real height x La / Lb), not yet rounded.
    std::optional<double> presetWidthCm;
    // The new rectified image: with Done, and with a Fault inside the
    // resampling (filled up to the faulting pixel). Empty otherwise.
    pixkit::Image image;
    // The scale `image` was made with; set whenever `image` is, and when
    // the request's rows consumer took the rows.
    std::optional<RunScale> scale;
    // With TooLarge: the size that was refused.
    std::int64_t refusedWidth = 0;
    std::int64_t refusedHeight = 0;
};

RunResult run(const RunRequest& request);

} // namespace rectify
