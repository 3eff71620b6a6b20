#pragma once
// Codecs built on the system libraries (TurboJPEG, OpenJPEG, giflib, QtGui)
// and the small image conversions the writers share. Same rules as the own
// codecs: every decoder checks the bytes it is given, refuses pictures above
// `maxPixels`, and on failure leaves `out` an empty record with nothing leaked.

#include "OwnCodecs.h"
#include "foundation/ReplaceFile.h"
#include "pixkit/PixelDensity.h"
#include "pixkit/RowFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pixkit::codec {

// The content-sniffing decoder behind OpenDib and decodeImageBytes, with the
// pixel limit of the library decoders made explicit (the fuzzer lowers it).
bool decodeBytes(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);

// The whole file as OpenDib reads it (regular files only, never blocking).
bool readImageFileBytes(const std::string& fileName, std::unique_ptr<std::uint8_t[]>& buf,
                        std::size_t& size);

bool looksLikeJpeg(Bytes data);
bool looksLikeJp2(Bytes data);                           // JP2 box file or raw J2K codestream
bool looksLikeQtFormat(Bytes data, const char** format); // PNG, GIF, TIFF, WebP, PNM

// JPEG through TurboJPEG straight into the rows of a new image: colour as 24
// bits, greyscale as 8 bits with a grey table. The EXIF orientation is not
// applied here (see exifOrientation / applyOrientation).
bool decodeJpeg(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);
// True when decodeJpeg goes on past the header: TurboJPEG reads it without so
// much as a warning, the size is within `maxPixels`, and the file is long
// enough for that size.
bool jpegHeaderAccepted(Bytes data, std::uint64_t maxPixels = MaxDecodedPixels);
// `quality` is clamped to 1 ... 100. Images below 24 bits are expanded first.
bool encodeJpeg(const dib& image, int quality, std::vector<std::uint8_t>& out);

// EXIF orientation (1 ... 8) of a JPEG's APP1 segment; 1 when there is none
// or it cannot be read.
int exifOrientation(Bytes jpeg);
// Turns and mirrors `image` (8 or 24 bits) so that a picture stored with
// EXIF `orientation` stands upright. Replaces the image; false (image
// untouched) when memory is short or the depth is not handled.
bool applyOrientation(dib& image, int orientation);

bool decodeJp2(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);
// Lossless JP2 (reversible wavelet, one quality layer).
bool encodeJp2(const dib& image, std::vector<std::uint8_t>& out);

// GIF, PNG, TIFF, WebP and PNM through QImageReader. `formatHint` is the
// format found by looksLikeQtFormat; the reader still decides from content.
bool decodeWithQt(Bytes data, const char* formatHint, dib& out,
                  std::uint64_t maxPixels = MaxDecodedPixels);
// `format` is a QImageWriter format name ("tiff", "webp"); `quality`
// (1 ... 100, 100 lossless) is WebP's.
bool encodeWithQt(const dib& image, const char* format, std::vector<std::uint8_t>& out,
                  int quality = 100);

// PNG through libpng and zlib at zlib `level` (0 ... 9, clamped): 24-bit
// images as RGB, palette images (1, 4, 8 bits) with their colour table at
// their depth, the resolution as pHYs when the header has one.
bool encodePng(const dib& image, int level, const PixelDensity& density,
               std::vector<std::uint8_t>& out);
// The same straight into `file`, a stretch of rows at a time.
bool writePng(const dib& image, int level, const PixelDensity& density, fp::PendingFile& file);
// A 24-bit picture row by row into `file`, with the bytes writePng writes
// for the whole picture; nullptr when libpng or the memory fails.
std::unique_ptr<RowFile> startPngRows(int width, int height, int level, const PixelDensity& density,
                                      fp::PendingFile& file);

// A 24-bit picture row by row into `file` (a regular file), with the bytes
// encodeWithQt writes as "tiff" for the whole picture and stampTiff stamps
// with `density`; nullptr when the density is not known (the whole-image
// writer's resolution is then Qt's) or libtiff cannot start.
std::unique_ptr<RowFile> startTiffRows(int width, int height, const PixelDensity& density,
                                       fp::PendingFile& file);

// GIF through giflib. Palette images keep their colours; 24-bit images go
// through reduceTo256.
bool encodeGif(const dib& image, std::vector<std::uint8_t>& out);

// 8-bit copy of a 24-bit image: exact when it has at most 256 colours,
// otherwise reduced with giflib's GifQuantizeBuffer.
bool reduceTo256(const dib& image, dib& out);
// 24-bit copy of an image of any depth (1, 4, 8 through the colour table).
bool expandTo24(const dib& image, dib& out);
// The image itself when it has 24 bits, else a 24-bit copy kept alive in
// `keep`; nil when there is no image or the copy cannot be made.
const dib* as24Bits(const dib& image, DibHolder& keep);

// Palette index of pixel x in a stored row of a 1-, 4- or 8-bit image.
inline unsigned paletteIndex(const std::uint8_t* row, int x, int bits) {
    const auto ux = static_cast<unsigned>(x);
    switch (bits) {
    case 1:
        return (row[ux / 8] >> (7 - (ux & 7))) & 1u;
    case 4:
        return (ux & 1) ? (row[ux / 2] & 0x0Fu) : (row[ux / 2] >> 4);
    default:
        return row[ux];
    }
}

} // namespace pixkit::codec
