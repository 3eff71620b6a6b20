#pragma once
// Small helpers for the image-file tests: pictures built in code, temporary
// folders, the command-line tools that make and read files independently.

#include "pixkit/dib.h"
#include "testsupport/Files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace codectest {

using pixkit::Colour;
using pixkit::dib;
using pixkit::DibHolder;
using testsupport::haveTool;
using testsupport::readBytes;
using testsupport::run;
using testsupport::shown;
using testsupport::writeBytes;

inline DibHolder make24(int w, int h, const std::function<Colour(int, int)>& colourAt) {
    dib d;
    pixkit::newdib(d, w, h, 24, nullptr, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixkit::setpixel(d, x, y, colourAt(x, y));
    return DibHolder(d);
}

// Palette picture with `colours` table entries.
inline DibHolder makePalette(int w, int h, int bits, const std::vector<Colour>& colours,
                             const std::function<unsigned(int, int)>& indexAt) {
    pixkit::BitmapInfo table{};
    for (std::size_t i = 0; i < colours.size(); ++i)
        table.bmiColors[i] = pixkit::RgbQuad{
            pixkit::blueOf(colours[i]), pixkit::greenOf(colours[i]), pixkit::redOf(colours[i]), 0};
    dib d;
    pixkit::newdib(d, w, h, bits, &table, static_cast<int>(colours.size()));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixkit::setpixel(d, x, y, indexAt(x, y));
    return DibHolder(d);
}

// A picture with few colours (exact through GIF and 8-bit formats) and an
// odd width, so that row padding matters: stripes, a diagonal and a corner mark.
inline DibHolder fewColours(int w = 37, int h = 23) {
    return make24(w, h, [](int x, int y) {
        if (x < 4 && y < 4)
            return pixkit::rgb(250, 10, 20);
        if (x == y)
            return pixkit::rgb(0, 0, 0);
        return pixkit::rgb(static_cast<std::uint8_t>(40 * (x % 5)),
                           static_cast<std::uint8_t>(30 * (y % 7)), 200);
    });
}

// A smooth photograph-like picture of many colours.
inline DibHolder manyColours(int w = 64, int h = 48) {
    return make24(w, h, [](int x, int y) {
        return pixkit::rgb(static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 5),
                           static_cast<std::uint8_t>((x + y) * 2));
    });
}

// Largest difference of one channel over the whole picture; nullopt when the sizes differ.
inline std::optional<int> maxChannelDiff(const dib& a, const dib& b) {
    if (a.poi == nullptr || b.poi == nullptr || pixkit::dibwidth(a) != pixkit::dibwidth(b) ||
        pixkit::dibheight(a) != pixkit::dibheight(b))
        return std::nullopt;
    int worst = 0;
    for (int y = 0; y < pixkit::dibheight(a); ++y)
        for (int x = 0; x < pixkit::dibwidth(a); ++x) {
            const Colour p = shown(a, x, y), q = shown(b, x, y);
            for (int s = 0; s < 24; s += 8)
                worst = std::max(worst, std::abs(static_cast<int>((p >> s) & 0xFF) -
                                                 static_cast<int>((q >> s) & 0xFF)));
        }
    return worst;
}

// Binary PPM of a picture, the common ground with the command-line tools.
inline void writePpm(const dib& d, const std::string& path) {
    const int w = pixkit::dibwidth(d), h = pixkit::dibheight(d);
    std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<std::uint8_t> bytes(s.begin(), s.end());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Colour c = shown(d, x, y);
            bytes.insert(bytes.end(), {pixkit::redOf(c), pixkit::greenOf(c), pixkit::blueOf(c)});
        }
    writeBytes(path, bytes);
}

// Reads a binary PPM (P6, maxval 255) written by a tool; empty record on any surprise.
inline DibHolder readPpm(const std::string& path) {
    const std::vector<std::uint8_t> b = readBytes(path);
    std::size_t pos = 0;
    auto token = [&]() -> long {
        while (pos < b.size() && (std::isspace(b[pos]) || b[pos] == '#')) {
            if (b[pos] == '#')
                while (pos < b.size() && b[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
        long v = 0;
        bool any = false;
        while (pos < b.size() && std::isdigit(b[pos])) {
            v = v * 10 + (b[pos++] - '0');
            any = true;
        }
        return any ? v : -1;
    };
    if (b.size() < 2 || b[0] != 'P' || b[1] != '6')
        return {};
    pos = 2;
    const long w = token(), h = token(), maxval = token();
    ++pos;
    if (w <= 0 || h <= 0 || maxval != 255 || b.size() < pos + static_cast<std::size_t>(w * h * 3))
        return {};
    return make24(static_cast<int>(w), static_cast<int>(h), [&](int x, int y) {
        const std::uint8_t* p =
            &b[pos + 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                          static_cast<std::size_t>(x))];
        return pixkit::rgb(p[0], p[1], p[2]);
    });
}

} // namespace codectest
