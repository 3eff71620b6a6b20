#include "app/RectifiedOutput.h"

#include "foundation/ReplaceFile.h"
#include "lines/WorldFile.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace app {

namespace {

// A world file is six short lines and GDAL's sidecar a few more; anything
// far larger in their place is no file of ours to keep a copy of.
constexpr std::size_t MaxKeptBytes = std::size_t{1} << 20;

// One file beside the picture: its new text on the way, and what was there.
struct Beside {
    std::string name;
    std::string text;
    fp::PendingFile file;
    std::optional<std::string> old; // the old bytes; empty when there was none

    Beside(std::string n, std::string t) : name(std::move(n)), text(std::move(t)), file(name) {}
};

// Puts back what was there before: the old bytes, or no file at all.
void restore(const Beside& b) {
    if (b.old)
        fp::replaceFile(b.name, *b.old);
    else
        ::unlink(b.name.c_str());
}

RectifiedWrite failedFile(const std::string& file, int code) {
    return {false, file, fp::fileErrorText(code), fp::fileFault(code)};
}

// The world files of a picture of width x height (`scaled`: it has a
// record to carry its scale), each written to its pending replacement, the
// old bytes kept; a failure names the file and why.
std::optional<RectifiedWrite> prepareBesides(const std::string& fileName, bool scaled, int width,
                                             int height, double realWidthCm, int areaPercent,
                                             lines::DrawingUnit unit,
                                             std::vector<Beside>& besides) {
    const std::vector<std::string> names = lines::WorldFileNames(fileName);
    if (names.empty())
        return RectifiedWrite{false, fileName,
                              "the image file has no extension to name its world file after",
                              fp::kindFault(fp::FaultKind::NoWorldFileName)};
    const auto wf = !scaled
                        ? std::nullopt
                        : lines::ComputeWorldFile(realWidthCm, areaPercent, width, height, unit);
    if (!wf)
        return RectifiedWrite{false, names.front(),
                              "the image has no real scale (the real width must be above 0)",
                              fp::kindFault(fp::FaultKind::NoScale)};

    // Every file is written in full before any replaces an old one.
    const std::string sidecar = lines::GdalSidecarName(fileName);
    besides.reserve(names.size());
    for (const std::string& name : names) {
        Beside& b = besides.emplace_back(name, name == sidecar ? lines::GdalSidecarText(*wf)
                                                               : lines::WorldFileText(*wf));
        std::string bytes;
        const int read = fp::readRegularFile(name, bytes, MaxKeptBytes);
        if (read == 0)
            b.old = std::move(bytes);
        else if (read != ENOENT)
            return failedFile(name, read);
        if (b.file.write(b.text) != 0)
            return failedFile(name, b.file.error());
    }
    return std::nullopt;
}

// The world files first, then the picture; a failure on the way puts back
// every world file already in place.
RectifiedWrite commitAll(std::vector<Beside>& besides, fp::PendingFile& picture,
                         const std::string& fileName) {
    for (std::size_t k = 0; k < besides.size(); ++k)
        if (const int e = besides[k].file.commit(); e != 0) {
            for (std::size_t j = 0; j < k; ++j)
                restore(besides[j]);
            return failedFile(besides[k].name, e);
        }
    if (const int e = picture.commit(); e != 0) {
        for (const Beside& b : besides)
            restore(b);
        return failedFile(fileName, e);
    }
    return {true, {}, {}, {}};
}

} // namespace

void SetRealScale(pixkit::dib& image, double realWidthCm, int areaPercent) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return;
    const auto perCm = lines::PixelsPerCm(realWidthCm, areaPercent, pixkit::dibwidth(image));
    if (!perCm)
        return;
    const double ppm = std::nearbyint(*perCm * 100.0);
    if (!(ppm >= 1.0 && ppm <= std::numeric_limits<std::int32_t>::max()))
        return;
    image.pmi->bmiHeader.biXPelsPerMeter = static_cast<std::int32_t>(ppm);
    image.pmi->bmiHeader.biYPelsPerMeter = static_cast<std::int32_t>(ppm);
}

RectifiedWrite WriteRectified(pixkit::dib& image, const std::string& fileName, double realWidthCm,
                              int areaPercent, const RectifiedOptions& options) {
    SetRealScale(image, realWidthCm, areaPercent);
    // The exact scale for the fields that hold fractions (EXIF, TIFF); the
    // rounded pixels per metre above remain for a reader of the record.
    pixkit::WriteOptions write = options.write;
    if (image.pmi != nullptr)
        if (const auto perCm =
                lines::PixelsPerCm(realWidthCm, areaPercent, pixkit::dibwidth(image)))
            write.density = {*perCm, *perCm};
    if (!options.worldFile) {
        const pixkit::WriteResult written = pixkit::WriteDib(image, fileName, write);
        return written.ok ? RectifiedWrite{true, {}, {}, {}}
                          : RectifiedWrite{false, fileName, written.error, written.fault};
    }

    std::vector<Beside> besides;
    if (const std::optional<RectifiedWrite> refused = prepareBesides(
            fileName, image.pmi != nullptr, pixkit::dibwidth(image), pixkit::dibheight(image),
            realWidthCm, areaPercent, options.unit, besides))
        return *refused;
    fp::PendingFile picture(fileName);
    const pixkit::WriteResult written = pixkit::WriteDibInto(image, fileName, write, picture);
    if (!written.ok)
        return {false, fileName, written.error, written.fault};
    return commitAll(besides, picture, fileName);
}

RectifiedWrite CommitRectified(fp::PendingFile& picture, const std::string& fileName, int width,
                               int height, double realWidthCm, int areaPercent,
                               const RectifiedOptions& options) {
    std::vector<Beside> besides;
    if (options.worldFile)
        if (const std::optional<RectifiedWrite> refused = prepareBesides(
                fileName, true, width, height, realWidthCm, areaPercent, options.unit, besides))
            return *refused;
    return commitAll(besides, picture, fileName);
}

RectifiedWrite WriteRectified(pixkit::dib& image, const std::string& fileName, int jpegQuality,
                              double realWidthCm, int areaPercent, bool worldFile) {
    RectifiedOptions options;
    options.write.jpegQuality = jpegQuality;
    options.worldFile = worldFile;
    return WriteRectified(image, fileName, realWidthCm, areaPercent, options);
}

} // namespace app
