// The blended resampling at speed, with bytes identical to the step-by-step
// loop (Interpolate.cpp).
//
// As for the nearest pixel, the column and row terms of the plane point are
// formed once, and the sub-pixel position 256 * (sx, sy) comes from the
// one-division estimate wherever that rounds like the exact back-projection
// (ResampleShared.h, with the bound scaled by 256); the few other pixels are
// projected exactly. The bound is taken per run of 512 columns: the plane
// point's coordinates are monotonic along any stretch of a row, so the run's
// ends bound it as a row's ends do. The blending then reads the stored rows
// directly: the weights of each fraction come from a table that CubicWeights
// fills, and the sums are whole numbers, so their order does not matter.
// Neighbourhoods that reach over the photograph's border take the careful
// way, pixel by pixel. Rows go in bands of four, so that neighbouring rows
// share the source bytes in the cache, and stretches of bands go to the
// threads of the pool.

#include "ResampleShared.h"
#include "foundation/TargetClones.h"
#include "foundation/ThreadPool.h"
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

inline double held(double steps) {
    const double low = steps > -double{FastFar} ? steps : -double{FastFar};
    return low < double{FastFar} ? low : double{FastFar};
}

// Whether every position of a run inside the ranges (rowHalves) lies well
// within +-FastFar: |px| and |py| are largest and |pz| smallest at the run's
// ends, so |256 * (cx - px * 1000 / pz + d)| stays below
// 256 * (|cx| + 1000 * mx / mz + |d|) (d, the lens displacement, at most
// `lensLargest`); the factor 2 covers the rounding.
inline bool withinFar(const Setup& st, const double* cxs, const double* cys, const double* czs,
                      int width, double lensLargest) {
    const auto last = static_cast<std::size_t>(width - 1);
    auto largest = [](double a, double b) { return std::fmax(std::fabs(a), std::fabs(b)); };
    const double mx = largest(cxs[0] + st.rowX, cxs[last] + st.rowX);
    const double my = largest(cys[0] + st.rowY, cys[last] + st.rowY);
    const double mz = std::fmin(std::fabs(czs[0] + st.rowZ), std::fabs(czs[last] + st.rowZ));
    const double f = FocalDistance;
    const double far = double{FastFar} / 4;
    return 2.0 * SubSteps * (std::fabs(st.cx) + f * mx / mz + lensLargest) < far &&
           2.0 * SubSteps * (std::fabs(st.cy) + f * my / mz + lensLargest) < far;
}

// The lens displacement of a run (dx, dy per pixel), its largest magnitude
// and the room its sum needs in the bounds; absent without a lens.
struct LensRun {
    const double* dx = nullptr;
    const double* dy = nullptr;
    double largest = 0.0;
    double slack = 0.0;
};

// The sub-pixel positions of one row into qx, qy. Returns true when a pixel
// of the row faults. With a lens every position moves by its displacement
// before it is taken to 1/256 of a pixel.
template <bool Lens>
[[gnu::always_inline]] inline bool
projectRowSubBody(const Setup& setup, const double* __restrict cxs, const double* __restrict cys,
                  const double* __restrict czs, int width, const LensRun& lens,
                  std::int32_t* __restrict qx, std::int32_t* __restrict qy) {
    const Setup st = setup;
    const double* __restrict ldx = lens.dx;
    const double* __restrict ldy = lens.dy;
    auto lensX = [&](int x) { return Lens ? ldx[x] : 0.0; };
    auto lensY = [&](int x) { return Lens ? ldy[x] : 0.0; };
    const RowHalves halves = rowHalves(st, cxs, cys, czs, width, SubSteps);
    std::int64_t unsure = 0;
    // With every position of the run well within +-FastFar no holding is
    // needed; else positions are held by comparisons that pass NaN on as
    // the bound, so nothing undefined reaches the conversion (x of an unsure
    // pixel is overwritten below).
    auto estimate = [&](auto hold) {
        const double hx = halves.x - lens.slack, hy = halves.y - lens.slack;
        for (int x = 0; x < width; ++x) {
            const double px = cxs[x] + st.rowX;
            const double py = cys[x] + st.rowY;
            const double pz = czs[x] + st.rowZ;
            const double fr = static_cast<double>(FocalDistance) / pz;
            const double sx = Lens ? (st.cx - px * fr) + lensX(x) : st.cx - px * fr;
            const double sy = Lens ? (st.cy - py * fr) + lensY(x) : st.cy - py * fr;
            const double vx = sx * SubSteps;
            const double vy = sy * SubSteps;
            const double rx = nearestEven(vx);
            const double ry = nearestEven(vy);
            const bool sure = (std::fabs(vx - rx) < hx) & (std::fabs(vy - ry) < hy);
            unsure |= !sure;
            qx[x] = static_cast<std::int32_t>(hold(rx));
            qy[x] = sure ? static_cast<std::int32_t>(hold(ry)) : Unsure;
        }
    };
    if (halves.ok && withinFar(st, cxs, cys, czs, width, lens.largest)) {
        estimate([](double v) { return v; });
    } else if (halves.ok) {
        estimate([](double v) { return held(v); });
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
        // With a lens a position it gives none for (not a number) lies
        // beyond any photograph.
        qx[x] = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(SubPixelPosition(p.sx + lensX(x)), -FastFar, FastFar));
        qy[x] = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(SubPixelPosition(p.sy + lensY(x)), -FastFar, FastFar));
    }
    return anyFault;
}

