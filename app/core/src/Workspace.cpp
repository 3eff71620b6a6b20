#include "app/Workspace.h"

#include "app/ProgramFolder.h"

#include "pixkit/DepthTurn.h"
#include "pixkit/ImageFile.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace app {

namespace {

constexpr int BlankWidth = 320;
constexpr int BlankHeight = 200;

std::string folderOf(const std::string& programPath) {
    const auto slash = programPath.find_last_of('/');
    if (slash == std::string::npos)
        return "./";
    return programPath.substr(0, slash + 1);
}

} // namespace

pixkit::Image openAs24(const std::string& fname) {
    // The rest of the program reads source pixels as colour values, so a
    // palette image that stayed at its depth would rectify into palette indices.
    pixkit::Image loaded;
    pixkit::OpenDib(loaded.get(), fname, 0, nullptr);
    if (loaded.empty())
        return loaded;
    if (pixkit::dibbits(loaded) != 24)
        pixkit::DepthUpTo(24, loaded.get());
    if (pixkit::dibbits(loaded) != 24)
        loaded.reset();
    return loaded;
}

void Workspace::createWorkspace(const std::string& programPath) {
    // The folder of the real program file: an installed program is started
    // through a link, and its dictionary lies beside the real file.
    progpath = folderOf(resolveProgramFile(programPath));

    // The line list of the tracing starts here, empty, before the images.
    lines.Clear();

    // The window creates its off-screen bitmaps between di3 and di2.
    slot(1).source = pixkit::Image::blank(BlankWidth, BlankHeight);
    slot(2).source = pixkit::Image::blank(BlankWidth, BlankHeight);
    di3 = pixkit::Image::blank(BlankWidth, BlankHeight);
    for (Slot& s : photos) {
        s.result = pixkit::Image::blank(BlankWidth, BlankHeight);
        s.scale.reset();
    }
    // The dictionary is loaded next (translate.dat), then the stored language.
}

bool Workspace::openPhotograph(int n, const std::string& fname) {
    pixkit::Image loaded = openAs24(fname);
    if (loaded.empty())
        return false;
    slot(n).fileName = fname;
    slot(n).source = std::move(loaded);
    return true;
}

int CornerGrabAt(int zoomPercent) {
    const long long z = std::max(zoomPercent, 1);
    const long long screen = (CornerGrabScreenPixels * 100LL + z - 1) / z; // rounded up
    return static_cast<int>(std::max<long long>(CornerGrabPixels, screen));
}

bool CornerHit(const rectify::TPoint& corner, const rectify::TPoint& p, int grab) {
    // 64-bit differences: corners dragged far outside the picture must not overflow.
    const long long dx = static_cast<long long>(p.x) - corner.x;
    const long long dy = static_cast<long long>(p.y) - corner.y;
    return std::llabs(dx) <= grab && std::llabs(dy) <= grab;
}

bool CornerReached(const rectify::TPoint& corner, const rectify::TPoint& p, int width, int height,
                   int grab) {
    if (CornerHit(corner, p, grab))
        return true;
    if (width < 1 || height < 1)
        return false;
    const rectify::TPoint edge{std::clamp(corner.x, 0, width - 1),
                               std::clamp(corner.y, 0, height - 1)};
    return edge != corner && CornerHit(edge, p, grab);
}

CornerStep Workspace::cornerDown(int n, rectify::TPoint p, const CornerOptions& options) {
    Slot& s = slot(n);
    auto corner = [&s](int i) -> rectify::TPoint& {
        return s.corners[static_cast<std::size_t>(i)];
    };
    if (!s.insetmode()) {
        if (s.setted()) {
            // With two corners in reach, the lower index wins.
            const int w = s.source.width(), h = s.source.height();
            for (int i = 0; i < CornersInQuad; ++i) {
                if (CornerReached(corner(i), p, w, h, grabPixels)) {
                    movepoint = true;
                    pointnr = i;
                    return {CornerEvent::DragStarted, i, false, false, CornerCursor::Keep};
                }
            }
        }
        // A new quad overwrites the old one corner by corner; the old one
        // still counts for the runs until the new one is complete.
        s.mode = s.setted() ? CornerMode::Replacing : CornerMode::Placing;
        corner(0) = p;
        s.following = 1;
        corner(1) = p;
        return {CornerEvent::QuadStarted, 0, false, true, CornerCursor::Keep};
    }
    corner(s.following) = p;
    s.following += 1;
    if (s.following >= CornersInQuad) {
        rectify::Corners quad = s.corners;
        int pressedLast = LastCorner;
        // Starting at the bottom-left corner: the first press becomes corner 3.
        if (n == 1 && options.startBottomLeft) {
            quad = {s.corners[1], s.corners[2], s.corners[3], s.corners[0]};
            pressedLast = LastCorner - 1;
        }
        CornerStep step = completeQuad(n, quad, options.presetSize);
        step.corner = pressedLast;
        return step;
    }
    corner(s.following) = p; // the next corner starts under the mouse
    return {CornerEvent::CornerPlaced, s.following - 1, false, true, CornerCursor::Keep};
}

