// Blended sampling, the step-by-step way: every neighbour through its own
// bounds check, every weight from its formula. The fast resampling must give
// the same bytes (FastSmooth.cpp).

#include "rectify/Interpolate.h"

#include <algorithm>
#include <cmath>

namespace rectify {

namespace {

// 256 * v beyond this many steps lies beyond any photograph.
constexpr double FarSteps = 140737488355328.0; // 2^47

// The colour of pixel (x, y), black outside the photograph.
pixkit::Colour tap(const pixkit::dib& source, std::int64_t x, std::int64_t y) {
    if (x < 0 || y < 0 || x >= pixkit::dibwidth(source) || y >= pixkit::dibheight(source))
        return 0;
    return pixkit::getpixel(source, static_cast<int>(x), static_cast<int>(y));
}

std::int32_t channel(pixkit::Colour c, int k) {
    return static_cast<std::int32_t>((c >> (8 * k)) & 0xFFu);
}

} // namespace

std::int64_t SubPixelPosition(double v) {
    const double steps = v * SubSteps;
    if (!(std::fabs(steps) < FarSteps))
        return steps < 0.0 ? -FarSub : FarSub;
    const auto q = static_cast<std::int64_t>(std::nearbyint(steps));
    return std::clamp(q, -FarSub, FarSub);
}

std::array<std::int32_t, 4> CubicWeights(int f) {
    const double t = static_cast<double>(f) / SubSteps;
    const double s = 1.0 - t;
    constexpr double a = -0.5;
    // Distances 1 + t, t, 1 - t and 2 - t from the position.
    const double w0 = a * t * s * s;
    const double w1 = (a + 2.0) * t * t * t - (a + 3.0) * t * t + 1.0;
    const double w2 = (a + 2.0) * s * s * s - (a + 3.0) * s * s + 1.0;
    const double w3 = a * s * t * t;
    auto units = [](double w) { return static_cast<std::int32_t>(std::nearbyint(w * CubicOne)); };
    std::array<std::int32_t, 4> r{units(w0), 0, 0, units(w3)};
    if (f < SubSteps / 2) {
        r[2] = units(w2);
        r[1] = CubicOne - r[0] - r[2] - r[3];
    } else {
        r[1] = units(w1);
        r[2] = CubicOne - r[0] - r[1] - r[3];
    }
    return r;
}

pixkit::Colour SampleAt(const pixkit::dib& source, std::int64_t qx, std::int64_t qy,
                        Interpolation sampling) {
    const std::int64_t x0 = qx >> SubBits; // floor, also for negative positions
    const std::int64_t y0 = qy >> SubBits;
    const auto fx = static_cast<int>(qx & (SubSteps - 1));
    const auto fy = static_cast<int>(qy & (SubSteps - 1));
    pixkit::Colour out = 0;
    if (sampling == Interpolation::Bilinear) {
        const pixkit::Colour p00 = tap(source, x0, y0), p10 = tap(source, x0 + 1, y0);
        const pixkit::Colour p01 = tap(source, x0, y0 + 1), p11 = tap(source, x0 + 1, y0 + 1);
        for (int k = 0; k < 3; ++k) {
            const std::int32_t top = channel(p00, k) * (SubSteps - fx) + channel(p10, k) * fx;
            const std::int32_t bottom = channel(p01, k) * (SubSteps - fx) + channel(p11, k) * fx;
            const std::int32_t v = top * (SubSteps - fy) + bottom * fy;
            out |= static_cast<pixkit::Colour>((v + (1 << 15)) >> 16) << (8 * k);
        }
        return out;
    }
    const std::array<std::int32_t, 4> wx = CubicWeights(fx);
    const std::array<std::int32_t, 4> wy = CubicWeights(fy);
    for (int k = 0; k < 3; ++k) {
        std::int32_t v = 0;
        for (int j = 0; j < 4; ++j) {
            std::int32_t row = 0;
            for (int i = 0; i < 4; ++i)
                row += wx[static_cast<std::size_t>(i)] *
                       channel(tap(source, x0 - 1 + i, y0 - 1 + j), k);
            v += wy[static_cast<std::size_t>(j)] * row;
        }
        const std::int32_t c = std::clamp((v + (1 << 21)) >> 22, 0, 255);
        out |= static_cast<pixkit::Colour>(c) << (8 * k);
    }
    return out;
}

} // namespace rectify
