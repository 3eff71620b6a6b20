#include "pixkit/ImageFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstring>

namespace pixkit {

namespace {

QString toQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string lowerExtension(const std::string& fileName) {
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = fileName.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

void OpenDib(dib& out, const std::string& fileName, int, void*) {
    out = dib{};
    QImageReader reader(toQString(fileName));
    reader.setAutoTransform(true);
    QImage img = reader.read();
    if (img.isNull())
        return;
    img = img.convertToFormat(QImage::Format_RGB888);
    newdib(out, img.width(), img.height(), 24, nullptr, 0);
    if (out.poi == nullptr)
        return;
    for (int y = 0; y < img.height(); ++y) {
        const uchar* src = img.constScanLine(y);
        std::uint8_t* dst = pictureRow(out, y);
        for (int x = 0; x < img.width(); ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
}

std::string GetDIBOpenFilter() {
    return "Alle Bilder|*.bmp;*.dib;*.rle;*.gif;*.jpg;*.jpeg;*.jif;*.png;*.tif;*.tiff;*.webp;*.tga;"
           "*.pnm;*.pbm;*.pgm;*.ppm;*.pcx;*.iff;*.lbm;*.jp2|Alle Dateien|*.*";
}

bool CanWriteExtension(const std::string& fileName) {
    static const char* const known[] = {".bmp", ".dib", ".rle", ".gif", ".iff", ".jif", ".jpg", ".lbm",
                                        ".pcx", ".tga", ".tif", ".jp2", ".png", ".webp"};
    const std::string ext = lowerExtension(fileName);
    return std::any_of(std::begin(known), std::end(known), [&](const char* k) { return ext == k; });
}

WriteResult WriteDib(const dib& image, const std::string& fileName, int jpegQuality) {
    if (image.poi == nullptr || image.pmi == nullptr || dibbits(image) != 24)
        return {false, "no 24-bit image to write"};
    const std::string ext = lowerExtension(fileName);
    const char* fmt = nullptr;
    if (ext == ".jpg" || ext == ".jif")
        fmt = "JPEG";
    else if (ext == ".png")
        fmt = "PNG";
    else if (ext == ".bmp" || ext == ".dib")
        fmt = "BMP";
    else if (ext == ".tif")
        fmt = "TIFF";
    else if (ext == ".webp")
        fmt = "WEBP";
    if (fmt == nullptr)
        return {false, "unsupported output format '" + ext + "'"};
    const int w = dibwidth(image), h = dibheight(image);
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = pictureRow(image, y);
        uchar* dst = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    QSaveFile f(toQString(fileName));
    if (!f.open(QIODevice::WriteOnly))
        return {false, f.errorString().toStdString()};
    if (!img.save(&f, fmt, jpegQuality)) {
        f.cancelWriting();
        return {false, "encoder failed"};
    }
    if (!f.commit())
        return {false, f.errorString().toStdString()};
    return {true, {}};
}

} // namespace pixkit
