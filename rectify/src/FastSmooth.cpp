// The blended resampling at speed, with bytes identical to the step-by-step
// loop (Interpolate.cpp).
//
// Per row, as for the nearest pixel: the column and row terms of the plane
// point are formed once, and the sub-pixel position 256 * (sx, sy) comes from
// the one-division estimate wherever that rounds like the exact
// back-projection (ResampleShared.h, with the bound scaled by 256); the few
// other pixels are projected exactly. The blending then reads the stored rows
// directly: the weights of each fraction come from a table that CubicWeights
// fills, and the sums are whole numbers, so their order does not matter.
// Neighbourhoods that reach over the photograph's border take the careful
// way, pixel by pixel. The rows are split over two threads.

#include "ResampleShared.h"
#include "TwoThreads.h"
#include "rectify/Interpolate.h"
#include "rectify/Search.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace rectify::detail {

namespace {

// Sub-pixel positions of the fast path are held within +-FastFar: beyond it
// (2^22 pixels) every neighbour lies outside a photograph the path takes.
constexpr std::int32_t FastFar = std::int32_t{1} << 30;
// Marks a position whose estimate is not sure.
constexpr std::int32_t Unsure = std::numeric_limits<std::int32_t>::min();
constexpr int SideLimit = 1 << 21;

inline std::int32_t heldSub(double steps) {
    return static_cast<std::int32_t>(std::clamp(steps, -double{FastFar}, double{FastFar}));
}

// The sub-pixel positions of one row into qx, qy. Returns true when a pixel
// of the row faults.
__attribute__((target_clones("avx512f", "avx2", "default"))) bool
projectRowSub(const Setup& setup, const double* __restrict cxs, const double* __restrict cys,
              const double* __restrict czs, int width, std::int32_t* __restrict qx,
              std::int32_t* __restrict qy) {
    const Setup st = setup;
    const RowHalves halves = rowHalves(st, cxs, cys, czs, width, SubSteps);
    std::int64_t unsure = 0;
    if (halves.ok) {
        const double hx = halves.x, hy = halves.y;
        for (int x = 0; x < width; ++x) {
            const double px = cxs[x] + st.rowX;
            const double py = cys[x] + st.rowY;
            const double pz = czs[x] + st.rowZ;
            const double fr = static_cast<double>(FocalDistance) / pz;
            const double vx = (st.cx - px * fr) * SubSteps;
            const double vy = (st.cy - py * fr) * SubSteps;
            const double rx = nearestEven(vx);
            const double ry = nearestEven(vy);
            const bool sure = (std::fabs(vx - rx) < hx) & (std::fabs(vy - ry) < hy);
            unsure |= !sure;
            // Not sure also for NaN: nothing undefined reaches the conversion.
            qx[x] = heldSub(sure ? rx : 0.0);
            qy[x] = sure ? heldSub(ry) : Unsure;
        }
    } else {
        unsure = 1;
        for (int x = 0; x < width; ++x)
            qy[x] = Unsure;
    }
    if (unsure == 0)
        return false;
    bool anyFault = false;
    for (int x = 0; x < width; ++x) {
        if (qy[x] != Unsure)
            continue;
        const Projected p = project(st, cxs[x], cys[x], czs[x]);
        anyFault |= p.fault;
        if (p.fault) {
            qx[x] = qy[x] = FastFar;
            continue;
        }
        qx[x] = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(SubPixelPosition(p.sx), -FastFar, FastFar));
        qy[x] = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(SubPixelPosition(p.sy), -FastFar, FastFar));
    }
    return anyFault;
}

// The photograph as the blending reads it: picture row y starts at
// top - y * stride (rows are stored bottom-up).
struct Photo {
    const std::uint8_t* base = nullptr; // the first stored byte (bottom row)
    const std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    int w = 0, h = 0;
    const std::uint8_t* at(int x, int y) const {
        return top - static_cast<std::ptrdiff_t>(y) * stride + 3 * static_cast<std::ptrdiff_t>(x);
    }
    // Channel k (in stored order) of pixel (x, y), 0 outside.
    std::int32_t tap(int x, int y, int k) const {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return 0;
        return at(x, y)[k];
    }
};

