// The knots at which a resampling asks the lens, and the displacement of a
// rectified row blended from them.

#include "LensKnots.h"
#include "foundation/TargetClones.h"
#include "foundation/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

namespace rectify {

namespace {

constexpr double NotANumber = std::numeric_limits<double>::quiet_NaN();

std::int64_t knotsAlong(std::int64_t pixels, std::int64_t step) {
    return LensKnotsAlong(pixels, step);
}

std::int64_t knotCount(const LensFrame& f, std::int64_t step) {
    return knotsAlong(f.outW, step) * knotsAlong(f.outH, step);
}

// The corrected position of the plane point of rectified pixel (x, y), when
// it lies in front of the camera and in the lens range.
std::optional<SourcePos> knotPosition(const LensFrame& f, std::int64_t x, std::int64_t y) {
    const std::int64_t offX = (f.outW - f.W) / 2;
    const std::int64_t offY = (f.outH - f.H) / 2;
    const auto p = PlanePoint(*f.pose, *f.edges, x - offX, y - offY, f.W, f.H);
    if (!p || !(p->z > 0.0))
        return std::nullopt;
    const auto s = ProjectToSource(*f.camera, *p);
    if (!s || !InLensRange(s->sx, s->sy, f.srcW, f.srcH))
        return std::nullopt;
    return s;
}

// The corrected positions of the knots at one spacing, row by row: knot
// (c, r) at x[r * cols + c], y[...]; not a number where a knot has none.
// The arrays become the displacements of the knot table in place, so a
// resampling takes fresh memory for one table only.
struct KnotPositions {
    std::int64_t step = 0, cols = 0, rows = 0;
    detail::KnotArray x, y;
};

// Room for the knots of one spacing. Every value is written by the pass
// that fills it, so the room is not cleared first: its pages are first
// touched there, on the threads of the pool.
void makeRoom(KnotPositions& t, std::int64_t step, std::int64_t cols, std::int64_t rows) {
    const auto n = static_cast<std::size_t>(cols * rows);
    if (static_cast<std::size_t>(t.cols * t.rows) < n || !t.x) {
        t.x.reset(new double[n]);
        t.y.reset(new double[n]);
    }
    t.step = step;
    t.cols = cols;
    t.rows = rows;
}

void knotPositions(const LensFrame& f, std::int64_t step, KnotPositions& t) {
    makeRoom(t, step, knotsAlong(f.outW, step), knotsAlong(f.outH, step));
    fp::parallelRanges(t.rows, 8, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t r = begin; r < end; ++r)
            for (std::int64_t c = 0; c < t.cols; ++c) {
                const auto s =
                    knotPosition(f, LensKnotPixel(c, step, f.outW), LensKnotPixel(r, step, f.outH));
                const auto at = static_cast<std::size_t>(r * t.cols + c);
                t.x[at] = s ? s->sx : NotANumber;
                t.y[at] = s ? s->sy : NotANumber;
            }
    });
}

// True when two neighbouring knots that both have a position lie further
// apart than LensKnotReach photograph pixels.
bool knotsTooFar(const KnotPositions& t) {
    constexpr double Reach2 = LensKnotReach * LensKnotReach;
    auto tooFar = [&t](std::int64_t a, std::int64_t b) {
        const auto i = static_cast<std::size_t>(a), j = static_cast<std::size_t>(b);
        const double dx = t.x[i] - t.x[j], dy = t.y[i] - t.y[j];
        return dx * dx + dy * dy > Reach2; // false when either has none
    };
    std::atomic<bool> far{false};
    fp::parallelRanges(t.rows, 16, [&](std::int64_t begin, std::int64_t end) {
        bool found = false;
        for (std::int64_t r = begin; r < end && !found; ++r)
            for (std::int64_t c = 0; c < t.cols; ++c) {
                const std::int64_t here = r * t.cols + c;
                found = found || (c > 0 && tooFar(here, here - 1)) ||
                        (r > 0 && tooFar(here, here - t.cols));
            }
        if (found)
            far.store(true, std::memory_order_relaxed);
    });
    return far.load(std::memory_order_relaxed);
}

// LensKnotStep, leaving in `t` the knot positions at the chosen spacing.
std::int64_t chooseKnotStep(const LensFrame& frame, KnotPositions& t) {
    std::int64_t step = LensKnotStepMax;
    // A table too large even at the widest spacing (a result one pixel
    // high and millions wide) spreads its knots further.
    while (knotCount(frame, step) > LensKnotsMax && step < (std::int64_t{1} << 28))
        step *= 2;
    for (;;) {
        knotPositions(frame, step, t);
        if (step == 1 || knotCount(frame, step / 2) > LensKnotsMax || !knotsTooFar(t))
            return step;
        step /= 2;
    }
}

