// The knots at which a resampling asks the lens, and the displacement of a
// rectified row blended from them.

#include "LensKnots.h"
#include "foundation/TargetClones.h"
#include "foundation/ThreadPool.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace rectify {

namespace {

constexpr double NotANumber = std::numeric_limits<double>::quiet_NaN();

std::int64_t knotsAlong(std::int64_t pixels, std::int64_t step) {
    return LensKnotsAlong(pixels, step);
}

std::int64_t knotCount(const LensFrame& f, std::int64_t step) {
    return knotsAlong(f.outW, step) * knotsAlong(f.outH, step);
}

// Whether (x, y) lies in the lens range (InLensRange), written without
// branches.
inline bool inRange(double x, double y, double w, double h) {
    return (x >= -0.5 * w) & (x <= 1.5 * w) & (y >= -0.5 * h) & (y <= 1.5 * h);
}

// knotPosition of plane point (px, py, pz) into (sx, sy), not a number
// where it gives none: ProjectToSource's steps in its order, kept when the
// point lies in front of the camera and the position in the lens range. A zero
// length or direction, like a projection that overflows, leaves the position
// not finite and so outside the range. Without branches, so that a row of
// knots takes it lane by lane.
inline void knotAt(const LensFrame& f, double px, double py, double pz, double& sx, double& sy) {
    const double L = std::sqrt(px * px + py * py + pz * pz);
    const double dx = -px / L;
    const double dy = -py / L;
    const double dz = -pz / L;
    const double s = (-static_cast<double>(FocalDistance) - pz) / dz;
    const double x = f.camera->cx + (px + s * dx);
    const double y = f.camera->cy + (py + s * dy);
    const bool ok = (pz > 0.0) & inRange(x, y, f.srcW, f.srcH);
    sx = ok ? x : NotANumber;
    sy = ok ? y : NotANumber;
}

// The corrected position of the plane point of rectified pixel (x, y), when
// it lies in front of the camera and in the lens range: the knot as the
// step-by-step loop asks for it, point by point.
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

// PlanePoint's sums for the knots of a row: the column's part with the
// anchor, ((i * u) * La) / W + anchor, per knot column, to which a row adds
// ((j * v) * Lb) / H, in PlanePoint's order of additions.
struct KnotColumns {
    std::vector<double> x, y, z;
};

void knotColumns(const LensFrame& f, std::int64_t step, std::int64_t cols, KnotColumns& k) {
    const std::int64_t offX = (f.outW - f.W) / 2;
    const auto fW = static_cast<double>(f.W);
    const tvec3& u = f.edges->u;
    const tvec3& a = f.pose->anchor;
    const auto n = static_cast<std::size_t>(cols);
    k.x.resize(n);
    k.y.resize(n);
    k.z.resize(n);
    for (std::size_t c = 0; c < n; ++c) {
        const auto fi =
            static_cast<double>(LensKnotPixel(static_cast<std::int64_t>(c), step, f.outW) - offX);
        k.x[c] = ((fi * u.x) * f.edges->La) / fW + a.x;
        k.y[c] = ((fi * u.y) * f.edges->La) / fW + a.y;
        k.z[c] = ((fi * u.z) * f.edges->La) / fW + a.z;
    }
}

// The corrected positions of the knots of rectified pixel row y into
// sx[0 ... cols - 1], sy[...], the bits knotPosition gives (not a number
// where it gives none), a row at a time. Built for AVX-512, AVX2 and the baseline; all give
// the same bits.
FP_TARGET_CLONES("avx512f", "avx2", "default")
void knotRow(const LensFrame& f, const KnotColumns& k, std::int64_t cols, std::int64_t y,
             double* __restrict sx, double* __restrict sy) {
    const auto fj = static_cast<double>(y - (f.outH - f.H) / 2);
    const auto fH = static_cast<double>(f.H);
    const tvec3& v = f.edges->v;
    const double rowX = ((fj * v.x) * f.edges->Lb) / fH;
    const double rowY = ((fj * v.y) * f.edges->Lb) / fH;
    const double rowZ = ((fj * v.z) * f.edges->Lb) / fH;
    const double* __restrict kx = k.x.data();
    const double* __restrict ky = k.y.data();
    const double* __restrict kz = k.z.data();
    const LensFrame frame = f;
    for (std::int64_t c = 0; c < cols; ++c)
        knotAt(frame, kx[c] + rowX, ky[c] + rowY, kz[c] + rowZ, sx[c], sy[c]);
}

// The corrected positions of the knots at one spacing, row by row: knot
// (c, r) at x[r * cols + c], y[...]; not a number where a knot has none.
// The arrays become the displacements of the knot table in place, so a
// resampling takes fresh memory for one table only.
struct KnotPositions {
    std::int64_t step = 0, cols = 0, rows = 0;
    detail::KnotValues values;
    double* x = nullptr;
    double* y = nullptr;
};

// Room for the knots of one spacing. Every value is written by the pass
// that fills it, so the room is not cleared first: its pages are first
// touched there, on the threads of the pool.
void makeRoom(KnotPositions& t, std::int64_t step, std::int64_t cols, std::int64_t rows) {
    t.values.reserve(static_cast<std::size_t>(cols * rows));
    t.x = t.values.x();
    t.y = t.values.y();
    t.step = step;
    t.cols = cols;
    t.rows = rows;
}

void knotPositions(const LensFrame& f, std::int64_t step, KnotPositions& t) {
    makeRoom(t, step, knotsAlong(f.outW, step), knotsAlong(f.outH, step));
    if (f.W == 0 || f.H == 0) {
        // PlanePoint gives no point.
        std::fill_n(t.x, t.cols * t.rows, NotANumber);
        std::fill_n(t.y, t.cols * t.rows, NotANumber);
        return;
    }
    KnotColumns k;
    knotColumns(f, step, t.cols, k);
    fp::parallelRanges(t.rows, 8, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t r = begin; r < end; ++r)
            knotRow(f, k, t.cols, LensKnotPixel(r, step, f.outH), t.x + r * t.cols,
                    t.y + r * t.cols);
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

void KnotValues::Free::operator()(double* p) const {
    std::free(p);
}

void KnotValues::reserve(std::size_t n) {
    if (m_block && n <= m_room)
        return;
    m_block.reset();
    m_room = 0;
    if (n > std::numeric_limits<std::size_t>::max() / (2 * sizeof(double)))
        throw std::bad_alloc();
    const std::size_t bytes = std::max<std::size_t>(2 * n * sizeof(double), 1);
    // A large table is filled at once, and in small pages its page faults
    // cost as much as filling it: it asks for huge pages, in a block of
    // whole huge pages (the pages past the table are never touched).
    constexpr std::size_t Huge = std::size_t{2} << 20;
    void* block = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= Huge / 2 && bytes <= std::numeric_limits<std::size_t>::max() - Huge) {
        const std::size_t whole = (bytes + Huge - 1) & ~(Huge - 1);
        block = std::aligned_alloc(Huge, whole);
        if (block != nullptr)
            ::madvise(block, whole, MADV_HUGEPAGE); // advice only
    }
#endif
    if (block == nullptr)
        block = std::malloc(bytes);
    if (block == nullptr)
        throw std::bad_alloc();
    m_block.reset(static_cast<double*>(block));
    m_room = n;
}

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
    knots.dx = t.x;
    knots.dy = t.y;
    knots.values = std::move(t.values);
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
    const double* topX = knots.dx + row.knot * knots.cols;
    const double* topY = knots.dy + row.knot * knots.cols;
    const double* bottomX = topX + knots.cols;
    const double* bottomY = topY + knots.cols;
    for (std::int64_t c = first; c <= last; ++c) {
        ax[c - first] = topX[c] + fy * (bottomX[c] - topX[c]);
        ay[c - first] = topY[c] + fy * (bottomY[c] - topY[c]);
    }
}

WholeCells wholeCellsIn(const LensKnots& knots, std::int64_t colBegin, std::int64_t end) {
    constexpr std::int64_t Cell = LensKnotStepMax;
    if (knots.step != Cell)
        return {};
    const std::int64_t lastPixel = std::max<std::int64_t>(knots.outW, 1) - 1;
    const std::int64_t lastCell = lastPixel == 0 ? 0 : (lastPixel - 1) / Cell;
    const std::int64_t begin = (colBegin + Cell - 1) / Cell;
    return {begin, std::max(begin, std::min(end / Cell, lastCell))};
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
    const WholeCells whole = wholeCellsIn(knots, colBegin, end);
    const std::int64_t wholeBegin = whole.begin < whole.end ? whole.begin : last;
    const std::int64_t wholeEnd = whole.begin < whole.end ? whole.end : last;
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
