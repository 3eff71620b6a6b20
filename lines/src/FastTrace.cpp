// Fast paths of the outline image and the trace. Every function here gives
// exactly the result of its reference in Trace.cpp; the equivalence tests
// check that image by image and record by record.

#include "FastTrace.h"

#include "foundation/ThreadPool.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace lines::detail {

using pixkit::dib;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::size_t rowPixelBytes(int width) {
    return static_cast<std::size_t>(width) * 3;
}

// One output row of the fused outline: `up`, `cur` and `dn` are the original
// rows above, at and below (border rows repeated), `out` may not alias them.
void outlineRow(const std::uint8_t* __restrict up, const std::uint8_t* __restrict cur,
                const std::uint8_t* __restrict dn, std::uint8_t* __restrict out, int W) {
    auto pixel = [&](int x) {
        const std::size_t l = 3 * static_cast<std::size_t>(std::max(x - 1, 0));
        const std::size_t c = 3 * static_cast<std::size_t>(x);
        const std::size_t r = 3 * static_cast<std::size_t>(std::min(x + 1, W - 1));
        for (std::size_t ch = 0; ch < 3; ++ch) {
            const int s = up[l + ch] + up[c + ch] + up[r + ch] + cur[l + ch] + cur[r + ch] +
                          dn[l + ch] + dn[c + ch] + dn[r + ch] - 8 * cur[c + ch];
            out[c + ch] = static_cast<std::uint8_t>(255 - std::clamp(s, 0, 255));
        }
    };
    pixel(0);
    if (W > 1)
        pixel(W - 1);
    const std::size_t end = 3 * static_cast<std::size_t>(W - 1);
    for (std::size_t i = 3; i < end; ++i) {
        const int s = up[i - 3] + up[i] + up[i + 3] + cur[i - 3] + cur[i + 3] + dn[i - 3] + dn[i] +
                      dn[i + 3] - 8 * cur[i];
        out[i] = static_cast<std::uint8_t>(255 - std::clamp(s, 0, 255));
    }
}

// Outline of the stored rows [r0, r1). `before` is the original row r0 - 1
// and `after` the original row r1 when those rows belong to the other half
// (which may already have overwritten them); nil at the image's border.
void outlineRows(const dib& image, int W, int H, int r0, int r1, const std::uint8_t* before,
                 const std::uint8_t* after, std::uint8_t* bufPrev, std::uint8_t* bufCur) {
    const std::size_t bytes = rowPixelBytes(W);
    std::memcpy(bufCur, pixkit::storedRow(image, r0), bytes);
    const std::uint8_t* prev = r0 > 0 ? before : bufCur;
    for (int r = r0; r < r1; ++r) {
        const std::uint8_t* next;
        if (r + 1 < r1)
            next = pixkit::storedRow(image, r + 1);
        else if (r + 1 < H)
            next = after;
        else
            next = bufCur;
        outlineRow(prev, bufCur, next, pixkit::storedRow(image, r), W);
        if (r + 1 < r1) {
            std::swap(bufPrev, bufCur);
            prev = bufPrev;
            std::memcpy(bufCur, next, bytes);
        }
    }
}

// The black pixels of an outline image as bits, one row of words per picture row.
struct BlackMask {
    int W = 0;
    int H = 0;
    std::size_t wordsPerRow = 0;
    std::vector<std::uint64_t> bits;

    std::uint64_t* row(int y) { return bits.data() + static_cast<std::size_t>(y) * wordsPerRow; }
    bool black(int x, int y) const {
        return (bits[static_cast<std::size_t>(y) * wordsPerRow + (static_cast<unsigned>(x) >> 6)] >>
                (static_cast<unsigned>(x) & 63u)) &
               1u;
    }
    void clear(int x, int y) {
        bits[static_cast<std::size_t>(y) * wordsPerRow + (static_cast<unsigned>(x) >> 6)] &=
            ~(std::uint64_t{1} << (static_cast<unsigned>(x) & 63u));
    }
};

void fillMask(const dib& outline, BlackMask& m) {
    fp::parallelRows(m.H, m.W, [&](std::int64_t y0, std::int64_t y1) {
        for (int y = static_cast<int>(y0); y < y1; ++y) {
            const std::uint8_t* p = pixkit::pictureRow(outline, y);
            std::uint64_t* words = m.row(y);
            for (std::size_t w = 0; w < m.wordsPerRow; ++w) {
                const int x0 = static_cast<int>(w * 64);
                const int n = std::min(64, m.W - x0);
                std::uint64_t word = 0;
                for (int k = 0; k < n; ++k, p += 3)
                    word |= static_cast<std::uint64_t>((p[0] | p[1] | p[2]) == 0) << k;
                words[w] = word;
            }
        }
    });
}

constexpr tpixel Neighbours[8] = {{-1, 0},  {1, 0}, {0, -1}, {0, 1},
                                  {-1, -1}, {1, 1}, {1, -1}, {-1, 1}};

class Tracer {
public:
    Tracer(BlackMask& mask, const SegmentSink& emit)
        : m_mask(mask), m_emit(emit), m_tol(TraceTolerance(mask.W)) {
        m_xs.reserve(1000);
        m_ys.reserve(1000);
    }

