// The resampling at speed, with pixels identical to the step-by-step loop.
//
// The plane point of result pixel (x, y) is ((i*u)*La)/W + anchor + ((j*v)*Lb)/H:
// the first two terms depend on the column only and the last on the row only,
// so they are formed once per column and once per row, in the same order of
// additions. The back-projection then runs over a row in a loop the compiler
// vectorises; pixels are copied straight between the stored rows (bottom-up,
// `bytew` stride). Stretches of rows go to the threads of the pool.

#include "LensKnots.h"
#include "ResampleShared.h"
#include "foundation/TargetClones.h"
#include "foundation/ThreadPool.h"
#include "rectify/Search.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace rectify::detail {

namespace {

// The offset of one pixel in `where`, from its rounded source position.
inline std::int32_t offsetAt(const Setup& st, double rx, double ry) {
    const bool inside = (rx >= 0.0) & (rx < st.srcW) & (ry >= 0.0) & (ry < st.srcH);
    // Exact: the offset is an integer below 2^31 (resampleFastFits).
    const double at = st.base + ry * st.rowStep + rx * st.colStep;
    return static_cast<std::int32_t>(inside ? at : -1.0);
}

// Marks a pixel of `where` whose estimate is not sure.
constexpr std::int32_t Unsure = -2;

// One pixel's estimate (ResampleShared.h): its offset in `where`, or Unsure when the
// estimate lies within the bound of a half. The bound is per pixel, with the
// ranges checked per pixel too. With a lens the position moves by its
// displacement (dx, dy) first; `lensSlack` covers the rounding of that sum.
template <bool Lens>
[[gnu::always_inline]] inline std::int32_t placedChecked(const Setup& st, double cx, double cy,
                                                         double cz, double dx, double dy,
                                                         double lensSlack, int& unsure) {
    const double px = cx + st.rowX;
    const double py = cy + st.rowY;
    const double pz = cz + st.rowZ;
    const double fr = static_cast<double>(FocalDistance) / pz;
    const double qx = px * fr;
    const double qy = py * fr;
    const double sx = Lens ? (st.cx - qx) + dx : st.cx - qx;
    const double sy = Lens ? (st.cy - qy) + dy : st.cy - qy;
    const double rx = nearestEven(sx);
    const double ry = nearestEven(sy);
    const double ax = std::fabs(px), ay = std::fabs(py), az = std::fabs(pz);
    const double bx = (ax + std::fabs(qx) + std::fabs(st.cx)) * Slack + Floor + lensSlack;
    const double by = (ay + std::fabs(qy) + std::fabs(st.cy)) * Slack + Floor + lensSlack;
    // Every comparison fails for NaN, so such pixels are unsure. A sure
    // estimate lies below 2^48 (its bound then exceeds 1/2), far from the
    // 64-bit limit where the exact loop faults.
    const bool sure = (std::fabs(sx - rx) < 0.5 - bx) & (std::fabs(sy - ry) < 0.5 - by) &
                      (az > Tiny) & (az < Large) & (ax < Large) & (ay < Large);
    unsure |= !sure;
    return sure ? offsetAt(st, rx, ry) : Unsure;
}

// The same for a row inside the ranges, with one bound for the whole row:
// sure when the estimate lies closer than halfX (halfY) to its pixel.
template <bool Lens>
[[gnu::always_inline]] inline double placedInRow(const Setup& st, double halfX, double halfY,
                                                 double cx, double cy, double cz, double dx,
                                                 double dy, std::int64_t& unsure) {
    const double px = cx + st.rowX;
    const double py = cy + st.rowY;
    const double pz = cz + st.rowZ;
    const double fr = static_cast<double>(FocalDistance) / pz;
    const double sx = Lens ? (st.cx - px * fr) + dx : st.cx - px * fr;
    const double sy = Lens ? (st.cy - py * fr) + dy : st.cy - py * fr;
    const double rx = nearestEven(sx);
    const double ry = nearestEven(sy);
    const bool sure = (std::fabs(sx - rx) < halfX) & (std::fabs(sy - ry) < halfY);
    unsure |= !sure;
    const bool inside = (rx >= 0.0) & (rx < st.srcW) & (ry >= 0.0) & (ry < st.srcH);
    const double at = st.base + ry * st.rowStep + rx * st.colStep;
    return sure ? (inside ? at : -1.0) : static_cast<double>(Unsure);
}

// Without a lens: no displacement.
struct NoLens {
    static constexpr bool On = false, Cells = false;
    double slack = 0.0;
    double dx(int) const { return 0.0; }
    double dy(int) const { return 0.0; }
};

// The lens displacement of a row (dx, dy per pixel) and the room its sum
// needs in the bounds.
struct LensRow {
    static constexpr bool On = true, Cells = false;
    const double* x = nullptr;
    const double* y = nullptr;
    double slack = 0.0;
    double dx(int k) const { return x[k]; }
    double dy(int k) const { return y[k]; }
};

// The same for a row of whole cells of LensKnotStepMax pixels, the first
// beginning at pixel 0: the displacement is blended where it is used, from
// the cells' knot columns blended down to the row (ax, ay; one more than
// there are cells) and the places of a cell's pixels, as lensRow blends it
// (left + place * across), so it never goes to memory.
struct LensCells {
    static constexpr bool On = true, Cells = true;
    static constexpr int Cell = LensKnotStepMax;
    const double* ax = nullptr;
    const double* ay = nullptr;
    const double* place = nullptr;
    double slack = 0.0;
    double dx(int k) const { return blend(ax, k); }
    double dy(int k) const { return blend(ay, k); }
    double blend(const double* a, int k) const {
        const int c = k / Cell;
        return a[c] + place[k % Cell] * (a[c + 1] - a[c]);
    }
};

// Where each result pixel of one row reads the source (see Setup), -1 for
// positions outside the source: getpixel reads 0 there. Returns true when a
// pixel of the row faults.
template <class Lens>
[[gnu::always_inline]] inline bool
projectRowBody(const Setup& setup, const double* __restrict cxs, const double* __restrict cys,
               const double* __restrict czs, int width, const Lens& lens,
               std::int32_t* __restrict where) {
    // A local copy: the stores below cannot alias it, so the loop vectorises.
    const Setup st = setup;
    int anyUnsure = 0;
    const RowHalves halves = rowHalves(st, cxs, cys, czs, width);
    if (halves.ok) {
        const double hx = halves.x - lens.slack, hy = halves.y - lens.slack;
        // In chunks: the offsets are formed as doubles and narrowed in a
        // second loop, so the first works on as many pixels at a time as a
        // register holds doubles and keeps its values in registers.
        constexpr int Chunk = 512;
        alignas(64) double at[Chunk];
        std::int64_t unsure = 0;
        for (int x0 = 0; x0 < width; x0 += Chunk) {
            const int n = std::min(Chunk, width - x0);
            const double* const cx = cxs + x0;
            const double* const cy = cys + x0;
            const double* const cz = czs + x0;
            if constexpr (Lens::Cells) {
                // Cell by cell (n is whole cells, as x0 is), each cell's
                // pixels in a loop of known length over the lanes.
                constexpr int Cell = LensCells::Cell;
                alignas(64) double place[Cell];
                std::memcpy(place, lens.place, sizeof place);
                for (int c = 0; c < n / Cell; ++c) {
                    const int cell = x0 / Cell + c;
                    const double leftX = lens.ax[cell], acrossX = lens.ax[cell + 1] - leftX;
                    const double leftY = lens.ay[cell], acrossY = lens.ay[cell + 1] - leftY;
                    for (int j = 0; j < Cell; ++j) {
                        const int k = c * Cell + j;
                        at[k] = placedInRow<true>(st, hx, hy, cx[k], cy[k], cz[k],
                                                  leftX + place[j] * acrossX,
                                                  leftY + place[j] * acrossY, unsure);
                    }
                }
            } else {
                for (int k = 0; k < n; ++k)
                    at[k] = placedInRow<Lens::On>(st, hx, hy, cx[k], cy[k], cz[k], lens.dx(x0 + k),
                                                  lens.dy(x0 + k), unsure);
            }
            for (int k = 0; k < n; ++k)
                where[x0 + k] = static_cast<std::int32_t>(at[k]);
        }
        anyUnsure = unsure != 0;
    } else {
        for (int x = 0; x < width; ++x)
            where[x] = placedChecked<Lens::On>(st, cxs[x], cys[x], czs[x], lens.dx(x), lens.dy(x),
                                               lens.slack, anyUnsure);
    }
    if (anyUnsure == 0)
        return false;
    bool anyFault = false;
    for (int x = 0; x < width; ++x) {
        if (where[x] != Unsure)
            continue;
        const Projected p = project(st, cxs[x], cys[x], czs[x]);
        anyFault |= p.fault;
        // With a lens a position it gives none for (not a number) lies
        // outside, as does one beyond any photograph.
        where[x] = offsetAt(st, roundEven(p.sx + lens.dx(x)), roundEven(p.sy + lens.dy(x)));
    }
    return anyFault;
}

// Built for AVX-512, AVX2 and the baseline; all give the same bits.
FP_TARGET_CLONES("avx512f", "avx2", "default")
bool projectRow(const Setup& setup, const double* __restrict cxs, const double* __restrict cys,
                const double* __restrict czs, int width, std::int32_t* __restrict where) {
    return projectRowBody(setup, cxs, cys, czs, width, NoLens{}, where);
}

FP_TARGET_CLONES("avx512f", "avx2", "default")
bool projectRowLens(const Setup& setup, const double* __restrict cxs, const double* __restrict cys,
                    const double* __restrict czs, int width, const LensRow& lens,
                    std::int32_t* __restrict where) {
    return projectRowBody(setup, cxs, cys, czs, width, lens, where);
}

FP_TARGET_CLONES("avx512f", "avx2", "default")
bool projectCellsLens(const Setup& setup, const double* __restrict cxs,
                      const double* __restrict cys, const double* __restrict czs, int width,
                      const LensCells& lens, std::int32_t* __restrict where) {
    return projectRowBody(setup, cxs, cys, czs, width, lens, where);
}

// A row through a lens goes in runs of this many pixels: the displacement
// of a run is made just before its positions, so it stays in the nearest
// cache instead of going out to memory and back for the whole row.
constexpr int LensRun = 512;

// projectRowLens over pixels `from` to `to` of the block of columns from
// colBegin of row y, run by run, each with its displacement blended into
// dx, dy (room for LensRun values) from the knot columns blended into
// knotsX, knotsY. Stops at the first run that faults and returns true; the
// positions of the runs after it are not formed.
bool projectRowLensRuns(const LensKnots& knots, int y, int colBegin, const Setup& st,
                        const Columns& cols, int from, int to, double* knotsX, double* knotsY,
                        double* dx, double* dy, std::int32_t* where) {
    const LensRow lens{dx, dy, lensSlack(knots, 1.0)};
    for (int at = from; at < to; at += LensRun) {
        const int n = std::min(LensRun, to - at);
        const auto k = static_cast<std::size_t>(at);
        detail::lensRow(knots, y, colBegin + at, n, knotsX, knotsY, dx, dy);
        if (projectRowLens(st, cols.x.data() + k, cols.y.data() + k, cols.z.data() + k, n, lens,
                           where + at))
            return true;
    }
    return false;
}

// The positions of the `width` pixels of row y of the block of columns from
// colBegin through the lens (buffers as for projectRowLensRuns); true when
// one faults. At the widest knot spacing the whole cells of the row blend
// their displacement where it is used; the pixels before and after them
// (the last cell, which also holds the last pixel) go run by run.
bool projectRowThroughLens(const LensKnots& knots, int y, int colBegin, const Setup& st,
                           const Columns& cols, int width, double* knotsX, double* knotsY,
                           double* dx, double* dy, std::int32_t* where) {
    constexpr int Cell = LensCells::Cell;
    const WholeCells whole =
        wholeCellsIn(knots, colBegin, static_cast<std::int64_t>(colBegin) + width);
    if (whole.end == whole.begin)
        return projectRowLensRuns(knots, y, colBegin, st, cols, 0, width, knotsX, knotsY, dx, dy,
                                  where);
    const auto from = static_cast<int>(whole.begin * Cell - colBegin);
    const auto to = static_cast<int>(whole.end * Cell - colBegin);
    if (projectRowLensRuns(knots, y, colBegin, st, cols, 0, from, knotsX, knotsY, dx, dy, where))
        return true;
    lensColumns(knots, y, whole.begin, whole.end, knotsX, knotsY);
    const LensCells cells{knotsX, knotsY, knots.place.data(), lensSlack(knots, 1.0)};
    const auto k = static_cast<std::size_t>(from);
    if (projectCellsLens(st, cols.x.data() + k, cols.y.data() + k, cols.z.data() + k, to - from,
                         cells, where + from))
        return true;
    return projectRowLensRuns(knots, y, colBegin, st, cols, to, width, knotsX, knotsY, dx, dy,
                              where);
}

// How many pixels ahead the copy asks for the source bytes.
constexpr int PrefetchAhead = 192;

// Rows a task of the pool resamples.
constexpr int RowsPerTask = 16;

} // namespace

