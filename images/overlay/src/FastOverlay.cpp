// The overlay at speed, with the bytes of the pixel-by-pixel definition.
//
// Both sample positions of a canvas pixel split into a column part and a row
// part, so they are formed once per column (two tables of byte offsets) and
// once per row. Both are monotonic in the column: image 1 is sampled on a
// prefix of the columns (beyond it the zoom reads black) and image 2 on one
// contiguous range (elsewhere the canvas shows image 1 unblended). Every row
// therefore falls into at most five spans, each of one kind, copied or
// blended straight between the stored rows. Stretches of rows go to the
// threads of the pool.

#include "OverlayShared.h"

#include "foundation/TargetClones.h"
#include "foundation/ThreadPool.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pixkit {

namespace {

using detail::OverlayGeometry;

struct Tables {
    std::vector<std::int32_t> col1; // byte offset of image 1's sample, prefix [0, end1)
    std::vector<std::int32_t> col2; // byte offset of image 2's sample within [begin2, end2)
    std::int64_t end1 = 0;
    std::int64_t begin2 = 0, end2 = 0;
    bool linear1 = false; // col1 steps by one pixel per column on [0, end1)
    bool linear2 = false; // col2 steps by one pixel per column on [begin2, end2)
    // Where the run of columns that step by one pixel from column x ends
    // (exclusive): a zoomed image repeats a column now and then and is
    // otherwise copied in runs.
    std::vector<std::int32_t> run1, run2;
};

bool stepsOnePixel(const std::vector<std::int32_t>& col, std::int64_t x0, std::int64_t x1) {
    for (std::int64_t x = x0 + 1; x < x1; ++x)
        if (col[static_cast<std::size_t>(x)] != col[static_cast<std::size_t>(x - 1)] + 3)
            return false;
    return true;
}

std::vector<std::int32_t> runEnds(const std::vector<std::int32_t>& col) {
    std::vector<std::int32_t> end(col.size());
    for (std::size_t x = col.size(); x-- > 0;)
        end[x] = x + 1 < col.size() && col[x + 1] == col[x] + 3 ? end[x + 1]
                                                                : static_cast<std::int32_t>(x) + 1;
    return end;
}

Tables columnTables(const OverlayGeometry& g) {
    Tables t;
    const auto W = static_cast<std::size_t>(g.W);
    t.col1.assign(W, 0);
    t.col2.assign(W, 0);
    t.end1 = 0;
    for (std::int64_t x = 0; x < g.W; ++x) {
        const std::int64_t x1 = detail::zoomedSample(x, g.zb, g.w1, g.W);
        if (x1 < g.w1) {
            t.col1[static_cast<std::size_t>(x)] = static_cast<std::int32_t>(3 * x1);
            t.end1 = x + 1;
        }
    }
    t.begin2 = g.W;
    t.end2 = g.W;
    bool inside = false;
    for (std::int64_t x = 0; x < g.W; ++x) {
        const std::int64_t x2 = detail::shiftedSample(x, g.hx, g.w2, g.W);
        if (x2 >= 0 && x2 <= g.w2 - 1) {
            t.col2[static_cast<std::size_t>(x)] = static_cast<std::int32_t>(3 * x2);
            if (!inside)
                t.begin2 = x;
            inside = true;
            t.end2 = x + 1;
        }
    }
    if (!inside)
        t.begin2 = t.end2 = 0;
    t.linear1 = stepsOnePixel(t.col1, 0, t.end1);
    t.linear2 = stepsOnePixel(t.col2, t.begin2, t.end2);
    t.run1 = runEnds(t.col1);
    t.run2 = runEnds(t.col2);
    return t;
}

// The bytes of one span of samples, contiguous in column order: straight
// from the image row where the table steps one pixel per column (no zoom, no
// stretch), else copied run by run of columns that step by one pixel into
// `scratch`.
const std::uint8_t* samples(const std::uint8_t* row, const std::int32_t* col,
                            const std::int32_t* run, bool linear, std::int64_t x0, std::int64_t x1,
                            std::uint8_t* scratch) {
    if (linear)
        return row + col[x0];
    std::uint8_t* d = scratch;
    for (std::int64_t x = x0; x < x1;) {
        const std::int64_t end = std::min<std::int64_t>(run[x], x1);
        const auto n = static_cast<std::size_t>(3 * (end - x));
        std::memcpy(d, row + col[x], n);
        d += n;
        x = end;
    }
    return scratch;
}

// n div 100 for 0 <= n <= 25500 in 16-bit lanes: the high half of
// n * 10486, shifted by 4 (checked for every n).
inline std::uint16_t div100x16(std::uint16_t n) {
    const auto high = static_cast<std::uint16_t>((static_cast<std::uint32_t>(n) * 10486u) >> 16);
    return static_cast<std::uint16_t>(high >> 4);
}

// out[i] = (s1[i] * b + s2[i] * a) div 100 for every byte, in 16-bit lanes
// (at most 25500). Built for AVX2 and the baseline; both give the same bytes.
FP_TARGET_CLONES("avx2", "default")
void blendBytes(std::uint8_t* __restrict out, const std::uint8_t* __restrict s1,
                const std::uint8_t* __restrict s2, std::size_t n, std::uint16_t a,
                std::uint16_t b) {
    for (std::size_t i = 0; i < n; ++i) {
        const auto sum = static_cast<std::uint16_t>(s1[i] * b + s2[i] * a);
        out[i] = static_cast<std::uint8_t>(div100x16(sum));
    }
}

// out[i] = (s2[i] * a) div 100: image 1 reads black here.
FP_TARGET_CLONES("avx2", "default")
void scaleBytes(std::uint8_t* __restrict out, const std::uint8_t* __restrict s2, std::size_t n,
                std::uint16_t a) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(div100x16(static_cast<std::uint16_t>(s2[i] * a)));
}