// The displacement at a knot with corrected position s (not a number when
// it has none).
SourcePos displacementAt(const LensGeometry& lens, const SourcePos& s) {
    if (!std::isfinite(s.sx))
        return {NotANumber, NotANumber};
    const SourcePos o = lens.toOriginal(s.sx, s.sy);
    if (!std::isfinite(o.sx) || !std::isfinite(o.sy))
        return {NotANumber, NotANumber};
    return {o.sx - s.sx, o.sy - s.sy};
}

} // namespace

bool InLensRange(double x, double y, int width, int height) {
    const double w = width, h = height;
    return x >= -0.5 * w && x <= 1.5 * w && y >= -0.5 * h && y <= 1.5 * h;
}

int LensKnotStep(const LensFrame& frame) {
    KnotPositions t;
    return static_cast<int>(chooseKnotStep(frame, t));
}

SourcePos LensKnotDisplacement(const LensFrame& frame, const LensGeometry& lens, std::int64_t x,
                               std::int64_t y) {
    const auto s = knotPosition(frame, x, y);
    return displacementAt(lens, s ? *s : SourcePos{NotANumber, NotANumber});
}

namespace detail {

namespace {

// Eight doubles, as many as an AVX-512 register holds (two or four
// narrower ones elsewhere); each lane rounds as the scalar sum would.
using Lanes = double __attribute__((vector_size(64)));
static_assert(LensKnotStepMax == 16, "a whole cell is two sets of lanes");

// The displacement of `cells` whole cells of LensKnotStepMax pixels each,
// between the blended knot columns ax[c], ax[c + 1] (ay alike):
// left + place * across, written lane-wise so that each cell takes a few
// vector steps (the compiler left alone mixes the cells across lanes).
void wholeCells(const double* place, const double* ax, const double* ay, std::int64_t cells,
                double* dx, double* dy) {
    if (cells <= 0)
        return; // `place` then may hold fewer than a whole cell's places
    Lanes p0, p1;
    std::memcpy(&p0, place, sizeof p0);
    std::memcpy(&p1, place + 8, sizeof p1);
    for (std::int64_t c = 0; c < cells; ++c) {
        const double leftX = ax[c], acrossX = ax[c + 1] - ax[c];
        const double leftY = ay[c], acrossY = ay[c + 1] - ay[c];
        const Lanes x0 = leftX + p0 * acrossX, x1 = leftX + p1 * acrossX;
        const Lanes y0 = leftY + p0 * acrossY, y1 = leftY + p1 * acrossY;
        std::memcpy(dx + 16 * c, &x0, sizeof x0);
        std::memcpy(dx + 16 * c + 8, &x1, sizeof x1);
        std::memcpy(dy + 16 * c, &y0, sizeof y0);
        std::memcpy(dy + 16 * c + 8, &y1, sizeof y1);
    }
}

} // namespace

namespace {

// Fills `knots` from the corrected knot positions `t` of a result outW x
// outH pixels, asking the lens at every knot on the threads of the pool;
// the positions become the displacements in place.
void fillKnots(KnotPositions& t, const LensGeometry& lens, std::int64_t outW, std::int64_t outH,
               LensKnots& knots) {
    knots.step = static_cast<int>(t.step);
    knots.outW = outW;
    knots.outH = outH;
    knots.cols = t.cols;
    knots.rows = t.rows;
    knots.place.resize(static_cast<std::size_t>(t.step) + 1);
    for (std::int64_t k = 0; k <= t.step; ++k)
        knots.place[static_cast<std::size_t>(k)] =
            static_cast<double>(k) / static_cast<double>(t.step);
    std::vector<double> rowLargest(static_cast<std::size_t>(knots.rows), 0.0);
    fp::parallelRanges(knots.rows, 4, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t r = begin; r < end; ++r) {
            double m = 0.0;
            for (std::int64_t c = 0; c < knots.cols; ++c) {
                const auto at = static_cast<std::size_t>(r * knots.cols + c);
                const SourcePos d = displacementAt(lens, {t.x[at], t.y[at]});
                t.x[at] = d.sx;
                t.y[at] = d.sy;
                if (std::isfinite(d.sx))
                    m = std::max({m, std::fabs(d.sx), std::fabs(d.sy)});
            }
            rowLargest[static_cast<std::size_t>(r)] = m;
        }
    });
    knots.largest = *std::max_element(rowLargest.begin(), rowLargest.end());
    knots.dx = std::move(t.x);
    knots.dy = std::move(t.y);
}

} // namespace

void buildLensKnots(const LensFrame& frame, const LensGeometry& lens, LensKnots& knots) {
    KnotPositions t;
    chooseKnotStep(frame, t);
    fillKnots(t, lens, frame.outW, frame.outH, knots);
}