FP_TARGET_CLONES("avx512f", "avx2", "default")
bool projectRowSub(const Setup& setup, const double* __restrict cxs, const double* __restrict cys,
                   const double* __restrict czs, int width, std::int32_t* __restrict qx,
                   std::int32_t* __restrict qy) {
    return projectRowSubBody<false>(setup, cxs, cys, czs, width, LensRun{}, qx, qy);
}

FP_TARGET_CLONES("avx512f", "avx2", "default")
bool projectRowSubLens(const Setup& setup, const double* __restrict cxs,
                       const double* __restrict cys, const double* __restrict czs, int width,
                       const LensRun& lens, std::int32_t* __restrict qx,
                       std::int32_t* __restrict qy) {
    return projectRowSubBody<true>(setup, cxs, cys, czs, width, lens, qx, qy);
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

// ---- Eight pixels at a time (AVX2) ---------------------------------------------
//
// The same whole-number sums as bilinearPixel and bicubicPixel, for groups of
// eight pixels whose neighbourhoods lie inside the photograph. Each
// neighbourhood row comes with one wide load (8 or 16 bytes from its first
// pixel), a byte shuffle spreads its channels into 16-bit lanes, and
// multiply-adds of 16-bit pairs blend all three channels of a pixel at once.
// Sums of whole numbers do not depend on their order, and every partial sum
// is exact, so the bytes are those of the pixel-by-pixel loop. Groups with a
// neighbourhood over the border, or whose wide loads would reach past the end
// of a stored row, go pixel by pixel.

std::atomic<bool> g_vectorRows{true};

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// The positions of a group, split into pixel and fraction, and whether all
// their neighbourhoods x0 - left ... x0 + right, y0 - left ... y0 + right lie
// inside the photograph.
struct Group {
    __m256i fx, fy;
    const std::int32_t* qx;
    const std::int32_t* qy;
    int left;
    bool inside;
    // The first byte of pixel k's neighbourhood, (x0 - left, y0 - left):
    // worked out with whole numbers outside the vector unit.
    const std::uint8_t* corner(const Photo& ph, int k) const {
        return ph.at((qx[k] >> SubBits) - left, (qy[k] >> SubBits) - left);
    }
};

// `lastX` is the largest x0 whose wide loads stay within a stored row.
__attribute__((target("avx2"))) inline void groupAt(Group& g, const Photo& ph,
                                                    const std::int32_t* qx, const std::int32_t* qy,
                                                    int left, int right, int lastX) {
    const __m256i vx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(qx));
    const __m256i vy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(qy));
    const __m256i frac = _mm256_set1_epi32(SubSteps - 1);
    const __m256i x0 = _mm256_srai_epi32(vx, SubBits);
    const __m256i y0 = _mm256_srai_epi32(vy, SubBits);
    g.fx = _mm256_and_si256(vx, frac);
    g.fy = _mm256_and_si256(vy, frac);
    g.qx = qx;
    g.qy = qy;
    g.left = left;
    const __m256i lo = _mm256_set1_epi32(left - 1);
    const __m256i hiX = _mm256_set1_epi32(std::min(ph.w - right, lastX + 1));
    const __m256i hiY = _mm256_set1_epi32(ph.h - right);
    const __m256i ok =
        _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(x0, lo), _mm256_cmpgt_epi32(hiX, x0)),
                         _mm256_and_si256(_mm256_cmpgt_epi32(y0, lo), _mm256_cmpgt_epi32(hiY, y0)));
    g.inside = _mm256_movemask_epi8(ok) == -1;
}

