#pragma once
// What the nearest and the blended fast resampling share: the per-row set-up,
// the exact back-projection of one pixel, and the bound within which the
// one-division estimate of a position rounds like the exact one.

#include "rectify/Camera.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace rectify::detail {

// The first faulting pixel (row-major index) that any thread met: the
// smallest index wins, whichever thread found it first.
class FirstFault {
public:
    void note(std::int64_t at);
    // True when a fault before `at` is known.
    bool before(std::int64_t at) const;
    // The index, -1 when none.
    std::int64_t at() const;

private:
    static constexpr std::int64_t None = std::numeric_limits<std::int64_t>::max();
    std::atomic<std::int64_t> m_at{None};
};

// Clears a result from its faulting pixel on, as the step-by-step loop on a
// fresh image leaves it: nothing after that pixel is written. Row padding
// from there on is cleared as well.
void clearFromFault(pixkit::dib& image, std::int64_t faultAt);

// Clears the padding behind the `width` pixels of a stored row.
void clearPadding(std::uint8_t* row, int width, std::int32_t stride);

constexpr double TwoPow52 = 4503599627370496.0;
constexpr double TwoPow63 = 9223372036854775808.0;

// Round half to even, as nearbyint in the default rounding mode: below 2^52
// adding and removing 2^52 leaves exactly the rounded value; from 2^52 on
// every double is an integer already.
inline double roundEven(double v) {
    const double a = std::fabs(v);
    const double r = std::copysign((a + TwoPow52) - TwoPow52, v);
    return a < TwoPow52 ? r : v;
}

struct Setup {
    double cx = 0, cy = 0;
    double srcW = 0, srcH = 0;
    // Where source pixel (rx, ry) lives: base + ry * rowStep + rx * colStep
    // (a byte offset for 24-bit photographs, else a pixel index).
    double base = 0, rowStep = 0, colStep = 0;
    double rowX = 0, rowY = 0, rowZ = 0; // ((j*v)*Lb)/H of the current row
};

// ProjectToSource of the plane point (colX + rowX, ...). Positions that are
// not finite, or whose rounding leaves the 64-bit range, are faults.
struct Projected {
    double sx, sy;
    bool fault;
};
inline Projected project(const Setup& st, double colX, double colY, double colZ) {
    const double px = colX + st.rowX;
    const double py = colY + st.rowY;
    const double pz = colZ + st.rowZ;
    const double L = std::sqrt(px * px + py * py + pz * pz);
    const double dx = -px / L;
    const double dy = -py / L;
    const double dz = -pz / L;
    const double s = (-static_cast<double>(FocalDistance) - pz) / dz;
    const double sx = st.cx + (px + s * dx);
    const double sy = st.cy + (py + s * dy);
    // Comparisons fail for NaN as well.
    const bool ok = (sx >= -TwoPow63) & (sx < TwoPow63) & (sy >= -TwoPow63) & (sy < TwoPow63);
    return {sx, sy, !ok};
}

struct Columns {
    std::vector<double> x, y, z; // ((i*u)*La)/W + anchor
};

// The column terms of `n` columns from `begin` on, of an outW wide result
// whose W wide rectangle sits in the middle; with the row terms they give
// PlanePoint's sums in its order of operations. A column's terms do not
// depend on which other columns are formed with it.
inline void columnTermsOf(const tpose& pose, const tedges& edges, int outW, std::int64_t W,
                          int begin, int n, Columns& cols) {
    const std::int64_t offX = (outW - W) / 2;
    const auto fW = static_cast<double>(W);
    const auto un = static_cast<std::size_t>(n);
    cols.x.resize(un);
    cols.y.resize(un);
    cols.z.resize(un);
    for (std::size_t k = 0; k < un; ++k) {
        const auto fi = static_cast<double>(begin + static_cast<std::int64_t>(k) - offX);
        cols.x[k] = ((fi * edges.u.x) * edges.La) / fW + pose.anchor.x;
        cols.y[k] = ((fi * edges.u.y) * edges.La) / fW + pose.anchor.y;
        cols.z[k] = ((fi * edges.u.z) * edges.La) / fW + pose.anchor.z;
    }
}

// The terms of every column.
inline Columns columnTerms(const tpose& pose, const tedges& edges, int outW, std::int64_t W) {
    Columns cols;
    columnTermsOf(pose, edges, outW, W, 0, outW, cols);
    return cols;
}

// A result is resampled in blocks of at most ColumnBlock columns: the terms
// and positions a task holds are then bounded by the block, not by the
// width, so a result one row high and 10^8 columns wide needs no tables
// larger than itself. A result at most one block wide (every photograph
// one would print) forms its terms once for all tasks.
constexpr int ColumnBlock = 1 << 16;