void FirstFault::note(std::int64_t at) {
    std::int64_t seen = m_at.load(std::memory_order_relaxed);
    while (at < seen && !m_at.compare_exchange_weak(seen, at, std::memory_order_relaxed))
        ;
}

bool FirstFault::before(std::int64_t at) const {
    return m_at.load(std::memory_order_relaxed) < at;
}

std::int64_t FirstFault::at() const {
    const std::int64_t v = m_at.load(std::memory_order_relaxed);
    return v == None ? -1 : v;
}

void clearFromFault(pixkit::dib& image, std::int64_t faultAt) {
    const int outW = pixkit::dibwidth(image);
    const int outH = pixkit::dibheight(image);
    const int faultRow = static_cast<int>(faultAt / outW);
    const int faultCol = static_cast<int>(faultAt % outW);
    const auto stride = static_cast<std::size_t>(image.bytew);
    std::uint8_t* row = pixkit::pictureRow(image, faultRow);
    std::memset(row + 3 * static_cast<std::size_t>(faultCol), 0,
                stride - 3 * static_cast<std::size_t>(faultCol));
    // The rows below it in the picture lie before it in memory.
    if (faultRow + 1 < outH)
        std::memset(pixkit::pictureRow(image, outH - 1), 0,
                    stride * static_cast<std::size_t>(outH - 1 - faultRow));
}

