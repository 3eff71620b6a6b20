// One rectification run of one image slot: corners, camera, target size,
// search, angle write-back, then the width preset or the new result image.

#include "rectify/Run.h"

#include "rectify/Camera.h"
#include "rectify/Search.h"

namespace rectify {

RunEnd RectifyImage(RunFields& fields, RunFlags flags, const SlotFields& slot, Engine engine,
                    RunScope scope) {
    if (fields.holdChecked())
        return RunEnd::Held;

    if (!slot.setted) {
        flags.setwink = false;
        return RunEnd::NoCorners;
    }
    if (!CornersDistinct(slot.corners)) {
        flags.setwink = false;
        return RunEnd::CornersCoincide;
    }

    // A slot without a photograph: the library has nothing to measure, which
    // ends the run like any failure inside it.
    if (slot.source.poi == nullptr || slot.source.pmi == nullptr)
        return RunEnd::Fault;
    const tcamera camera = MakeCamera(slot.source, slot.corners);

    // Read in the order width, height, target percentage.
    const double realWidthCm = fields.realWidthCm();
    const double realHeightCm = fields.realHeightCm();
    const int targetPercent = fields.targetPercent();
    const TargetSizeResult size =
        TargetSize(slot.corners, realWidthCm, realHeightCm, targetPercent);
    if (size.status == TargetSizeResult::Status::NoSize)
        return RunEnd::NoTargetSize;
    if (size.status == TargetSizeResult::Status::Fault)
        return RunEnd::Fault;

    std::optional<FixedAngles> fixed;
    if (flags.setwink) {
        const double angleXDeg = fields.angleXDeg();
        const double angleYDeg = fields.angleYDeg();
        fixed = FixedAngles{angleXDeg, angleYDeg};
    }
    const auto found = SearchPose(camera, slot.corners[3], size.W, size.H, fixed, engine);
    if (!found)
        return RunEnd::Fault; // setwink and the angle fields stay as they were

    flags.setwink = false;

    // The angle fields' change handler must not take this write for a typed angle.
    flags.donotreender = true;
    fields.setAngleXDeg(found->best.angleX);
    fields.setAngleYDeg(found->best.angleY);
    flags.donotreender = false;

    if (flags.breitetoset) {
        flags.breitetoset = false;
        return PresetWidth(found->best, fields) ? RunEnd::WidthPreset : RunEnd::Fault;
    }
    if (scope == RunScope::PoseOnly)
        return RunEnd::PoseOnly;

    const int areaPercent = fields.areaPercent();
    const Interpolation sampling = fields.interpolation();
    switch (ResampleRectified(slot.source, camera, found->best, size.W, size.H, areaPercent,
                              slot.result, engine, sampling)) {
    case ResampleEnd::NoImage:
        return RunEnd::NoImage;
    case ResampleEnd::Empty:
        return RunEnd::EmptyImage;
    case ResampleEnd::TooLarge: {
        const auto refused = ScaledResultSize(size.W, size.H, areaPercent);
        fields.resultRefused(refused ? refused->width : 0, refused ? refused->height : 0);
        return RunEnd::TooLarge;
    }
    case ResampleEnd::Fault:
        return RunEnd::Fault; // the partly filled image stays, no repaint
    case ResampleEnd::Done:
        break;
    }
    fields.repaintResult(slot.slot);
    return RunEnd::Done;
}

} // namespace rectify
