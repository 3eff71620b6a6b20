#pragma once
// What the step-by-step overlay and the fast one share: the canvas, the
// clamping of the settings and the sample position of image 1.

#include "pixkit/Overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pixkit::detail {

struct OverlayGeometry {
    std::int64_t w1 = 0, h1 = 0; // image 1 (0 x 0 without pixels)
    std::int64_t w2 = 0, h2 = 0; // image 2
    std::int64_t W = 0, H = 0;   // canvas
    double zb = 1.0;             // magnification of image 1 as a factor
    std::int64_t hx = 0, vy = 0; // shift of image 2
    std::uint32_t a = 0;         // weight of image 2 in percent
    std::uint32_t b = 100;       // weight of image 1
};

inline bool hasPixels(const dib& d) {
    return d.poi != nullptr && d.pmi != nullptr;
}

inline OverlayGeometry overlayGeometry(const dib& di2, const dib& bi2, const OverlaySettings& s) {
    OverlayGeometry g;
    if (hasPixels(di2)) {
        g.w1 = dibwidth(di2);
        g.h1 = dibheight(di2);
    }
    if (hasPixels(bi2)) {
        g.w2 = dibwidth(bi2);
        g.h2 = dibheight(bi2);
    }
    g.W = std::max(g.w1, g.w2);
    g.H = std::max(g.h1, g.h2);
    // The zoom field holds 0.001 ... 100000; anything else (NaN included) is
    // brought into that range so the sample positions stay finite.
    double z = s.zoomPercent;
    if (!(z >= 0.001))
        z = 0.001;
    if (z > 100000.0)
        z = 100000.0;
    g.zb = z / 100.0;
    g.hx = s.shiftX;
    g.vy = s.shiftY;
    g.a = static_cast<std::uint32_t>(std::clamp(s.blendPercent, 0, 100));
    g.b = 100 - g.a;
    return g;
}

// True when the canvas can be made: not empty, at most MaxOverlayPixels.
inline bool canvasFits(const OverlayGeometry& g) {
    return g.W > 0 && g.H > 0 && g.W * g.H <= MaxOverlayPixels;
}

// Image-1 sample index of canvas position p: (Round(p / zb) * n) div N in
// 64 bits. A rounded position at or beyond N samples at or beyond n, outside
// the image; it is returned as n, which keeps the product far from overflow.
inline std::int64_t zoomedSample(std::int64_t p, double zb, std::int64_t n, std::int64_t N) {
    const double r = std::nearbyint(static_cast<double>(p) / zb);
    if (r >= static_cast<double>(N))
        return n;
    return static_cast<std::int64_t>(r) * n / N;
}

// Image-2 sample index of canvas position p: (n * p) div N + shift.
inline std::int64_t shiftedSample(std::int64_t p, std::int64_t shift, std::int64_t n,
                                  std::int64_t N) {
    return n * p / N + shift;
}

// n div 100 for 0 <= n <= 25500, without a division (checked for every n).
inline std::uint32_t div100(std::uint32_t n) {
    return (n * 5243u) >> 19;
}

} // namespace pixkit::detail