class ColumnBlocks {
public:
    ColumnBlocks(const tpose& pose, const tedges& edges, int outW, std::int64_t W)
        : m_pose(pose), m_edges(edges), m_outW(outW), m_W(W),
          m_count(outW <= ColumnBlock ? 1 : (outW + ColumnBlock - 1) / ColumnBlock) {
        if (m_count == 1)
            columnTermsOf(pose, edges, outW, W, 0, outW, m_shared);
    }
    int count() const { return m_count; }
    int begin(int block) const { return m_count == 1 ? 0 : block * ColumnBlock; }
    int end(int block) const {
        return m_count == 1 ? m_outW : std::min(m_outW, (block + 1) * ColumnBlock);
    }
    // The terms of `block`: the shared ones, or formed into `own`.
    const Columns& terms(int block, Columns& own) const {
        if (m_count == 1)
            return m_shared;
        columnTermsOf(m_pose, m_edges, m_outW, m_W, begin(block), end(block) - begin(block), own);
        return own;
    }

private:
    const tpose& m_pose;
    const tedges& m_edges;
    int m_outW;
    std::int64_t m_W;
    int m_count;
    Columns m_shared;
};

// The exact back-projection costs a square root and four divisions per pixel,
// but only its rounded position is used. The homography gives the position
// with one division: sx' = cx - px * (1000 / pz). With u = 2^-53,
// |px|, |py|, |pz| below Large and |pz| above Tiny, the exact loop's sx
// differs from the true cx - 1000 * px / pz by at most
// u * (5.01 |px| + 7.02 |Q| + |cx|), Q = 1000 * px / pz (the length L of the
// plane point cancels: dx and dz are divided by the same L), and sx' by at
// most u * (4.02 |Q| + |cx|); a tiny px, whose terms may underflow, adds less
// than 1e-150 to either. So when sx' lies more than
// Slack * (|px| + |Q| + |cx|) + Floor away from every half, both round to the
// same pixel; Slack = 32 u leaves room for the rounding of the bound itself.
// Pixels closer to a half, or with values outside the ranges, are computed
// exactly. Likewise for sy.
constexpr double Slack = 0x1p-48;
constexpr double Floor = 1e-100;
constexpr double Tiny = 1e-50; // smallest |pz|
constexpr double Large = 1e50; // largest |px|, |py|, |pz|

// The estimate's nearest pixel: nearbyint rounds half to even in the default
// rounding mode (never changed in this program), like roundEven, in one
// instruction where the processor has one.
inline double nearestEven(double v) {
    return std::nearbyint(v);
}

// For a row whose plane points all lie in the ranges: 1/2 minus the bound of
// the row, for x and y; empty when the row leaves the ranges. Each coordinate
// of the plane point is monotonic along the row (the column terms are
// products and quotients of the column index by constants, plus constants,
// each rounded monotonically), so its extremes are the row's ends: |px| <= mx
// and |Q| = 1000 |px| / |pz| <= 1000 mx / mz, where pz keeps its sign. The
// factor 2 covers the rounding of the bound. For positions taken to
// 1/scale of a pixel the bound grows by `scale`.
struct RowHalves {
    bool ok = false;
    double x = 0, y = 0;
};
inline RowHalves rowHalves(const Setup& st, const double* cxs, const double* cys, const double* czs,
                           int width, double scale = 1.0) {
    const auto last = static_cast<std::size_t>(width - 1);
    auto largest = [](double a, double b) { return std::fmax(std::fabs(a), std::fabs(b)); };
    const double mx = largest(cxs[0] + st.rowX, cxs[last] + st.rowX);
    const double my = largest(cys[0] + st.rowY, cys[last] + st.rowY);
    const double z0 = czs[0] + st.rowZ, z1 = czs[last] + st.rowZ;
    const bool sameSign = (z0 > 0.0 && z1 > 0.0) || (z0 < 0.0 && z1 < 0.0);
    const double mz = std::fmin(std::fabs(z0), std::fabs(z1));
    RowHalves h;
    // Written so that NaN fails.
    if (!(mx < Large && my < Large && sameSign && mz > Tiny && largest(z0, z1) < Large))
        return h;
    const double f = FocalDistance;
    h.x = 0.5 - 2.0 * scale * (Slack * (mx + f * mx / mz + std::fabs(st.cx)) + Floor);
    h.y = 0.5 - 2.0 * scale * (Slack * (my + f * my / mz + std::fabs(st.cy)) + Floor);
    h.ok = true;
    return h;
}

} // namespace rectify::detail
