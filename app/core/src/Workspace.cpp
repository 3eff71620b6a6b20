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

// Reads a photograph and brings it to 24 bits. Empty record when the file
// cannot be read or the image cannot be brought to 24 bits: the rest of the
// program reads source pixels as colour values, so a palette image that
// stayed at its depth would rectify into palette indices.
pixkit::DibHolder openAs24(const std::string& fname) {
    pixkit::DibHolder loaded;
    pixkit::OpenDib(loaded.get(), fname, 0, nullptr);
    if (loaded.empty())
        return loaded;
    if (pixkit::dibbits(loaded.get()) != 24)
        pixkit::DepthUpTo(24, loaded.get());
    if (pixkit::dibbits(loaded.get()) != 24)
        loaded.install(pixkit::dib{});
    return loaded;
}

void makeBlank(pixkit::dib& d) {
    pixkit::releasedib(d);
    pixkit::newdib(d, BlankWidth, BlankHeight, 24, nullptr, 0);
}

std::string folderOf(const std::string& programPath) {
    const auto slash = programPath.find_last_of('/');
    if (slash == std::string::npos)
        return "./";
    return programPath.substr(0, slash + 1);
}

} // namespace

Workspace::Workspace() = default;

Workspace::~Workspace() {
    pixkit::releasedib(di);
    pixkit::releasedib(di2);
    pixkit::releasedib(bi);
    pixkit::releasedib(bi2);
    pixkit::releasedib(di3);
}

