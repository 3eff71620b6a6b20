#include "pixkit/ImageFile.h"

#include "LibraryCodecs.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

namespace pixkit {

namespace {

// Files above this are no photographs we could hold as an image anyway.
constexpr std::uint64_t MaxFileBytes = std::uint64_t{2} << 30;

struct FileCloser {
    int fd = -1;
    ~FileCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The whole file in one read, without zero-filling the buffer first.
bool readWholeFile(const std::string& fileName, std::unique_ptr<std::uint8_t[]>& buf,
                   std::size_t& size) {
    FileCloser f{::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)};
    if (f.fd < 0)
        return false;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        static_cast<std::uint64_t>(st.st_size) > MaxFileBytes)
        return false;
    size = static_cast<std::size_t>(st.st_size);
    buf.reset(new (std::nothrow) std::uint8_t[size]);
    if (!buf)
        return false;
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(f.fd, buf.get() + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    // A file that shrank while we read it is read as far as it goes.
    size = got;
    return size > 0;
}

QString toQString(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string lowerExtension(const std::string& fileName) {
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = fileName.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

enum class OutFormat { None, Bmp, BmpRle, Gif, Ilbm, Jpeg, Pcx, Tga, Tiff, Jp2, Png, WebP };

OutFormat formatForExtension(const std::string& ext) {
    struct Entry {
        const char* ext;
        OutFormat format;
    };
    static constexpr Entry table[] = {
        {".bmp", OutFormat::Bmp},  {".dib", OutFormat::Bmp},   {".rle", OutFormat::BmpRle},
        {".gif", OutFormat::Gif},  {".iff", OutFormat::Ilbm},  {".lbm", OutFormat::Ilbm},
        {".jif", OutFormat::Jpeg}, {".jpg", OutFormat::Jpeg},  {".pcx", OutFormat::Pcx},
        {".tga", OutFormat::Tga},  {".tif", OutFormat::Tiff},  {".jp2", OutFormat::Jp2},
        {".png", OutFormat::Png},  {".webp", OutFormat::WebP},
    };
    for (const Entry& e : table)
        if (ext == e.ext)
            return e.format;
    return OutFormat::None;
}

// RLE in a BMP exists only for 4 and 8 bits: a 24-bit picture is reduced to
// 256 colours first (exactly when it has no more), so the file is what its
// name says.
bool encodeBmpRle(const dib& image, std::vector<std::uint8_t>& out) {
    if (dibbits(image) != 24)
        return codec::encodeBmp(image, true, out);
    dib reduced;
    if (!codec::reduceTo256(image, reduced))
        return false;
    DibHolder holder(reduced);
    return codec::encodeBmp(holder.get(), true, out);
}

bool encode(OutFormat format, const dib& image, int jpegQuality, std::vector<std::uint8_t>& out) {
    switch (format) {
    case OutFormat::Bmp:
        return codec::encodeBmp(image, false, out);
    case OutFormat::BmpRle:
        return encodeBmpRle(image, out);
    case OutFormat::Gif:
        return codec::encodeGif(image, out);
    case OutFormat::Ilbm:
        return codec::encodeIlbm(image, out);
    case OutFormat::Jpeg:
        return codec::encodeJpeg(image, jpegQuality, out);
    case OutFormat::Pcx:
        return codec::encodePcx(image, out);
    case OutFormat::Tga:
        return codec::encodeTga(image, out);
    case OutFormat::Tiff:
        return codec::encodeWithQt(image, "tiff", out);
    case OutFormat::Jp2:
        return codec::encodeJp2(image, out);
    case OutFormat::Png:
        return codec::encodeWithQt(image, "png", out);
    case OutFormat::WebP:
        return codec::encodeWithQt(image, "webp", out);
    case OutFormat::None:
        break;
    }
    return false;
}

} // namespace

bool codec::decodeBytes(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (data.empty())
        return false;
    if (looksLikeJpeg(data)) {
        if (!decodeJpeg(data, out, maxPixels))
            return false;
        if (!applyOrientation(out, exifOrientation(data))) {
            releasedib(out);
            out = dib{};
            return false;
        }
        return true;
    }
    if (looksLikeJp2(data))
        return decodeJp2(data, out, maxPixels);
    if (looksLikeBmp(data))
        return decodeBmp(data, out);
    const char* qtFormat = nullptr;
    if (looksLikeQtFormat(data, &qtFormat))
        return decodeWithQt(data, qtFormat, out, maxPixels);
    if (looksLikePcx(data))
        return decodePcx(data, out);
    if (looksLikeIlbm(data))
        return decodeIlbm(data, out);
    // TGA has no signature: only a plausible header gets a try, and only last.
    if (looksLikeTga(data))
        return decodeTga(data, out);
    return false;
}

bool decodeImageBytes(std::span<const std::uint8_t> data, dib& out) {
    return codec::decodeBytes(data, out);
}

void OpenDib(dib& out, const std::string& fileName, int, void*) {
    out = dib{};
    std::unique_ptr<std::uint8_t[]> buf;
    std::size_t size = 0;
    if (!readWholeFile(fileName, buf, size))
        return;
    if (!decodeImageBytes(std::span<const std::uint8_t>(buf.get(), size), out))
        out = dib{};
}

std::string GetDIBOpenFilter() {
    return "Alle Bilddateien|*.bmp;*.dib;*.rle;*.jpg;*.jpeg;*.jpe;*.jif;*.jp2;*.j2k;*.j2c;*.jpc;"
           "*.png;*.gif;*.tif;*.tiff;*.webp;*.pcx;*.iff;*.lbm;*.tga;*.pnm;*.pbm;*.pgm;*.ppm"
           "|Windows-Bitmap (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle"
           "|JPEG (*.jpg;*.jpeg;*.jpe;*.jif)|*.jpg;*.jpeg;*.jpe;*.jif"
           "|JPEG 2000 (*.jp2;*.j2k;*.j2c;*.jpc)|*.jp2;*.j2k;*.j2c;*.jpc"
           "|PNG (*.png)|*.png"
           "|GIF (*.gif)|*.gif"
           "|TIFF (*.tif;*.tiff)|*.tif;*.tiff"
           "|WebP (*.webp)|*.webp"
           "|PC Paintbrush (*.pcx)|*.pcx"
           "|Amiga IFF/ILBM (*.iff;*.lbm)|*.iff;*.lbm"
           "|Targa (*.tga)|*.tga"
           "|Portable Anymap (*.pnm;*.pbm;*.pgm;*.ppm)|*.pnm;*.pbm;*.pgm;*.ppm"
           "|Alle Dateien|*.*";
}

bool CanWriteExtension(const std::string& fileName) {
    return formatForExtension(lowerExtension(fileName)) != OutFormat::None;
}

WriteResult WriteDib(const dib& image, const std::string& fileName, int jpegQuality) {
    const std::string ext = lowerExtension(fileName);
    const OutFormat format = formatForExtension(ext);
    if (format == OutFormat::None)
        return {false, ext.empty()
                           ? "cannot write '" + fileName + "': the file name has no extension"
                           : "cannot write '" + fileName + "': unknown image format '" + ext + "'"};
    if (image.poi == nullptr || image.pmi == nullptr)
        return {false, "cannot write '" + fileName + "': there is no image"};
    const int bits = dibbits(image);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return {false, "cannot write '" + fileName + "': images of " + std::to_string(bits) +
                           " bits per pixel are not supported"};

    const QString path = toQString(fileName);
    const QFileInfo info(path);
    if (!info.dir().exists())
        return {false, "cannot write '" + fileName + "': the folder does not exist"};
    if (info.isDir())
        return {false, "cannot write '" + fileName + "': a folder of that name exists"};

    std::vector<std::uint8_t> bytes;
    if (!encode(format, image, jpegQuality, bytes) || bytes.empty())
        return {false, "cannot write '" + fileName + "': the " + ext.substr(1) +
                           " encoder failed for this image"};

    // Written beside the target and renamed over it: the old file survives any failure.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {false, "cannot write '" + fileName + "': " + file.errorString().toStdString()};
    const auto total = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), total) != total) {
        const std::string why = file.errorString().toStdString();
        file.cancelWriting();
        return {false, "cannot write '" + fileName + "': " + why};
    }
    if (!file.commit())
        return {false, "cannot write '" + fileName + "': " + file.errorString().toStdString()};
    return {true, {}};
}

} // namespace pixkit
