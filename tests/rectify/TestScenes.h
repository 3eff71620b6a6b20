#pragma once
// Small helpers shared by the rectification tests: photographs built in code.

#include "pixkit/dib.h"
#include "rectify/Camera.h"
#include "rectify/Run.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace rectify::test {

// Readable names of the cases that run on both engines.
inline std::string engineName(const ::testing::TestParamInfo<Engine>& p) {
    return p.param == Engine::Fast ? "Fast" : "Reference";
}

// A 24-bit photograph whose every pixel has its own colour (mixed from x, y
// and a seed), so any wrong lookup shows in the copied bytes.
inline pixkit::DibHolder makePhoto(int width, int height, std::uint32_t seed = 1) {
    pixkit::dib d;
    pixkit::newdib(d, width, height, 24, nullptr, 0);
    pixkit::DibHolder holder(d);
    if (d.poi == nullptr)
        return holder;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixkit::pictureRow(d, y);
        for (int x = 0; x < width; ++x) {
            std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^
                              static_cast<std::uint32_t>(y) * 19349663u ^ seed * 83492791u;
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            h ^= h >> 15;
            std::memcpy(row + 3 * static_cast<std::size_t>(x), &h, 3);
        }
    }
    return holder;
}

// Same pixel bytes (rows and padding) and same size.
inline bool sameImage(const pixkit::dib& a, const pixkit::dib& b) {
    if (a.poi == nullptr || b.poi == nullptr)
        return a.poi == b.poi;
    if (pixkit::dibwidth(a) != pixkit::dibwidth(b) ||
        pixkit::dibheight(a) != pixkit::dibheight(b) || a.bytew != b.bytew)
        return false;
    const auto bytes =
        static_cast<std::size_t>(a.bytew) * static_cast<std::size_t>(pixkit::dibheight(a));
    return std::memcmp(a.poi, b.poi, bytes) == 0;
}

inline std::uint64_t bits(double v) {
    return std::bit_cast<std::uint64_t>(v);
}

inline bool sameBits(const tvec3& a, const tvec3& b) {
    return bits(a.x) == bits(b.x) && bits(a.y) == bits(b.y) && bits(a.z) == bits(b.z);
}

inline bool samePose(const tpose& a, const tpose& b) {
    return bits(a.angleX) == bits(b.angleX) && bits(a.angleY) == bits(b.angleY) &&
           sameBits(a.anchor, b.anchor) && sameBits(a.corner1, b.corner1) &&
           sameBits(a.corner2, b.corner2);
}

} // namespace rectify::test
