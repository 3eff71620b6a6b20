#include "LibraryCodecs.h"

#include "CodecBytes.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace pixkit::codec {

namespace {

// Signature given as a string literal; embedded zero bytes count.
template <std::size_t N> bool startsWith(Bytes data, const char (&sig)[N]) {
    return data.size() >= N - 1 && std::memcmp(data.data(), sig, N - 1) == 0;
}

bool isSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Bits per pixel the file really stores for a palette picture, where the
// header says so (PNG's bit depth); 8 when the file does not tell.
int storedPaletteBits(Bytes data, const char* format) {
    int bits = 8;
    if (std::strcmp(format, "png") == 0 && data.size() >= 26) {
        const int depth = data[24], colourType = data[25];
        if (colourType == 3 || colourType == 0)
            bits = depth;
    }
    if (bits <= 1)
        return 1;
    return bits <= 4 ? 4 : 8;
}

// Qt shows what it could decode of a cut-off PNG or GIF; we want all of the
// picture or nothing, so the file's structure is walked to its end first.
bool pngComplete(Bytes data) {
    std::size_t pos = 8;
    while (data.size() - pos >= 12) {
        const std::size_t len = (std::size_t{data[pos]} << 24) |
                                (std::size_t{data[pos + 1]} << 16) |
                                (std::size_t{data[pos + 2]} << 8) | data[pos + 3];
        if (len > data.size() - pos - 12)
            return false;
        if (std::memcmp(data.data() + pos + 4, "IEND", 4) == 0)
            return true;
        pos += 12 + len;
    }
    return false;
}

// Skips a chain of GIF sub-blocks up to and including its empty terminator.
bool skipSubBlocks(Bytes data, std::size_t& pos) {
    while (pos < data.size()) {
        const std::size_t n = data[pos++];
        if (n == 0)
            return true;
        if (n > data.size() - pos)
            return false;
        pos += n;
    }
    return false;
}

std::size_t gifTableBytes(std::uint8_t flags) {
    return (flags & 0x80) != 0 ? 3 * (std::size_t{2} << (flags & 7)) : 0;
}

// Qt's reader paints the first frame on a canvas of the logical screen's
// size (or the frame's far corner) and fills all of it first. A canvas over
// `maxPixels`, or one far larger than the file could ever describe (no GIF
// encoder spends less than a byte per 4096 pixels; a crafted 109-byte file
// can declare a 64755 x 4121 screen), is refused before Qt asks for memory.
constexpr std::uint64_t MaxGifPixelsPerByte = 4096;

bool gifCanvasFits(std::int64_t width, std::int64_t height, std::size_t fileBytes,
                   std::uint64_t maxPixels) {
    if (width <= 0 || height <= 0)
        return true; // Qt takes the size from the frames
    return withinPixelLimit(width, height, maxPixels) &&
           withinPixelLimit(width, height, fileBytes * MaxGifPixelsPerByte);
}

// Every block through the last image is there; a missing trailer byte is
// forgiven. Screen and frames are held to gifCanvasFits.
bool gifComplete(Bytes data, std::uint64_t maxPixels) {
    if (data.size() < 13)
        return false;
    using detail::le16;
    if (!gifCanvasFits(le16(data, 6), le16(data, 8), data.size(), maxPixels))
        return false;
    std::size_t pos = 13 + gifTableBytes(data[10]);
    int images = 0;
    while (pos < data.size()) {
        const std::uint8_t kind = data[pos++];
        if (kind == 0x3B)
            return images > 0;
        if (kind == 0x21) {
            if (pos >= data.size())
                return false;
            ++pos; // label
        } else if (kind == 0x2C) {
            if (data.size() - pos < 10)
                return false;
            const std::int64_t right = std::int64_t{le16(data, pos)} + le16(data, pos + 4);
            const std::int64_t bottom = std::int64_t{le16(data, pos + 2)} + le16(data, pos + 6);
            if (!gifCanvasFits(right, bottom, data.size(), maxPixels))
                return false;
            pos += 9 + gifTableBytes(data[pos + 8]);
            if (pos >= data.size())
                return false;
            ++pos; // LZW code size
            ++images;
        } else {
            return false;
        }
        if (!skipSubBlocks(data, pos))
            return false;
    }
    return pos == data.size() && images > 0;
}

BitmapInfo tableOf(const QImage& img, int& count) {
    BitmapInfo t{};
    const QList<QRgb> colours = img.colorTable();
    count = static_cast<int>(std::min<qsizetype>(colours.size(), 256));
    for (int i = 0; i < count; ++i) {
        const QRgb c = colours[i];
        t.bmiColors[i] =
            RgbQuad{static_cast<std::uint8_t>(qBlue(c)), static_cast<std::uint8_t>(qGreen(c)),
                    static_cast<std::uint8_t>(qRed(c)), 0};
    }
    return t;
}

bool fromMono(const QImage& img, dib& out) {
    int count = 0;
    const BitmapInfo t = tableOf(img, count);
    newdib(out, img.width(), img.height(), 1, &t, count);
    if (out.poi == nullptr)
        return false;
    const auto rowLen = static_cast<std::size_t>((img.width() + 7) / 8);
    for (int y = 0; y < img.height(); ++y)
        std::memcpy(pictureRow(out, y), img.constScanLine(y), rowLen);
    return true;
}

bool fromIndexed(const QImage& img, int bits, dib& out) {
    int count = 0;
    const BitmapInfo t = tableOf(img, count);
    const int w = img.width(), h = img.height();
    // Keep the file's depth only when every index fits in it.
    if (bits < 8) {
        for (int y = 0; y < h && bits < 8; ++y) {
            const uchar* s = img.constScanLine(y);
            for (int x = 0; x < w; ++x)
                if (s[x] >= (1u << bits)) {
                    bits = 8;
                    break;
                }
        }
    }
    newdib(out, w, h, bits, &t, count);
    if (out.poi == nullptr)
        return false;
    for (int y = 0; y < h; ++y) {
        const uchar* s = img.constScanLine(y);
        std::uint8_t* d = pictureRow(out, y);
        if (bits == 8) {
            std::memcpy(d, s, static_cast<std::size_t>(w));
        } else if (bits == 4) {
            for (int x = 0; x < w; ++x)
                d[x / 2] = static_cast<std::uint8_t>(d[x / 2] | ((x & 1) ? s[x] : s[x] << 4));
        } else {
            for (int x = 0; x < w; ++x)
                d[x / 8] = static_cast<std::uint8_t>(d[x / 8] | (s[x] << (7 - (x & 7))));
        }
    }
    return true;
}

// Qt decodes GIFs to true colour; when every pixel is an opaque colour of
// the global table, the picture goes back to that table at its stored depth.
bool fromGifTable(const QImage& src, Bytes data, dib& out) {
    if ((data[10] & 0x80) == 0)
        return false;
    const int entries = 2 << (data[10] & 7);
    if (data.size() < 13 + 3 * static_cast<std::size_t>(entries))
        return false;
    BitmapInfo table{};
    std::unordered_map<QRgb, std::uint8_t> index;
    for (int i = entries - 1; i >= 0; --i) {
        const std::uint8_t* c = data.data() + 13 + 3 * i;
        table.bmiColors[i] = RgbQuad{c[2], c[1], c[0], 0};
        index[qRgb(c[0], c[1], c[2])] = static_cast<std::uint8_t>(i);
    }
    const QImage img = src.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const int bits = entries <= 2 ? 1 : entries <= 16 ? 4 : 8;
    newdib(out, w, h, bits, &table, entries);
    if (out.poi == nullptr)
        return false;
    // Neighbours mostly share their colour: the last lookup is kept.
    QRgb lastColour = 0;
    unsigned lastIndex = 256;
    for (int y = 0; y < h; ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        std::uint8_t* d = pictureRow(out, y);
        for (int x = 0; x < w; ++x) {
            if (lastIndex > 255 || s[x] != lastColour) {
                const auto it = index.find(s[x]);
                if (it == index.end()) { // transparent, or a colour of a local table
                    releasedib(out);
                    out = dib{};
                    return false;
                }
                lastColour = s[x];
                lastIndex = it->second;
            }
            const unsigned v = lastIndex;
            if (bits == 8)
                d[x] = static_cast<std::uint8_t>(v);
            else if (bits == 4)
                d[x / 2] = static_cast<std::uint8_t>(d[x / 2] | ((x & 1) ? v : v << 4));
            else
                d[x / 8] = static_cast<std::uint8_t>(d[x / 8] | (v << (7 - (x & 7))));
        }
    }
    return true;
}

bool fromGrey(const QImage& img, dib& out) {
    BitmapInfo t{};
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        t.bmiColors[i] = RgbQuad{v, v, v, 0};
    }
    newdib(out, img.width(), img.height(), 8, &t, 256);
    if (out.poi == nullptr)
        return false;
    for (int y = 0; y < img.height(); ++y)
        std::memcpy(pictureRow(out, y), img.constScanLine(y),
                    static_cast<std::size_t>(img.width()));
    return true;
}

