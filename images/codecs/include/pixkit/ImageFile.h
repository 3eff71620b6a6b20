#pragma once
// Image files: reading by content, writing by extension.
//
// Error policy: reading reports failure only through a nil `poi` in the
// record it fills; writing returns a WriteResult whose `error` says why. A
// failed write never destroys an existing file (temporary file + rename).

#include "foundation/Fault.h"
#include "pixkit/PixelDensity.h"
#include "pixkit/dib.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fp {
class PendingFile;
}

namespace pixkit {

// Reads the picture in `fileName` (UTF-8 path) into `out`, decoded by content.
// Palette images arrive at their stored depth (1, 4 or 8 bits, colour table and
// `pal` filled), 8-bit grey as 8 bits with a grey table, everything else as 24
// bits; JPEGs with an EXIF orientation arrive upright. On failure `out` is an
// empty record (`poi` nil). `reserved` and `window` are accepted and ignored.
void OpenDib(dib& out, const std::string& fileName, int reserved = 0, void* window = nullptr);

// The decoding behind OpenDib for bytes already in memory: the format is
// found from the content (BMP, JPEG, JPEG 2000, PNG, GIF, TIFF, WebP, PNM,
// PCX, IFF/ILBM, and TGA as the last guess). Same results as OpenDib; false
// with `out` an empty record when the bytes are no readable picture.
bool decodeImageBytes(std::span<const std::uint8_t> data, dib& out);

// Filter for the open dialog: "|"-separated description and pattern pairs,
// every readable format of the format table (pixkit/ImageFormats.h).
std::string GetDIBOpenFilter();

struct WriteResult {
    bool ok = false;
    std::string error; // the reason only (the caller names the file); empty when ok
    int code = 0;      // for a failure of the file itself: the errno or fp::NotRegularFile
    fp::Fault fault;   // the same reason as data, for a window that words it itself
};

// True when `fileName`'s extension (compared without regard to case) names a
// format that WriteDib can write.
bool CanWriteExtension(const std::string& fileName);

// The zlib level PNG files are written with unless asked otherwise: the
// fastest that still packs a photograph about as tight as the larger ones.
inline constexpr int DefaultPngLevel = 1;

// How WriteDib encodes where the format leaves a choice.
struct WriteOptions {
    int jpegQuality = 90;           // JPEG quality, 1 ... 100 (clamped)
    int pngLevel = DefaultPngLevel; // PNG zlib level, 0 (stored) ... 9 (smallest; clamped)
    // The real scale for the file's resolution fields (the format table's
    // stampResolution column says which formats have them). When not known,
    // the image's own biXPelsPerMeter / biYPelsPerMeter (divided by 100) are
    // written, if positive.
    PixelDensity density;
    // WebP quality, 1 ... 100 (clamped); 100 is lossless.
    int webpQuality = 100;
};

// Writes `image` to `fileName` in the format named by its extension, with
// `options` where the format takes them. The file appears complete or not at
// all; an existing file survives a failed write.
WriteResult WriteDib(const dib& image, const std::string& fileName, const WriteOptions& options);

// Writes the file WriteDib would write into `file`, the pending replacement
// of `fileName`, without committing it: the caller commits once every file
// that belongs with the picture (its world file) is written as well. A
// failure leaves `file` to be discarded.
WriteResult WriteDibInto(const dib& image, const std::string& fileName, const WriteOptions& options,
                         fp::PendingFile& file);

// The same with the default options and JPEG at `jpegQuality` (1 ... 100).
WriteResult WriteDib(const dib& image, const std::string& fileName, int jpegQuality = 90);

// The bytes WriteDib would write for a file named `fileName` (only its
// extension counts), into `out` (empty on failure).
WriteResult EncodeDib(const dib& image, const std::string& fileName, const WriteOptions& options,
                      std::vector<std::uint8_t>& out);

} // namespace pixkit
