#include "pixkit/ImageFormats.h"

#include "LibraryCodecs.h"
#include "OwnCodecs.h"
#include "Resolution.h"

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

// Adapters from the codecs' own signatures to the table's.
template <bool (*Decode)(Bytes, dib&, std::uint64_t)>
bool decodeLimited(Bytes data, dib& out, std::uint64_t maxPixels) {
    return Decode(data, out, maxPixels);
}
template <bool (*Encode)(const dib&, Out&)>
bool encodePlain(const dib& image, const std::string&, const WriteOptions&, Out& out) {
    return Encode(image, out);
}
template <const char* QtName>
bool encodeQt(const dib& image, const std::string&, const WriteOptions& options, Out& out) {
    return codec::encodeWithQt(image, QtName, out, options.webpQuality);
}
// Qt's format names: the content check compares their first and last letter.
template <char First, char Last> bool looksQt(Bytes data) {
    return qtKindIs(data, First, Last);
}
constexpr char QtTiff[] = "tiff";
constexpr char QtWebp[] = "webp";

// BMP files and packed DIBs (no file header) share the row: both are read by
// the BMP reader.
bool looksLikeBmpOrPackedDib(Bytes data) {
    return codec::looksLikeBmp(data) || codec::looksLikePackedDib(data);
}
bool decodeBmpOrPackedDib(Bytes data, dib& out, std::uint64_t maxPixels) {
    return codec::looksLikeBmp(data) ? codec::decodeBmp(data, out, maxPixels)
                                     : codec::decodePackedDib(data, out, maxPixels);
}

bool encodeBmpOrRle(const dib& image, const std::string& ext, const WriteOptions&, Out& out) {
    return ext == ".rle" ? encodeBmpRle(image, out) : codec::encodeBmp(image, false, out);
}

bool encodeJpegAt(const dib& image, const std::string&, const WriteOptions& options, Out& out) {
    return codec::encodeJpeg(image, options.jpegQuality, out);
}

bool encodePngAt(const dib& image, const std::string&, const WriteOptions& options, Out& out) {
    return codec::encodePng(image, options.pngLevel, options.density, out);
}

bool writePngAt(const dib& image, const WriteOptions& options, fp::PendingFile& file) {
    return codec::writePng(image, options.pngLevel, options.density, file);
}

std::vector<ImageFormat> makeTable() {
    using codec::looksLikeBmp, codec::looksLikeJpeg, codec::looksLikeJp2, codec::looksLikePcx,
        codec::looksLikeIlbm, codec::looksLikeTga;
    // clang-format off
    return {
        {"Windows-Bitmap", "Windows Bitmap", 3,
         {{".bmp", true, 1}, {".dib", true, 2}, {".rle", true, 9}},
         looksLikeBmpOrPackedDib, false, decodeBmpOrPackedDib, encodeBmpOrRle, codec::stampBmp},
        {"JPEG", "JPEG", 1,
         {{".jpg", true, 6}, {".jpeg", true, 15}, {".jpe", true, 16}, {".jif", true, 5}},
         looksLikeJpeg, false, decodeJpegUpright, encodeJpegAt, codec::stampJpeg},
        {"JPEG 2000", "JPEG 2000", 5,
         {{".jp2", true, 12}, {".j2k", false, 0}, {".j2c", false, 0}, {".jpc", false, 0}},
         looksLikeJp2, false, decodeLimited<codec::decodeJp2>, encodePlain<codec::encodeJp2>,
         codec::stampJp2},
        {"PNG", "PNG", 2, {{".png", true, 13}},
         looksQt<'p', 'g'>, false, decodeQt, encodePngAt, codec::stampPng, writePngAt},
        {"GIF", "GIF", 6, {{".gif", true, 3}},
         looksQt<'g', 'f'>, false, decodeQt, encodePlain<codec::encodeGif>, nullptr},
        {"TIFF", "TIFF", 4, {{".tif", true, 11}, {".tiff", true, 17}},
         looksQt<'t', 'f'>, false, decodeQt, encodeQt<QtTiff>, codec::stampTiff},
        {"WebP", "WebP", 10, {{".webp", true, 14}},
         looksQt<'w', 'b'>, false, decodeQt, encodeQt<QtWebp>, nullptr},
        {"PC Paintbrush", "PCX", 7, {{".pcx", true, 8}},
         looksLikePcx, false, decodeLimited<codec::decodePcx>, encodePlain<codec::encodePcx>,
         codec::stampPcx},
        {"Amiga IFF/ILBM", "IFF/ILBM", 9, {{".iff", true, 4}, {".lbm", true, 7}},
         looksLikeIlbm, false, decodeLimited<codec::decodeIlbm>, encodePlain<codec::encodeIlbm>,
         nullptr},
        {"Targa", "Targa", 8, {{".tga", true, 10}},
         looksLikeTga, true, decodeLimited<codec::decodeTga>, encodePlain<codec::encodeTga>,
         nullptr},
        {"Portable Anymap", nullptr, 0,
         {{".pnm", false, 0}, {".pbm", false, 0}, {".pgm", false, 0}, {".ppm", false, 0}},
         looksQt<'p', 'm'>, false, decodeQt, nullptr, nullptr},
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
