// Step-by-step camera model. Every expression keeps the order of operations
// that the fast paths reproduce bit for bit; do not "simplify" terms such as
// (anchor + e1) - anchor or the additions of exact zeros in the matrix products.

#include "rectify/Camera.h"

#include "LensKnots.h"
#include "ResampleShared.h"
#include "rectify/Interpolate.h"

#include "foundation/Rounding.h"
#include "rectify/Search.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

namespace rectify {

tmat44 MatMul(const tmat44& m, const tmat44& r) {
    tmat44 out{};
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            out[i][j] =
                m[i][0] * r[0][j] + m[i][1] * r[1][j] + m[i][2] * r[2][j] + m[i][3] * r[3][j];
    return out;
}

namespace {

// One place computes sine and cosine, so the rotations and the fast search's
// tables cannot drift apart (sin/cos may be fused into sincos elsewhere).
[[gnu::noinline]] SinCos radSinCos(double angleRad) {
    return {std::sin(angleRad), std::cos(angleRad)};
}

} // namespace

void RotX(tmat44& m, double angleRad) {
    const auto [s, c] = radSinCos(angleRad);
    tmat44 rx = IdentityMatrix;
    rx[1][1] = c;
    rx[1][2] = s;
    rx[2][1] = -s;
    rx[2][2] = c;
    m = MatMul(m, rx);
}

void RotY(tmat44& m, double angleRad) {
    const auto [s, c] = radSinCos(angleRad);
    tmat44 ry = IdentityMatrix;
    ry[0][0] = c;
    ry[0][2] = -s;
    ry[2][0] = s;
    ry[2][2] = c;
    m = MatMul(m, ry);
}

tvec3 TransformPoint(const tmat44& m, const tvec3& p) {
    const double w = p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + m[3][3];
    return {(p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0]) / w,
            (p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1]) / w,
            (p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]) / w};
}

