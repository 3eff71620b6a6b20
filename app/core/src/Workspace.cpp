#include "app/Workspace.h"

#include "app/ProgramFolder.h"

#include "pixkit/DepthTurn.h"
#include "pixkit/ImageFile.h"

namespace app {

namespace {

constexpr int BlankWidth = 320;
constexpr int BlankHeight = 200;

// Reads a photograph and brings it to 24 bits. Empty record when the file
// cannot be read or the image cannot be brought to 24 bits: the rest of the
// program reads source pixels as colour values, so a palette image that
// stayed at its depth would rectify into palette indices.
pixkit::dib openAs24(const std::string& fname) {
    pixkit::dib loaded;
    pixkit::OpenDib(loaded, fname, 0, nullptr);
    if (loaded.poi == nullptr)
        return pixkit::dib{};
    if (pixkit::dibbits(loaded) != 24)
        pixkit::DepthUpTo(24, loaded);
    if (pixkit::dibbits(loaded) != 24) {
        pixkit::releasedib(loaded);
        return pixkit::dib{};
    }
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
    const pixkit::dib loaded = openAs24(fname);
    if (loaded.poi == nullptr)
        return false;
    filename1 = fname;
    pixkit::releasedib(di);
    di = loaded;
    PaintBox1Paint();
    return true;
}

bool Workspace::TryToOpenFile2(const std::string& fname) {
    const pixkit::dib loaded = openAs24(fname);
    if (loaded.poi == nullptr)
        return false;
    filename2 = fname;
    pixkit::releasedib(bi);
    bi = loaded;
    showImage2Row();
    PaintBox4Paint();
    return true;
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