// The largest x0 whose `bytes` wide loads from x0 - left end within the stored
// row (-1 when there is none).
inline int lastWideX(const Photo& ph, int bytes, int left) {
    const std::ptrdiff_t room = ph.stride - bytes;
    return room < 0 ? -1 : static_cast<int>(room / 3) + left;
}

inline std::int64_t load8(const std::uint8_t* p) {
    std::int64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Stores the low three bytes of the 32-bit lanes of four results, the pixels
// (k, k + 4) of a group in result k's halves, as eight packed pixels. Every
// lane holds 0 ... 255 in its low half (the bicubic sums clamped by the
// saturating packs).
__attribute__((target("avx2"))) inline void storeGroup(const __m256i (&r)[4], std::uint8_t* dst) {
    const __m256i words01 = _mm256_packs_epi32(r[0], r[1]); // pixels 0, 1 | 4, 5
    const __m256i words23 = _mm256_packs_epi32(r[2], r[3]); // pixels 2, 3 | 6, 7
    const __m256i bytes = _mm256_packus_epi16(words01, words23);
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(bytes, pack),
                                                       _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), _mm256_extracti128_si256(packed, 1));
}

// Bilinear, pixel k of the group in the low half of a register and pixel
// k + 4 in the high half. The 8 bytes at (x0, y0) and at (x0, y0 + 1) hold
// both pixels of each row; the shuffles give the 16-bit lanes
//   left  = p00 p01 (red), p00 p01 (green), p00 p01 (blue), 0 0
//   right = p10 p11 ...
// so left * (256 - fx) + right * fx is (top, bottom) for each channel. Both
// lie in 0 ... 65280 and are exact in 16-bit arithmetic read as unsigned;
// with 32768 taken off they are signed 16-bit numbers, and one multiply-add
// with (256 - fy, fy) gives top * (256 - fy) + bottom * fy - 32768 * 256.
template <int K>
__attribute__((target("avx2"))) inline __m256i bilinearPair(const Photo& ph, const Group& g,
                                                            __m256i fx, __m256i wy) {
    const __m256i leftMask =
        _mm256_setr_epi8(0, -1, 8, -1, 1, -1, 9, -1, 2, -1, 10, -1, -1, -1, -1, -1, 0, -1, 8, -1, 1,
                         -1, 9, -1, 2, -1, 10, -1, -1, -1, -1, -1);
    const __m256i rightMask =
        _mm256_setr_epi8(3, -1, 11, -1, 4, -1, 12, -1, 5, -1, 13, -1, -1, -1, -1, -1, 3, -1, 11, -1,
                         4, -1, 12, -1, 5, -1, 13, -1, -1, -1, -1, -1);
    const __m256i bias = _mm256_set1_epi16(static_cast<short>(0x8000));
    // Back the 32768 * 256 taken off, and half of 65536 for rounding.
    const __m256i round = _mm256_set1_epi32((1 << 23) + (1 << 15));
    const std::uint8_t* a = g.corner(ph, K);
    const std::uint8_t* b = g.corner(ph, K + 4);
    const std::ptrdiff_t below = -ph.stride;
    // The four rows into the four 64-bit lanes with loads and blends, no shuffles.
    const __m256i rowsA = _mm256_blend_epi32(
        _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a))),
        _mm256_set1_epi64x(load8(a + below)), 0x0C);
    const __m256i rowsB = _mm256_blend_epi32(_mm256_set1_epi64x(load8(b)),
                                             _mm256_set1_epi64x(load8(b + below)), 0xC0);
    const __m256i rows = _mm256_blend_epi32(rowsA, rowsB, 0xF0);
    const __m256i left = _mm256_shuffle_epi8(rows, leftMask);
    const __m256i right = _mm256_shuffle_epi8(rows, rightMask);
    constexpr int Spread = K * 0x55;
    // left * (256 - fx) + right * fx = (left << 8) + (right - left) * fx.
    const __m256i sums = _mm256_add_epi16(
        _mm256_slli_epi16(left, SubBits),
        _mm256_mullo_epi16(_mm256_sub_epi16(right, left), _mm256_shuffle_epi32(fx, Spread)));
    const __m256i v =
        _mm256_madd_epi16(_mm256_xor_si256(sums, bias), _mm256_shuffle_epi32(wy, Spread));
    return _mm256_srli_epi32(_mm256_add_epi32(v, round), 16);
}

