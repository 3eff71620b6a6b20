#include "lines/WorldFile.h"

#include <cctype>
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

DxfEnd WriteWorldFile(const std::string& imageFile, const WorldFile& wf) {
    const std::string name = WorldFileName(imageFile);
    if (name.empty())
        return DxfEnd::CannotCreate;
    return WriteFileReplacing(name, WorldFileText(wf));
}

} // namespace lines
