// The photograph as a lens corrects it, for the source views: the same
// knots and blending as a run through the lens, over the photograph itself.

#include "LensKnots.h"
#include "foundation/ThreadPool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace rectify {

namespace {

// A black image of the size and depth of `source`, with its palette.
pixkit::Image blankLike(const pixkit::dib& source) {
    pixkit::dib out;
    pixkit::newdib(out, pixkit::dibwidth(source), pixkit::dibheight(source),
                   pixkit::dibbits(source), source.pmi,
                   source.ispal != 0 ? static_cast<int>(pixkit::dibcolors(source)) : 0);
    return pixkit::Image(out);
}

bool fits(const pixkit::dib& source, const LensGeometry& lens) {
    return source.poi != nullptr && source.pmi != nullptr &&
           pixkit::dibwidth(source) == lens.width() && pixkit::dibheight(source) == lens.height();
}

// Row by row on the threads of the pool: every stretch of rows makes its
// own `rowPositions()`, which gives the original positions of the pixels of
// row y (f(y, ox, oy)); each pixel takes the original pixel nearest to its
// position, black outside.
template <class RowPositions>
pixkit::Image correct(const pixkit::dib& source, RowPositions&& rowPositions) {
    pixkit::Image out = blankLike(source);
    if (out.empty())
        return out;
    const int w = pixkit::dibwidth(source), h = pixkit::dibheight(source);
    const bool direct = pixkit::dibbits(source) == 24;
    // The nearest pixel lies in [0, n) exactly when v does in (-0.5, n - 0.5); NaN fails.
    auto inside = [](double v, int n) { return v > -0.5 && v < n - 0.5; };
    // Picture row 0 is the last stored row.
    const std::ptrdiff_t stride = source.bytew;
    const std::uint8_t* const lastRow = source.poi + (h - 1) * stride;
    fp::parallelRows(h, w, [&](std::int64_t from, std::int64_t to) {
        auto position = rowPositions();
        std::vector<double> ox(static_cast<std::size_t>(w)), oy(static_cast<std::size_t>(w));
        for (auto y = static_cast<int>(from); y < static_cast<int>(to); ++y) {
            position(y, ox.data(), oy.data());
            std::uint8_t* dst = pixkit::pictureRow(out.get(), y);
            for (int x = 0; x < w; ++x) {
                const double px = ox[static_cast<std::size_t>(x)];
                const double py = oy[static_cast<std::size_t>(x)];
                if (!inside(px, w) || !inside(py, h))
                    continue;
                // Halves up, as lround for the positive sums here.
                const auto sx = static_cast<int>(px + 0.5);
                const auto sy = static_cast<int>(py + 0.5);
                if (direct)
                    std::memcpy(dst + 3 * static_cast<std::size_t>(x),
                                lastRow - sy * stride + 3 * static_cast<std::ptrdiff_t>(sx), 3);
                else
                    pixkit::setpixel(out.get(), x, y, pixkit::getpixel(source, sx, sy));
            }
        }
    });
    return out;
}

// The blended positions of the rows of the lens's photograph: a pixel plus
// its displacement, blended from `knots` into the stretch's own knot columns.
auto blendedRows(const detail::LensKnots& knots) {
    return [&knots] {
        return [&knots, ax = std::vector<double>(static_cast<std::size_t>(knots.cols)),
                ay = std::vector<double>(static_cast<std::size_t>(knots.cols))](
                   int y, double* ox, double* oy) mutable {
            const auto w = static_cast<int>(knots.outW);
            detail::lensRow(knots, y, 0, w, ax.data(), ay.data(), ox, oy);
            for (int x = 0; x < w; ++x) {
                ox[x] = static_cast<double>(x) + ox[x];
                oy[x] = static_cast<double>(y) + oy[x];
            }
        };
    };
}

// The lens's own positions of the rows.
auto ownRows(const LensGeometry& lens) {
    return [&lens] {
        return [&lens](int y, double* ox, double* oy) {
            for (int x = 0; x < lens.width(); ++x) {
                const SourcePos o = lens.toOriginal(x, y);
                ox[x] = o.sx;
                oy[x] = o.sy;
            }
        };
    };
}

} // namespace

pixkit::Image CorrectedPhotograph(const pixkit::dib& source, const LensGeometry& lens) {
    if (!fits(source, lens))
        return {};
    detail::LensKnots knots;
    detail::buildPhotoKnots(lens, knots);
    return correct(source, blendedRows(knots));
}

pixkit::Image CorrectedPhotographPerPixel(const pixkit::dib& source, const LensGeometry& lens) {
    if (!fits(source, lens))
        return {};
    return correct(source, ownRows(lens));
}

double CorrectedPhotographDeviation(const LensGeometry& lens) {
    detail::LensKnots knots;
    detail::buildPhotoKnots(lens, knots);
    const int w = lens.width(), h = lens.height();
    std::vector<double> rowLargest(static_cast<std::size_t>(std::max(h, 0)), 0.0);
    fp::parallelRows(h, w, [&](std::int64_t from, std::int64_t to) {
        auto blended = blendedRows(knots)();
        auto own = ownRows(lens)();
        std::vector<double> bx(static_cast<std::size_t>(w)), by(bx.size()), lx(bx.size()),
            ly(bx.size());
        for (auto y = static_cast<int>(from); y < static_cast<int>(to); ++y) {
            blended(y, bx.data(), by.data());
            own(y, lx.data(), ly.data());
            double m = 0.0;
            for (std::size_t x = 0; x < bx.size(); ++x) {
                if (!std::isfinite(lx[x]) || !std::isfinite(ly[x]))
                    continue;
                const double d = std::max(std::fabs(bx[x] - lx[x]), std::fabs(by[x] - ly[x]));
                // A blended position missing where the lens has one counts as far off.
                m = std::isfinite(d) ? std::max(m, d) : std::numeric_limits<double>::infinity();
            }
            rowLargest[static_cast<std::size_t>(y)] = m;
        }
    });
    return rowLargest.empty() ? 0.0 : *std::max_element(rowLargest.begin(), rowLargest.end());
}

} // namespace rectify
