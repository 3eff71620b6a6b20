#include "app/DrawingOutput.h"

#include "foundation/ReplaceFile.h"
#include "lines/WorldFile.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace app {

DrawingWrite WriteTracedDrawing(const std::string& fname, const Workspace& ws,
                                const pixkit::dib* picture, const rectify::RunScale& scale,
                                const DrawingChoice& choice, const std::string& photograph,
                                int pngLevel) {
    const pixkit::Image& traced = ws.slot(1).result;
    lines::DrawingRequest request;
    request.records = std::span<const lines::tlineinf>(ws.lines.begin(), ws.lines.count());
    request.tracedWidth = traced.width();
    request.tracedHeight = traced.height();
    const bool photo = choice.cad() && picture != nullptr && picture->pmi != nullptr;
    if (photo) {
        request.pictureWidth = pixkit::dibwidth(*picture);
        request.pictureHeight = pixkit::dibheight(*picture);
    }
    request.realWidthCm = scale.realWidthCm;
    request.areaPercent = scale.areaPercent;
    request.unit = choice.unit;
    request.minSizePx = choice.minSizePx;

    DrawingWrite result;
    if (photo) {
        // Names as the file system's bytes; a file that is not there is no clash.
        std::error_code ec;
        const std::string underlay = lines::UnderlayPath(fname);
        if (!photograph.empty() &&
            std::filesystem::equivalent(std::filesystem::path(underlay),
                                        std::filesystem::path(photograph), ec)) {
            result.wouldReplacePhotograph = true;
            result.error = "its photograph '" + underlay +
                           "' would replace the photograph that was rectified; give the "
                           "drawing another name";
            return result;
        }
    }
    std::vector<std::uint8_t> png;
    if (photo) {
        pixkit::WriteOptions options;
        options.pngLevel = pngLevel;
        if (const auto perCm =
                lines::PixelsPerCm(scale.realWidthCm, scale.areaPercent, request.pictureWidth))
            options.density = {*perCm, *perCm};
        const pixkit::WriteResult encoded = pixkit::EncodeDib(*picture, ".png", options, png);
        if (!encoded.ok) {
            result.error = "the photograph beside it: " + encoded.error;
            result.fault = encoded.fault;
            return result;
        }
    }
    int code = 0;
    result.end = lines::WriteDrawing(fname, choice.format, request, png, &code);
    if (!result.ok()) {
        result.error = fp::fileErrorText(code);
        result.fault = fp::fileFault(code);
    } else if (photo)
        result.underlay = lines::UnderlayPath(fname);
    return result;
}

} // namespace app
