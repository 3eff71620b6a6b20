#pragma once
// The knot table of a lens for one resampling (see rectify/Lens.h), and the
// displacement of every pixel of a rectified row blended from it.

#include "rectify/Lens.h"

#include <cstdint>
#include <vector>

namespace rectify::detail {

struct LensKnots {
    int step = 0;
    std::int64_t cols = 0; // knots per row: (outW - 1) / step + 2
    std::int64_t rows = 0; // knot rows: (outH - 1) / step + 2
    // LensKnotDisplacement of knot (c, r) at dx[r * cols + c], dy[...];
    // not a number where there is none.
    std::vector<double> dx, dy;
    // The largest magnitude of a displacement in the table (0 when none).
    double largest = 0.0;
};

// Fills `knots` for `frame` at spacing `step`, asking the lens at every knot
// on the threads of the pool.
void buildLensKnots(const LensFrame& frame, const LensGeometry& lens, int step, LensKnots& knots);

// The displacement of pixels 0 ... outW - 1 of rectified row y into dx, dy:
// between the knots of its cell, first down the cell's two knot columns
// (a = D(top) + fy * (D(bottom) - D(top))), then across
// (d = a(left) + fx * (a(right) - a(left))), with fx and fy the pixel's
// place in its cell (a multiple of 1 / step). `ax`, `ay` take the blended
// knot columns (knots.cols values each).
void lensRow(const LensKnots& knots, int y, int outW, double* ax, double* ay, double* dx,
             double* dy);

} // namespace rectify::detail
