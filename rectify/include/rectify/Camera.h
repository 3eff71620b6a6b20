#pragma once
// Camera model of the rectification: a pinhole camera looking at the facade
// plane, the corner rays, the tilted plane of a pose and the resampling of
// that plane into the rectified image.
//
// Camera space: the centre is the origin, z points into the scene, the
// photograph lies mirrored on the plane z = -FocalDistance (camera x grows to
// the left of the photograph, camera y to its top).
//
// Faults: a zero divisor, a non-finite value or a rounding outside the signed
// 64-bit range is a fault. Operations that can meet one return an empty
// optional (or a Fault status); the run then ends silently. Nothing traps or
// throws.

#include "pixkit/dib.h"
#include "rectify/Types.h"

#include <cstdint>
#include <optional>

namespace rectify {

// Distance of the image plane from the camera centre, in source pixels.
inline constexpr int FocalDistance = 1000;
// Distance from the camera centre at which corner 0 is placed on its ray.
inline constexpr double AnchorDistance = 20000.0;
// Smallest accepted magnitude of the denominator in IntersectLinePlane.
inline constexpr double ParallelLimit = 1e-9;

// Every pose evaluation rebuilds its working matrix from this one.
inline constexpr tmat44 IdentityMatrix = {
    {{1.0, 0.0, 0.0, 0.0}, {0.0, 1.0, 0.0, 0.0}, {0.0, 0.0, 1.0, 0.0}, {0.0, 0.0, 0.0, 1.0}}};

// One camera per run: the image centre and the unit rays of corners 0, 1, 2.
struct tcamera {
    double cx = 0.0; // source width / 2 (500.5 for a 1001 pixel wide photograph)
    double cy = 0.0; // source height / 2
    std::array<tvec3, 3> rays{};
};

// A tilt of the facade plane with the plane positions of corners 0, 1 and 2.
struct tpose {
    double angleX = 0.0; // degrees, rotation about the X axis
    double angleY = 0.0; // degrees, rotation about the Y axis
    tvec3 anchor;        // corner 0, AnchorDistance out on its ray
    tvec3 corner1;
    tvec3 corner2;
};

// Edges of a pose's parallelogram: a = corner1 - anchor, b = corner2 - corner1,
// as unit directions u, v and lengths La, Lb.
struct tedges {
    tvec3 u;
    double La = 0.0;
    tvec3 v;
    double Lb = 0.0;
};

// A position in the source photograph, in pixels (not rounded).
struct SourcePos {
    double sx = 0.0;
    double sy = 0.0;
};

// The four corners where the camera sees them, not rounded: the corners'
// pixels, or their places in the photograph a lens correction gives.
using CornerPositions = std::array<SourcePos, 4>;

class LensGeometry;

// ---- Matrix and vector operations -------------------------------------------

// M x R. Both operands are read completely before the result is formed, so the
// result may be stored into either of them.
tmat44 MatMul(const tmat44& m, const tmat44& r);
// m := m x Rx(angleRad).
void RotX(tmat44& m, double angleRad);
// m := m x Ry(angleRad).
void RotY(tmat44& m, double angleRad);
// [x y z 1] x m, divided by the homogeneous w (1 for the rotations used here).
tvec3 TransformPoint(const tmat44& m, const tvec3& p);
tvec3 Cross(const tvec3& a, const tvec3& b);
double Dot(const tvec3& a, const tvec3& b);

// The line through a and b meets the plane through c, d, e at the returned
// point; empty when the line is (nearly) parallel to the plane or meets it
// exactly at a.
std::optional<tvec3> IntersectLinePlane(const tvec3& a, const tvec3& b, const tvec3& c,
                                        const tvec3& d, const tvec3& e);

// ---- Camera --------------------------------------------------------------------

// Unit direction of the ray through source position (x, y).
tvec3 CornerRay(double cx, double cy, double x, double y);
// Camera of a run: centre from the source size, rays of corners 0, 1 and 2.
// The source must hold an image.
tcamera MakeCamera(const pixkit::dib& source, const Corners& corners);
// The same for corners that need not lie on whole pixels; whole-pixel
// positions give the same camera as the corners themselves.
tcamera MakeCameraAt(const pixkit::dib& source, const CornerPositions& corners);
// False when any two of the four corners are the same pixel.
bool CornersDistinct(const Corners& corners);
// False when three of the four (distinct) corners lie on one line, or when
// two opposite sides cross (the corners taken out of order): no rectangle
// seen in perspective gives such a quad.
bool CornersSpanQuad(const Corners& corners);

// The working pose before the first evaluation of a run: anchor and both
// corners AnchorDistance out on their rays. A corner whose ray misses the
// plane in the very first evaluation keeps this value.
tpose StartPose(const tcamera& camera);

// sin and cos of pi * angleDeg / 180. Both the step-by-step evaluation and the
// fast search take their values from here, so they agree to the bit.
struct SinCos {
    double s = 0.0;
    double c = 0.0;
};
SinCos AngleSinCos(double angleDeg);

// Places the pose plane at (angleXDeg, angleYDeg) through the anchor and
// intersects the rays of corners 1 and 2 with it. A corner whose ray misses
// the plane keeps its value in `pose` (from the previous evaluation of the run).
// Empty-handed (false) on a fault (non-finite angles).
bool EvaluatePose(const tcamera& camera, double angleXDeg, double angleYDeg, tpose& pose);

// The edges of the pose; empty when an edge has length 0 or is not finite.
std::optional<tedges> PoseEdges(const tpose& pose);

// anchor + (i * La / dw) * u + (j * Lb / dh) * v, per component in the order
// ((i*u)*La)/dw + anchor + ((j*v)*Lb)/dh. Empty on a zero divisor.
std::optional<tvec3> PlanePoint(const tpose& pose, const tedges& edges, std::int64_t i,
                                std::int64_t j, std::int64_t dw, std::int64_t dh);
std::optional<tvec3> PlanePoint(const tpose& pose, std::int64_t i, std::int64_t j, std::int64_t dw,
                                std::int64_t dh);

// Where the camera sees plane point p in the source photograph, computed along
// the ray from p through the centre. Empty when p is the centre, lies in the
// plane z = 0, or the position is not finite.
std::optional<SourcePos> ProjectToSource(const tcamera& camera, const tvec3& p);

// ---- Sizes and resampling ------------------------------------------------------

struct TargetSizeResult {
    enum class Status { Ok, NoSize, Fault };
    Status status = Status::NoSize;
    std::int64_t W = 0;
    std::int64_t H = 0;
};

// Size of the rectified rectangle: the smallest rectangle of the real aspect
// that covers the corners' bounding box (fitted to its width first), scaled by
// targetPercent. NoSize when the box is one pixel wide or high; Fault on a
// real width or height of 0 or a rounding out of range.
TargetSizeResult TargetSize(const Corners& corners, double realWidthCm, double realHeightCm,
                            int targetPercent);

enum class ResampleEnd {
    Done,     // new image installed and filled
    NoImage,  // newdib failed: the slot's previous result is untouched
    Fault,    // the new image is the slot's result, filled up to the faulting pixel
    Empty,    // the scaled size has no pixel: the previous result is untouched
    TooLarge, // the scaled size is over MaxRectifiedPixels: the previous result is untouched
};

// Largest rectified image made: 2^28 pixels, the same bound as for a decoded
// photograph. A calculation area of 10000 % on a small facade would
// otherwise ask for gigabytes.
inline constexpr std::int64_t MaxRectifiedPixels = std::int64_t{1} << 28;

// Size of the result image: W, H scaled by areaPercent (halves to even).
// Empty on a rounding out of range.
struct RectifiedSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
std::optional<RectifiedSize> ScaledResultSize(std::int64_t W, std::int64_t H, int areaPercent);

// Makes the W' x H' result image (W, H scaled by areaPercent), installs it as
// `result` (releasing the previous one) and fills it by looking up every
// result pixel's plane point in the source: the nearest pixel, or blended
// from its neighbours (Interpolate.h) for a 24-bit source. With a `lens`
// (set up for the source's size) the camera is the corrected photograph's,
// and every plane point's position moves by the lens's displacement into
// the source, which is the original photograph (rectify/Lens.h); positions
// the lens gives none for take the outside value.
ResampleEnd ResampleRectified(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                              std::int64_t W, std::int64_t H, int areaPercent, pixkit::dib& result,
                              Engine engine = DefaultEngine,
                              Interpolation sampling = Interpolation::Nearest,
                              const LensGeometry* lens = nullptr);

// Rounds a source position to a pixel coordinate for getpixel: half to even;
// positions beyond the 32-bit range become a coordinate outside every image.
// Empty when not finite or outside the signed 64-bit range (a fault).
std::optional<int> SourcePixel(double v);

} // namespace rectify
