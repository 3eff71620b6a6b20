#pragma once
// Picture files written row by row, top row first, straight into the
// pending replacement of the file, for a job that never holds its rectified
// image whole. The bytes are those WriteDibInto writes for the whole 24-bit
// picture with the same options, resolution fields included.

#include "pixkit/ImageFile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace fp {
class PendingFile;
}

namespace pixkit {

class RowFile {
public:
    RowFile() = default;
    virtual ~RowFile() = default;
    RowFile(const RowFile&) = delete;
    RowFile& operator=(const RowFile&) = delete;

    // The next `count` picture rows, top first, each `width` pixels of 3
    // bytes in the order blue, green, red. False when the encoder or the
    // file failed (the pending file's error() says which).
    virtual bool write(std::uint8_t* const* rows, int count) = 0;
    // Ends the file once every row is written; false when rows are missing
    // or something failed. The caller commits the pending file.
    virtual bool finish() = 0;
};

// True when files named like `fileName` (by extension) are written row by
// row: JPEG, PNG, and BMP and TIFF into a regular file (or none yet): a
// BMP's bottom-up rows are placed where they belong as they come, a TIFF's
// directory behind its strips points back to the header.
bool WritesRows(const std::string& fileName);

// Starts a width x height picture of the type `fileName` names in `file`,
// with `options` as WriteDib takes them (the density as given). nullptr when
// the type is not written row by row, the size is beyond the format, the
// encoder cannot start, or a TIFF has no density (its resolution would be
// Qt's, as the whole-image writer leaves it): the whole image is written then.
std::unique_ptr<RowFile> StartRowFile(const std::string& fileName, int width, int height,
                                      const WriteOptions& options, fp::PendingFile& file);

} // namespace pixkit
