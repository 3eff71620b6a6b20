#pragma once
// The one table of image formats. The reader's content checks, the writer's
// extensions, the open and save filters and the batch mode's list of output
// types are all read from it; a new format is one new row.

#include "pixkit/ImageFile.h"
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

using FormatBytes = std::span<const std::uint8_t>;

struct FormatExtension {
    const char* ext; // with the dot, lower case: ".bmp"
    bool written;    // WriteDib writes files with this extension
    int batchRank;   // place in the batch mode's list (1 ...); 0: the batch does not write it
};

struct ImageFormat {
    const char* openName; // description in the open filter
    const char* saveName; // description in the save filter; nullptr: never written
    int saveRank;         // place in the save filter (1 ...); 0 when not written
    std::vector<FormatExtension> extensions; // in the order the filters list them
    // True when the bytes carry this format's signature.
    bool (*looksLike)(FormatBytes data);
    // No signature of its own: tried only after every other format.
    bool lastGuess;
    // Decodes into `out` (empty record on failure); at most `maxPixels` pixels
    // where the decoder can tell early.
    bool (*decode)(FormatBytes data, dib& out, std::uint64_t maxPixels);
    // Encodes `image` for a file with extension `ext`; nullptr: read only.
    bool (*encode)(const dib& image, const std::string& ext, const WriteOptions& options,
                   std::vector<std::uint8_t>& out);
    // Writes `density` into the resolution fields of the encoded `bytes`;
    // nullptr: the format has none, and its files carry no scale. Leaves
    // bytes it does not recognise as its encoder's alone.
    void (*stampResolution)(std::vector<std::uint8_t>& bytes, const PixelDensity& density);
    // Writes the file itself as it encodes, never holding the whole file in
    // memory, resolution included; false on failure (the caller discards
    // the file). nullptr: WriteDib encodes with `encode` first.
    bool (*write)(const dib& image, const WriteOptions& options, fp::PendingFile& file) = nullptr;
};

// Every format, in the order of the open filter.
const std::vector<ImageFormat>& ImageFormats();

// The format WriteDib uses for the lower-case extension `ext` (".jpg"), or
// nullptr when no format writes it.
const ImageFormat* formatWriting(const std::string& ext);

// The extensions the batch mode writes, in the order of its usage text.
std::vector<std::string> batchOutputExtensions();

// Appends "*<ext>" to a ";"-separated pattern list.
void appendPattern(std::string& patterns, const char* ext);

// The filter of the save dialogs in the "|"-separated form: every written
// format in save order with its written extensions.
std::string saveFilterPipes();

} // namespace pixkit