inline void bilinearPixel(const Photo& ph, std::int32_t qx, std::int32_t qy, std::uint8_t* out) {
    const int x0 = qx >> SubBits, y0 = qy >> SubBits;
    const std::int32_t fx = qx & (SubSteps - 1), fy = qy & (SubSteps - 1);
    const std::int32_t gx = SubSteps - fx, gy = SubSteps - fy;
    if (x0 >= 0 && y0 >= 0 && x0 + 1 < ph.w && y0 + 1 < ph.h) [[likely]] {
        const std::uint8_t* r0 = ph.at(x0, y0);
        const std::uint8_t* r1 = r0 - ph.stride;
        for (int k = 0; k < 3; ++k) {
            const std::int32_t top = r0[k] * gx + r0[k + 3] * fx;
            const std::int32_t bottom = r1[k] * gx + r1[k + 3] * fx;
            out[k] = static_cast<std::uint8_t>((top * gy + bottom * fy + (1 << 15)) >> 16);
        }
        return;
    }
    if (x0 < -1 || y0 < -1 || x0 >= ph.w || y0 >= ph.h) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    for (int k = 0; k < 3; ++k) {
        const std::int32_t top = ph.tap(x0, y0, k) * gx + ph.tap(x0 + 1, y0, k) * fx;
        const std::int32_t bottom = ph.tap(x0, y0 + 1, k) * gx + ph.tap(x0 + 1, y0 + 1, k) * fx;
        out[k] = static_cast<std::uint8_t>((top * gy + bottom * fy + (1 << 15)) >> 16);
    }
}

using CubicTable = std::array<std::array<std::int32_t, 4>, SubSteps>;

const CubicTable& cubicTable() {
    static const CubicTable table = [] {
        CubicTable t{};
        for (int f = 0; f < SubSteps; ++f)
            t[static_cast<std::size_t>(f)] = CubicWeights(f);
        return t;
    }();
    return table;
}

inline std::uint8_t cubicByte(std::int32_t v) {
    return static_cast<std::uint8_t>(std::clamp((v + (1 << 21)) >> 22, 0, 255));
}

inline void bicubicPixel(const Photo& ph, const CubicTable& table, std::int32_t qx, std::int32_t qy,
                         std::uint8_t* out) {
    const int x0 = qx >> SubBits, y0 = qy >> SubBits;
    const auto& wx = table[static_cast<std::size_t>(qx & (SubSteps - 1))];
    const auto& wy = table[static_cast<std::size_t>(qy & (SubSteps - 1))];
    if (x0 >= 1 && y0 >= 1 && x0 + 2 < ph.w && y0 + 2 < ph.h) [[likely]] {
        // Down the four rows first (12 bytes each), then across.
        const std::uint8_t* r = ph.at(x0 - 1, y0 - 1);
        std::int32_t col[12];
        for (int k = 0; k < 12; ++k)
            col[k] = wy[0] * r[k];
        for (int j = 1; j < 4; ++j) {
            r -= ph.stride;
            for (int k = 0; k < 12; ++k)
                col[k] += wy[static_cast<std::size_t>(j)] * r[k];
        }
        for (int k = 0; k < 3; ++k)
            out[k] = cubicByte(wx[0] * col[k] + wx[1] * col[k + 3] + wx[2] * col[k + 6] +
                               wx[3] * col[k + 9]);
        return;
    }
    if (x0 < -2 || y0 < -2 || x0 > ph.w || y0 > ph.h) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    for (int k = 0; k < 3; ++k) {
        std::int32_t v = 0;
        for (int j = 0; j < 4; ++j) {
            std::int32_t row = 0;
            for (int i = 0; i < 4; ++i)
                row += wx[static_cast<std::size_t>(i)] * ph.tap(x0 - 1 + i, y0 - 1 + j, k);
            v += wy[static_cast<std::size_t>(j)] * row;
        }
        out[k] = cubicByte(v);
    }
}

// ---- Eight pixels at a time (AVX2) ---------------------------------------------
//
// The same whole-number sums as bilinearPixel and bicubicPixel, for eight
// pixels whose neighbourhoods lie inside the photograph: the neighbours come
// as 32-bit words (each read within the neighbourhood's own bytes), and two
// neighbours with their two weights meet in one multiply-add of 16-bit pairs. Sums of whole numbers
// do not depend on their order, so the bytes are those of the pixel-by-pixel loop. Groups with a
// neighbourhood over the border go pixel by pixel.

