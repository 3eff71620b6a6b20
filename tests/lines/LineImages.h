#pragma once
// Images for the line tests, built in code: ASCII sketches ('#' black, '.'
// white), grey levels, and random drawings with strokes, blobs and text-like
// glyphs.

#include "lines/Trace.h"
#include "pixkit/dib.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace lines::test {

inline pixkit::DibHolder blank(int width, int height, pixkit::Colour fill = 0xFFFFFF) {
    pixkit::dib d;
    pixkit::newdib(d, width, height, 24, nullptr, 0);
    pixkit::DibHolder holder(d);
    if (d.poi != nullptr && fill != 0)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixkit::setpixel(d, x, y, fill);
    return holder;
}

// '#' black, anything else white; all rows as long as the first.
inline pixkit::DibHolder fromAscii(const std::vector<std::string>& rows) {
    const int W = static_cast<int>(rows.at(0).size());
    const int H = static_cast<int>(rows.size());
    pixkit::DibHolder h = blank(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#')
                pixkit::setpixel(h.get(), x, y, 0);
    return h;
}

inline std::vector<std::string> toAscii(const pixkit::dib& d) {
    std::vector<std::string> rows;
    for (int y = 0; y < pixkit::dibheight(d); ++y) {
        std::string row;
        for (int x = 0; x < pixkit::dibwidth(d); ++x)
            row += pixkit::getpixel(d, x, y) == 0 ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

inline pixkit::Colour grey(int level) {
    const auto v = static_cast<std::uint8_t>(level);
    return pixkit::rgb(v, v, v);
}

// Same size and the same pixel bytes in every row (padding ignored).
inline bool samePixels(const pixkit::dib& a, const pixkit::dib& b) {
    if (a.poi == nullptr || b.poi == nullptr)
        return a.poi == b.poi;
    if (pixkit::dibwidth(a) != pixkit::dibwidth(b) ||
        pixkit::dibheight(a) != pixkit::dibheight(b) || pixkit::dibbits(a) != pixkit::dibbits(b))
        return false;
    const auto bytes = static_cast<std::size_t>(
        (static_cast<long long>(pixkit::dibwidth(a)) * pixkit::dibbits(a) + 7) / 8);
    for (int r = 0; r < pixkit::dibheight(a); ++r)
        if (std::memcmp(pixkit::storedRow(a, r), pixkit::storedRow(b, r), bytes) != 0)
            return false;
    return true;
}

// Kinds of synthetic drawings for the equivalence tests.
enum class Drawing { Strokes, Blobs, Glyphs, Noise, Photo };

inline void fillRect(const pixkit::dib& d, int x0, int y0, int x1, int y1, pixkit::Colour c) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            pixkit::setpixel(d, x, y, c); // outside the image: ignored
}

inline void line(const pixkit::dib& d, int x0, int y0, int x1, int y1, int thick,
                 pixkit::Colour c) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
    for (int i = 0; i < steps; ++i) {
        const int x = x0 + (x1 - x0) * i / steps;
        const int y = y0 + (y1 - y0) * i / steps;
        fillRect(d, x, y, x + thick - 1, y + thick - 1, c);
    }
}

// A drawing on a light wall-like background with some grey variation, so
// the separation has a real histogram to work on.
inline pixkit::DibHolder drawing(Drawing kind, int W, int H, std::uint32_t seed) {
    std::mt19937 rng(seed);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    pixkit::DibHolder h = blank(W, H, 0);
    const pixkit::dib& d = h.get();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int v = 200 + ((x * 7 + y * 3 + static_cast<int>(seed)) % 9);
            pixkit::setpixel(d, x, y,
                             pixkit::rgb(static_cast<std::uint8_t>(v),
                                         static_cast<std::uint8_t>(v - 4),
                                         static_cast<std::uint8_t>(v - 9)));
        }
    const int n = std::max(2, W * H / 400);
    for (int i = 0; i < n; ++i) {
        const pixkit::Colour ink = grey(uni(20, 90));
        switch (kind) {
        case Drawing::Strokes:
            line(d, uni(-5, W + 5), uni(-5, H + 5), uni(-5, W + 5), uni(-5, H + 5), uni(1, 4), ink);
            break;
        case Drawing::Blobs: {
            const int x = uni(-3, W), y = uni(-3, H);
            fillRect(d, x, y, x + uni(0, W / 4 + 1), y + uni(0, H / 4 + 1), ink);
            break;
        }
        case Drawing::Glyphs: {
            // A letter-like shape: box outline with a bar, 1 or 2 pixels thick.
            const int x = uni(0, W - 1), y = uni(0, H - 1), s = uni(3, 9), t = uni(1, 2);
            line(d, x, y, x, y + s, t, ink);
            line(d, x, y, x + s / 2, y, t, ink);
            line(d, x + s / 2, y, x + s / 2, y + s / 2, t, ink);
            line(d, x, y + s / 2, x + s / 2, y + s / 2, t, ink);
            break;
        }
        case Drawing::Noise:
            pixkit::setpixel(d, uni(0, W - 1), uni(0, H - 1), ink);
            break;
        case Drawing::Photo:
            break;
        }
    }
    return h;
}

} // namespace lines::test