__attribute__((target("avx2"))) void bilinearRowAvx2(const Photo& ph, const std::int32_t* qx,
                                                     const std::int32_t* qy, int n, int reach,
                                                     std::uint8_t* dst) {
    const int lastX = lastWideX(ph, 8, 0);
    const __m256i full = _mm256_set1_epi32(SubSteps);
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        if (x + PrefetchAhead < reach)
            prefetchRows(ph, qx[x + PrefetchAhead], qy[x + PrefetchAhead], 0, 2);
        Group g;
        groupAt(g, ph, qx + x, qy + x, 0, 1, lastX);
        if (!g.inside) {
            for (int k = x; k < x + 8; ++k)
                bilinearPixel(ph, qx[k], qy[k], dst + 3 * k);
            continue;
        }
        // Both 16-bit halves of each lane hold the weight.
        const __m256i fx = _mm256_or_si256(g.fx, _mm256_slli_epi32(g.fx, 16));
        const __m256i wy =
            _mm256_or_si256(_mm256_sub_epi32(full, g.fy), _mm256_slli_epi32(g.fy, 16));
        const __m256i r[4] = {bilinearPair<0>(ph, g, fx, wy), bilinearPair<1>(ph, g, fx, wy),
                              bilinearPair<2>(ph, g, fx, wy), bilinearPair<3>(ph, g, fx, wy)};
        storeGroup(r, dst + 3 * x);
    }
    for (; x < n; ++x)
        bilinearPixel(ph, qx[x], qy[x], dst + 3 * x);
}

// The cubic weights of each fraction as 16-bit lanes (w0, w1) four times,
// then (w2, w3) four times: the multipliers of the row shuffle below.
using CubicPairs = std::array<std::array<std::int16_t, 16>, SubSteps>;

const CubicPairs& cubicPairs() {
    alignas(32) static const CubicPairs pairs = [] {
        CubicPairs p{};
        const CubicTable& t = cubicTable();
        for (std::size_t f = 0; f < SubSteps; ++f)
            for (std::size_t k = 0; k < 16; ++k) // w0, w1, w0, w1, ... w2, w3, w2, w3, ...
                p[f][k] = static_cast<std::int16_t>(t[f][2 * (k / 8) + k % 2]);
        return p;
    }();
    return pairs;
}

// Bicubic, one pixel per register. The 16 bytes from (x0 - 1, y) hold the
// row's four pixels; the shuffle gives the 16-bit lanes
//   p0 p1 (red), p0 p1 (green), p0 p1 (blue), 0 0 | p2 p3 (red), ...
// and one multiply-add with the pairs (w0, w1) | (w2, w3) gives the row's
// sums for both halves. Those are multiplied by the row's weight and added
// over the four rows; the two halves are added at the end.
__attribute__((target("avx2"))) inline __m256i bicubicOne(const Photo& ph, const CubicTable& table,
                                                          const CubicPairs& pairs, const Group& g,
                                                          int k) {
    const std::int32_t fx = g.qx[k] & (SubSteps - 1);
    const std::int32_t fy = g.qy[k] & (SubSteps - 1);
    const __m256i spread =
        _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1, 6, -1, 9, -1, 7,
                         -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
    const __m256i wx = _mm256_load_si256(
        reinterpret_cast<const __m256i*>(pairs[static_cast<std::size_t>(fx)].data()));
    const std::int32_t* wy = table[static_cast<std::size_t>(fy)].data();
    const std::uint8_t* p = g.corner(ph, k);
    __m256i m[4];
    for (int j = 0; j < 4; ++j) {
        const __m256i row = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - j * ph.stride)));
        const __m256i across = _mm256_madd_epi16(_mm256_shuffle_epi8(row, spread), wx);
        m[j] = _mm256_mullo_epi32(across, _mm256_set1_epi32(wy[j]));
    }
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(m[0], m[1]), _mm256_add_epi32(m[2], m[3]));
    return sum;
}