std::atomic<bool> g_vectorRows{true};

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// The 16-bit pair (lo, hi) of each lane: channel byte k of `lo` and byte m of
// `hi`.
template <int K, int M>
__attribute__((target("avx2"))) inline __m256i pairOf(__m256i lo, __m256i hi) {
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256i l = _mm256_and_si256(_mm256_srli_epi32(lo, 8 * K), byte);
    __m256i h;
    if constexpr (M >= 2)
        h = _mm256_srli_epi32(hi, 8 * (M - 2));
    else
        h = _mm256_slli_epi32(hi, 8 * (2 - M));
    h = _mm256_and_si256(h, _mm256_set1_epi32(0xFF0000));
    return _mm256_or_si256(l, h);
}

// Stores the low three bytes of each lane as eight packed pixels.
__attribute__((target("avx2"))) inline void storePixels(__m256i v, std::uint8_t* dst) {
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i packed = _mm256_shuffle_epi8(v, pack);
    alignas(32) std::uint8_t bytes[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bytes), packed);
    std::memcpy(dst, bytes, 12);
    std::memcpy(dst + 12, bytes + 16, 12);
}

// Lanes whose neighbourhood x0 - left ... x0 + right, y0 - left ... y0 + right
// lies inside the photograph; offsets (from `base`) of (x0 - left, y0 - left).
struct Group {
    __m256i x0, y0, fx, fy, at;
    bool inside;
};

__attribute__((target("avx2"))) inline Group groupAt(const Photo& ph, const std::int32_t* qx,
                                                     const std::int32_t* qy, int left, int right) {
    Group g;
    const __m256i vx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(qx));
    const __m256i vy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(qy));
    const __m256i frac = _mm256_set1_epi32(SubSteps - 1);
    g.x0 = _mm256_srai_epi32(vx, SubBits);
    g.y0 = _mm256_srai_epi32(vy, SubBits);
    g.fx = _mm256_and_si256(vx, frac);
    g.fy = _mm256_and_si256(vy, frac);
    const __m256i lo = _mm256_set1_epi32(left - 1);
    const __m256i hiX = _mm256_set1_epi32(ph.w - right);
    const __m256i hiY = _mm256_set1_epi32(ph.h - right);
    const __m256i ok = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpgt_epi32(g.x0, lo), _mm256_cmpgt_epi32(hiX, g.x0)),
        _mm256_and_si256(_mm256_cmpgt_epi32(g.y0, lo), _mm256_cmpgt_epi32(hiY, g.y0)));
    g.inside = _mm256_movemask_epi8(ok) == -1;
    // Stored row of picture row y0 - left: h - 1 - (y0 - left).
    const __m256i row = _mm256_sub_epi32(_mm256_set1_epi32(ph.h - 1 + left), g.y0);
    const __m256i col = _mm256_sub_epi32(g.x0, _mm256_set1_epi32(left));
    g.at = _mm256_add_epi32(_mm256_mullo_epi32(row, _mm256_set1_epi32(static_cast<int>(ph.stride))),
                            _mm256_add_epi32(col, _mm256_add_epi32(col, col)));
    return g;
}

// The words at the eight offsets + plus. Eight plain loads: the gather
// instruction is slower than they are where the processor's microcode guards
// against gather data sampling.
__attribute__((target("avx2"))) inline __m256i gather(const Photo& ph, const std::int32_t* at,
                                                      int plus) {
    auto word = [&](int k) {
        std::int32_t w;
        std::memcpy(&w, ph.base + at[k] + plus, 4);
        return w;
    };
    return _mm256_setr_epi32(word(0), word(1), word(2), word(3), word(4), word(5), word(6),
                             word(7));
}

// Bilinear: top = p00 * (256 - fx) + p10 * fx per row, then
// top * (256 - fy) + bottom * fy = (top << 8) + (bottom - top) * fy.
template <int K>
__attribute__((target("avx2"))) inline __m256i bilinearChannel(__m256i a, __m256i b, __m256i c,
                                                               __m256i d, __m256i wx, __m256i fy) {
    const __m256i top = _mm256_madd_epi16(pairOf<K, K + 1>(a, b), wx);
    const __m256i bottom = _mm256_madd_epi16(pairOf<K, K + 1>(c, d), wx);
    const __m256i v = _mm256_add_epi32(_mm256_slli_epi32(top, SubBits),
                                       _mm256_mullo_epi32(_mm256_sub_epi32(bottom, top), fy));
    return _mm256_srli_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(1 << 15)), 16);
}

