// The grid search at speed, with results identical to the step-by-step search.
//
// What makes it fast: sines and cosines come from a table of the 721 grid
// angles; the rotation matrices are never formed (their products reduce to
// the entries below, exact zeros included); one row of angleX values is
// evaluated in a loop the compiler vectorises; stretches of rows go to the
// threads of the pool.
//
// What keeps it exact: every value is formed by the same operations in the
// same order as in Camera.cpp and Search.cpp. Multiplying the identity by Rx
// and Ry only adds exact zeros (which can at most turn -0 into +0, hence the
// "+ 0.0" terms), and w is exactly 1, so with sa, ca, sb, cb the sines and
// cosines of angleX and angleY the plane vectors are
//     e1 = (cb, +0, -sb + 0),   e2 = (sa*sb + 0, ca, sa*cb + 0).
// A corner whose ray misses the plane keeps the position of the last pose
// that hit it, so such (rare) poses are redone one by one in loop order.

#include "foundation/TargetClones.h"
#include "foundation/ThreadPool.h"
#include "rectify/Search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace rectify::detail {

namespace {

struct AngleTable {
    std::array<double, GridSize> s{};
    std::array<double, GridSize> c{};
};

const AngleTable& angleTable() {
    static const AngleTable table = [] {
        AngleTable t;
        for (int k = 0; k < GridSize; ++k) {
            const SinCos sc = AngleSinCos((k - GridHalf) / 4.0);
            t.s[static_cast<std::size_t>(k)] = sc.s;
            t.c[static_cast<std::size_t>(k)] = sc.c;
        }
        return t;
    }();
    return table;
}

// Everything fixed for one run.
struct RunConst {
    tvec3 anchor;
    tvec3 toOrigin; // origin - anchor
    tvec3 r1, r2;   // rays of corners 1 and 2
    double cx = 0, cy = 0;
    double x3 = 0, y3 = 0;     // corner 3
    double dh = 0;             // the divisor H-1
    double jf = 0;             // the row index H-1 of the fourth corner
    double fixedMagnitude = 0; // |anchor| + |cx| + |cy| + |x3| + |y3|, for the bounds
    // cx - x3, cy - y3: exact for whole-pixel corners; for a corner a lens
    // correction moved, its rounding (at most u |cx - x3|) lies well within
    // the bound's room (see Bound).
    double cx3 = 0, cy3 = 0;
};

// Everything fixed for one value of angleY.
struct RowConst {
    double sb = 0, cb = 0;
    tvec3 d1; // (anchor + e1) - anchor
};

RowConst rowConst(const RunConst& rc, std::size_t iyIndex) {
    const AngleTable& t = angleTable();
    RowConst row;
    row.sb = t.s[iyIndex];
    row.cb = t.c[iyIndex];
    const double e1z = -row.sb + 0.0;
    row.d1 = {(rc.anchor.x + row.cb) - rc.anchor.x, (rc.anchor.y + 0.0) - rc.anchor.y,
              (rc.anchor.z + e1z) - rc.anchor.z};
    return row;
}

struct PlaneCorners {
    double c1x, c1y, c1z;
    double c2x, c2y, c2z;
    bool hit1, hit2;
};

// IntersectLinePlane for the rays of corners 1 and 2 with the pose plane.
// With `exactZeros` false the additions of exact zeros are left out: they can
// only turn a -0 into +0, which no bound depends on (the plane vectors enter
// d2 through anchor + e2, where the sign of a zero e2 vanishes, and the
// corners only through differences and magnitudes).
template <bool exactZeros = true>
inline PlaneCorners planeCorners(const RunConst& rc, const RowConst& row, double sa, double ca) {
    const double zero = exactZeros ? 0.0 : -0.0; // x + -0.0 is x: no operation
    const double e2x = sa * row.sb + zero;
    const double e2z = sa * row.cb + zero;
    const double d2x = (rc.anchor.x + e2x) - rc.anchor.x;
    const double d2y = (rc.anchor.y + ca) - rc.anchor.y;
    const double d2z = (rc.anchor.z + e2z) - rc.anchor.z;
    const tvec3& d1 = row.d1;
    const double nx = d1.y * d2z - d1.z * d2y;
    const double ny = d1.z * d2x - d1.x * d2z;
    const double nz = d1.x * d2y - d1.y * d2x;
    const double num = -(nx * rc.toOrigin.x + ny * rc.toOrigin.y + nz * rc.toOrigin.z);
    const double den1 = nx * rc.r1.x + ny * rc.r1.y + nz * rc.r1.z;
    const double den2 = nx * rc.r2.x + ny * rc.r2.y + nz * rc.r2.z;
    const double t1 = num / den1;
    const double t2 = num / den2;
    PlaneCorners pc;
    pc.c1x = zero + t1 * rc.r1.x;
    pc.c1y = zero + t1 * rc.r1.y;
    pc.c1z = zero + t1 * rc.r1.z;
    pc.c2x = zero + t2 * rc.r2.x;
    pc.c2y = zero + t2 * rc.r2.y;
    pc.c2z = zero + t2 * rc.r2.z;
    pc.hit1 = !(std::fabs(den1) < ParallelLimit) & !(t1 == 0.0);
    pc.hit2 = !(std::fabs(den2) < ParallelLimit) & !(t2 == 0.0);
    return pc;
}

// PoseError for the corners c1, c2. NaN where the step-by-step measure faults.
//
// The zero term ((0*u)*La)/(W-1) of the fourth corner is left out: added to a
// nonzero anchor component it changes nothing, and where the anchor component
// is zero it can only decide the sign of a zero coordinate, which the
// projection turns into cx + (+-0) = cx or a fault either way (cx, cy > 0).
inline double poseError(const RunConst& rc, double c1x, double c1y, double c1z, double c2x,
                        double c2y, double c2z) {
    const tvec3& an = rc.anchor;
    const double ax = c1x - an.x;
    const double ay = c1y - an.y;
    const double az = c1z - an.z;
    const double aa = ax * ax + ay * ay + az * az;
    const double bx = c2x - c1x;
    const double by = c2y - c1y;
    const double bz = c2z - c1z;
    const double Lb = std::sqrt(bx * bx + by * by + bz * bz);
    const double vx = bx / Lb;
    const double vy = by / Lb;
    const double vz = bz / Lb;
    const double qx = an.x + ((rc.jf * vx) * Lb) / rc.dh;
    const double qy = an.y + ((rc.jf * vy) * Lb) / rc.dh;
    const double qz = an.z + ((rc.jf * vz) * Lb) / rc.dh;
    const double L = std::sqrt(qx * qx + qy * qy + qz * qz);
    const double dx = -qx / L;
    const double dy = -qy / L;
    const double dz = -qz / L;
    const double s = (-static_cast<double>(FocalDistance) - qz) / dz;
    const double sx = rc.cx + (qx + s * dx);
    const double sy = rc.cy + (qy + s * dy);
    const double ex = sx - rc.x3;
    const double ey = sy - rc.y3;
    const double e = std::sqrt(ex * ex + ey * ey);
    // An edge of length 0 (or beyond the double range) is a fault in PoseEdges.
    const bool badEdge = (aa == 0.0) | !(aa <= std::numeric_limits<double>::max());
    return badEdge ? std::numeric_limits<double>::quiet_NaN() : e;
}

// Flags of one evaluated pose.
constexpr std::uint8_t Miss1 = 1; // ray of corner 1 missed the plane
constexpr std::uint8_t Miss2 = 2;

// One row (fixed angleY) of poses, all assumed to hit; misses are flagged.
[[gnu::always_inline]] inline void evaluateRowBody(const RunConst& rc, const RowConst& row,
                                                   const double* __restrict sa,
                                                   const double* __restrict ca,
                                                   double* __restrict err,
                                                   std::uint8_t* __restrict flags) {
    for (int k = 0; k < GridSize; ++k) {
        const PlaneCorners pc = planeCorners(rc, row, sa[k], ca[k]);
        err[k] = poseError(rc, pc.c1x, pc.c1y, pc.c1z, pc.c2x, pc.c2y, pc.c2z);
        flags[k] = static_cast<std::uint8_t>((pc.hit1 ? 0 : Miss1) | (pc.hit2 ? 0 : Miss2));
    }
}

// Built for AVX-512, AVX2 and the baseline; the loader picks what the processor has.
// Both give the same bits: no fused operations, the same IEEE operations.
FP_TARGET_CLONES("avx512f", "avx2", "default")
void evaluateRow(const RunConst& rc, const RowConst& row, const double* sa, const double* ca,
                 double* err, std::uint8_t* flags) {
    evaluateRowBody(rc, row, sa, ca, err, flags);
}

// ---- Bounds of a pose's error ------------------------------------------------------
//
// Only the smallest error needs its exact bits, so a first pass estimates
// every pose's error cheaply with a bound, and only poses whose bound reaches
// below the smallest upper bound are evaluated exactly. The estimate takes the
// fourth corner as anchor + (c2 - c1) and projects it by the homography:
//     q = anchor + b,  e' = |((cx - x3) - qx * (1000 / qz), (cy - y3) - qy * (1000 / qz))|.
// With u = 2^-53 and M the sum of the magnitudes of q, b, the projected Q,
// cx, cy and corner 3, the exact fourth corner differs from q by at most
// 6.1 u M per component (its path through v = b / Lb and back multiplies b by
// four roundings, since the row index equals the divisor H-1), both
// projections carry at most 13 u M of rounding, and moving q by D moves Q by
// at most (1000 + |Qx| + |Qy|) D / |qz|. So with G = 1 + (1000 + |Qx| +
// |Qy|) / |qz| the exact error differs from e' by at most 61 u M G, including
// the roundings of e' and of the exact error; Bound = 128 u doubles that for
// the rounding of the bound itself. The argument needs values far from
// overflow and underflow and |qz| far above the shift D (so the exact qz is
// not 0 and the exact error is finite); a pose outside those ranges gets the
// bounds -inf and +inf and is evaluated exactly.
constexpr double Bound = 0x1p-46;
constexpr double Tiny = 1e-100;
constexpr double Large = 1e100;
constexpr double ZFloor = 0x1p-40; // |qz| must exceed ZFloor * M

[[gnu::always_inline]] inline void poseBounds(const RunConst& rc, double c1x, double c1y,
                                              double c1z, double c2x, double c2y, double c2z,
                                              bool hit, double& lower, double& upper) {
    const tvec3& an = rc.anchor;
    const double ax = c1x - an.x;
    const double ay = c1y - an.y;
    const double az = c1z - an.z;
    const double aa = ax * ax + ay * ay + az * az;
    const double bx = c2x - c1x;
    const double by = c2y - c1y;
    const double bz = c2z - c1z;
    const double qx = an.x + bx;
    const double qy = an.y + by;
    const double qz = an.z + bz;
    const double r = 1.0 / qz;
    const double fr = static_cast<double>(FocalDistance) * r;
    const double Qx = qx * fr;
    const double Qy = qy * fr;
    const double ex = rc.cx3 - Qx;
    const double ey = rc.cy3 - Qy;
    const double e = std::sqrt(ex * ex + ey * ey);
    const double aqz = std::fabs(qz);
    // Plain selects (not fmax) so the loop vectorises; a NaN fails through M.
    const double abx = std::fabs(bx), aby = std::fabs(by), abz = std::fabs(bz);
    const double mxy = abx > aby ? abx : aby;
    const double mb = mxy > abz ? mxy : abz;
    // M from above: |q| + |b| <= |anchor| + 2 |b| <= |anchor| + 6 max |b|.
    const double aQ = std::fabs(Qx) + std::fabs(Qy);
    const double M = 6.0 * mb + aQ + rc.fixedMagnitude;
    const double G = 1.0 + (static_cast<double>(FocalDistance) + aQ) * std::fabs(r);
    const double B = Bound * M * G;
    // Written so that NaN fails.
    const bool regular = hit & (aa != 0.0) & (aa <= std::numeric_limits<double>::max()) &
                         (mb > Tiny) & (M < Large) & (aqz > Tiny) & (aqz > ZFloor * M) &
                         (B < Large);
    lower = regular ? e - B : -std::numeric_limits<double>::infinity();
    upper = regular ? e + B : std::numeric_limits<double>::infinity();
}

// One row of poses: the lower bound of every error, clamped at 0 (the
// errors are not negative), misses flagged with the bound 0; and the row's
// smallest lower and upper bound. Both bounds are then never negative and
// never NaN, so their bit patterns order like the values, which lets the
// minima vectorise as integer minima.
struct RowBounds {
    double minLower, minUpper;
};

template <bool store>
[[gnu::always_inline]] inline RowBounds
rowBoundsBody(const RunConst& rc, const RowConst& row, const double* __restrict sa,
              const double* __restrict ca, double* __restrict lower,
              std::uint8_t* __restrict flags) {
    std::int64_t minLower = std::numeric_limits<std::int64_t>::max();
    std::int64_t minUpper = std::numeric_limits<std::int64_t>::max();
    for (int k = 0; k < GridSize; ++k) {
        const PlaneCorners pc = planeCorners<false>(rc, row, sa[k], ca[k]);
        double lo = 0.0, up = 0.0;
        poseBounds(rc, pc.c1x, pc.c1y, pc.c1z, pc.c2x, pc.c2y, pc.c2z, pc.hit1 & pc.hit2, lo, up);
        lo = lo > 0.0 ? lo : 0.0;
        if constexpr (store) {
            lower[k] = lo;
            flags[k] = static_cast<std::uint8_t>((pc.hit1 ? 0 : Miss1) | (pc.hit2 ? 0 : Miss2));
        }
        const auto loBits = std::bit_cast<std::int64_t>(lo);
        const auto upBits = std::bit_cast<std::int64_t>(up);
        minLower = loBits < minLower ? loBits : minLower;
        minUpper = upBits < minUpper ? upBits : minUpper;
    }
    return {std::bit_cast<double>(minLower), std::bit_cast<double>(minUpper)};
}

// The row's minima only (the first pass): without the byte-wide flags the
// loop works on fewer poses at a time and keeps its values in registers.
FP_TARGET_CLONES("avx512f", "avx2", "default")
RowBounds rowMinima(const RunConst& rc, const RowConst& row, const double* __restrict sa,
                    const double* __restrict ca) {
    return rowBoundsBody<false>(rc, row, sa, ca, nullptr, nullptr);
}

// The minima, the lower bound of every pose and the flags (the second pass).
FP_TARGET_CLONES("avx512f", "avx2", "default")
RowBounds evaluateRowBounds(const RunConst& rc, const RowConst& row, const double* __restrict sa,
                            const double* __restrict ca, double* __restrict lower,
                            std::uint8_t* __restrict flags) {
    return rowBoundsBody<true>(rc, row, sa, ca, lower, flags);
}

// Position of corner 1 or 2 at the pose with loop index `index` (iy outer),
// following the keep-the-previous rule back to the start pose; `hitIndex`
// receives the pose it comes from (-1: the start pose).
tvec3 cornerAt(const RunConst& rc, const tpose& start, std::int64_t index, int corner,
               std::int64_t& hitIndex) {
    const AngleTable& t = angleTable();
    for (std::int64_t q = index; q >= 0; --q) {
        const auto iyIndex = static_cast<std::size_t>(q / GridSize);
        const auto ixIndex = static_cast<std::size_t>(q % GridSize);
        const RowConst row = rowConst(rc, iyIndex);
        const PlaneCorners pc = planeCorners(rc, row, t.s[ixIndex], t.c[ixIndex]);
        hitIndex = q;
        if (corner == 1 && pc.hit1)
            return {pc.c1x, pc.c1y, pc.c1z};
        if (corner == 2 && pc.hit2)
            return {pc.c2x, pc.c2y, pc.c2z};
    }
    hitIndex = -1;
    return corner == 1 ? start.corner1 : start.corner2;
}

struct PartResult {
    bool fault = false;
    bool any = false;
    std::int64_t bestIndex = 0;
    double bestError = 0.0;