void buildPhotoKnots(const LensGeometry& lens, LensKnots& knots) {
    const std::int64_t w = lens.width(), h = lens.height();
    KnotPositions t;
    const std::int64_t step = LensKnotStepMax;
    makeRoom(t, step, knotsAlong(w, step), knotsAlong(h, step));
    for (std::int64_t r = 0; r < t.rows; ++r)
        for (std::int64_t c = 0; c < t.cols; ++c) {
            const auto at = static_cast<std::size_t>(r * t.cols + c);
            t.x[at] = static_cast<double>(LensKnotPixel(c, step, w));
            t.y[at] = static_cast<double>(LensKnotPixel(r, step, h));
        }
    fillKnots(t, lens, w, h, knots);
}

void lensColumns(const LensKnots& knots, int y, std::int64_t first, std::int64_t last, double* ax,
                 double* ay) {
    const LensCell row = LensCellOf(y, knots.step, knots.outH);
    const double fy = row.f;
    const double* topX = knots.dx.get() + row.knot * knots.cols;
    const double* topY = knots.dy.get() + row.knot * knots.cols;
    const double* bottomX = topX + knots.cols;
    const double* bottomY = topY + knots.cols;
    for (std::int64_t c = first; c <= last; ++c) {
        ax[c - first] = topX[c] + fy * (bottomX[c] - topX[c]);
        ay[c - first] = topY[c] + fy * (bottomY[c] - topY[c]);
    }
}

// Built for AVX-512, AVX2 and the baseline; all give the same bits.
FP_TARGET_CLONES("avx512f", "avx2", "default")
void lensRow(const LensKnots& knots, int y, int colBegin, int width, double* ax, double* ay,
             double* dx, double* dy) {
    if (width <= 0)
        return;
    const std::int64_t step = knots.step;
    // The knot columns of the cells the pixels lie in, and the one after.
    const std::int64_t first = LensCellOf(colBegin, step, knots.outW).knot;
    const std::int64_t end = static_cast<std::int64_t>(colBegin) + width;
    const std::int64_t last = LensCellOf(end - 1, step, knots.outW).knot + 1;
    lensColumns(knots, y, first, last, ax, ay);
    // Cell by cell as LensCellOf finds them: cell c holds pixels c * step
    // up to the next knot, the last cell also the last pixel.
    const std::int64_t lastPixel = std::max<std::int64_t>(knots.outW, 1) - 1;
    const std::int64_t lastCell = lastPixel == 0 ? 0 : (lastPixel - 1) / step;
    auto anyCell = [&](std::int64_t c) {
        const std::int64_t from = c * step;
        const std::int64_t span = lastPixel == 0 ? 1 : std::min(from + step, lastPixel) - from;
        const std::int64_t x0 = std::max<std::int64_t>(from, colBegin);
        const std::int64_t x1 =
            std::min<std::int64_t>(c == lastCell ? lastPixel + 1 : from + step, end);
        const std::int64_t k = c - first;
        const double leftX = ax[k], acrossX = ax[k + 1] - ax[k];
        const double leftY = ay[k], acrossY = ay[k + 1] - ay[k];
        if (span == step) {
            // A whole cell: the places from the table.
            const double* place = knots.place.data();
            for (std::int64_t x = x0; x < x1; ++x) {
                dx[x - colBegin] = leftX + place[x - from] * acrossX;
                dy[x - colBegin] = leftY + place[x - from] * acrossY;
            }
            return;
        }
        for (std::int64_t x = x0; x < x1; ++x) {
            const double f = static_cast<double>(x - from) / static_cast<double>(span);
            dx[x - colBegin] = leftX + f * acrossX;
            dy[x - colBegin] = leftY + f * acrossY;
        }
    };
    // The cells of `step` pixels that lie wholly in the stretch, before the
    // last cell (which also holds the last pixel): at the widest spacing, the
    // common case, a loop of known length per cell.
    std::int64_t wholeBegin = last, wholeEnd = last;
    if (step == LensKnotStepMax) {
        wholeBegin = std::min(last, (colBegin + step - 1) / step);
        wholeEnd = std::max(wholeBegin, std::min(end / step, lastCell));
    }
    for (std::int64_t c = first; c < wholeBegin; ++c)
        anyCell(c);
    wholeCells(knots.place.data(), ax + (wholeBegin - first), ay + (wholeBegin - first),
               wholeEnd - wholeBegin, dx + (wholeBegin * step - colBegin),
               dy + (wholeBegin * step - colBegin));
    for (std::int64_t c = wholeEnd; c < last; ++c)
        anyCell(c);
}

} // namespace detail

} // namespace rectify