__attribute__((target("avx2"))) void bilinearRowAvx2(const Photo& ph, const std::int32_t* qx,
                                                     const std::int32_t* qy, int n,
                                                     std::uint8_t* dst) {
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const Group g = groupAt(ph, qx + x, qy + x, 0, 1);
        if (!g.inside) {
            for (int k = x; k < x + 8; ++k)
                bilinearPixel(ph, qx[k], qy[k], dst + 3 * k);
            continue;
        }
        // Row y0 is stored above row y0 + 1: the picture's lower row is at - stride.
        const int below = -static_cast<int>(ph.stride);
        alignas(32) std::int32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), g.at);
        const __m256i a = gather(ph, at, 0);         // p00 in bytes 0..2
        const __m256i b = gather(ph, at, 2);         // p10 in bytes 1..3
        const __m256i c = gather(ph, at, below);     // p01
        const __m256i d = gather(ph, at, below + 2); // p11
        const __m256i gx = _mm256_sub_epi32(_mm256_set1_epi32(SubSteps), g.fx);
        const __m256i wx = _mm256_or_si256(gx, _mm256_slli_epi32(g.fx, 16));
        const __m256i out = _mm256_or_si256(
            bilinearChannel<0>(a, b, c, d, wx, g.fy),
            _mm256_or_si256(_mm256_slli_epi32(bilinearChannel<1>(a, b, c, d, wx, g.fy), 8),
                            _mm256_slli_epi32(bilinearChannel<2>(a, b, c, d, wx, g.fy), 16)));
        storePixels(out, dst + 3 * x);
    }
    for (; x < n; ++x)
        bilinearPixel(ph, qx[x], qy[x], dst + 3 * x);
}

// The cubic weights of eight fractions as 16-bit pairs (w0, w1) and (w2, w3),
// and w0 ... w3 as 32-bit lanes.
struct CubicLanes {
    __m256i pair01, pair23;
    __m256i w[4];
};

__attribute__((target("avx2"))) inline CubicLanes cubicLanes(const CubicTable& table, __m256i f) {
    CubicLanes c;
    const int* t = table[0].data();
    const __m256i at = _mm256_slli_epi32(f, 2);
    for (int k = 0; k < 4; ++k)
        c.w[k] = _mm256_i32gather_epi32(t + k, at, 4);
    const __m256i low = _mm256_set1_epi32(0xFFFF);
    c.pair01 = _mm256_or_si256(_mm256_and_si256(c.w[0], low), _mm256_slli_epi32(c.w[1], 16));
    c.pair23 = _mm256_or_si256(_mm256_and_si256(c.w[2], low), _mm256_slli_epi32(c.w[3], 16));
    return c;
}

// One row of the neighbourhood: words at +0 (x0-1 in bytes 0..2), +2 (x0 in
// bytes 1..3), +6 (x0+1 in 0..2), +8 (x0+2 in 1..3); its sum for channel K.
template <int K>
__attribute__((target("avx2"))) inline __m256i cubicRow(const __m256i* w, const CubicLanes& cx) {
    return _mm256_add_epi32(_mm256_madd_epi16(pairOf<K, K + 1>(w[0], w[1]), cx.pair01),
                            _mm256_madd_epi16(pairOf<K, K + 1>(w[2], w[3]), cx.pair23));
}

template <int K>
__attribute__((target("avx2"))) inline __m256i
bicubicChannel(const __m256i (&rows)[4][4], const CubicLanes& cx, const CubicLanes& cy) {
    __m256i v = _mm256_mullo_epi32(cubicRow<K>(rows[0], cx), cy.w[0]);
    for (int j = 1; j < 4; ++j)
        v = _mm256_add_epi32(v, _mm256_mullo_epi32(cubicRow<K>(rows[j], cx), cy.w[j]));
    v = _mm256_srai_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(1 << 21)), 22);
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