    // False when the sink stopped the trace.
    bool scan() {
        for (int y = 0; y < m_mask.H; ++y) {
            std::uint64_t* words = m_mask.row(y);
            for (std::size_t w = 0; w < m_mask.wordsPerRow; ++w)
                // The trace only clears bits, and every bit before the one
                // found is already clear, so the lowest set bit is always the
                // next pixel in scan order.
                while (words[w] != 0) {
                    const int x = static_cast<int>(w * 64) + std::countr_zero(words[w]);
                    if (!trace(x, y))
                        return false;
                }
        }
        return true;
    }

private:
    bool nextPoint(tpixel C, tpixel& N) const {
        for (const tpixel& d : Neighbours) {
            const int nx = C.x + d.x;
            const int ny = C.y + d.y;
            if (nx >= 0 && nx < m_mask.W && ny >= 1 && ny < m_mask.H && m_mask.black(nx, ny)) {
                N = tpixel{nx, ny};
                return true;
            }
        }
        return false;
    }

    // The test of PointLineDistance for every point, with the chord's length
    // computed once per step. The numerator is an exact integer in double, so
    // most points are decided by comparing it with tol * g widened by a
    // margin far above the rounding of the division; only points within that
    // margin take the division the reference does, giving the same answer.
    bool deviates(tpixel A, tpixel N) const {
        const double dy = static_cast<double>(A.y) - static_cast<double>(N.y);
        const double dx = static_cast<double>(N.x) - static_cast<double>(A.x);
        const double g = std::sqrt(dy * dy + dx * dx);
        if (g == 0.0 || !std::isfinite(g))
            return 1000.0 >= m_tol; // the distance of every point counts as 1000
        const double ax = static_cast<double>(A.x);
        const double ay = static_cast<double>(A.y);
        const double below = m_tol * g * (1.0 - 1e-9); // |num| < below: |d| < tol
        const double above = m_tol * g * (1.0 + 1e-9); // |num| >= above: |d| >= tol
        const std::size_t n = m_xs.size();
        const std::int32_t* xs = m_xs.data();
        const std::int32_t* ys = m_ys.data();
        auto numerator = [&](std::size_t k) {
            return (static_cast<double>(xs[k]) - ax) * dy + (static_cast<double>(ys[k]) - ay) * dx;
        };
        auto exact = [&](std::size_t k) { return std::fabs(numerator(k) / g) >= m_tol; };
        std::size_t i = 0;
        // Blocks without an early exit inside, so they vectorise.
        for (; i + 16 <= n; i += 16) {
            bool undecided = false;
            for (std::size_t k = i; k < i + 16; ++k)
                undecided |= std::fabs(numerator(k)) >= below;
            if (!undecided)
                continue;
            for (std::size_t k = i; k < i + 16; ++k) {
                const double num = std::fabs(numerator(k));
                if (num >= above || (num >= below && exact(k)))
                    return true;
            }
        }
        for (; i < n; ++i) {
            const double num = std::fabs(numerator(i));
            if (num >= above || (num >= below && exact(i)))
                return true;
        }
        return false;
    }

    void append(tpixel p) {
        m_xs.push_back(p.x);
        m_ys.push_back(p.y);
    }
    void clearList() {
        m_xs.clear();
        m_ys.clear();
    }

    bool trace(int x, int y) {
        bool newpoly = true;
        const tpixel S{x, y};
        tpixel A = S;
        tpixel C = S;
        clearList();
        append(S);
        for (;;) {
            m_mask.clear(C.x, C.y);
            tpixel N;
            if (!nextPoint(C, N))
                break;
            append(N);
            if (deviates(A, N)) {
                if (!m_emit(tlineinf{A.x, A.y, C.x, C.y, newpoly}, true))
                    return false;
                newpoly = false;
                A = C;
                clearList();
            }
            C = N;
        }
        return m_xs.empty() || (m_emit(tlineinf{A.x, A.y, C.x, C.y, newpoly}, true) &&
                                m_emit(tlineinf{C.x, C.y, S.x, S.y, newpoly}, false));
    }

    BlackMask& m_mask;
    const SegmentSink& m_emit;
    double m_tol;
    std::vector<std::int32_t> m_xs;
    std::vector<std::int32_t> m_ys;
};

} // namespace

void invertFast(const dib& image) {
    const int W = pixkit::dibwidth(image);
    const int H = pixkit::dibheight(image);
    const std::size_t bytes = rowPixelBytes(W);
    fp::parallelRows(H, W, [&](std::int64_t r0, std::int64_t r1) {
        for (int r = static_cast<int>(r0); r < r1; ++r) {
            std::uint8_t* p = pixkit::storedRow(image, r);
            for (std::size_t i = 0; i < bytes; ++i)
                p[i] = static_cast<std::uint8_t>(~p[i]);
        }
    });
}

