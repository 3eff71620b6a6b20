#pragma once
// One rectification run for one image slot (RenderDi2 / renderdi4 call it).
//
// The run talks to its surroundings only through RunFields (the window, the
// batch mode and the tests each supply their own) and through the workspace
// fields it is handed by reference. Error policy of the engine: expected
// failures (missing or coinciding corners, arithmetic faults, no memory)
// end the run silently with the outcome saying where; nothing throws.

#include "pixkit/dib.h"

#include <array>
#include <cstdint>

namespace rectify {

// 4 x 4 matrix of doubles, first index the row; points are row vectors
// multiplied from the left.
using tmat44 = std::array<std::array<double, 4>, 4>;

// A point or direction in camera space.
struct tvec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// A corner in source-image pixels, y from the top row (the platform's TPoint).
struct TPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};
using Corners = std::array<TPoint, 4>;

// How the rectified image samples the photograph at a pixel's projected
// position. Nearest takes the nearest pixel (the default); Bilinear blends the
// 2 x 2 pixels around the position, Bicubic the 4 x 4 pixels (Keys' cubic
// convolution with a = -0.5, clamped to 0 ... 255).
enum class Interpolation { Nearest, Bilinear, Bicubic };

// The numeric fields and the hold check box, as the run sees them. Reads
// happen at the moment the run needs the value; writes behave like a user's
// edit of the field: they raise the field's change handler synchronously
// (which is why `donotreender` brackets the angle write-back).
class RunFields {
public:
    virtual ~RunFields() = default;
    virtual bool holdChecked() = 0;    // NowDoNotRenderCheck
    virtual double realWidthCm() = 0;  // BreiteED
    virtual double realHeightCm() = 0; // HoeheEd
    virtual int targetPercent() = 0;   // zieledValue
    virtual int areaPercent() = 0;     // RechenbereichEd
    virtual double angleXDeg() = 0;    // RxSpinEdit1
    virtual double angleYDeg() = 0;    // RxSpinEdit2
    virtual void setAngleXDeg(double v) = 0;
    virtual void setAngleYDeg(double v) = 0;
    virtual void setRealWidthCm(double v) = 0; // shown with two decimals
    // The slot's rectified view is to be repainted (1: PaintBox2, 2: PaintBox3).
    virtual void repaintResult(int slot) = 0;
    // The run refused a result image of width x height pixels as over
    // MaxRectifiedPixels (RunEnd::TooLarge); for the caller's message.
    virtual void resultRefused(std::int64_t /*width*/, std::int64_t /*height*/) {}
    // The user's choice of sampling; read when the resampling starts.
    virtual Interpolation interpolation() { return Interpolation::Nearest; }
};

// The workspace flags shared by both slots.
struct RunFlags {
    bool& setwink;
    bool& breitetoset;
    bool& donotreender;
};

// The workspace fields bound to one slot.
struct SlotFields {
    int slot;                  // 1 (image 1) or 2 (image 2)
    const bool& setted;        // the slot's corners are complete
    const Corners& corners;    // points / doints
    const pixkit::dib& source; // di / bi
    pixkit::dib& result;       // di2 / bi2: replaced by a new image, the old one released
};

// Where a run ended.
enum class RunEnd {
    Held,            // NowDoNotRenderCheck: nothing changed
    NoCorners,       // corners incomplete; setwink cleared
    CornersCoincide, // two corners equal; setwink cleared
    NoTargetSize,    // bounding box 1 pixel wide or high
    Fault,           // arithmetic fault (zero divisor, non-finite, rounding out of range)
    WidthPreset,     // breitetoset consumed: width written, no image
    NoImage,         // newdib failed: previous result kept
    EmptyImage,      // the scaled result has no pixel: previous result kept
    TooLarge,        // the result would be over MaxRectifiedPixels: previous result kept
    Done,            // new result image made and repaint requested
    PoseOnly,        // RunScope::PoseOnly: angles written, the result left as it was
};

// How far a run goes. PoseOnly stops where the resampling would begin: for a
// caller that knows the very next run gets the same inputs and makes the
// image, so that this run's image would be replaced unseen.
enum class RunScope { Full, PoseOnly };

// Which implementation of the search and the resampling to use. Both give
// bit-identical results; Reference is the step-by-step definition.
enum class Engine { Fast, Reference };

RunEnd RectifyImage(RunFields& fields, RunFlags flags, const SlotFields& slot,
                    Engine engine = Engine::Fast, RunScope scope = RunScope::Full);

} // namespace rectify
