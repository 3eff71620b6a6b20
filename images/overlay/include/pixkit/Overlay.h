#pragma once
// The overlay of two rectified photographs of one facade: both images are
// stretched to a common canvas, the second shifted by whole pixels of its own
// and the first magnified about the canvas's top-left corner, and blended
// byte by byte.
//
// Error policy: an overlay that cannot be made (no memory, a canvas of more
// than MaxOverlayPixels) leaves `di3` empty (nil `poi`) and returns false.
// Samples outside an image read black; nothing outside an image is written.

#include "pixkit/dib.h"

#include <cstdint>
#include <optional>

namespace pixkit {

// Largest canvas the overlay makes: 2^28 pixels.
inline constexpr std::int64_t MaxOverlayPixels = std::int64_t{1} << 28;

struct OverlaySettings {
    double zoomPercent = 100.0; // magnification of image 1, 0.001 ... 100000 (clamped)
    std::int32_t shiftX = 0;    // shift of image 2 in its own pixels; positive moves it left
    std::int32_t shiftY = 0;    // positive moves it up
    int blendPercent = 0;       // weight of image 2, 0 ... 100 (clamped)
};

// The step-by-step definition: every canvas pixel through getpixel/setpixel.
// Releases the old `di3` and makes it anew at max(w1, w2) x max(h1, h2),
// 24 bits per pixel. An image without pixels counts as 0 x 0.
bool ComposeOverlayReference(const dib& di2, const dib& bi2, const OverlaySettings& s, dib& di3);

// The same bytes, composed with direct row access, per-column tables and the
// threads of the pool. Keeps the memory of `di3` when it already has the canvas's size
// and depth. Images that are not 24 bits per pixel take the reference.
bool ComposeOverlay(const dib& di2, const dib& bi2, const OverlaySettings& s, dib& di3);

// A rectangle of canvas pixels: columns [x, x + width), rows [y, y + height).
struct OverlayRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Only the canvas pixels `part` (clipped to the canvas) of the composite,
// for a view that shows no more of it: `piece` gets the clipped part's size
// and the bytes the whole composite has there; its memory is kept when it
// already has that size. False with `piece` empty when the clipped part is
// empty, the canvas cannot be made (as ComposeOverlay) or an image is not
// 24 bits per pixel.
bool ComposeOverlayPart(const dib& di2, const dib& bi2, const OverlaySettings& s,
                        const OverlayRect& part, dib& piece);

// Width and height of the canvas for the two images (0 x 0 when both lack pixels).
struct OverlaySize {
    int width = 0;
    int height = 0;
};
OverlaySize OverlayCanvasSize(const dib& di2, const dib& bi2);

// The pixel of image 1 (di2) that canvas pixel (x, y) of the overlay shows:
// ((Round(x / zb) * w1) div W, (Round(y / zb) * h1) div H), as the overlay
// samples it. Empty outside the canvas and where the magnified image 1 does
// not reach (the composite shows black there).
struct OverlayPixel {
    int x = 0;
    int y = 0;
};
std::optional<OverlayPixel> OverlayImage1Pixel(const dib& di2, const dib& bi2,
                                               const OverlaySettings& s, int x, int y);

} // namespace pixkit