void Workspace::createWorkspace(const std::string& programPath) {
    // The folder of the real program file: an installed program is started
    // through a link, and its dictionary lies beside the real file.
    progpath = folderOf(resolveProgramFile(programPath));
    percent = 50;
    pinsel = 10;
    paintcol = 0xFFFFFF;

    // The line list of the tracing starts here, empty, before the images.
    lines.Clear();

    // The window creates its off-screen bitmaps between di3 and di2.
    makeBlank(di);
    makeBlank(bi);
    makeBlank(di3);
    makeBlank(di2);
    makeBlank(bi2);

    // The dictionary is loaded here (translate.dat), before the matrix.

    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            id[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = r == c ? 1.0 : 0.0;

    // The stored language is read here (options.dat), after the matrix.

    terminateit = false;
}

bool Workspace::TryToOpenFile(const std::string& fname) {
    pixkit::DibHolder loaded = openAs24(fname);
    if (loaded.empty())
        return false;
    filename1 = fname;
    pixkit::replaceDib(di, loaded.take());
    PaintBox1Paint();
    return true;
}

bool Workspace::TryToOpenFile2(const std::string& fname) {
    pixkit::DibHolder loaded = openAs24(fname);
    if (loaded.empty())
        return false;
    filename2 = fname;
    pixkit::replaceDib(bi, loaded.take());
    showImage2Row();
    PaintBox4Paint();
    return true;
}

bool CornerHit(const rectify::TPoint& corner, const rectify::TPoint& p) {
    // 64-bit differences: corners dragged far outside the picture must not overflow.
    const long long dx = static_cast<long long>(p.x) - corner.x;
    const long long dy = static_cast<long long>(p.y) - corner.y;
    return std::llabs(dx) <= CornerGrabPixels && std::llabs(dy) <= CornerGrabPixels;
}

namespace {
// Width and height of a source image; 0 x 0 before there is one.
std::pair<int, int> pictureSize(const pixkit::dib& d) {
    if (d.pmi == nullptr)
        return {0, 0};
    return {pixkit::dibwidth(d), pixkit::dibheight(d)};
}
} // namespace

bool CornerReached(const rectify::TPoint& corner, const rectify::TPoint& p, int width, int height) {
    if (CornerHit(corner, p))
        return true;
    if (width < 1 || height < 1)
        return false;
    const rectify::TPoint edge{std::clamp(corner.x, 0, width - 1),
                               std::clamp(corner.y, 0, height - 1)};
    return edge != corner && CornerHit(edge, p);
}

CornerSlot Workspace::cornerSlot(int slot) {
    if (slot == 1)
        return {points, insetmode, setted, mode};
    return {doints, insetmode2, setted2, mode2};
}

CornerStep Workspace::cornerDown(int slot, rectify::TPoint p, const CornerOptions& options) {
    CornerSlot s = cornerSlot(slot);
    auto corner = [&](int i) -> rectify::TPoint& { return s.corners[static_cast<std::size_t>(i)]; };
    const auto [w, h] = pictureSize(slot == 1 ? di : bi);
    if (!s.insetmode) {
        if (s.setted) {
            // With two corners in reach, the lower index wins.
            for (int i = 0; i < CornersInQuad; ++i) {
                if (CornerReached(corner(i), p, w, h)) {
                    movepoint = true;
                    pointnr = i;
                    return {};
                }
            }
        }
        // A new quad overwrites the old one corner by corner; setted stays.
        s.insetmode = true;
        corner(0) = p;
        s.mode = ModeFirstFollows;
        corner(1) = p;
        return {false, true, CornerCursor::Keep};
    }
    corner(s.mode) = p;
    s.mode += 1;
    if (s.mode >= CornersInQuad) {
        rectify::Corners quad = s.corners;
        // Starting at the bottom-left corner: the first press becomes corner 3.
        if (slot == 1 && options.startBottomLeft)
            quad = {s.corners[1], s.corners[2], s.corners[3], s.corners[0]};
        return completeQuad(slot, quad, options.presetSize);
    }
    corner(s.mode) = p; // the next corner starts under the mouse
    return {false, true, CornerCursor::Keep};
}

CornerStep Workspace::cornerMove(int slot, rectify::TPoint p) {
    CornerSlot s = cornerSlot(slot);
    if (movepoint) {
        s.corners[static_cast<std::size_t>(pointnr)] = p;
        return {false, true, CornerCursor::Keep};
    }
    if (s.insetmode && s.mode <= ModeComplete) {
        s.corners[static_cast<std::size_t>(s.mode)] = p;
        return {false, true, CornerCursor::Keep};
    }
    if (s.setted) {
        const auto [w, h] = pictureSize(slot == 1 ? di : bi);
        const bool overCorner =
            std::any_of(s.corners.begin(), s.corners.end(),
                        [&](const rectify::TPoint& c) { return CornerReached(c, p, w, h); });
        return {false, false, overCorner ? CornerCursor::Hand : CornerCursor::Cross};
    }
    return {};
}

CornerStep Workspace::cornerUp(int slot, rectify::TPoint p) {
    // A release while placing does nothing; one after a drag moves the
    // corner to where it was let go and runs again, without a repaint.
    if (!movepoint)
        return {};
    movepoint = false;
    cornerSlot(slot).corners[static_cast<std::size_t>(pointnr)] = p;
    return {true, false, CornerCursor::Keep};
}

CornerStep Workspace::completeQuad(int slot, const rectify::Corners& corners, bool presetWidth) {
    CornerSlot s = cornerSlot(slot);
    s.corners = corners;
    s.insetmode = false;
    s.setted = true;
    s.mode = ModeComplete;
    if (presetWidth)
        breitetoset = true;
    return {true, true, CornerCursor::Keep};
}

rectify::RunEnd Workspace::RenderDi2(rectify::RunScope scope) {
    return rectify::RectifyImage(runFields(), rectify::RunFlags{setwink, breitetoset, donotreender},
                                 rectify::SlotFields{1, setted, points, di, di2},
                                 rectify::Engine::Fast, scope);
}

rectify::RunEnd Workspace::renderdi4() {
    return rectify::RectifyImage(runFields(), rectify::RunFlags{setwink, breitetoset, donotreender},
                                 rectify::SlotFields{2, setted2, doints, bi, bi2},
                                 rectify::Engine::Fast);
}

::lines::ExportEnd Workspace::TraceDi2(int schwellePercent, ::lines::LineEvents& events) {
    return ::lines::TraceRectified(di2, schwellePercent, separation, lines, events);
}

::lines::DxfEnd Workspace::SaveAsDXF(const std::string& fname) {
    const bool haveImage = di2.poi != nullptr && di2.pmi != nullptr;
    return ::lines::SaveAsDXF(fname, lines, haveImage ? pixkit::dibwidth(di2) : 0,
                              haveImage ? pixkit::dibheight(di2) : 0, runFields().realWidthCm(),
                              runFields().areaPercent());
}

} // namespace app
