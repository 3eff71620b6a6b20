#pragma once
// The knot table of a lens for one resampling (see rectify/Lens.h), and the
// displacement of every pixel of a rectified row blended from it.

#include "rectify/Lens.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace rectify::detail {

// The values of a knot table, x and y of each knot, left uninitialised
// until written.
class KnotValues {
public:
    // Room for n knots; keeps the room it has when that is enough.
    void reserve(std::size_t n);
    double* x() const { return m_block.get(); }
    double* y() const { return m_block.get() + m_room; }

private:
    struct Free {
        void operator()(double* p) const;
    };
    std::unique_ptr<double, Free> m_block;
    std::size_t m_room = 0;
};

struct LensKnots {
    int step = 0;
    std::int64_t outW = 0, outH = 0; // the result
    std::int64_t cols = 0;           // knots per row: LensKnotsAlong(outW, step)
    std::int64_t rows = 0;           // knot rows: LensKnotsAlong(outH, step)
    // LensKnotDisplacement of knot (c, r) at dx[r * cols + c], dy[...];
    // not a number where there is none.
    const double* dx = nullptr;
    const double* dy = nullptr;
    KnotValues values; // where dx and dy live
    // The largest magnitude of a displacement in the table (0 when none).
    double largest = 0.0;
    // k / step for k = 0 ... step: the place of a pixel in a whole cell,
    // the quotient LensCellOf gives, divided once instead of per pixel.
    std::vector<double> place;
};

// Fills `knots` for `frame` at spacing LensKnotStep(frame), asking the lens
// at every knot on the threads of the pool.
void buildLensKnots(const LensFrame& frame, const LensGeometry& lens, LensKnots& knots);

// Fills `knots` for the corrected photograph itself (every pixel its own
// corrected position), at spacing LensKnotStepMax over the lens's
// photograph.
void buildPhotoKnots(const LensGeometry& lens, LensKnots& knots);

// The knot columns first ... last blended down to rectified row y, the
// first step of lensRow, into ax[0 ...], ay[0 ...].
void lensColumns(const LensKnots& knots, int y, std::int64_t first, std::int64_t last, double* ax,
                 double* ay);

// The cells of LensKnotStepMax pixels that lie wholly in pixels colBegin ...
// end - 1 of a rectified row, before the result's last cell (which also
// holds its last pixel): cells begin ... end - 1. None (begin == end) when
// the knots lie closer than that.
struct WholeCells {
    std::int64_t begin = 0, end = 0;
};
WholeCells wholeCellsIn(const LensKnots& knots, std::int64_t colBegin, std::int64_t end);

// The displacement of pixels colBegin ... colBegin + width - 1 of rectified
// row y into dx[0 ...], dy[0 ...]: between the knots of its cell, first down
// the cell's two knot columns (a = D(top) + fy * (D(bottom) - D(top))), then
// across (d = a(left) + fx * (a(right) - a(left))), with fx and fy the
// pixel's place in its cell (LensCellOf). `ax`, `ay` take the
// blended knot columns (at most knots.cols values each).
void lensRow(const LensKnots& knots, int y, int colBegin, int width, double* ax, double* ay,
             double* dx, double* dy);

} // namespace rectify::detail
