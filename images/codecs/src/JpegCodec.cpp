#include "LibraryCodecs.h"
#include "Resolution.h"

#include <turbojpeg.h>

// exiv2 0.27 still names std::auto_ptr in its headers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>
#include <exiv2/value.hpp>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace pixkit::codec {

namespace {

struct TjCloser {
    void operator()(void* h) const { tjDestroy(h); }
};
using TjHandle = std::unique_ptr<void, TjCloser>;

struct TjBuffer {
    unsigned char* data = nullptr;
    ~TjBuffer() { tjFree(data); }
};

BitmapInfo greyTable() {
    BitmapInfo t{};
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        t.bmiColors[i] = RgbQuad{v, v, v, 0};
    }
    return t;
}

// TurboJPEG's decode into `pixels`, judged by the error and the first
// warning: a fatal error, or a first warning saying the data ran out, leave
// the picture partly invented, so the file counts as unreadable; any other
// warning (stray bytes, one bad code) leaves a picture. TurboJPEG reports a
// fatal error after a warning as a warning, but with the error's text in
// place of the first warning's: a file with a warning is decoded once up to
// it and once whole, and the two texts must agree.
bool decodeJudged(void* handle, Bytes data, unsigned char* pixels, int w, int pitch, int h,
                  int format, int flags) {
    const auto run = [&](int f) {
        return tjDecompress2(handle, data.data(), static_cast<unsigned long>(data.size()), pixels,
                             w, pitch, h, format, f) == 0;
    };
    if (run(flags | TJFLAG_STOPONWARNING))
        return true;
    if (tjGetErrorCode(handle) != TJERR_WARNING)
        return false;
    const std::string first = tjGetErrorStr2(handle);
    if (first.find("remature end") != std::string::npos)
        return false;
    return run(flags) ||
           (tjGetErrorCode(handle) == TJERR_WARNING && first == tjGetErrorStr2(handle));
}

// Adobe's CMYK JPEGs store inverted ink values; this is how they look on screen.
bool decodeCmyk(void* handle, Bytes data, int w, int h, dib& out) {
    std::vector<std::uint8_t> cmyk(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    if (!decodeJudged(handle, data, cmyk.data(), w, 0, h, TJPF_CMYK, 0))
        return false;
    newdib(out, w, h, 24, nullptr, 0);
    if (out.poi == nullptr)
        return false;
    const std::uint8_t* s = cmyk.data();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* d = pictureRow(out, y);
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
            const unsigned k = s[3];
            d[0] = static_cast<std::uint8_t>(s[2] * k / 255);
            d[1] = static_cast<std::uint8_t>(s[1] * k / 255);
            d[2] = static_cast<std::uint8_t>(s[0] * k / 255);
        }
    }
    return true;
}

// Every block of 8 x 8 samples costs at least one bit of Huffman code in a
// complete scan, and even with 4 x 1 against 1 x 4 subsampling a block of
// the most sampled component covers at most 8 x 32 pixels. A file shorter
// than that for its declared size is missing its data: refused before the
// picture's memory is asked for (tjDecompress2 would fill it with grey).
constexpr std::uint64_t MaxPixelsPerByte = 8 * 8 * 32;

bool streamCanHold(int w, int h, std::size_t bytes) {
    const auto pixels = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    return pixels / MaxPixelsPerByte <= bytes;
}

// The header as TurboJPEG reads it (any warning, such as stray bytes before
// a marker, fails it), within the limits.
bool readHeader(void* handle, Bytes data, std::uint64_t maxPixels, int& w, int& h,
                int& colourspace) {
    int subsamp = 0;
    return tjDecompressHeader3(handle, data.data(), static_cast<unsigned long>(data.size()), &w, &h,
                               &subsamp, &colourspace) == 0 &&
           withinPixelLimit(w, h, maxPixels) && streamCanHold(w, h, data.size());
}

} // namespace

bool jpegHeaderAccepted(Bytes data, std::uint64_t maxPixels) {
    if (!looksLikeJpeg(data) || data.size() > 0xFFFFFFFFu)
        return false;
    TjHandle handle(tjInitDecompress());
    int w = 0, h = 0, colourspace = 0;
    return handle && readHeader(handle.get(), data, maxPixels, w, h, colourspace);
}

