// Preparation and black/white separation: the per-pixel reference and the
// fast path over rows.

#include "lines/Separation.h"

#include "foundation/ThreadPool.h"
#include "pixkit/DepthTurn.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lines {

using pixkit::dib;

namespace {

bool holds24(const dib& d) {
    return d.poi != nullptr && d.pmi != nullptr && pixkit::dibbits(d) == 24;
}

std::size_t rowPixelBytes(int width) {
    return static_cast<std::size_t>(width) * 3;
}

// ---- preparation ---------------------------------------------------------------------

void enlargeReference(const dib& image, const dib& big, int W, int H) {
    for (int y = 0; y < 3 * H; ++y)
        for (int x = 0; x < 3 * W; ++x)
            pixkit::setpixel(big, x, y, pixkit::getpixel(image, x / 3, y / 3));
}

// Stored row R of the enlarged image comes from stored row R div 3 of the old
// one (both count from the bottom, and 3H - 1 - y div 3 agrees).
void enlargeFast(const dib& image, const dib& big, int W, int H) {
    const std::size_t outBytes = rowPixelBytes(3 * W);
    fp::parallelRows(H, std::int64_t{9} * W, [&](std::int64_t r0, std::int64_t r1) {
        for (int r = static_cast<int>(r0); r < r1; ++r) {
            const std::uint8_t* in = pixkit::storedRow(image, r);
            std::uint8_t* out = pixkit::storedRow(big, 3 * r);
            for (int x = 0; x < W; ++x, in += 3, out += 9) {
                const std::uint8_t b = in[0], g = in[1], rr = in[2];
                out[0] = b, out[1] = g, out[2] = rr;
                out[3] = b, out[4] = g, out[5] = rr;
                out[6] = b, out[7] = g, out[8] = rr;
            }
            const std::uint8_t* first = pixkit::storedRow(big, 3 * r);
            std::memcpy(pixkit::storedRow(big, 3 * r + 1), first, outBytes);
            std::memcpy(pixkit::storedRow(big, 3 * r + 2), first, outBytes);
        }
    });
}

// Stored row r, picture row H - 1 - r.
void blockyReference(const dib& image, int W, int H) {
    for (int r = 0; r < H; ++r) {
        const int y = H - 1 - r;
        if (r % 3 == 0) {
            for (int x = 0; x < W; ++x)
                pixkit::setpixel(image, x, y, pixkit::getpixel(image, 3 * (x / 3), y));
        } else {
            const int y0 = H - 1 - 3 * (r / 3);
            for (int x = 0; x < W; ++x)
                pixkit::setpixel(image, x, y, pixkit::getpixel(image, x, y0));
        }
    }
}

void blockyFast(const dib& image, int W, int H) {
    const std::size_t bytes = rowPixelBytes(W);
    // Row groups of three: a copied row depends only on the first row of its group.
    const int groups = (H + 2) / 3;
    fp::parallelRows(groups, std::int64_t{3} * W, [&](std::int64_t g0, std::int64_t g1) {
        for (int g = static_cast<int>(g0); g < g1; ++g) {
            const int r = 3 * g;
            std::uint8_t* first = pixkit::storedRow(image, r);
            for (int x = 0; x < W; x += 3) {
                const std::uint8_t* src = first + 3 * static_cast<std::size_t>(x);
                for (int k = 1; k < 3 && x + k < W; ++k)
                    std::memcpy(first + 3 * static_cast<std::size_t>(x + k), src, 3);
            }
            for (int k = 1; k < 3 && r + k < H; ++k)
                std::memcpy(pixkit::storedRow(image, r + k), first, bytes);
        }
    });
}

// ---- separation ----------------------------------------------------------------------

SeparationEnd separateReference(const dib& dicol, int schwellePercent, dib& out,
                                SeparationTables& tables) {
    const int W = pixkit::dibwidth(dicol);
    const int H = pixkit::dibheight(dicol);
    tables.col1.fill(0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ++tables.col1[static_cast<std::size_t>(Luminance(pixkit::getpixel(dicol, x, y)))];
    AnalyseHistogram(tables, schwellePercent);

    dib made;
    pixkit::newdib(made, W, H, 24, nullptr, 0);
    if (made.poi == nullptr)
        return SeparationEnd::OutOfMemory;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int L = Luminance(pixkit::getpixel(dicol, x, y));
            const bool white = std::abs(L - tables.M) < tables.T || L == tables.M;
            pixkit::setpixel(made, x, y, white ? 0xFFFFFFu : 0u);
        }
    out = made;
    return SeparationEnd::Done;
}

// Luminance by the byte sum, so the division is a table look-up.
struct SumTables {
    std::uint8_t lum[766];
    SumTables() {
        for (int s = 0; s < 766; ++s)
            lum[s] = static_cast<std::uint8_t>(s / 3);
    }
};
const SumTables& sumTables() {
    static const SumTables t;
    return t;
}

SeparationEnd separateFast(const dib& dicol, int schwellePercent, dib& out,
                           SeparationTables& tables) {
    const int W = pixkit::dibwidth(dicol);
    const int H = pixkit::dibheight(dicol);
    const std::uint8_t* lum = sumTables().lum;

    // Partial histograms of stretches of rows, added afterwards: the counts
    // are the same however the rows are split.
    const std::int64_t grain = fp::rowsPerTask(W);
    std::vector<std::array<std::uint32_t, 256>> part(
        static_cast<std::size_t>((H + grain - 1) / grain));
    auto count = [&](int r0, int r1, std::array<std::uint32_t, 256>& hist) {
        // Four interleaved tables keep runs of one grey from stalling on one counter.
        std::uint32_t local[4][256] = {};
        for (int r = r0; r < r1; ++r) {
            const std::uint8_t* p = pixkit::storedRow(dicol, r);
            int x = 0;
            for (; x + 4 <= W; x += 4, p += 12) {
                ++local[0][lum[p[0] + p[1] + p[2]]];
                ++local[1][lum[p[3] + p[4] + p[5]]];
                ++local[2][lum[p[6] + p[7] + p[8]]];
                ++local[3][lum[p[9] + p[10] + p[11]]];
            }
            for (; x < W; ++x, p += 3)
                ++local[0][lum[p[0] + p[1] + p[2]]];
        }
        for (std::size_t i = 0; i < 256; ++i)
            hist[i] = local[0][i] + local[1][i] + local[2][i] + local[3][i];
    };
    fp::parallelRanges(H, grain, [&](std::int64_t r0, std::int64_t r1) {
        count(static_cast<int>(r0), static_cast<int>(r1),
              part[static_cast<std::size_t>(r0 / grain)]);
    });
    for (std::size_t i = 0; i < 256; ++i) {
        std::uint32_t sum = 0;
        for (const auto& p : part)
            sum += p[i];
        tables.col1[i] = sum;
    }
    AnalyseHistogram(tables, schwellePercent);

    dib made;
    pixkit::newdib(made, W, H, 24, nullptr, 0);
    if (made.poi == nullptr)
        return SeparationEnd::OutOfMemory;

    // White or black by the byte sum.
    std::uint8_t shade[766];
    for (int s = 0; s < 766; ++s) {
        const int L = s / 3;
        const bool white = std::abs(L - tables.M) < tables.T || L == tables.M;
        shade[s] = white ? 0xFF : 0x00;
    }
    fp::parallelRows(H, W, [&](std::int64_t r0, std::int64_t r1) {
        for (int r = static_cast<int>(r0); r < r1; ++r) {
            const std::uint8_t* in = pixkit::storedRow(dicol, r);
            std::uint8_t* o = pixkit::storedRow(made, r);
            for (int x = 0; x < W; ++x, in += 3, o += 3) {
                const std::uint8_t v = shade[in[0] + in[1] + in[2]];
                o[0] = v;
                o[1] = v;
                o[2] = v;
            }
        }
    });
    out = made;
    return SeparationEnd::Done;
}

} // namespace

