#include "lines/WorldFile.h"

#include "foundation/ReplaceFile.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace lines {

std::optional<WorldFile> ComputeWorldFile(double realWidthCm, double areaPercent, int width,
                                          int height, DrawingUnit unit) {
    if (width <= 0 || height <= 0 || !(areaPercent > 0.0))
        return std::nullopt;
    const DxfScale sc = ComputeDxfScale(realWidthCm, areaPercent, width, unit);
    if (!(sc.s > 0.0) || !std::isfinite(sc.s))
        return std::nullopt;
    WorldFile wf;
    wf.pixelWidth = sc.s;
    wf.pixelHeight = -sc.s;
    wf.centreX = sc.s / 2;
    wf.centreY = static_cast<double>(height) * sc.s - sc.s / 2;
    return wf;
}

std::string WorldFileText(const WorldFile& wf) {
    std::string text;
    for (double v :
         {wf.pixelWidth, wf.rotationY, wf.rotationX, wf.pixelHeight, wf.centreX, wf.centreY})
        text += FormatDxfNumber(v) + "\n";
    return text;
}

std::string WorldFileName(const std::string& imageFile) {
    const auto dot = imageFile.find_last_of('.');
    const auto slash = imageFile.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 >= imageFile.size())
        return {};
    auto lower = [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    };
    std::string ext = imageFile.substr(dot + 1);
    for (char& c : ext)
        c = lower(c);
    if (ext == "webp")
        return imageFile.substr(0, dot + 1) + "wld";
    return imageFile.substr(0, dot + 1) + lower(imageFile[dot + 1]) + lower(imageFile.back()) + "w";
}

std::optional<double> PixelsPerCm(double realWidthCm, double areaPercent, int width) {
    if (!(areaPercent > 0.0) || !(realWidthCm > 0.0))
        return std::nullopt;
    const double k = static_cast<double>(width) / areaPercent * 100.0;
    const double perCm = k / realWidthCm;
    if (!(perCm > 0.0) || !std::isfinite(perCm))
        return std::nullopt;
    return perCm;
}

std::string GdalSidecarName(const std::string& imageFile) {
    const auto dot = imageFile.find_last_of('.');
    const auto slash = imageFile.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = imageFile.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "webp" || ext == "tga" ? imageFile + ".aux.xml" : std::string();
}

std::string GdalSidecarText(const WorldFile& wf) {
    auto number = [](double v) {
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, v);
        return std::string(buf, res.ptr);
    };
    // GDAL's order: origin X, pixel width, rotation, origin Y, rotation,
    // pixel height; the origin is the pixel's corner, not its centre.
    const double originX = wf.centreX - wf.pixelWidth / 2 - wf.rotationX / 2;
    const double originY = wf.centreY - wf.rotationY / 2 - wf.pixelHeight / 2;
    return "<PAMDataset>\n  <GeoTransform>" + number(originX) + ", " + number(wf.pixelWidth) +
           ", " + number(wf.rotationX) + ", " + number(originY) + ", " + number(wf.rotationY) +
           ", " + number(wf.pixelHeight) + "</GeoTransform>\n</PAMDataset>\n";
}

std::vector<std::string> WorldFileNames(const std::string& imageFile) {
    std::vector<std::string> names;
    if (std::string name = WorldFileName(imageFile); !name.empty())
        names.push_back(std::move(name));
    if (std::string sidecar = GdalSidecarName(imageFile); !sidecar.empty() && !names.empty())
        names.push_back(std::move(sidecar));
    return names;
}

DxfEnd WriteWorldFile(const std::string& imageFile, const WorldFile& wf) {
    const std::string name = WorldFileName(imageFile);
    if (name.empty())
        return DxfEnd::CannotCreate;
    const std::string sidecar = GdalSidecarName(imageFile);
    if (sidecar.empty())
        return WriteFileReplacing(name, WorldFileText(wf));
    fp::PendingFile world(name), gdal(sidecar);
    const std::string worldText = WorldFileText(wf), gdalText = GdalSidecarText(wf);
    int e = world.write(worldText);
    if (e == 0)
        e = gdal.write(gdalText);
    if (e == 0)
        e = world.commit();
    if (e == 0)
        e = gdal.commit();
    return DxfEndOf(e);
}

} // namespace lines