void clearPadding(std::uint8_t* row, int width, std::int32_t stride) {
    const std::size_t used = 3 * static_cast<std::size_t>(width);
    std::memset(row + used, 0, static_cast<std::size_t>(stride) - used);
}

bool resampleFastFits(const pixkit::dib& source) {
    if (source.poi == nullptr || source.pmi == nullptr)
        return false; // getpixel reads 0 everywhere; the plain loop does that
    const auto w = static_cast<std::int64_t>(pixkit::dibwidth(source));
    const auto h = static_cast<std::int64_t>(pixkit::dibheight(source));
    const std::int64_t span = pixkit::dibbits(source) == 24 ? h * source.bytew : w * h;
    return span <= std::numeric_limits<std::int32_t>::max();
}

std::int64_t resampleRows(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                          const tedges& edges, std::int64_t W, std::int64_t H,
                          const OutputRows& rows, const LensKnots* lens) {
    const int outW = rows.width;
    const int outH = rows.height;
    // PlanePoint divides by W and H: a zero faults at the very first pixel.
    if (W == 0 || H == 0)
        return static_cast<std::int64_t>(rows.begin) * outW;
    const std::int64_t offY = (outH - H) / 2;
    const auto fH = static_cast<double>(H);

    const ColumnBlocks blocks(pose, edges, outW, W);

    Setup base;
    base.cx = camera.cx;
    base.cy = camera.cy;
    const int srcW = pixkit::dibwidth(source);
    const int srcH = pixkit::dibheight(source);
    base.srcW = srcW;
    base.srcH = srcH;
    const bool direct = pixkit::dibbits(source) == 24;
    const std::ptrdiff_t srcStride = source.bytew;
    const std::ptrdiff_t srcBytes = srcStride * srcH;
    if (direct) {
        // Picture row 0 is the last stored row.
        base.base = static_cast<double>((srcH - 1) * srcStride);
        base.rowStep = -static_cast<double>(srcStride);
        base.colStep = 3;
    } else {
        base.rowStep = srcW;
        base.colStep = 1;
    }
    FirstFault fault;
    // Rows rowBegin to rowEnd of one block of columns.
    auto runRows = [&](int rowBegin, int rowEnd, int block) {
        const int colBegin = blocks.begin(block);
        const int width = blocks.end(block) - colBegin;
        // Pixels past a fault met elsewhere are cleared afterwards anyway.
        if (fault.before(static_cast<std::int64_t>(rowBegin) * outW + colBegin))
            return;
        // Locals, so the compiler need not reload them after every pixel store.
        const std::uint8_t* const src = source.poi;
        const std::ptrdiff_t lastWord = srcBytes - 4; // last offset a whole word fits
        Columns own;
        const Columns& cols = blocks.terms(block, own);
        std::vector<std::int32_t> where(static_cast<std::size_t>(width));
        // The lens displacement of a run of the block's pixels in a row,
        // and the blended knot columns it is made from.
        std::vector<double> lensDx, lensDy, knotsX, knotsY;
        if (lens != nullptr) {
            lensDx.resize(static_cast<std::size_t>(std::min(width, LensRun)));
            lensDy.resize(static_cast<std::size_t>(std::min(width, LensRun)));
            knotsX.resize(static_cast<std::size_t>(lens->cols));
            knotsY.resize(static_cast<std::size_t>(lens->cols));
        }
        Setup st = base;
        for (int y = rowBegin; y < rowEnd; ++y) {
            const auto fj = static_cast<double>(y - offY);
            st.rowX = ((fj * edges.v.x) * edges.Lb) / fH;
            st.rowY = ((fj * edges.v.y) * edges.Lb) / fH;
            st.rowZ = ((fj * edges.v.z) * edges.Lb) / fH;
            int limit = width;
            bool faulted = false;
            if (lens != nullptr ? projectRowThroughLens(*lens, y, colBegin, st, cols, width,
                                                        knotsX.data(), knotsY.data(), lensDx.data(),
                                                        lensDy.data(), where.data())
                                : projectRow(st, cols.x.data(), cols.y.data(), cols.z.data(), width,
                                             where.data())) {
                for (limit = 0; limit < width; ++limit)
                    if (project(st, cols.x[static_cast<std::size_t>(limit)],
                                cols.y[static_cast<std::size_t>(limit)],
                                cols.z[static_cast<std::size_t>(limit)])
                            .fault)
                        break;
                fault.note(static_cast<std::int64_t>(y) * outW + colBegin + limit);
                faulted = true;
            }
            std::uint8_t* const rowStart = rows.at(y);
            std::uint8_t* dst = rowStart + 3 * static_cast<std::ptrdiff_t>(colBegin);
            if (direct) {
                // Whole words: each store's fourth byte is the next pixel's
                // first and is overwritten by it; the last pixel before the end
                // (or the fault) takes three bytes, as does a source pixel
                // whose word would reach past the photograph. So no store
                // reaches into the next block, which another thread may write.
                const int words = limit - 1;
                const std::int32_t* const offsets = where.data();
                // One comparison for "inside and a whole word fits".
                const auto wordLimit = static_cast<std::uint32_t>(lastWord);
                auto copyWord = [&](int x) {
                    const std::int32_t at = offsets[x];
                    std::uint32_t word = 0;
                    if (static_cast<std::uint32_t>(at) <= wordLimit) [[likely]]
                        std::memcpy(&word, src + at, 4);
                    else if (at >= 0)
                        std::memcpy(&word, src + at, 3);
                    std::memcpy(dst + 3 * static_cast<std::size_t>(x), &word, 4);
                };
                int x = 0;
                for (; x + 4 <= words; x += 4) {
                    // The photograph is read along a slanted line that meets
                    // a new cache line every few pixels, mostly from memory:
                    // asking for the lines some way ahead lets those misses
                    // overlap instead of stalling the copy one by one. Four
                    // pixels move less than a line, so one request per four.
                    if (x + PrefetchAhead < words)
                        __builtin_prefetch(src + std::max(offsets[x + PrefetchAhead], 0));
                    copyWord(x);
                    copyWord(x + 1);
                    copyWord(x + 2);
                    copyWord(x + 3);
                }
                for (; x < words; ++x)
                    copyWord(x);
                if (limit > 0) {
                    const std::int32_t at = where[static_cast<std::size_t>(limit - 1)];
                    std::uint32_t word = 0;
                    if (at >= 0)
                        std::memcpy(&word, src + at, 3);
                    std::memcpy(dst + 3 * static_cast<std::size_t>(limit - 1), &word, 3);
                }
            } else {
                for (int x = 0; x < limit; ++x) {
                    const std::int32_t at = where[static_cast<std::size_t>(x)];
                    const pixkit::Colour c =
                        at >= 0 ? pixkit::getpixel(source, at % srcW, at / srcW) : 0;
                    dst[3 * x] = pixkit::blueOf(c);
                    dst[3 * x + 1] = pixkit::greenOf(c);
                    dst[3 * x + 2] = pixkit::redOf(c);
                }
            }
            if (colBegin + width == outW)
                clearPadding(rowStart, outW, rows.stride);
            if (faulted)
                return;
        }
    };

    // Tasks in the order of the pixels: a stretch of rows, block by block.
    const int stretches = (rows.end - rows.begin + RowsPerTask - 1) / RowsPerTask;
    fp::parallelFor(stretches * blocks.count(), [&](int task) {
        const int begin = rows.begin + task / blocks.count() * RowsPerTask;
        runRows(begin, std::min(rows.end, begin + RowsPerTask), task % blocks.count());
    });
    return fault.at();
}

bool resampleFast(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                  const tedges& edges, std::int64_t W, std::int64_t H, pixkit::dib& image,
                  const LensKnots* lens) {
    const std::int64_t faultAt =
        resampleRows(source, camera, pose, edges, W, H, OutputRows::whole(image), lens);
    if (faultAt < 0)
        return true;
    // The step-by-step loop stops at the faulting pixel: nothing after it is
    // written, also not by the other rows' tasks.
    clearFromFault(image, faultAt);
    return false;
}

} // namespace rectify::detail