void PrepareForTracing(dib& image, Engine engine) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return;
    if (pixkit::dibbits(image) != 24) {
        pixkit::DepthUpTo(24, image);
        if (!holds24(image))
            return;
    }
    const int W = pixkit::dibwidth(image);
    const int H = pixkit::dibheight(image);
    if (W <= EnlargeLimit && H <= EnlargeLimit) {
        dib big;
        pixkit::newdib(big, 3 * W, 3 * H, 24, nullptr, 0);
        if (big.poi == nullptr)
            return;
        if (engine == Engine::Reference)
            enlargeReference(image, big, W, H);
        else
            enlargeFast(image, big, W, H);
        pixkit::replaceDib(image, big);
    } else if (engine == Engine::Reference) {
        blockyReference(image, W, H);
    } else {
        blockyFast(image, W, H);
    }
}

void AnalyseHistogram(SeparationTables& t, int schwellePercent) {
    int M = 0;
    for (int i = 1; i < 256; ++i)
        if (t.col1[static_cast<std::size_t>(i)] > t.col1[static_cast<std::size_t>(M)])
            M = i;
    t.M = M;

    for (std::size_t i = 0; i < 256; ++i)
        t.col2[i] = tpeak{t.col1[i], static_cast<std::int32_t>(i)};
    // In place: an entry already set to 0 no longer suppresses later ones.
    for (std::size_t i = 0; i < 256; ++i)
        for (std::size_t j = 0; j < 256; ++j) {
            if (j == i)
                continue;
            if (t.col2[j].count > t.col2[i].count &&
                std::abs(t.col2[j].value - t.col2[i].value) < 64)
                t.col2[i].count = 0;
        }

    int D = 255;
    for (const tpeak& p : t.col2)
        if (p.count != 0 && p.value != M)
            D = std::min(D, std::abs(p.value - M));
    t.D = D;

    // Halves to even. Any value beyond the luminance range acts like its
    // bound, so the clamp only keeps the conversion defined.
    const double T = std::nearbyint(static_cast<double>(schwellePercent) * D / 100.0);
    t.T = static_cast<int>(std::clamp(T, -1.0, 256.0));
}

SeparationEnd ToBlackWhite(const dib& dicol, int schwellePercent, dib& out,
                           SeparationTables& tables, Engine engine) {
    if (!holds24(dicol))
        return SeparationEnd::NoImage;
    return engine == Engine::Reference ? separateReference(dicol, schwellePercent, out, tables)
                                       : separateFast(dicol, schwellePercent, out, tables);
}

} // namespace lines