// Transparent parts are laid onto white, the way the picture looks on a page.
bool fromColour(const QImage& src, dib& out) {
    QImage img = src.hasAlphaChannel() ? src.convertToFormat(QImage::Format_ARGB32)
                                       : src.convertToFormat(QImage::Format_BGR888);
    if (img.isNull())
        return false;
    const int w = img.width(), h = img.height();
    newdib(out, w, h, 24, nullptr, 0);
    if (out.poi == nullptr)
        return false;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* d = pictureRow(out, y);
        if (img.format() == QImage::Format_BGR888) {
            std::memcpy(d, img.constScanLine(y), static_cast<std::size_t>(w) * 3);
            continue;
        }
        const auto* s = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x, d += 3) {
            const unsigned a = static_cast<unsigned>(qAlpha(s[x]));
            auto over = [a](int c) {
                return static_cast<std::uint8_t>(
                    (static_cast<unsigned>(c) * a + 255u * (255u - a) + 127u) / 255u);
            };
            d[0] = over(qBlue(s[x]));
            d[1] = over(qGreen(s[x]));
            d[2] = over(qRed(s[x]));
        }
    }
    return true;
}

} // namespace

bool looksLikeQtFormat(Bytes data, const char** format) {
    const char* f = nullptr;
    if (startsWith(data, "\x89PNG\r\n\x1a\n"))
        f = "png";
    else if (startsWith(data, "GIF87a") || startsWith(data, "GIF89a"))
        f = "gif";
    else if (startsWith(data, "II*\0") || startsWith(data, "II+\0") ||
             (data.size() >= 4 && startsWith(data, "MM") && data[2] == 0 &&
              (data[3] == 42 || data[3] == 43))) // classic and BigTIFF
        f = "tiff";
    else if (data.size() >= 12 && startsWith(data, "RIFF") &&
             std::memcmp(data.data() + 8, "WEBP", 4) == 0)
        f = "webp";
    else if (data.size() >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6' &&
             isSpace(data[2]))
        f = data[1] == '1' || data[1] == '4'   ? "pbm"
            : data[1] == '2' || data[1] == '5' ? "pgm"
                                               : "ppm";
    if (format != nullptr)
        *format = f;
    return f != nullptr;
}