bool filterFast(const dib& image, const tfilter5& f) {
    const int W = pixkit::dibwidth(image);
    const int H = pixkit::dibheight(image);
    const std::size_t bytes = rowPixelBytes(W);
    const std::size_t padded = rowPixelBytes(W + 4);

    struct Tap {
        std::size_t row;
        std::size_t offset;
        int coef;
    };
    std::vector<Tap> taps;
    Bytes ring[5];
    try {
        for (Bytes& b : ring)
            b.resize(padded);
        taps.reserve(25);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::size_t k = 0; k < 5; ++k)
        for (std::size_t t = 0; t < 5; ++t)
            if (f.coef[k][t] != 0)
                taps.push_back(Tap{k, 3 * t, f.coef[k][t]});
    const int divisor = f.divisor == 0 ? 1 : f.divisor;

    // ring[(j + 2) % 5] holds picture row j (clamped) as read before any
    // write, extended by two border pixels on each side.
    auto slot = [&](int j) -> Bytes& { return ring[static_cast<std::size_t>((j + 2 + 10) % 5)]; };
    auto load = [&](int j) {
        Bytes& dst = slot(j);
        if (j > H - 1 && j > 0) {
            // Past the bottom: the row above it is the same clamped original.
            dst = slot(j - 1);
            return;
        }
        const std::uint8_t* src = pixkit::pictureRow(image, std::clamp(j, 0, H - 1));
        std::memcpy(dst.data() + 6, src, bytes);
        for (std::size_t e = 0; e < 2; ++e) {
            std::memcpy(dst.data() + 3 * e, src, 3);
            std::memcpy(dst.data() + 6 + bytes + 3 * e, src + bytes - 3, 3);
        }
    };
    for (int j = -2; j <= 2; ++j)
        load(j);

    for (int y = 0; y < H; ++y) {
        const std::uint8_t* rows[5];
        for (int k = 0; k < 5; ++k)
            rows[k] = slot(y - 2 + k).data();
        std::uint8_t* out = pixkit::pictureRow(image, y);
        for (std::size_t i = 0; i < bytes; ++i) {
            int s = 0;
            for (const Tap& tap : taps)
                s += tap.coef * rows[tap.row][i + tap.offset];
            out[i] = static_cast<std::uint8_t>(std::clamp(s / divisor + f.bias, 0, 255));
        }
        load(y + 3);
    }
    return true;
}

bool outlineFast(const dib& image) {
    const int W = pixkit::dibwidth(image);
    const int H = pixkit::dibheight(image);
    const std::size_t bytes = rowPixelBytes(W);
    // Every stretch of rows overwrites its rows while its neighbours still
    // need the original of the row at each cut: those are copied first. A
    // few stretches per thread keep the copies small.
    const std::int64_t grain = std::max<std::int64_t>(
        fp::rowsPerTask(W), (H + 4 * fp::threadCount() - 1) / (4 * fp::threadCount()));
    const auto parts = static_cast<int>((H + grain - 1) / grain);
    const auto cuts = static_cast<std::size_t>(parts - 1);
    // Two working rows per stretch, then the two original rows at each cut.
    const auto uparts = static_cast<std::size_t>(parts);
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow)
                                              std::uint8_t[2 * (uparts + cuts) * bytes]);
    if (!block)
        return false;
    auto working = [&](std::size_t part) { return block.get() + 2 * part * bytes; };
    // above(k) is the row before cut k (the end of stretch k), below(k) the row at it.
    auto above = [&](std::size_t k) { return block.get() + 2 * (uparts + k) * bytes; };
    auto below = [&](std::size_t k) { return above(k) + bytes; };
    for (std::size_t k = 0; k < cuts; ++k) {
        const auto cut = static_cast<int>(static_cast<std::int64_t>(k + 1) * grain);
        std::memcpy(above(k), pixkit::storedRow(image, cut - 1), bytes);
        std::memcpy(below(k), pixkit::storedRow(image, cut), bytes);
    }
    fp::parallelRanges(H, grain, [&](std::int64_t r0, std::int64_t r1) {
        const auto part = static_cast<std::size_t>(r0 / grain);
        const std::uint8_t* before = part > 0 ? above(part - 1) : nullptr;
        const std::uint8_t* after = part < cuts ? below(part) : nullptr;
        outlineRows(image, W, H, static_cast<int>(r0), static_cast<int>(r1), before, after,
                    working(part), working(part) + bytes);
    });
    return true;
}

TraceEnd traceFast(const dib& outline, const SegmentSink& emit) {
    BlackMask mask;
    mask.W = pixkit::dibwidth(outline);
    mask.H = pixkit::dibheight(outline);
    mask.wordsPerRow = (static_cast<std::size_t>(mask.W) + 63) / 64;
    try {
        mask.bits.resize(mask.wordsPerRow * static_cast<std::size_t>(mask.H));
    } catch (const std::bad_alloc&) {
        return TraceEnd::OutOfMemory;
    }
    fillMask(outline, mask);
    try {
        Tracer tracer(mask, emit);
        if (!tracer.scan())
            return TraceEnd::Stopped;
    } catch (const std::bad_alloc&) {
        return TraceEnd::OutOfMemory;
    }
    return TraceEnd::Done;
}

} // namespace lines::detail
