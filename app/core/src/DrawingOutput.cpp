#include "app/DrawingOutput.h"

#include "foundation/ReplaceFile.h"
#include "lines/WorldFile.h"

#include <cstdint>
#include <span>
#include <vector>

namespace app {

DrawingWrite WriteTracedDrawing(const std::string& fname, const Workspace& ws,
                                const pixkit::dib* picture, const rectify::RunScale& scale,
                                const DrawingChoice& choice, int pngLevel) {
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
            return result;
        }
    }
    int code = 0;
    result.end = lines::WriteDrawing(fname, choice.format, request, png, &code);
    if (!result.ok())
        result.error = fp::fileErrorText(code);
    else if (photo)
        result.underlay = lines::UnderlayPath(fname);
    return result;
}

} // namespace app