bool decodeWithQt(Bytes data, const char* formatHint, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (formatHint == nullptr)
        return false;
    // Qt's own guard against lying headers, at four bytes per pixel of our
    // limit (1024 MB for 2^28 pixels); ours (maxPixels) is checked too.
    const auto limitMb = static_cast<int>(
        std::clamp<std::uint64_t>((maxPixels * 4 + (std::uint64_t{1} << 20) - 1) >> 20, 1, 1024));
    if (QImageReader::allocationLimit() != limitMb)
        QImageReader::setAllocationLimit(limitMb);

    if ((std::strcmp(formatHint, "png") == 0 && !pngComplete(data)) ||
        (std::strcmp(formatHint, "gif") == 0 && !gifComplete(data, maxPixels)))
        return false;

    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&buffer, formatHint);
    reader.setDecideFormatFromContent(true);
    // A TIFF or WebP with an orientation tag arrives upright, like a JPEG.
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() &&
        static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height()) >
            maxPixels)
        return false;
    QImage img;
    if (!reader.read(&img) || img.isNull() || img.width() <= 0 || img.height() <= 0)
        return false;
    if (static_cast<std::uint64_t>(img.width()) * static_cast<std::uint64_t>(img.height()) >
        maxPixels)
        return false;

    bool ok = false;
    if (std::strcmp(formatHint, "gif") == 0 && fromGifTable(img, data, out))
        return true;
    switch (img.format()) {
    case QImage::Format_Mono:
        ok = fromMono(img, out);
        break;
    case QImage::Format_MonoLSB:
        ok = fromMono(img.convertToFormat(QImage::Format_Mono), out);
        break;
    case QImage::Format_Indexed8:
        ok = fromIndexed(img, storedPaletteBits(data, formatHint), out);
        break;
    case QImage::Format_Grayscale8:
        ok = fromGrey(img, out);
        break;
    case QImage::Format_Grayscale16:
        ok = fromGrey(img.convertToFormat(QImage::Format_Grayscale8), out);
        break;
    default:
        ok = fromColour(img, out);
        break;
    }
    if (!ok) {
        releasedib(out);
        out = dib{};
    }
    return ok;
}