bool looksLikeJpeg(Bytes data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool decodeJpeg(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (!looksLikeJpeg(data) || data.size() > 0xFFFFFFFFu)
        return false;
    TjHandle handle(tjInitDecompress());
    if (!handle)
        return false;
    int w = 0, h = 0, colourspace = 0;
    if (!readHeader(handle.get(), data, maxPixels, w, h, colourspace))
        return false;

    bool ok = false;
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        ok = decodeCmyk(handle.get(), data, w, h, out);
    } else {
        const bool grey = colourspace == TJCS_GRAY;
        if (grey) {
            const BitmapInfo table = greyTable();
            newdib(out, w, h, 8, &table, 256);
        } else {
            newdib(out, w, h, 24, nullptr, 0);
        }
        if (out.poi == nullptr)
            return false;
        // Straight into the image's bottom-up rows: no second copy of a 24 MP photo.
        ok = decodeJudged(handle.get(), data, out.poi, w, out.bytew, h, grey ? TJPF_GRAY : TJPF_BGR,
                          TJFLAG_BOTTOMUP);
    }
    if (!ok) {
        releasedib(out);
        out = dib{};
    }
    return ok;
}

bool encodeJpeg(const dib& image, int quality, std::vector<std::uint8_t>& out) {
    out.clear();
    DibHolder expanded;
    const dib* src = as24Bits(image, expanded);
    if (src == nullptr)
        return false;
    const int w = dibwidth(*src), h = dibheight(*src);
    if (w > 65535 || h > 65535)
        return false;
    TjHandle handle(tjInitCompress());
    if (!handle)
        return false;
    TjBuffer buf;
    unsigned long size = 0;
    if (tjCompress2(handle.get(), src->poi, w, src->bytew, h, TJPF_BGR, &buf.data, &size,
                    TJSAMP_420, std::clamp(quality, 1, 100), TJFLAG_BOTTOMUP) != 0)
        return false;
    out.assign(buf.data, buf.data + size);
    return true;
}

bool addExifResolution(std::vector<std::uint8_t>& jpeg, const PixelDensity& density) {
    static const std::uint8_t jfif[5] = {'J', 'F', 'I', 'F', 0};
    if (!density.known() || jpeg.size() < 20 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 ||
        jpeg[2] != 0xFF || jpeg[3] != 0xE0 || std::memcmp(&jpeg[6], jfif, 5) != 0)
        return false;
    const std::size_t afterJfif = 4 + ((static_cast<std::size_t>(jpeg[4]) << 8) | jpeg[5]);
    if (afterJfif > jpeg.size())
        return false;
    // The exact fractions: 32-bit numerator and denominator, about nine
    // digits for any scale a picture can have.
    constexpr std::uint64_t Max32 = 0x7FFFFFFF; // some readers keep them as signed pairs
    const auto [xn, xd] = bestRational(density.xPerCm, Max32, Max32);
    const auto [yn, yd] = bestRational(density.yPerCm, Max32, Max32);
    Exiv2::Blob tiff;
    try {
        Exiv2::ExifData exif;
        exif["Exif.Image.XResolution"] =
            Exiv2::URational(static_cast<std::uint32_t>(xn), static_cast<std::uint32_t>(xd));
        exif["Exif.Image.YResolution"] =
            Exiv2::URational(static_cast<std::uint32_t>(yn), static_cast<std::uint32_t>(yd));
        exif["Exif.Image.ResolutionUnit"] = std::uint16_t{3}; // centimetres
        Exiv2::ExifParser::encode(tiff, Exiv2::littleEndian, exif);
    } catch (const Exiv2::AnyError&) {
        return false;
    }
    static const std::uint8_t exifTag[6] = {'E', 'x', 'i', 'f', 0, 0};
    const std::size_t segment = 2 + sizeof exifTag + tiff.size();
    if (tiff.empty() || segment > 0xFFFF)
        return false;
    std::vector<std::uint8_t> app1 = {0xFF, 0xE1, static_cast<std::uint8_t>(segment >> 8),
                                      static_cast<std::uint8_t>(segment)};
    app1.insert(app1.end(), exifTag, exifTag + sizeof exifTag);
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(afterJfif), app1.begin(), app1.end());
    return true;
}