__attribute__((target("avx2"))) void bicubicRowAvx2(const Photo& ph, const CubicTable& table,
                                                    const std::int32_t* qx, const std::int32_t* qy,
                                                    int n, int reach, std::uint8_t* dst) {
    const int lastX = lastWideX(ph, 16, 1);
    const CubicPairs& pairs = cubicPairs();
    const __m256i round = _mm256_set1_epi32(1 << 21);
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        if (x + PrefetchAhead < reach)
            prefetchRows(ph, qx[x + PrefetchAhead], qy[x + PrefetchAhead], 1, 4);
        Group g;
        groupAt(g, ph, qx + x, qy + x, 1, 2, lastX);
        if (!g.inside) {
            for (int k = x; k < x + 8; ++k)
                bicubicPixel(ph, table, qx[k], qy[k], dst + 3 * k);
            continue;
        }
        __m256i r[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            const __m256i a = bicubicOne(ph, table, pairs, g, k);
            const __m256i b = bicubicOne(ph, table, pairs, g, k + 4);
            // (left halves of a, b) + (right halves of a, b).
            const __m256i v = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20),
                                               _mm256_permute2x128_si256(a, b, 0x31));
            r[k] = _mm256_srai_epi32(_mm256_add_epi32(v, round), 22);
        }
        storeGroup(r, dst + 3 * x);
    }
    for (; x < n; ++x)
        bicubicPixel(ph, table, qx[x], qy[x], dst + 3 * x);
}

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
                        Interpolation sampling, const LensKnots* lens) {
    const int outW = pixkit::dibwidth(image);
    const int outH = pixkit::dibheight(image);
    if (W == 0 || H == 0) {
        clearFromFault(image, 0);
        return false;
    }
    const std::int64_t offY = (outH - H) / 2;
    const auto fH = static_cast<double>(H);

    const ColumnBlocks blocks(pose, edges, outW, W);

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

    // Pixels n of the positions from (px, py) into dst; positions up to
    // `reach` may be read for asking ahead.
    auto blend = [&](const std::int32_t* px, const std::int32_t* py, int n, int reach,
                     std::uint8_t* dst) {
        if (vector && bilinear) {
            bilinearRowAvx2(photo, px, py, n, reach, dst);
        } else if (vector) {
            bicubicRowAvx2(photo, table, px, py, n, reach, dst);
        } else {
            for (int x = 0; x < n; ++x) {
                const bool ask = x + PrefetchAhead < reach;
                if (bilinear) {
                    if (ask)
                        prefetchRows(photo, px[x + PrefetchAhead], py[x + PrefetchAhead], 0, 2);
                    bilinearPixel(photo, px[x], py[x], dst + 3 * x);
                } else {
                    if (ask)
                        prefetchRows(photo, px[x + PrefetchAhead], py[x + PrefetchAhead], 1, 4);
                    bicubicPixel(photo, table, px[x], py[x], dst + 3 * x);
                }
            }
        }
    };
    auto rowSetup = [&](int y) {
        Setup st = base;
        const auto fj = static_cast<double>(y - offY);
        st.rowX = ((fj * edges.v.x) * edges.Lb) / fH;
        st.rowY = ((fj * edges.v.y) * edges.Lb) / fH;
        st.rowZ = ((fj * edges.v.z) * edges.Lb) / fH;
        return st;
    };
    auto rowAt = [&](int y) { return outTop - static_cast<std::ptrdiff_t>(y) * outStride; };

    // Rows go in bands of Band rows and runs of Run columns: the positions
    // of a band's run first, then the blending in tiles of Tile columns down
    // the band. Neighbouring rows read much the same source bytes, so a tile
    // finds them in the nearest cache, and the positions are still there as
    // well. A band with a faulting pixel goes again row by row, which stops
    // at the first fault as the step-by-step loop does.
    constexpr int Band = 4;
    constexpr int Run = 512;
    constexpr int Tile = 128;
    // A task of the pool takes a stretch of Chunk rows: threads that find
    // the photograph read more densely take fewer stretches, while each still
    // walks down long runs of rows of the result and the source.
    constexpr int Chunk = 16 * Band;
    FirstFault fault;
    const double lensSlackSub = lens != nullptr ? lensSlack(*lens, SubSteps) : 0.0;
    // Rows begin to end of one block of columns.
    auto runStretch = [&](int begin, int end, int block) {
        const int colBegin = blocks.begin(block);
        const int colEnd = blocks.end(block);
        Columns own;
        const Columns& cols = blocks.terms(block, own);
        std::vector<std::int32_t> qx(Band * Run), qy(Band * Run);
        // With a lens: the displacement of the pixels of one run, made just
        // before their positions (it stays in the nearest cache), and the
        // blended knot columns it comes from.
        std::vector<double> lensDx, lensDy, knotsX, knotsY;
        if (lens != nullptr) {
            lensDx.resize(Run);
            lensDy.resize(Run);
            knotsX.resize(static_cast<std::size_t>(lens->cols));
            knotsY.resize(static_cast<std::size_t>(lens->cols));
        }
        // The sub-pixel positions of n pixels of row y from column `at` of the block.
        auto positions = [&](const Setup& st, int y, std::size_t at, int n, std::int32_t* px,
                             std::int32_t* py) {
            if (lens == nullptr)
                return projectRowSub(st, cols.x.data() + at, cols.y.data() + at, cols.z.data() + at,
                                     n, px, py);
            detail::lensRow(*lens, y, colBegin + static_cast<int>(at), n, knotsX.data(),
                            knotsY.data(), lensDx.data(), lensDy.data());
            const LensRun run{lensDx.data(), lensDy.data(), lens->largest, lensSlackSub};
            return projectRowSubLens(st, cols.x.data() + at, cols.y.data() + at, cols.z.data() + at,
                                     n, run, px, py);
        };
        // Row y alone; true when it stops at a fault.
        auto rowByRow = [&](int y) {
            const Setup st = rowSetup(y);
            for (int x0 = colBegin; x0 < colEnd; x0 += Run) {
                const int n = std::min(Run, colEnd - x0);
                const auto at = static_cast<std::size_t>(x0 - colBegin); // in the block's terms
                int limit = n;
                bool faulted = false;
                if (positions(st, y, at, n, qx.data(), qy.data())) {
                    for (limit = 0; limit < n; ++limit) {
                        const auto k = at + static_cast<std::size_t>(limit);
                        if (project(st, cols.x[k], cols.y[k], cols.z[k]).fault)
                            break;
                    }
                    fault.note(static_cast<std::int64_t>(y) * outW + x0 + limit);
                    faulted = true;
                }
                blend(qx.data(), qy.data(), limit, limit, rowAt(y) + 3 * x0);
                if (faulted)
                    return true;
            }
            return false;
        };
        for (int y = begin; y < end; y += Band) {
            // Bands past a fault met elsewhere are cleared afterwards anyway.
            if (fault.before(static_cast<std::int64_t>(y) * outW + colBegin))
                return;
            const int rows = std::min(Band, end - y);
            std::array<Setup, Band> st;
            for (int r = 0; r < rows; ++r)
                st[static_cast<std::size_t>(r)] = rowSetup(y + r);
            bool faulted = false;
            for (int x0 = colBegin; x0 < colEnd && !faulted; x0 += Run) {
                const int n = std::min(Run, colEnd - x0);
                const auto at = static_cast<std::size_t>(x0 - colBegin); // in the block's terms
                for (int r = 0; r < rows; ++r)
                    faulted |= positions(st[static_cast<std::size_t>(r)], y + r, at, n,
                                         qx.data() + r * Run, qy.data() + r * Run);
                if (faulted)
                    break;
                for (int t = 0; t < n; t += Tile)
                    for (int r = 0; r < rows; ++r)
                        blend(qx.data() + r * Run + t, qy.data() + r * Run + t,
                              std::min(Tile, n - t), n - t, rowAt(y + r) + 3 * (x0 + t));
            }
            if (colEnd == outW)
                for (int r = 0; r < rows; ++r)
                    clearPadding(rowAt(y + r), outW, image.bytew);
            if (faulted)
                for (int r = 0; r < rows; ++r)
                    if (rowByRow(y + r))
                        return;
        }
    };

    // Tasks in the order of the pixels: a stretch of rows, block by block.
    const int stretches = (outH + Chunk - 1) / Chunk;
    fp::parallelFor(stretches * blocks.count(), [&](int task) {
        const int begin = task / blocks.count() * Chunk;
        runStretch(begin, std::min(outH, begin + Chunk), task % blocks.count());
    });
    if (fault.at() < 0)
        return true;
    // As the step-by-step loop: nothing after the faulting pixel is written.
    clearFromFault(image, fault.at());
    return false;
}

} // namespace rectify::detail