    // Takes the error of pose `index` in loop order: the first strictly
    // smallest wins. False (and the part faulted) for an error that is not
    // finite, which ends the search as a fault would.
    bool take(std::int64_t index, double e) {
        if (!std::isfinite(e)) {
            fault = true;
            return false;
        }
        if (!any || e < bestError) {
            any = true;
            bestIndex = index;
            bestError = e;
        }
        return true;
    }
};

// Rows [rowBegin, rowEnd) in loop order; the first strictly smallest error wins.
PartResult searchRows(const RunConst& rc, const tpose& start, int rowBegin, int rowEnd,
                      double* errors) {
    const AngleTable& t = angleTable();
    std::vector<double> err(GridSize);
    std::vector<std::uint8_t> flags(GridSize);
    PartResult part;
    // Loop index of the last pose whose corner 1 / 2 hit the plane (-1: none,
    // the start pose holds it). Before this part's first hit it is looked up
    // backwards when a miss needs it, -2 = not looked up yet.
    std::int64_t lastHit1 = -2, lastHit2 = -2;
    for (int r = rowBegin; r < rowEnd; ++r) {
        const RowConst row = rowConst(rc, static_cast<std::size_t>(r));
        evaluateRow(rc, row, t.s.data(), t.c.data(), err.data(), flags.data());
        const std::int64_t rowStart = static_cast<std::int64_t>(r) * GridSize;
        for (int k = 0; k < GridSize; ++k) {
            const std::int64_t index = rowStart + k;
            const auto uk = static_cast<std::size_t>(k);
            double e = err[uk];
            const std::uint8_t f = flags[uk];
            if (f != 0) {
                const PlaneCorners pc = planeCorners(rc, row, t.s[uk], t.c[uk]);
                tvec3 c1{pc.c1x, pc.c1y, pc.c1z};
                tvec3 c2{pc.c2x, pc.c2y, pc.c2z};
                if (f & Miss1)
                    c1 = cornerAt(rc, start, lastHit1 == -2 ? index - 1 : lastHit1, 1, lastHit1);
                if (f & Miss2)
                    c2 = cornerAt(rc, start, lastHit2 == -2 ? index - 1 : lastHit2, 2, lastHit2);
                e = poseError(rc, c1.x, c1.y, c1.z, c2.x, c2.y, c2.z);
                if (!(f & Miss1))
                    lastHit1 = index;
                if (!(f & Miss2))
                    lastHit2 = index;
            } else {
                lastHit1 = index;
                lastHit2 = index;
            }
            if (errors != nullptr)
                errors[index] = e;
            if (!part.take(index, e))
                return part;
        }
    }
    return part;
}

// searchRows without the error of every pose: the exact errors of the
// poses that can still be the smallest. `threshold` is the smallest upper
// bound of the errors of all poses, `rowMinLower[r]` the smallest lower bound
// in row r. A pose whose lower bound lies above the threshold has a larger
// error than some other pose, so it is neither the first minimum nor a fault;
// its row is skipped when all its poses are such poses.
PartResult searchRowsBounded(const RunConst& rc, const tpose& start, int rowBegin, int rowEnd,
                             double threshold, const double* rowMinLower) {
    const AngleTable& t = angleTable();
    std::vector<double> lower(GridSize);
    std::vector<std::uint8_t> flags(GridSize);
    PartResult part;
    std::int64_t lastHit1 = -2, lastHit2 = -2; // as in searchRows
    for (int r = rowBegin; r < rowEnd; ++r) {
        // Written so that a NaN bound keeps the row.
        if (rowMinLower[r] > threshold) {
            lastHit1 = lastHit2 = -2; // looked up again where a miss needs it
            continue;
        }
        const RowConst row = rowConst(rc, static_cast<std::size_t>(r));
        evaluateRowBounds(rc, row, t.s.data(), t.c.data(), lower.data(), flags.data());
        const std::int64_t rowStart = static_cast<std::int64_t>(r) * GridSize;
        for (int k = 0; k < GridSize; ++k) {
            const std::int64_t index = rowStart + k;
            const auto uk = static_cast<std::size_t>(k);
            const std::uint8_t f = flags[uk];
            if (f == 0) {
                lastHit1 = index;
                lastHit2 = index;
                if (lower[uk] > threshold)
                    continue;
            }
            const PlaneCorners pc = planeCorners(rc, row, t.s[uk], t.c[uk]);
            tvec3 c1{pc.c1x, pc.c1y, pc.c1z};
            tvec3 c2{pc.c2x, pc.c2y, pc.c2z};
            if (f != 0) {
                if (f & Miss1)
                    c1 = cornerAt(rc, start, lastHit1 == -2 ? index - 1 : lastHit1, 1, lastHit1);
                if (f & Miss2)
                    c2 = cornerAt(rc, start, lastHit2 == -2 ? index - 1 : lastHit2, 2, lastHit2);
                if (!(f & Miss1))
                    lastHit1 = index;
                if (!(f & Miss2))
                    lastHit2 = index;
            }
            const double e = poseError(rc, c1.x, c1.y, c1.z, c2.x, c2.y, c2.z);
            if (!part.take(index, e))
                return part;
        }
    }
    return part;
}

// Rows of poses (values of angleY) a task of the pool takes.
constexpr int RowsPerTask = 8;
constexpr int SearchTasks = (GridSize + RowsPerTask - 1) / RowsPerTask;

std::optional<SearchResult> searchAll(const RunConst& rc, const tpose& start, double* errors) {
    // Each task keeps the first minimum of its rows; the earliest task wins
    // ties, which is the sequential loop order.
    std::vector<PartResult> parts(SearchTasks);
    auto rowsOf = [](int task) {
        return std::pair{task * RowsPerTask, std::min(GridSize, (task + 1) * RowsPerTask)};
    };
    if (errors != nullptr) {
        fp::parallelFor(SearchTasks, [&](int task) {
            const auto [begin, end] = rowsOf(task);
            parts[static_cast<std::size_t>(task)] = searchRows(rc, start, begin, end, errors);
        });
    } else {
        // The bounds of every pose first: the smallest upper bound of all
        // poses, and the smallest lower bound of every row.
        const AngleTable& t = angleTable();
        std::vector<double> rowMinLower(GridSize);
        std::vector<double> taskMinUpper(SearchTasks);
        fp::parallelFor(SearchTasks, [&](int task) {
            const auto [begin, end] = rowsOf(task);
            double minUpper = std::numeric_limits<double>::infinity();
            for (int r = begin; r < end; ++r) {
                const RowConst row = rowConst(rc, static_cast<std::size_t>(r));
                const RowBounds b = rowMinima(rc, row, t.s.data(), t.c.data());
                rowMinLower[static_cast<std::size_t>(r)] = b.minLower;
                minUpper = std::fmin(minUpper, b.minUpper);
            }
            taskMinUpper[static_cast<std::size_t>(task)] = minUpper;
        });
        double threshold = std::numeric_limits<double>::infinity();
        for (const double m : taskMinUpper)
            threshold = std::fmin(threshold, m);
        fp::parallelFor(SearchTasks, [&](int task) {
            const auto [begin, end] = rowsOf(task);
            parts[static_cast<std::size_t>(task)] =
                searchRowsBounded(rc, start, begin, end, threshold, rowMinLower.data());
        });
    }
    const PartResult* win = nullptr;
    for (const PartResult& part : parts) {
        if (part.fault)
            return std::nullopt;
        if (part.any && (win == nullptr || part.bestError < win->bestError))
            win = &part;
    }
    if (win == nullptr)
        return std::nullopt;

    const auto iyIndex = static_cast<std::size_t>(win->bestIndex / GridSize);
    const auto ixIndex = static_cast<std::size_t>(win->bestIndex % GridSize);
    SearchResult result;
    result.error = win->bestError;
    result.best.angleX = (static_cast<int>(ixIndex) - GridHalf) / 4.0;
    result.best.angleY = (static_cast<int>(iyIndex) - GridHalf) / 4.0;
    result.best.anchor = rc.anchor;
    std::int64_t from = 0;
    result.best.corner1 = cornerAt(rc, start, win->bestIndex, 1, from);
    result.best.corner2 = cornerAt(rc, start, win->bestIndex, 2, from);
    return result;
}

} // namespace