CornerStep Workspace::cornerMove(int n, rectify::TPoint p) {
    Slot& s = slot(n);
    if (movepoint) {
        s.corners[static_cast<std::size_t>(pointnr)] = p;
        return {CornerEvent::Followed, pointnr, false, true, CornerCursor::Keep};
    }
    if (s.insetmode()) {
        s.corners[static_cast<std::size_t>(s.following)] = p;
        return {CornerEvent::Followed, s.following, false, true, CornerCursor::Keep};
    }
    if (s.setted()) {
        const int w = s.source.width(), h = s.source.height();
        const bool overCorner =
            std::any_of(s.corners.begin(), s.corners.end(), [&](const rectify::TPoint& c) {
                return CornerReached(c, p, w, h, grabPixels);
            });
        return {CornerEvent::Hovered, -1, false, false,
                overCorner ? CornerCursor::Hand : CornerCursor::Cross};
    }
    return {};
}

CornerStep Workspace::cornerUp(int n, rectify::TPoint p) {
    // A release while placing does nothing; one after a drag moves the
    // corner to where it was let go and runs again, without a repaint.
    if (!movepoint)
        return {};
    movepoint = false;
    slot(n).corners[static_cast<std::size_t>(pointnr)] = p;
    return {CornerEvent::DragEnded, pointnr, true, false, CornerCursor::Keep};
}

CornerStep Workspace::completeQuad(int n, const rectify::Corners& corners, bool presetWidth) {
    Slot& s = slot(n);
    s.corners = corners;
    s.mode = CornerMode::Complete;
    s.following = 0;
    if (presetWidth)
        breitetoset = true;
    return {CornerEvent::QuadCompleted, LastCorner, true, true, CornerCursor::Keep};
}

rectify::RunRequest Workspace::runRequest(int n, const FieldValues& fields) const {
    const Slot& s = slot(n);
    rectify::RunRequest r;
    r.source = &s.source.get();
    r.corners = s.corners;
    r.cornersComplete = s.setted();
    r.realWidthCm = fields.realWidthCm;
    r.realHeightCm = fields.realHeightCm;
    r.targetPercent = fields.targetPercent;
    r.areaPercent = fields.areaPercent;
    r.angleXDeg = fields.angleXDeg;
    r.angleYDeg = fields.angleYDeg;
    r.fixedAngles = setwink;
    r.hold = fields.hold;
    r.presetWidth = breitetoset;
    r.sampling = fields.sampling;
    return r;
}

void Workspace::takeRun(int n, rectify::RunResult& result) {
    if (result.fixedAnglesConsumed)
        setwink = false;
    if (result.presetConsumed)
        breitetoset = false;
    if (!result.image.empty()) {
        slot(n).result = std::move(result.image);
        slot(n).scale = result.scale;
    }
}

::lines::ExportEnd Workspace::TraceDi2(int schwellePercent, ::lines::LineEvents& events) {
    return ::lines::TraceRectified(slot(1).result.get(), schwellePercent, separation, lines,
                                   events);
}

::lines::DxfEnd Workspace::SaveAsDXF(const std::string& fname, double realWidthCm, int areaPercent,
                                     int* errorCode) {
    const pixkit::Image& di2 = slot(1).result;
    return ::lines::SaveAsDXF(fname, lines, di2.width(), di2.height(), realWidthCm, areaPercent,
                              errorCode);
}

} // namespace app
