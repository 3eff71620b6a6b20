#pragma once
// The tilt search: every pose of the quarter-degree grid (-90 to +90 degrees
// on both axes, 721 x 721 poses) is evaluated, and the one whose parallelogram
// best explains corner 3 wins. Among equal errors the earliest in loop order
// (angleY outer, angleX inner, both ascending) stays.

#include "rectify/Camera.h"

#include <optional>

namespace rectify {

// Grid indices -GridHalf..+GridHalf, read as quarter degrees.
inline constexpr int GridHalf = 360;
inline constexpr int GridSize = 2 * GridHalf + 1; // 721 values per axis

// Distance in source pixels between corner 3 and the projection of the
// parallelogram's fourth corner (anchor + corner2 - corner1) on the plane of
// `pose`. Empty on a fault (for example W or H of 1: the divisor W-1 or H-1 is 0).
std::optional<double> PoseError(const tcamera& camera, const tpose& pose, SourcePos corner3,
                                std::int64_t W, std::int64_t H);
std::optional<double> PoseError(const tcamera& camera, const tpose& pose, TPoint corner3,
                                std::int64_t W, std::int64_t H);

// Angles to evaluate instead of the grid (the typed angles of a fixed request).
struct FixedAngles {
    double angleXDeg = 0.0;
    double angleYDeg = 0.0;
};

struct SearchResult {
    tpose best;
    double error = 0.0;
};

// The best pose over the grid, or the pose of `fixed` when given. Empty on a
// fault in any evaluation. Engine::Fast gives the same pose and error bits as
// Engine::Reference, on the threads of the pool (foundation/ThreadPool.h).
std::optional<SearchResult> SearchPose(const tcamera& camera, TPoint corner3, std::int64_t W,
                                       std::int64_t H, std::optional<FixedAngles> fixed,
                                       Engine engine = DefaultEngine);
// The same for corner 3 at a position that need not be a whole pixel (a
// corner moved by a lens correction); a whole pixel gives the same result.
std::optional<SearchResult> SearchPose(const tcamera& camera, SourcePos corner3, std::int64_t W,
                                       std::int64_t H, std::optional<FixedAngles> fixed,
                                       Engine engine = DefaultEngine);

// The real width that gives the result the aspect of the best pose's
// parallelogram: realHeightCm * La / Lb. Empty on a fault.
std::optional<double> PresetWidthValue(const tpose& best, double realHeightCm);

namespace detail {
// The fast grid search (FastSearch.cpp); same contract as SearchPose without
// a fixed request. When `errors` is given it receives the error of every pose
// in loop order (GridSize * GridSize values; checked against the reference).
std::optional<SearchResult> searchGridFast(const tcamera& camera, SourcePos corner3, std::int64_t W,
                                           std::int64_t H, double* errors = nullptr);
inline std::optional<SearchResult> searchGridFast(const tcamera& camera, TPoint corner3,
                                                  std::int64_t W, std::int64_t H,
                                                  double* errors = nullptr) {
    return searchGridFast(camera,
                          SourcePos{static_cast<double>(corner3.x), static_cast<double>(corner3.y)},
                          W, H, errors);
}
// True when the fast resampling can address every pixel of `source` (under
// 2^31 bytes, far beyond any photograph); otherwise the step-by-step loop runs.
bool resampleFastFits(const pixkit::dib& source);
// The fast resampling loop (FastResample.cpp): fills `image` (24 bits, its
// memory not cleared) exactly like the step-by-step loop fills a fresh one,
// on the threads of the pool, every byte written (row padding zero). False
// on a fault; the pixels before the faulting one are then written and the
// rest is zero.
struct LensKnots;
// With `lens` the positions move by its blended displacement (rectify/Lens.h).
bool resampleFast(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                  const tedges& edges, std::int64_t W, std::int64_t H, pixkit::dib& image,
                  const LensKnots* lens = nullptr);
// True when the fast blended resampling can take `source`: 24 bits and both
// sides below 2^21 pixels (the pixels then lie below 2^31 bytes).
bool resampleSmoothFits(const pixkit::dib& source);
// The fast blended resampling (FastSmooth.cpp), Bilinear or Bicubic: fills
// `image` like resampleFast. False on a fault; the pixels before the faulting
// one are then written and the rest is zero.
bool resampleSmoothFast(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                        const tedges& edges, std::int64_t W, std::int64_t H, pixkit::dib& image,
                        Interpolation sampling, const LensKnots* lens = nullptr);
// Rows begin ... end - 1 of a width x height result, row y stored at
// first + (y - begin) * step in rows of `stride` bytes (the padding behind
// the pixels is cleared): a band of the result, or all of it.
struct OutputRows {
    int width = 0, height = 0;
    int begin = 0, end = 0;
    std::uint8_t* first = nullptr;
    std::ptrdiff_t step = 0;
    std::int32_t stride = 0;
    std::uint8_t* at(int y) const { return first + static_cast<std::ptrdiff_t>(y - begin) * step; }
    // Every row of `image` (24 bits), stored bottom-up.
    static OutputRows whole(const pixkit::dib& image) {
        const int w = pixkit::dibwidth(image), h = pixkit::dibheight(image);
        return {w,
                h,
                0,
                h,
                image.poi + static_cast<std::ptrdiff_t>(h - 1) * image.bytew,
                -static_cast<std::ptrdiff_t>(image.bytew),
                image.bytew};
    }
};
// The rows of resampleFast and resampleSmoothFast alone: the pixels of
// those rows as they write them. Returns the first faulting pixel (row-major
// index), -1 when none; the rows are then not all written.
std::int64_t resampleRows(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                          const tedges& edges, std::int64_t W, std::int64_t H,
                          const OutputRows& rows, const LensKnots* lens = nullptr);
std::int64_t resampleSmoothRows(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                                const tedges& edges, std::int64_t W, std::int64_t H,
                                const OutputRows& rows, Interpolation sampling,
                                const LensKnots* lens = nullptr);
// Whether the blended rows take eight pixels at a time where the processor
// can (on by default); returns the previous setting. For the tests, which
// check both ways against the step-by-step loop.
bool useVectorBlending(bool on);
} // namespace detail

} // namespace rectify