__attribute__((target("avx2"))) void bicubicRowAvx2(const Photo& ph, const CubicTable& table,
                                                    const std::int32_t* qx, const std::int32_t* qy,
                                                    int n, std::uint8_t* dst) {
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const Group g = groupAt(ph, qx + x, qy + x, 1, 2);
        if (!g.inside) {
            for (int k = x; k < x + 8; ++k)
                bicubicPixel(ph, table, qx[k], qy[k], dst + 3 * k);
            continue;
        }
        alignas(32) std::int32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), g.at);
        __m256i rows[4][4];
        for (int j = 0; j < 4; ++j) {
            const int down = -j * static_cast<int>(ph.stride);
            rows[j][0] = gather(ph, at, down);
            rows[j][1] = gather(ph, at, down + 2);
            rows[j][2] = gather(ph, at, down + 6);
            rows[j][3] = gather(ph, at, down + 8);
        }
        const CubicLanes cx = cubicLanes(table, g.fx);
        const CubicLanes cy = cubicLanes(table, g.fy);
        const __m256i out = _mm256_or_si256(
            bicubicChannel<0>(rows, cx, cy),
            _mm256_or_si256(_mm256_slli_epi32(bicubicChannel<1>(rows, cx, cy), 8),
                            _mm256_slli_epi32(bicubicChannel<2>(rows, cx, cy), 16)));
        storePixels(out, dst + 3 * x);
    }
    for (; x < n; ++x)
        bicubicPixel(ph, table, qx[x], qy[x], dst + 3 * x);
}

// How many pixels ahead the blending asks for the source rows. The
// photograph is read along a slanted line that meets new cache lines every
// few pixels, mostly from memory; asking early lets the misses overlap.
constexpr int PrefetchAhead = 96;

// Asks for the `rows` stored rows of the neighbourhood at (qx, qy) that
// begins `above` rows above the position's row, clamped into the photograph.
inline void prefetchRows(const Photo& ph, std::int32_t qx, std::int32_t qy, int above, int rows) {
    const int x0 = std::clamp(qx >> SubBits, 0, ph.w - 1);
    const int y0 = std::clamp((qy >> SubBits) - above, 0, ph.h - 1);
    const std::uint8_t* p = ph.at(x0, y0);
    for (int j = 0; j < rows && y0 + j < ph.h; ++j)
        __builtin_prefetch(p - static_cast<std::ptrdiff_t>(j) * ph.stride);
}

struct Part {
    int rowBegin = 0, rowEnd = 0;
    std::int64_t faultAt = -1; // row-major index of the first faulting pixel
};

} // namespace

bool resampleSmoothFits(const pixkit::dib& source) {
    if (source.poi == nullptr || source.pmi == nullptr || pixkit::dibbits(source) != 24)
        return false;
    // Offsets into the pixels are 32-bit numbers.
    const auto bytes = static_cast<std::int64_t>(source.bytew) *
                       static_cast<std::int64_t>(pixkit::dibheight(source));
    return pixkit::dibwidth(source) < SideLimit && pixkit::dibheight(source) < SideLimit &&
           bytes < std::numeric_limits<std::int32_t>::max();
}

bool useVectorBlending(bool on) {
    return g_vectorRows.exchange(on);
}