struct RowWork {
    const OverlayGeometry& g;
    const Tables& t;
    std::uint8_t* scratch1;
    std::uint8_t* scratch2;
};

// Canvas pixels [x0, x1) of one row, all of one kind: image 1 sampled or
// black (row1), image 2 sampled or out of reach (row2).
void composeSpan(const RowWork& w, std::uint8_t* o, const std::uint8_t* row1,
                 const std::uint8_t* row2, std::int64_t x0, std::int64_t x1) {
    const OverlayGeometry& g = w.g;
    const Tables& t = w.t;
    const auto n = static_cast<std::size_t>(3 * (x1 - x0));
    // Where image 2 does not reach, (c1 * b + c1 * a) div 100 = c1.
    const bool show1 = row1 != nullptr && (row2 == nullptr || g.a == 0);
    const bool show2 = row2 != nullptr && g.a == 100;
    if (show1 || show2) {
        const std::uint8_t* s =
            show1 ? samples(row1, t.col1.data(), t.run1.data(), t.linear1, x0, x1, o)
                  : samples(row2, t.col2.data(), t.run2.data(), t.linear2, x0, x1, o);
        if (s != o)
            std::memcpy(o, s, n);
        return;
    }
    if (row2 == nullptr || g.a == 0) {
        std::memset(o, 0, n); // image 1 black, image 2 absent or weightless
        return;
    }
    const std::uint8_t* s2 =
        samples(row2, t.col2.data(), t.run2.data(), t.linear2, x0, x1, w.scratch2);
    if (row1 == nullptr) {
        scaleBytes(o, s2, n, static_cast<std::uint16_t>(g.a));
        return;
    }
    const std::uint8_t* s1 =
        samples(row1, t.col1.data(), t.run1.data(), t.linear1, x0, x1, w.scratch1);
    blendBytes(o, s1, s2, n, static_cast<std::uint16_t>(g.a), static_cast<std::uint16_t>(g.b));
}