namespace {

// Reads the orientation entry of IFD0 in an EXIF block (the TIFF structure
// after "Exif\0\0"). Every offset is checked against the block.
int orientationFromTiff(Bytes tiff) {
    if (tiff.size() < 8)
        return 1;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    auto u16 = [&](std::size_t at) -> unsigned {
        const unsigned a = tiff[at], b = tiff[at + 1];
        return little ? a | (b << 8) : (a << 8) | b;
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? (static_cast<std::uint32_t>(u16(at + 2)) << 16) | u16(at)
                      : (static_cast<std::uint32_t>(u16(at)) << 16) | u16(at + 2);
    };
    if (u16(2) != 42)
        return 1;
    const std::uint32_t ifd = u32(4);
    if (ifd > tiff.size() - 2)
        return 1;
    const unsigned entries = u16(ifd);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t at = ifd + 2 + std::size_t{12} * i;
        if (at + 12 > tiff.size())
            break;
        if (u16(at) != 0x0112)
            continue;
        // SHORT, one value, stored in the first half of the value field.
        if (u16(at + 2) != 3 || u32(at + 4) < 1)
            return 1;
        const unsigned v = u16(at + 8);
        return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
    }
    return 1;
}

} // namespace

int exifOrientation(Bytes jpeg) {
    if (!looksLikeJpeg(jpeg))
        return 1;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        if (jpeg[pos] != 0xFF)
            return 1;
        const std::uint8_t marker = jpeg[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        // The metadata segments all come before the first scan.
        if (marker == 0xDA || marker == 0xD9)
            return 1;
        const std::size_t len = (static_cast<std::size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (len < 2 || pos + 2 + len > jpeg.size())
            return 1;
        const Bytes body = jpeg.subspan(pos + 4, len - 2);
        static constexpr std::uint8_t exifTag[] = {'E', 'x', 'i', 'f', 0, 0};
        if (marker == 0xE1 && body.size() >= 6 && std::memcmp(body.data(), exifTag, 6) == 0)
            return orientationFromTiff(body.subspan(6));
        pos += 2 + len;
    }
    return 1;
}

bool applyOrientation(dib& image, int orientation) {
    if (orientation == 1)
        return true;
    if (orientation < 1 || orientation > 8 || image.poi == nullptr)
        return false;
    const int bits = dibbits(image);
    if (bits != 8 && bits != 24)
        return false;
    const int w = dibwidth(image), h = dibheight(image);
    const bool swap = orientation >= 5;
    const int ow = swap ? h : w, oh = swap ? w : h;
    dib turned;
    newdib(turned, ow, oh, bits, image.pmi, bits == 8 ? 256 : 0);
    if (turned.poi == nullptr)
        return false;
    const int bpp = bits / 8;
    for (int oy = 0; oy < oh; ++oy) {
        std::uint8_t* dst = pictureRow(turned, oy);
        for (int ox = 0; ox < ow; ++ox, dst += bpp) {
            // Stored position (x, y) of the upright pixel (ox, oy).
            int x = ox, y = oy;
            switch (orientation) {
            case 2:
                x = w - 1 - ox;
                break;
            case 3:
                x = w - 1 - ox;
                y = h - 1 - oy;
                break;
            case 4:
                y = h - 1 - oy;
                break;
            case 5:
                x = oy;
                y = ox;
                break;
            case 6:
                x = oy;
                y = h - 1 - ox;
                break;
            case 7:
                x = w - 1 - oy;
                y = h - 1 - ox;
                break;
            case 8:
                x = w - 1 - oy;
                y = ox;
                break;
            default:
                break;
            }
            const std::uint8_t* src = pictureRow(image, y) + static_cast<std::ptrdiff_t>(x) * bpp;
            std::memcpy(dst, src, static_cast<std::size_t>(bpp));
        }
    }
    releasedib(image);
    image = turned;
    return true;
}

} // namespace pixkit::codec