bool resampleSmoothFast(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                        const tedges& edges, std::int64_t W, std::int64_t H, pixkit::dib& image,
                        Interpolation sampling) {
    const int outW = pixkit::dibwidth(image);
    const int outH = pixkit::dibheight(image);
    if (W == 0 || H == 0)
        return false;
    const std::int64_t offX = (outW - W) / 2;
    const std::int64_t offY = (outH - H) / 2;
    const auto fW = static_cast<double>(W);
    const auto fH = static_cast<double>(H);

    Columns cols;
    const auto uw = static_cast<std::size_t>(outW);
    cols.x.resize(uw);
    cols.y.resize(uw);
    cols.z.resize(uw);
    for (std::size_t x = 0; x < uw; ++x) {
        const auto fi = static_cast<double>(static_cast<std::int64_t>(x) - offX);
        cols.x[x] = ((fi * edges.u.x) * edges.La) / fW + pose.anchor.x;
        cols.y[x] = ((fi * edges.u.y) * edges.La) / fW + pose.anchor.y;
        cols.z[x] = ((fi * edges.u.z) * edges.La) / fW + pose.anchor.z;
    }

    Setup base;
    base.cx = camera.cx;
    base.cy = camera.cy;
    Photo photo;
    photo.w = pixkit::dibwidth(source);
    photo.h = pixkit::dibheight(source);
    photo.stride = source.bytew;
    photo.base = source.poi;
    photo.top = source.poi + static_cast<std::ptrdiff_t>(photo.h - 1) * photo.stride;
    const bool vector = g_vectorRows.load() && haveAvx2();
    const CubicTable& table = cubicTable();
    const bool bilinear = sampling == Interpolation::Bilinear;

    const std::ptrdiff_t outStride = image.bytew;
    std::uint8_t* outTop = image.poi + static_cast<std::ptrdiff_t>(outH - 1) * outStride;

    auto runPart = [&](Part& part) {
        std::vector<std::int32_t> qx(uw), qy(uw);
        Setup st = base;
        for (int y = part.rowBegin; y < part.rowEnd; ++y) {
            const auto fj = static_cast<double>(y - offY);
            st.rowX = ((fj * edges.v.x) * edges.Lb) / fH;
            st.rowY = ((fj * edges.v.y) * edges.Lb) / fH;
            st.rowZ = ((fj * edges.v.z) * edges.Lb) / fH;
            int limit = outW;
            if (projectRowSub(st, cols.x.data(), cols.y.data(), cols.z.data(), outW, qx.data(),
                              qy.data())) {
                for (limit = 0; limit < outW; ++limit)
                    if (project(st, cols.x[static_cast<std::size_t>(limit)],
                                cols.y[static_cast<std::size_t>(limit)],
                                cols.z[static_cast<std::size_t>(limit)])
                            .fault)
                        break;
                part.faultAt = static_cast<std::int64_t>(y) * outW + limit;
            }
            std::uint8_t* dst = outTop - static_cast<std::ptrdiff_t>(y) * outStride;
            const std::int32_t* const px = qx.data();
            const std::int32_t* const py = qy.data();
            const int ahead = std::max(limit - PrefetchAhead, 0);
            if (vector && bilinear) {
                constexpr int Step = 64;
                for (int x = 0; x < limit; x += Step) {
                    for (int k = x + PrefetchAhead; k < std::min(x + Step + PrefetchAhead, limit);
                         k += 2)
                        prefetchRows(photo, px[k], py[k], 0, 2);
                    bilinearRowAvx2(photo, px + x, py + x, std::min(Step, limit - x), dst + 3 * x);
                }
            } else if (vector) {
                constexpr int Step = 64;
                for (int x = 0; x < limit; x += Step) {
                    for (int k = x + PrefetchAhead; k < std::min(x + Step + PrefetchAhead, limit);
                         k += 2)
                        prefetchRows(photo, px[k], py[k], 1, 4);
                    bicubicRowAvx2(photo, table, px + x, py + x, std::min(Step, limit - x),
                                   dst + 3 * x);
                }
            } else if (bilinear) {
                for (int x = 0; x < ahead; ++x) {
                    prefetchRows(photo, px[x + PrefetchAhead], py[x + PrefetchAhead], 0, 2);
                    bilinearPixel(photo, px[x], py[x], dst + 3 * x);
                }
                for (int x = ahead; x < limit; ++x)
                    bilinearPixel(photo, px[x], py[x], dst + 3 * x);
            } else {
                for (int x = 0; x < ahead; ++x) {
                    prefetchRows(photo, px[x + PrefetchAhead], py[x + PrefetchAhead], 1, 4);
                    bicubicPixel(photo, table, px[x], py[x], dst + 3 * x);
                }
                for (int x = ahead; x < limit; ++x)
                    bicubicPixel(photo, table, px[x], py[x], dst + 3 * x);
            }
            if (part.faultAt >= 0)
                return;
        }
    };

    Part lower{0, outH / 2, -1};
    Part upper{outH / 2, outH, -1};
    auto runLower = [&] { runPart(lower); };
    auto runUpper = [&] { runPart(upper); };
    runBoth(runLower, runUpper);

    const std::int64_t faultAt = lower.faultAt >= 0 ? lower.faultAt : upper.faultAt;
    if (faultAt < 0)
        return true;
    // As the step-by-step loop: nothing after the faulting pixel is written.
    const int faultRow = static_cast<int>(faultAt / outW);
    const int faultCol = static_cast<int>(faultAt % outW);
    std::memset(pixkit::pictureRow(image, faultRow) + 3 * static_cast<std::size_t>(faultCol), 0,
                3 * static_cast<std::size_t>(outW - faultCol));
    for (int y = faultRow + 1; y < outH; ++y)
        std::memset(pixkit::pictureRow(image, y), 0, 3 * uw);
    return false;
}

} // namespace rectify::detail