std::optional<SearchResult> searchGridFast(const tcamera& camera, SourcePos corner3, std::int64_t W,
                                           std::int64_t H, double* errors) {
    // The divisors W-1 and H-1 of the fourth corner: 0 faults at the first pose.
    if (W - 1 == 0 || H - 1 == 0)
        return std::nullopt;
    const tpose start = StartPose(camera);
    RunConst rc;
    rc.anchor = start.anchor;
    rc.toOrigin = {0.0 - rc.anchor.x, 0.0 - rc.anchor.y, 0.0 - rc.anchor.z};
    rc.r1 = camera.rays[1];
    rc.r2 = camera.rays[2];
    rc.cx = camera.cx;
    rc.cy = camera.cy;
    rc.x3 = corner3.sx;
    rc.y3 = corner3.sy;
    rc.dh = static_cast<double>(H - 1);
    rc.jf = static_cast<double>(H - 1);
    rc.cx3 = rc.cx - rc.x3;
    rc.cy3 = rc.cy - rc.y3;
    rc.fixedMagnitude = std::fabs(rc.anchor.x) + std::fabs(rc.anchor.y) + std::fabs(rc.anchor.z) +
                        std::fabs(rc.cx) + std::fabs(rc.cy) + std::fabs(rc.x3) + std::fabs(rc.y3);
    return searchAll(rc, start, errors);
}

} // namespace rectify::detail