bool encodeWithQt(const dib& image, const char* format, std::vector<std::uint8_t>& out,
                  int quality) {
    out.clear();
    if (image.poi == nullptr || image.pmi == nullptr)
        return false;
    const int w = dibwidth(image), h = dibheight(image), bits = dibbits(image);
    QImage img;
    if (bits == 24) {
        img = QImage(w, h, QImage::Format_BGR888);
        if (img.isNull())
            return false;
        for (int y = 0; y < h; ++y)
            std::memcpy(img.scanLine(y), pictureRow(image, y), static_cast<std::size_t>(w) * 3);
    } else if (bits == 1 || bits == 4 || bits == 8) {
        // Palette pictures stay palette pictures in the file; Qt writes
        // 1 bit per pixel from Mono, 8 bits from Indexed8. A 1-bit TIFF can
        // only be black and white, so other pairs of colours go as 8 bits.
        const auto isBlackOrWhite = [&image](int i) {
            const RgbQuad& q = image.pmi->bmiColors[i];
            return q.rgbRed == q.rgbGreen && q.rgbGreen == q.rgbBlue &&
                   (q.rgbRed == 0 || q.rgbRed == 255);
        };
        const bool mono = bits == 1 && (std::strcmp(format, "tiff") != 0 ||
                                        (isBlackOrWhite(0) && isBlackOrWhite(1)));
        img = QImage(w, h, mono ? QImage::Format_Mono : QImage::Format_Indexed8);
        if (img.isNull())
            return false;
        QList<QRgb> colours;
        for (int i = 0; i < (1 << bits); ++i) {
            const RgbQuad& q = image.pmi->bmiColors[i];
            colours.append(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
        }
        // Qt's TIFF writer writes all 256 entries of an 8-bit colour map,
        // reading past a shorter table: the unused ones are black here, not
        // whatever memory held (a 16-colour picture gave another file each
        // time it was written).
        if (!mono && std::strcmp(format, "tiff") == 0)
            colours.resize(256, qRgb(0, 0, 0));
        img.setColorTable(colours);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* s = pictureRow(image, y);
            uchar* d = img.scanLine(y);
            if (mono) {
                std::memcpy(d, s, static_cast<std::size_t>((w + 7) / 8));
                continue;
            }
            for (int x = 0; x < w; ++x)
                d[x] = static_cast<uchar>(paletteIndex(s, x, bits));
        }
    } else {
        return false;
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&buffer, format);
    if (std::strcmp(format, "webp") == 0)
        writer.setQuality(std::clamp(quality, 1, 100)); // 100: lossless
    else if (std::strcmp(format, "tiff") == 0)
        writer.setCompression(1); // LZW
    if (!writer.write(img))
        return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

} // namespace pixkit::codec
