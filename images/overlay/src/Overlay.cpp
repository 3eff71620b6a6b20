// The overlay pixel by pixel through the image's own pixel reader and writer.

#include "OverlayShared.h"

namespace pixkit {

OverlaySize OverlayCanvasSize(const dib& di2, const dib& bi2) {
    const detail::OverlayGeometry g = detail::overlayGeometry(di2, bi2, OverlaySettings{});
    return {static_cast<int>(g.W), static_cast<int>(g.H)};
}

std::optional<OverlayPixel> OverlayImage1Pixel(const dib& di2, const dib& bi2,
                                               const OverlaySettings& s, int x, int y) {
    const detail::OverlayGeometry g = detail::overlayGeometry(di2, bi2, s);
    if (x < 0 || y < 0 || x >= g.W || y >= g.H)
        return std::nullopt;
    const std::int64_t x1 = detail::zoomedSample(x, g.zb, g.w1, g.W);
    const std::int64_t y1 = detail::zoomedSample(y, g.zb, g.h1, g.H);
    if (x1 < 0 || y1 < 0 || x1 >= g.w1 || y1 >= g.h1)
        return std::nullopt;
    return OverlayPixel{static_cast<int>(x1), static_cast<int>(y1)};
}

bool ComposeOverlayReference(const dib& di2, const dib& bi2, const OverlaySettings& s, dib& di3) {
    const detail::OverlayGeometry g = detail::overlayGeometry(di2, bi2, s);
    releasedib(di3);
    if (!detail::canvasFits(g))
        return false;
    newdib(di3, static_cast<int>(g.W), static_cast<int>(g.H), 24, nullptr, 0);
    if (di3.poi == nullptr)
        return false;

    for (std::int64_t y = 0; y < g.H; ++y) {
        for (std::int64_t x = 0; x < g.W; ++x) {
            const std::int64_t x1 = detail::zoomedSample(x, g.zb, g.w1, g.W);
            const std::int64_t y1 = detail::zoomedSample(y, g.zb, g.h1, g.H);
            const Colour c1 = getpixel(di2, static_cast<int>(x1), static_cast<int>(y1));

            const std::int64_t x2 = detail::shiftedSample(x, g.hx, g.w2, g.W);
            const std::int64_t y2 = detail::shiftedSample(y, g.vy, g.h2, g.H);
            Colour c2 = c1;
            if (x2 >= 0 && x2 <= g.w2 - 1 && y2 >= 0 && y2 <= g.h2 - 1)
                c2 = getpixel(bi2, static_cast<int>(x2), static_cast<int>(y2));

            Colour out = 0;
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t b1 = (c1 >> (8 * k)) & 0xFFu;
                const std::uint32_t b2 = (c2 >> (8 * k)) & 0xFFu;
                out |= ((b1 * g.b + b2 * g.a) / 100u) << (8 * k);
            }
            setpixel(di3, static_cast<int>(x), static_cast<int>(y), out);
        }
    }
    return true;
}

} // namespace pixkit
