#pragma once
// The plain values every part of the rectification shares: matrices and
// camera-space points, the corners of a quad, the sampling choice and the
// engine choice.

#include "foundation/Engine.h"

#include <array>
#include <cstdint>

namespace rectify {

// 4 x 4 matrix of doubles, first index the row; points are row vectors
// multiplied from the left.
using tmat44 = std::array<std::array<double, 4>, 4>;

// A point or direction in camera space.
struct tvec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// A corner in source-image pixels, y from the top row.
struct TPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};
// The four corners of a quad: top left, top right, bottom right, bottom left.
using Corners = std::array<TPoint, 4>;

// How the rectified image samples the photograph at a pixel's projected
// position. Nearest takes the nearest pixel (the default); Bilinear blends the
// 2 x 2 pixels around the position, Bicubic the 4 x 4 pixels (Keys' cubic
// convolution with a = -0.5, clamped to 0 ... 255).
enum class Interpolation { Nearest, Bilinear, Bicubic };

// Which implementation of the search and the resampling to use (see
// foundation/Engine.h); both give bit-identical results.
using fp::DefaultEngine;
using fp::Engine;

} // namespace rectify