// Canvas rows [yBegin, yEnd) and columns [xBegin, xEnd) into `out`, whose
// pixel (0, 0) is canvas pixel (xBegin, yOrigin).
void composeRows(const dib& di2, const dib& bi2, const dib& out, const OverlayGeometry& g,
                 const Tables& t, std::int64_t yBegin, std::int64_t yEnd, std::int64_t yOrigin,
                 std::int64_t xBegin, std::int64_t xEnd) {
    const std::int64_t width = xEnd - xBegin;
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(6 * width));
    const RowWork work{g, t, scratch.data(), scratch.data() + 3 * width};
    const auto pad = static_cast<std::size_t>(out.bytew - 3 * width);
    const auto within = [&](std::int64_t x) { return std::clamp(x, xBegin, xEnd); };
    for (std::int64_t y = yBegin; y < yEnd; ++y) {
        const std::int64_t y1 = detail::zoomedSample(y, g.zb, g.h1, g.H);
        const std::int64_t y2 = detail::shiftedSample(y, g.vy, g.h2, g.H);
        const std::uint8_t* row1 = y1 < g.h1 ? pictureRow(di2, static_cast<int>(y1)) : nullptr;
        const std::uint8_t* row2 =
            y2 >= 0 && y2 <= g.h2 - 1 ? pictureRow(bi2, static_cast<int>(y2)) : nullptr;
        std::uint8_t* line = pictureRow(out, static_cast<int>(y - yOrigin));
        const std::int64_t end1 = row1 != nullptr ? t.end1 : 0;
        const std::int64_t begin2 = row2 != nullptr ? t.begin2 : 0;
        const std::int64_t end2 = row2 != nullptr ? t.end2 : 0;

        // Span borders in column order; each span has one kind of pixel.
        std::int64_t cuts[5] = {xBegin, within(end1), within(begin2), within(end2), xEnd};
        std::sort(cuts, cuts + 5);
        for (int i = 0; i + 1 < 5; ++i) {
            const std::int64_t x0 = cuts[i], x1 = cuts[i + 1];
            if (x0 >= x1)
                continue;
            const bool has1 = x0 < end1;
            const bool has2 = x0 >= begin2 && x0 < end2;
            composeSpan(work, line + 3 * (x0 - xBegin), has1 ? row1 : nullptr,
                        has2 ? row2 : nullptr, x0, x1);
        }
        if (pad > 0)
            std::memset(line + 3 * width, 0, pad);
    }
}

// Gives `d` the size w x h at 24 bits, keeping its memory when it has them.
bool sizeCanvas(dib& d, std::int64_t w, std::int64_t h) {
    if (detail::hasPixels(d) && dibwidth(d) == w && dibheight(d) == h && dibbits(d) == 24)
        return true;
    releasedib(d);
    newdib(d, static_cast<int>(w), static_cast<int>(h), 24, nullptr, 0);
    return d.poi != nullptr;
}

bool is24(const dib& d) {
    return !detail::hasPixels(d) || dibbits(d) == 24;
}

} // namespace

bool ComposeOverlay(const dib& di2, const dib& bi2, const OverlaySettings& s, dib& di3) {
    if (!is24(di2) || !is24(bi2))
        return ComposeOverlayReference(di2, bi2, s, di3);
    const OverlayGeometry g = detail::overlayGeometry(di2, bi2, s);
    if (!detail::canvasFits(g)) {
        releasedib(di3);
        return false;
    }
    if (!sizeCanvas(di3, g.W, g.H))
        return false;

    const Tables t = columnTables(g);
    fp::parallelRows(g.H, g.W, [&](std::int64_t begin, std::int64_t end) {
        composeRows(di2, bi2, di3, g, t, begin, end, 0, 0, g.W);
    });
    return true;
}

bool ComposeOverlayPart(const dib& di2, const dib& bi2, const OverlaySettings& s,
                        const OverlayRect& part, dib& piece) {
    if (!is24(di2) || !is24(bi2)) {
        releasedib(piece);
        return false;
    }
    const OverlayGeometry g = detail::overlayGeometry(di2, bi2, s);
    const std::int64_t x0 = std::clamp<std::int64_t>(part.x, 0, g.W);
    const std::int64_t y0 = std::clamp<std::int64_t>(part.y, 0, g.H);
    const std::int64_t x1 = std::clamp<std::int64_t>(std::int64_t{part.x} + part.width, x0, g.W);
    const std::int64_t y1 = std::clamp<std::int64_t>(std::int64_t{part.y} + part.height, y0, g.H);
    if (!detail::canvasFits(g) || x0 >= x1 || y0 >= y1) {
        releasedib(piece);
        return false;
    }
    if (!sizeCanvas(piece, x1 - x0, y1 - y0))
        return false;

    const Tables t = columnTables(g);
    fp::parallelRows(y1 - y0, x1 - x0, [&](std::int64_t begin, std::int64_t end) {
        composeRows(di2, bi2, piece, g, t, y0 + begin, y0 + end, y0, x0, x1);
    });
    return true;
}

} // namespace pixkit
