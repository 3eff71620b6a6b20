// The overlay at speed, with the bytes of the pixel-by-pixel definition.
//
// Both sample positions of a canvas pixel split into a column part and a row
// part, so they are formed once per column (two tables of byte offsets) and
// once per row. Both are monotonic in the column: image 1 is sampled on a
// prefix of the columns (beyond it the zoom reads black) and image 2 on one
// contiguous range (elsewhere the canvas shows image 1 unblended). Every row
// therefore falls into at most five spans, each of one kind, copied or
// blended straight between the stored rows. The rows are split over two
// threads.

#include "OverlayShared.h"

#include "foundation/TwoThreads.h"

#include <cstring>
#include <vector>

namespace pixkit {

namespace {

using detail::div100;
using detail::OverlayGeometry;

struct Tables {
    std::vector<std::int32_t> col1; // byte offset of image 1's sample, prefix [0, end1)
    std::vector<std::int32_t> col2; // byte offset of image 2's sample within [begin2, end2)
    std::int64_t end1 = 0;
    std::int64_t begin2 = 0, end2 = 0;
};

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
    return t;
}

// One span of a canvas row: out[x] for x in [x0, x1).
struct Span {
    std::uint8_t* out;
    const std::uint8_t* row1; // nil: image 1 reads black here
    const std::uint8_t* row2; // nil: image 2 does not reach here
    const std::int32_t* col1;
    const std::int32_t* col2;
    std::int64_t x0, x1;
};

inline void copy3(std::uint8_t* d, const std::uint8_t* s) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
}

void spanBlack(const Span& s) {
    std::memset(s.out + 3 * s.x0, 0, static_cast<std::size_t>(3 * (s.x1 - s.x0)));
}

void spanCopy(const Span& s, const std::uint8_t* row, const std::int32_t* col) {
    for (std::int64_t x = s.x0; x < s.x1; ++x)
        copy3(s.out + 3 * x, row + col[x]);
}

// Image 1 black, image 2 weighted by a.
void spanScaled(const Span& s, std::uint32_t a) {
    for (std::int64_t x = s.x0; x < s.x1; ++x) {
        const std::uint8_t* p2 = s.row2 + s.col2[x];
        std::uint8_t* o = s.out + 3 * x;
        for (int k = 0; k < 3; ++k)
            o[k] = static_cast<std::uint8_t>(div100(p2[k] * a));
    }
}

void spanBlend(const Span& s, std::uint32_t a, std::uint32_t b) {
    for (std::int64_t x = s.x0; x < s.x1; ++x) {
        const std::uint8_t* p1 = s.row1 + s.col1[x];
        const std::uint8_t* p2 = s.row2 + s.col2[x];
        std::uint8_t* o = s.out + 3 * x;
        for (int k = 0; k < 3; ++k)
            o[k] = static_cast<std::uint8_t>(div100(p1[k] * b + p2[k] * a));
    }
}

void composeSpan(const Span& s, const OverlayGeometry& g) {
    if (s.x0 >= s.x1)
        return;
    if (s.row1 == nullptr && s.row2 == nullptr)
        spanBlack(s);
    else if (s.row2 == nullptr)
        spanCopy(s, s.row1, s.col1); // (c1 * b + c1 * a) div 100 = c1
    else if (g.a == 100)
        spanCopy(s, s.row2, s.col2);
    else if (s.row1 == nullptr)
        g.a == 0 ? spanBlack(s) : spanScaled(s, g.a);
    else if (g.a == 0)
        spanCopy(s, s.row1, s.col1);
    else
        spanBlend(s, g.a, g.b);
}

void composeRows(const dib& di2, const dib& bi2, const dib& di3, const OverlayGeometry& g,
                 const Tables& t, std::int64_t yBegin, std::int64_t yEnd) {
    const auto pad = static_cast<std::size_t>(di3.bytew - 3 * g.W);
    for (std::int64_t y = yBegin; y < yEnd; ++y) {
        const std::int64_t y1 = detail::zoomedSample(y, g.zb, g.h1, g.H);
        const std::int64_t y2 = detail::shiftedSample(y, g.vy, g.h2, g.H);
        const std::uint8_t* row1 = y1 < g.h1 ? pictureRow(di2, static_cast<int>(y1)) : nullptr;
        const std::uint8_t* row2 =
            y2 >= 0 && y2 <= g.h2 - 1 ? pictureRow(bi2, static_cast<int>(y2)) : nullptr;
        std::uint8_t* out = pictureRow(di3, static_cast<int>(y));
        const std::int64_t end1 = row1 != nullptr ? t.end1 : 0;
        const std::int64_t begin2 = row2 != nullptr ? t.begin2 : 0;
        const std::int64_t end2 = row2 != nullptr ? t.end2 : 0;

        // Span borders in column order; each span has one kind of pixel.
        std::int64_t cuts[5] = {0, end1, begin2, end2, g.W};
        std::sort(cuts, cuts + 5);
        for (int i = 0; i + 1 < 5; ++i) {
            const std::int64_t x0 = cuts[i], x1 = cuts[i + 1];
            if (x0 >= x1)
                continue;
            const bool has1 = x0 < end1;
            const bool has2 = x0 >= begin2 && x0 < end2;
            composeSpan(Span{out, has1 ? row1 : nullptr, has2 ? row2 : nullptr, t.col1.data(),
                             t.col2.data(), x0, x1},
                        g);
        }
        if (pad > 0)
            std::memset(out + 3 * g.W, 0, pad);
    }
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
    const bool reuse = detail::hasPixels(di3) && dibwidth(di3) == g.W && dibheight(di3) == g.H &&
                       dibbits(di3) == 24;
    if (!reuse) {
        releasedib(di3);
        newdib(di3, static_cast<int>(g.W), static_cast<int>(g.H), 24, nullptr, 0);
        if (di3.poi == nullptr)
            return false;
    }

    const Tables t = columnTables(g);
    const std::int64_t mid = g.H / 2;
    // Small canvases are not worth a thread.
    if (g.W * g.H < 65536) {
        composeRows(di2, bi2, di3, g, t, 0, g.H);
        return true;
    }
    auto top = [&] { composeRows(di2, bi2, di3, g, t, 0, mid); };
    auto bottom = [&] { composeRows(di2, bi2, di3, g, t, mid, g.H); };
    fp::runBoth(top, bottom);
    return true;
}

} // namespace pixkit
