#include "app/RectifiedOutput.h"

#include "lines/WorldFile.h"
#include "pixkit/ImageFile.h"

#include <QFile>
#include <QString>

#include <cmath>
#include <limits>

namespace app {

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

RectifiedWrite WriteRectified(pixkit::dib& image, const std::string& fileName, int jpegQuality,
                              double realWidthCm, int areaPercent, bool worldFile) {
    SetRealScale(image, realWidthCm, areaPercent);
    const pixkit::WriteResult written = pixkit::WriteDib(image, fileName, jpegQuality);
    if (!written.ok)
        return {false, fileName, written.error};
    if (!worldFile)
        return {true, {}, {}};

    const std::string name = lines::WorldFileName(fileName);
    std::string why;
    const auto wf = image.pmi == nullptr
                        ? std::nullopt
                        : lines::ComputeWorldFile(realWidthCm, areaPercent, pixkit::dibwidth(image),
                                                  pixkit::dibheight(image));
    if (name.empty())
        why = "the image file has no extension to name its world file after";
    else if (!wf)
        why = "the image has no real scale (the real width must be above 0)";
    else if (const lines::DxfEnd end = lines::WriteWorldFile(fileName, *wf);
             end != lines::DxfEnd::Written)
        why = end == lines::DxfEnd::CannotCreate ? "no file can be created in its folder"
                                                 : "writing the world file failed";
    if (why.empty())
        return {true, {}, {}};
    QFile::remove(QString::fromStdString(fileName));
    return {false, name.empty() ? fileName : name, why};
}

} // namespace app
