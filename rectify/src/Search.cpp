// Step-by-step pose search, error measure and width preset.

#include "rectify/Search.h"

#include <cmath>

namespace rectify {

std::optional<double> PoseError(const tcamera& camera, const tpose& pose, SourcePos corner3,
                                std::int64_t W, std::int64_t H) {
    // With the divisors W-1 and H-1 this is the parallelogram's fourth corner.
    const auto q = PlanePoint(pose, 0, H - 1, W - 1, H - 1);
    if (!q)
        return std::nullopt;
    const auto pos = ProjectToSource(camera, *q);
    if (!pos)
        return std::nullopt;
    const double dx = pos->sx - corner3.sx;
    const double dy = pos->sy - corner3.sy;
    const double e = std::sqrt(dx * dx + dy * dy);
    if (!std::isfinite(e))
        return std::nullopt;
    return e;
}

std::optional<double> PoseError(const tcamera& camera, const tpose& pose, TPoint corner3,
                                std::int64_t W, std::int64_t H) {
    return PoseError(camera, pose,
                     SourcePos{static_cast<double>(corner3.x), static_cast<double>(corner3.y)}, W,
                     H);
}

namespace {

std::optional<SearchResult> searchFixed(const tcamera& camera, SourcePos corner3, std::int64_t W,
                                        std::int64_t H, FixedAngles fixed) {
    // Every pass of the grid would evaluate these same angles from the same
    // start, and only the first pass can win, so one evaluation is the result.
    tpose pose = StartPose(camera);
    if (!EvaluatePose(camera, fixed.angleXDeg, fixed.angleYDeg, pose))
        return std::nullopt;
    const auto e = PoseError(camera, pose, corner3, W, H);
    if (!e)
        return std::nullopt;
    return SearchResult{pose, *e};
}

std::optional<SearchResult> searchGridReference(const tcamera& camera, SourcePos corner3,
                                                std::int64_t W, std::int64_t H) {
    tpose working = StartPose(camera);
    SearchResult best;
    bool first = true;
    for (int iy = -GridHalf; iy <= GridHalf; ++iy) {
        for (int ix = -GridHalf; ix <= GridHalf; ++ix) {
            if (!EvaluatePose(camera, ix / 4.0, iy / 4.0, working))
                return std::nullopt;
            const auto e = PoseError(camera, working, corner3, W, H);
            if (!e)
                return std::nullopt;
            // Strictly smaller only: among equal errors the earliest pose stays.
            if (first || *e < best.error) {
                best.best = working;
                best.error = *e;
                first = false;
            }
        }
    }
    return best;
}

} // namespace

std::optional<SearchResult> SearchPose(const tcamera& camera, TPoint corner3, std::int64_t W,
                                       std::int64_t H, std::optional<FixedAngles> fixed,
                                       Engine engine) {
    return SearchPose(camera,
                      SourcePos{static_cast<double>(corner3.x), static_cast<double>(corner3.y)}, W,
                      H, fixed, engine);
}

std::optional<SearchResult> SearchPose(const tcamera& camera, SourcePos corner3, std::int64_t W,
                                       std::int64_t H, std::optional<FixedAngles> fixed,
                                       Engine engine) {
    if (fixed)
        return searchFixed(camera, corner3, W, H, *fixed);
    if (engine == Engine::Fast)
        return detail::searchGridFast(camera, corner3, W, H);
    return searchGridReference(camera, corner3, W, H);
}

std::optional<double> PresetWidthValue(const tpose& best, double realHeightCm) {
    const tvec3 a{best.corner1.x - best.anchor.x, best.corner1.y - best.anchor.y,
                  best.corner1.z - best.anchor.z};
    const tvec3 b{best.corner2.x - best.corner1.x, best.corner2.y - best.corner1.y,
                  best.corner2.z - best.corner1.z};
    const double La = std::sqrt(Dot(a, a));
    const double Lb = std::sqrt(Dot(b, b));
    if (Lb == 0.0)
        return std::nullopt;
    const double width = realHeightCm * La / Lb;
    if (!std::isfinite(width))
        return std::nullopt;
    return width;
}

} // namespace rectify
