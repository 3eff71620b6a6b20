#pragma once
// Blended sampling of a 24-bit photograph at a projected position (sx, sy).
//
// Pixel centres lie at integer positions, as for the nearest pixel (which is
// round(sx), round(sy)). The position is taken to 1/256 of a pixel: the
// sub-pixel position q = round(256 * sx), halves to even, gives the pixel
// x0 = floor(q / 256) left of the position and the fraction f = q mod 256.
// All blending is then whole-number arithmetic, so every engine gives the
// same bytes. Pixels outside the photograph read as black, as getpixel
// returns them.

#include "pixkit/dib.h"
#include "rectify/Types.h"

#include <array>
#include <cstdint>

namespace rectify {

// Steps per pixel of the sub-pixel position.
inline constexpr int SubSteps = 256;
inline constexpr int SubBits = 8;

// A position this far outside (in pixels) lies beyond every photograph: all
// its neighbours are outside. Sub-pixel positions are held within
// +-FarSub, which keeps the neighbourhood that far outside as well.
inline constexpr std::int64_t FarSub = std::int64_t{1} << 30;

// round(256 * v), halves to even, held within +-FarSub (beyond it every
// neighbour lies outside any photograph). v must be finite.
std::int64_t SubPixelPosition(double v);

// Sum of the four cubic weights at fraction f (0 ... 255) in these units.
inline constexpr int CubicOne = 1 << 11;

// The four weights of Keys' cubic convolution (a = -0.5) for the pixels
// x0 - 1, x0, x0 + 1, x0 + 2 at fraction f / 256, rounded to 1/2048 with the
// rounding remainder on the larger middle weight, so that they sum to
// CubicOne exactly.
std::array<std::int32_t, 4> CubicWeights(int f);

// Blended colour at sub-pixel position (qx, qy), for a 24-bit source:
// Bilinear from the 2 x 2 pixels x0 ... x0+1, y0 ... y0+1 with weights
// (256 - f, f), rounded half up; Bicubic from the 4 x 4 pixels x0-1 ... x0+2
// with CubicWeights, rounded half up and clamped to 0 ... 255. Each channel
// separately.
pixkit::Colour SampleAt(const pixkit::dib& source, std::int64_t qx, std::int64_t qy,
                        Interpolation sampling);

} // namespace rectify
