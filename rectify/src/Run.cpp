// One rectification run of one photograph: corners, camera, target size,
// search, then the width preset or the new rectified image.

#include "rectify/Run.h"

#include "rectify/Search.h"

#include <cmath>

namespace rectify {

std::optional<double> ScalePixelsPerCm(double realWidthCm, int areaPercent, int width) {
    if (!(areaPercent > 0) || !(realWidthCm > 0.0))
        return std::nullopt;
    const double k = static_cast<double>(width) / static_cast<double>(areaPercent) * 100.0;
    const double perCm = k / realWidthCm;
    if (!(perCm > 0.0) || !std::isfinite(perCm))
        return std::nullopt;
    return perCm;
}

RunResult run(const RunRequest& request) {
    RunResult result;
    auto ended = [&result](RunEnd end) -> RunResult {
        result.end = end;
        return std::move(result);
    };
    if (request.hold)
        return ended(RunEnd::Held);

    if (!request.cornersComplete) {
        result.fixedAnglesConsumed = true;
        return ended(RunEnd::NoCorners);
    }
    if (!CornersDistinct(request.corners)) {
        result.fixedAnglesConsumed = true;
        return ended(RunEnd::CornersCoincide);
    }

    // Without a photograph there is nothing to measure, which ends the run
    // like any failure inside it.
    const pixkit::dib* source = request.source;
    if (source == nullptr || source->poi == nullptr || source->pmi == nullptr)
        return ended(RunEnd::Fault);
    // Where the camera sees the corners: their pixels, or with a lens their
    // places in the corrected photograph.
    CornerPositions seen{};
    Corners sized = request.corners;
    for (std::size_t k = 0; k < 4; ++k)
        seen[k] = {static_cast<double>(request.corners[k].x),
                   static_cast<double>(request.corners[k].y)};
    const LensGeometry* lens = request.lens;
    if (lens != nullptr) {
        const int w = pixkit::dibwidth(*source), h = pixkit::dibheight(*source);
        if (lens->width() != w || lens->height() != h)
            return ended(RunEnd::Fault);
        for (std::size_t k = 0; k < 4; ++k) {
            const TPoint c = request.corners[k];
            if (!InLensRange(c.x, c.y, w, h))
                return ended(RunEnd::Fault);
            seen[k] = lens->toCorrected(c.x, c.y);
            if (!InLensRange(seen[k].sx, seen[k].sy, w, h))
                return ended(RunEnd::Fault);
            sized[k] = {static_cast<std::int32_t>(std::nearbyint(seen[k].sx)),
                        static_cast<std::int32_t>(std::nearbyint(seen[k].sy))};
        }
    }
    const tcamera camera = MakeCameraAt(*source, seen);

    const TargetSizeResult size =
        TargetSize(sized, request.realWidthCm, request.realHeightCm, request.targetPercent);
    if (size.status == TargetSizeResult::Status::NoSize)
        return ended(RunEnd::NoTargetSize);
    if (!CornersSpanQuad(request.corners)) {
        result.fixedAnglesConsumed = true;
        return ended(RunEnd::CornersNoQuad);
    }
    if (size.status == TargetSizeResult::Status::Fault)
        return ended(RunEnd::Fault);

    std::optional<FixedAngles> fixed;
    if (request.fixedAngles)
        fixed = FixedAngles{request.angleXDeg, request.angleYDeg};
    const auto found = SearchPose(camera, seen[3], size.W, size.H, fixed, request.engine);
    if (!found)
        return ended(RunEnd::Fault); // the typed angles stay for the next run

    result.fixedAnglesConsumed = true;
    result.pose = found->best;

    if (request.presetWidth) {
        result.presetConsumed = true;
        result.presetWidthCm = PresetWidthValue(found->best, request.realHeightCm);
        return ended(result.presetWidthCm ? RunEnd::WidthPreset : RunEnd::Fault);
    }
    if (request.scope == RunScope::PoseOnly)
        return ended(RunEnd::PoseOnly);

    std::optional<ResampleEnd> streamed;
    int streamedWidth = 0;
    if (request.rows != nullptr && lens == nullptr)
        streamed =
            ResampleRectifiedRows(*source, camera, found->best, size.W, size.H, request.areaPercent,
                                  request.sampling, request.engine, *request.rows, &streamedWidth);
    if (streamed == ResampleEnd::Done)
        result.scale =
            RunScale{request.realWidthCm, request.realHeightCm, request.areaPercent,
                     ScalePixelsPerCm(request.realWidthCm, request.areaPercent, streamedWidth)};
    const ResampleEnd resampled =
        streamed
            ? *streamed
            : ResampleRectified(*source, camera, found->best, size.W, size.H, request.areaPercent,
                                result.image.get(), request.engine, request.sampling, lens);
    if (!result.image.empty()) {
        const int width = result.image.width();
        result.scale = RunScale{request.realWidthCm, request.realHeightCm, request.areaPercent,
                                ScalePixelsPerCm(request.realWidthCm, request.areaPercent, width)};
    }
    switch (resampled) {
    case ResampleEnd::NoImage:
        return ended(RunEnd::NoImage);
    case ResampleEnd::Empty:
        return ended(RunEnd::EmptyImage);
    case ResampleEnd::TooLarge: {
        const auto refused = ScaledResultSize(size.W, size.H, request.areaPercent);
        result.refusedWidth = refused ? refused->width : 0;
        result.refusedHeight = refused ? refused->height : 0;
        return ended(RunEnd::TooLarge);
    }
    case ResampleEnd::Fault:
        return ended(RunEnd::Fault); // the partly filled image goes with the result
    case ResampleEnd::Done:
        break;
    }
    return ended(RunEnd::Done);
}

} // namespace rectify
