#include "pixkit/ImageFormats.h"

#include "LibraryCodecs.h"
#include "OwnCodecs.h"

#include <algorithm>
#include <utility>

namespace pixkit {

namespace {

using codec::Bytes;
using Out = std::vector<std::uint8_t>;

// The signatures do not overlap (each starts with bytes of its own), so the
// order of the rows does not decide which format reads a file; only TGA,
// which has no signature, is tried last.

const char* qtKind(Bytes data) {
    const char* kind = nullptr;
    codec::looksLikeQtFormat(data, &kind);
    return kind;
}

bool qtKindIs(Bytes data, char first, char last) {
    const char* kind = qtKind(data);
    return kind != nullptr && kind[0] == first && kind[2] == last;
}

bool decodeQt(Bytes data, dib& out, std::uint64_t maxPixels) {
    return codec::decodeWithQt(data, qtKind(data), out, maxPixels);
}

// JPEGs arrive upright: the EXIF orientation is applied after decoding.
bool decodeJpegUpright(Bytes data, dib& out, std::uint64_t maxPixels) {
    if (!codec::decodeJpeg(data, out, maxPixels))
        return false;
    if (!codec::applyOrientation(out, codec::exifOrientation(data))) {
        releasedib(out);
        out = dib{};
        return false;
    }
    return true;
}

// RLE in a BMP exists only for 4 and 8 bits: a 24-bit picture is reduced to
// 256 colours first (exactly when it has no more), so the file is what its
// name says.
bool encodeBmpRle(const dib& image, Out& out) {
    if (dibbits(image) != 24)
        return codec::encodeBmp(image, true, out);
    dib reduced;
    if (!codec::reduceTo256(image, reduced))
        return false;
    DibHolder holder(reduced);
    return codec::encodeBmp(holder.get(), true, out);
}

} // namespace

void appendPattern(std::string& patterns, const char* ext) {
    if (!patterns.empty())
        patterns += ';';
    patterns.append("*").append(ext);
}

namespace {

std::vector<ImageFormat> makeTable() {
    // clang-format off
    return {
        {"Windows-Bitmap", "Windows Bitmap", 3,
         {{".bmp", true, 1}, {".dib", true, 2}, {".rle", true, 9}},
         codec::looksLikeBmp, false,
         [](Bytes d, dib& out, std::uint64_t) { return codec::decodeBmp(d, out); },
         [](const dib& image, const std::string& ext, int, Out& out) {
             return ext == ".rle" ? encodeBmpRle(image, out) : codec::encodeBmp(image, false, out);
         },
         true},
        {"JPEG", "JPEG", 1,
         {{".jpg", true, 6}, {".jpeg", false, 0}, {".jpe", false, 0}, {".jif", true, 5}},
         codec::looksLikeJpeg, false, decodeJpegUpright,
         [](const dib& image, const std::string&, int quality, Out& out) {
             return codec::encodeJpeg(image, quality, out);
         },
         true},
        {"JPEG 2000", "JPEG 2000", 5,
         {{".jp2", true, 12}, {".j2k", false, 0}, {".j2c", false, 0}, {".jpc", false, 0}},
         codec::looksLikeJp2, false,
         [](Bytes d, dib& out, std::uint64_t maxPixels) { return codec::decodeJp2(d, out, maxPixels); },
         [](const dib& image, const std::string&, int, Out& out) { return codec::encodeJp2(image, out); },
         true},
        {"PNG", "PNG", 2, {{".png", true, 0}},
         [](Bytes d) { return qtKindIs(d, 'p', 'g'); }, false, decodeQt,
         [](const dib& image, const std::string&, int, Out& out) {
             return codec::encodeWithQt(image, "png", out);
         },
         true},
        {"GIF", "GIF", 6, {{".gif", true, 3}},
         [](Bytes d) { return qtKindIs(d, 'g', 'f'); }, false, decodeQt,
         [](const dib& image, const std::string&, int, Out& out) { return codec::encodeGif(image, out); },
         false},
        {"TIFF", "TIFF", 4, {{".tif", true, 11}, {".tiff", false, 0}},
         [](Bytes d) { return qtKindIs(d, 't', 'f'); }, false, decodeQt,
         [](const dib& image, const std::string&, int, Out& out) {
             return codec::encodeWithQt(image, "tiff", out);
         },
         true},
        {"WebP", "WebP", 10, {{".webp", true, 0}},
         [](Bytes d) { return qtKindIs(d, 'w', 'b'); }, false, decodeQt,
         [](const dib& image, const std::string&, int, Out& out) {
             return codec::encodeWithQt(image, "webp", out);
         },
         false},
        {"PC Paintbrush", "PCX", 7, {{".pcx", true, 8}},
         codec::looksLikePcx, false,
         [](Bytes d, dib& out, std::uint64_t) { return codec::decodePcx(d, out); },
         [](const dib& image, const std::string&, int, Out& out) { return codec::encodePcx(image, out); },
         true},
        {"Amiga IFF/ILBM", "IFF/ILBM", 9, {{".iff", true, 4}, {".lbm", true, 7}},
         codec::looksLikeIlbm, false,
         [](Bytes d, dib& out, std::uint64_t) { return codec::decodeIlbm(d, out); },
         [](const dib& image, const std::string&, int, Out& out) { return codec::encodeIlbm(image, out); },
         false},
        {"Targa", "Targa", 8, {{".tga", true, 10}},
         codec::looksLikeTga, true,
         [](Bytes d, dib& out, std::uint64_t) { return codec::decodeTga(d, out); },
         [](const dib& image, const std::string&, int, Out& out) { return codec::encodeTga(image, out); },
         false},
        {"Portable Anymap", nullptr, 0,
         {{".pnm", false, 0}, {".pbm", false, 0}, {".pgm", false, 0}, {".ppm", false, 0}},
         [](Bytes d) { return qtKindIs(d, 'p', 'm'); }, false, decodeQt, nullptr,
         false},
    };
    // clang-format on
}

} // namespace

const std::vector<ImageFormat>& ImageFormats() {
    static const std::vector<ImageFormat> table = makeTable();
    return table;
}

const ImageFormat* formatWriting(const std::string& ext) {
    for (const ImageFormat& f : ImageFormats())
        for (const FormatExtension& e : f.extensions)
            if (e.written && ext == e.ext)
                return &f;
    return nullptr;
}

std::vector<std::string> batchOutputExtensions() {
    std::vector<std::pair<int, std::string>> ranked;
    for (const ImageFormat& f : ImageFormats())
        for (const FormatExtension& e : f.extensions)
            if (e.written && e.batchRank > 0)
                ranked.emplace_back(e.batchRank, e.ext);
    std::sort(ranked.begin(), ranked.end());
    std::vector<std::string> exts;
    for (auto& r : ranked)
        exts.push_back(std::move(r.second));
    return exts;
}

std::string saveFilterPipes() {
    std::vector<const ImageFormat*> written;
    for (const ImageFormat& f : ImageFormats())
        if (f.saveName != nullptr && f.encode != nullptr)
            written.push_back(&f);
    std::sort(written.begin(), written.end(),
              [](const ImageFormat* a, const ImageFormat* b) { return a->saveRank < b->saveRank; });
    std::string pipes;
    for (const ImageFormat* f : written) {
        std::string patterns;
        for (const FormatExtension& e : f->extensions)
            if (e.written)
                appendPattern(patterns, e.ext);
        if (!pipes.empty())
            pipes += '|';
        pipes.append(f->saveName).append("|").append(patterns);
    }
    return pipes;
}

} // namespace pixkit