tvec3 Cross(const tvec3& a, const tvec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Dot(const tvec3& a, const tvec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

namespace {

tvec3 sub(const tvec3& a, const tvec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
tvec3 add(const tvec3& a, const tvec3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
tvec3 scale(double k, const tvec3& a) {
    return {k * a.x, k * a.y, k * a.z};
}
double length(const tvec3& a) {
    return std::sqrt(Dot(a, a));
}
bool finite(const tvec3& a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

} // namespace

std::optional<tvec3> IntersectLinePlane(const tvec3& a, const tvec3& b, const tvec3& c,
                                        const tvec3& d, const tvec3& e) {
    const tvec3 n = Cross(sub(d, c), sub(e, c));
    const double num = -Dot(n, sub(a, c));
    const tvec3 dir = sub(b, a);
    const double den = Dot(n, dir);
    if (std::fabs(den) < ParallelLimit)
        return std::nullopt;
    const double t = num / den;
    if (t == 0.0)
        return std::nullopt;
    return add(a, scale(t, dir));
}

tvec3 CornerRay(double cx, double cy, double x, double y) {
    const tvec3 dir{cx - x, cy - y, static_cast<double>(FocalDistance)};
    const double len = length(dir);
    return {dir.x / len, dir.y / len, dir.z / len};
}

tcamera MakeCamera(const pixkit::dib& source, const Corners& corners) {
    tcamera cam;
    cam.cx = pixkit::dibwidth(source) / 2.0;
    cam.cy = pixkit::dibheight(source) / 2.0;
    for (std::size_t k = 0; k < 3; ++k)
        cam.rays[k] = CornerRay(cam.cx, cam.cy, corners[k].x, corners[k].y);
    return cam;
}

tcamera MakeCameraAt(const pixkit::dib& source, const CornerPositions& corners) {
    tcamera cam;
    cam.cx = pixkit::dibwidth(source) / 2.0;
    cam.cy = pixkit::dibheight(source) / 2.0;
    for (std::size_t k = 0; k < 3; ++k)
        cam.rays[k] = CornerRay(cam.cx, cam.cy, corners[k].sx, corners[k].sy);
    return cam;
}

bool CornersDistinct(const Corners& corners) {
    for (std::size_t a = 0; a < 4; ++a)
        for (std::size_t b = a + 1; b < 4; ++b)
            if (corners[a].x == corners[b].x && corners[a].y == corners[b].y)
                return false;
    return true;
}

namespace {

// Twice the signed area of the triangle a, b, c: 0 when they lie on one line.
// Exact: corners are 32-bit, the products fit 64 bits.
std::int64_t turn(const TPoint& a, const TPoint& b, const TPoint& c) {
    return (std::int64_t{b.x} - a.x) * (std::int64_t{c.y} - a.y) -
           (std::int64_t{b.y} - a.y) * (std::int64_t{c.x} - a.x);
}

// True when the segments pq and rs cross (no three of the points on a line).
bool segmentsCross(const TPoint& p, const TPoint& q, const TPoint& r, const TPoint& s) {
    return (turn(p, q, r) > 0) != (turn(p, q, s) > 0) && (turn(r, s, p) > 0) != (turn(r, s, q) > 0);
}

} // namespace

bool CornersSpanQuad(const Corners& c) {
    for (std::size_t k = 0; k < 4; ++k)
        if (turn(c[k], c[(k + 1) % 4], c[(k + 2) % 4]) == 0)
            return false;
    return !segmentsCross(c[0], c[1], c[2], c[3]) && !segmentsCross(c[1], c[2], c[3], c[0]);
}

tpose StartPose(const tcamera& camera) {
    tpose pose;
    pose.anchor = scale(AnchorDistance, camera.rays[0]);
    pose.corner1 = scale(AnchorDistance, camera.rays[1]);
    pose.corner2 = scale(AnchorDistance, camera.rays[2]);
    return pose;
}

SinCos AngleSinCos(double angleDeg) {
    return radSinCos(std::numbers::pi * angleDeg / 180.0);
}

bool EvaluatePose(const tcamera& camera, double angleXDeg, double angleYDeg, tpose& pose) {
    pose.angleX = angleXDeg;
    pose.angleY = angleYDeg;
    pose.anchor = scale(AnchorDistance, camera.rays[0]);

    tmat44 mat = IdentityMatrix;
    RotX(mat, std::numbers::pi * angleXDeg / 180.0);
    RotY(mat, std::numbers::pi * angleYDeg / 180.0);
    const tvec3 e1 = TransformPoint(mat, {1.0, 0.0, 0.0});
    const tvec3 e2 = TransformPoint(mat, {0.0, 1.0, 0.0});
    // Typed angles beyond any sensible range make sin/cos invalid.
    if (!finite(e1) || !finite(e2))
        return false;

    const tvec3 c = pose.anchor;
    const tvec3 d = add(pose.anchor, e1);
    const tvec3 e = add(pose.anchor, e2);
    const tvec3 origin{0.0, 0.0, 0.0};
    // A corner whose ray runs along the plane keeps its previous position.
    if (const auto p1 = IntersectLinePlane(origin, camera.rays[1], c, d, e))
        pose.corner1 = *p1;
    if (const auto p2 = IntersectLinePlane(origin, camera.rays[2], c, d, e))
        pose.corner2 = *p2;
    return true;
}

std::optional<tedges> PoseEdges(const tpose& pose) {
    const tvec3 a = sub(pose.corner1, pose.anchor);
    const tvec3 b = sub(pose.corner2, pose.corner1);
    tedges ed;
    ed.La = length(a);
    ed.Lb = length(b);
    if (ed.La == 0.0 || ed.Lb == 0.0 || !std::isfinite(ed.La) || !std::isfinite(ed.Lb))
        return std::nullopt;
    ed.u = {a.x / ed.La, a.y / ed.La, a.z / ed.La};
    ed.v = {b.x / ed.Lb, b.y / ed.Lb, b.z / ed.Lb};
    return ed;
}

std::optional<tvec3> PlanePoint(const tpose& pose, const tedges& edges, std::int64_t i,
                                std::int64_t j, std::int64_t dw, std::int64_t dh) {
    if (dw == 0 || dh == 0)
        return std::nullopt;
    const auto fi = static_cast<double>(i);
    const auto fj = static_cast<double>(j);
    const auto fdw = static_cast<double>(dw);
    const auto fdh = static_cast<double>(dh);
    const tvec3& u = edges.u;
    const tvec3& v = edges.v;
    return tvec3{((fi * u.x) * edges.La) / fdw + pose.anchor.x + ((fj * v.x) * edges.Lb) / fdh,
                 ((fi * u.y) * edges.La) / fdw + pose.anchor.y + ((fj * v.y) * edges.Lb) / fdh,
                 ((fi * u.z) * edges.La) / fdw + pose.anchor.z + ((fj * v.z) * edges.Lb) / fdh};
}

std::optional<tvec3> PlanePoint(const tpose& pose, std::int64_t i, std::int64_t j, std::int64_t dw,
                                std::int64_t dh) {
    const auto edges = PoseEdges(pose);
    if (!edges)
        return std::nullopt;
    return PlanePoint(pose, *edges, i, j, dw, dh);
}

std::optional<SourcePos> ProjectToSource(const tcamera& camera, const tvec3& p) {
    const double L = length(p);
    if (L == 0.0)
        return std::nullopt;
    const tvec3 d{-p.x / L, -p.y / L, -p.z / L};
    if (d.z == 0.0)
        return std::nullopt;
    const double s = (-static_cast<double>(FocalDistance) - p.z) / d.z;
    const double qx = p.x + s * d.x;
    const double qy = p.y + s * d.y;
    const SourcePos pos{camera.cx + qx, camera.cy + qy};
    if (!std::isfinite(pos.sx) || !std::isfinite(pos.sy))
        return std::nullopt;
    return pos;
}

namespace {

// Half-to-even rounding of a ratio; empty on a zero divisor or out of range.
std::optional<std::int64_t> roundRatio(double num, double den) {
    if (den == 0.0)
        return std::nullopt;
    return fp::roundHalfEven(num / den);
}

} // namespace

TargetSizeResult TargetSize(const Corners& corners, double realWidthCm, double realHeightCm,
                            int targetPercent) {
    using Status = TargetSizeResult::Status;
    std::int64_t minX = corners[0].x, maxX = corners[0].x;
    std::int64_t minY = corners[0].y, maxY = corners[0].y;
    for (const TPoint& p : corners) {
        minX = std::min<std::int64_t>(minX, p.x);
        maxX = std::max<std::int64_t>(maxX, p.x);
        minY = std::min<std::int64_t>(minY, p.y);
        maxY = std::max<std::int64_t>(maxY, p.y);
    }
    const std::int64_t bw = maxX - minX + 1;
    const std::int64_t bh = maxY - minY + 1;
    if (bw <= 1 || bh <= 1)
        return {Status::NoSize, 0, 0};

    TargetSizeResult r{Status::Fault, bw, 0};
    const auto h = roundRatio(realHeightCm * static_cast<double>(r.W), realWidthCm);
    if (!h)
        return {Status::Fault, 0, 0};
    r.H = *h;
    if (r.H < bh) {
        r.H = bh;
        const auto w = roundRatio(realWidthCm * static_cast<double>(r.H), realHeightCm);
        if (!w)
            return {Status::Fault, 0, 0};
        r.W = *w;
    }
    const auto w2 = roundRatio(targetPercent * static_cast<double>(r.W), 100.0);
    const auto h2 = roundRatio(targetPercent * static_cast<double>(r.H), 100.0);
    if (!w2 || !h2)
        return {Status::Fault, 0, 0};
    r.W = *w2;
    r.H = *h2;
    r.status = Status::Ok;
    return r;
}

std::optional<int> SourcePixel(double v) {
    const auto r = fp::roundHalfEven(v);
    if (!r)
        return std::nullopt;
    // No image reaches 2^31 pixels, so the clamped value lies outside any image.
    if (*r < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    if (*r > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return static_cast<int>(*r);
}

namespace {

// The lens's displacement at rectified pixel (x, y), blended from the four
// knots of its cell, each asked of the lens here: down the cell's knot
// columns first, then across.
SourcePos lensDisplacementAt(const LensFrame& frame, const LensGeometry& lens, int step,
                             std::int64_t x, std::int64_t y) {
    const LensCell across = LensCellOf(x, step, frame.outW);
    const LensCell down = LensCellOf(y, step, frame.outH);
    const std::int64_t x0 = LensKnotPixel(across.knot, step, frame.outW);
    const std::int64_t x1 = LensKnotPixel(across.knot + 1, step, frame.outW);
    const std::int64_t y0 = LensKnotPixel(down.knot, step, frame.outH);
    const std::int64_t y1 = LensKnotPixel(down.knot + 1, step, frame.outH);
    const double fx = across.f, fy = down.f;
    const SourcePos d00 = LensKnotDisplacement(frame, lens, x0, y0);
    const SourcePos d10 = LensKnotDisplacement(frame, lens, x1, y0);
    const SourcePos d01 = LensKnotDisplacement(frame, lens, x0, y1);
    const SourcePos d11 = LensKnotDisplacement(frame, lens, x1, y1);
    const double leftX = d00.sx + fy * (d01.sx - d00.sx);
    const double leftY = d00.sy + fy * (d01.sy - d00.sy);
    const double rightX = d10.sx + fy * (d11.sx - d10.sx);
    const double rightY = d10.sy + fy * (d11.sy - d10.sy);
    return {leftX + fx * (rightX - leftX), leftY + fx * (rightY - leftY)};
}

} // namespace

std::optional<RectifiedSize> ScaledResultSize(std::int64_t W, std::int64_t H, int areaPercent) {
    const auto w1 = roundRatio(areaPercent * static_cast<double>(W), 100.0);
    const auto h1 = roundRatio(areaPercent * static_cast<double>(H), 100.0);
    if (!w1 || !h1)
        return std::nullopt;
    return RectifiedSize{*w1, *h1};
}

ResampleEnd ResampleRectified(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                              std::int64_t W, std::int64_t H, int areaPercent, pixkit::dib& result,
                              Engine engine, Interpolation sampling, const LensGeometry* lens) {
    const auto scaled = ScaledResultSize(W, H, areaPercent);
    if (!scaled)
        return ResampleEnd::Fault;
    const std::int64_t w1 = scaled->width, h1 = scaled->height;
    if (w1 <= 0 || h1 <= 0)
        return ResampleEnd::Empty;
    if (w1 > MaxRectifiedPixels / h1)
        return ResampleEnd::TooLarge;

    // Blending mixes colours; a palette photograph's indices are not colours,
    // so it keeps the nearest pixel.
    const bool smooth = sampling != Interpolation::Nearest && pixkit::dibbits(source) == 24;
    const bool fast =
        engine == Engine::Fast && source.poi != result.poi &&
        (smooth ? detail::resampleSmoothFits(source) : detail::resampleFastFits(source));
    if (fast) {
        // The fast paths write every byte of the result, padding and the
        // black after a fault included: its memory need not be cleared
        // first, and the previous result's is kept when it has the size.
        if (!pixkit::renewdibForOverwrite(result, static_cast<int>(w1), static_cast<int>(h1)))
            return ResampleEnd::NoImage;
    } else {
        pixkit::dib fresh;
        pixkit::newdib(fresh, static_cast<int>(w1), static_cast<int>(h1), 24, nullptr, 0);
        if (fresh.poi == nullptr)
            return ResampleEnd::NoImage;
        pixkit::replaceDib(result, fresh);
    }

    const std::int64_t outW = pixkit::dibwidth(result);
    const std::int64_t outH = pixkit::dibheight(result);
    const std::int64_t offX = (outW - W) / 2;
    const std::int64_t offY = (outH - H) / 2;
    const auto edges = PoseEdges(pose);
    if (!edges) {
        if (fast)
            detail::clearFromFault(result, 0);
        return ResampleEnd::Fault;
    }

    // With a lens: where it is asked (the knots, see rectify/Lens.h).
    const bool held = source.pmi != nullptr; // a record without an image reads black
    const LensFrame frame{&camera,
                          &pose,
                          &*edges,
                          W,
                          H,
                          outW,
                          outH,
                          held ? pixkit::dibwidth(source) : 0,
                          held ? pixkit::dibheight(source) : 0};
    if (fast) {
        detail::LensKnots knots;
        if (lens != nullptr)
            detail::buildLensKnots(frame, *lens, knots);
        const detail::LensKnots* table = lens != nullptr ? &knots : nullptr;
        const bool done =
            smooth ? detail::resampleSmoothFast(source, camera, pose, *edges, W, H, result,
                                                sampling, table)
                   : detail::resampleFast(source, camera, pose, *edges, W, H, result, table);
        return done ? ResampleEnd::Done : ResampleEnd::Fault;
    }

    const int step = lens != nullptr ? LensKnotStep(frame) : 0;
    for (std::int64_t y = 0; y < outH; ++y) {
        for (std::int64_t x = 0; x < outW; ++x) {
            const std::int64_t i = x - offX;
            const std::int64_t j = y - offY;
            const auto p = PlanePoint(pose, *edges, i, j, W, H);
            if (!p)
                return ResampleEnd::Fault;
            const auto pos = ProjectToSource(camera, *p);
            if (!pos)
                return ResampleEnd::Fault;
            const auto rx = SourcePixel(pos->sx);
            const auto ry = SourcePixel(pos->sy);
            if (!rx || !ry)
                return ResampleEnd::Fault;
            pixkit::Colour colour = 0;
            if (lens != nullptr) {
                // The position in the original photograph; where the lens
                // gives none, the outside value.
                const SourcePos d = lensDisplacementAt(frame, *lens, step, x, y);
                const double ox = pos->sx + d.sx;
                const double oy = pos->sy + d.sy;
                const auto lx = SourcePixel(ox);
                const auto ly = SourcePixel(oy);
                if (smooth)
                    colour = SampleAt(source, SubPixelPosition(ox), SubPixelPosition(oy), sampling);
                else if (lx && ly)
                    colour = pixkit::getpixel(source, *lx, *ly);
            } else {
                colour = smooth ? SampleAt(source, SubPixelPosition(pos->sx),
                                           SubPixelPosition(pos->sy), sampling)
                                : pixkit::getpixel(source, *rx, *ry);
            }
            pixkit::setpixel(result, static_cast<int>(x), static_cast<int>(y), colour);
        }
    }
    return ResampleEnd::Done;
}

} // namespace rectify
