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
    if (!worldFile) {
        const pixkit::WriteResult written = pixkit::WriteDib(image, fileName, jpegQuality);
        return written.ok ? RectifiedWrite{true, {}, {}}
                          : RectifiedWrite{false, fileName, written.error};
    }

    // The world file first: when it cannot be written, nothing is touched.
    const std::string name = lines::WorldFileName(fileName);
    if (name.empty())
        return {false, fileName, "the image file has no extension to name its world file after"};
    const auto wf = image.pmi == nullptr
                        ? std::nullopt
                        : lines::ComputeWorldFile(realWidthCm, areaPercent, pixkit::dibwidth(image),
                                                  pixkit::dibheight(image));
    if (!wf)
        return {false, name, "the image has no real scale (the real width must be above 0)"};
    QFile old(QString::fromStdString(name));
    const bool hadOld = old.exists();
    const QByteArray oldText =
        hadOld && old.open(QIODevice::ReadOnly) ? old.readAll() : QByteArray();
    old.close();
    if (const lines::DxfEnd end = lines::WriteWorldFile(fileName, *wf);
        end != lines::DxfEnd::Written)
        return {false, name,
                end == lines::DxfEnd::CannotCreate ? "no file can be created in its folder"
                                                   : "writing the world file failed"};

    const pixkit::WriteResult written = pixkit::WriteDib(image, fileName, jpegQuality);
    if (written.ok)
        return {true, {}, {}};
    // The image failed: the world file goes back to what it was.
    if (hadOld)
        lines::WriteFileReplacing(
            name, std::string_view(oldText.constData(), static_cast<std::size_t>(oldText.size())));
    else
        QFile::remove(QString::fromStdString(name));
    return {false, fileName, written.error};
}

} // namespace app
