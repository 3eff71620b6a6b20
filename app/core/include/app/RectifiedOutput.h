#pragma once
// Writing a rectified image: its real scale goes into the resolution fields
// of the file (k / B pixels per cm, k = width / area * 100 pixels for the
// B cm of the marked rectangle, exact where the format can hold it), and on
// request a world file beside it (with GDAL's sidecar where GDAL needs one)
// that places the image like the DXF drawing of the same image.
//
// Error policy: the result names the file that failed and why; a failed
// world file is a failed write. Every file is written completely to a
// pending replacement before any of them replaces an old one, so a picture
// that cannot be encoded or written leaves the files beside it untouched;
// when putting them in place fails halfway, the world files go back to the
// bytes they had (or away, where there were none). Names are the file
// system's bytes throughout.

#include "foundation/Fault.h"
#include "lines/DrawingUnit.h"
#include "pixkit/ImageFile.h"
#include "pixkit/dib.h"

#include <string>

namespace fp {
class PendingFile;
}

namespace app {

// Sets biXPelsPerMeter and biYPelsPerMeter of `image` from the real width of
// the marked rectangle and the calculation area. Leaves them as they are
// when the scale is no positive finite number.
void SetRealScale(pixkit::dib& image, double realWidthCm, int areaPercent);

struct RectifiedWrite {
    bool ok = false;
    std::string file;  // the file that failed (image or world file)
    std::string error; // why; empty when ok
    fp::Fault fault;   // the same reason as data
};

// How a rectified image is written besides its scale.
struct RectifiedOptions {
    // Qualities and the PNG level; the density is the image's scale, filled
    // in by WriteRectified.
    pixkit::WriteOptions write;
    bool worldFile = false;                             // also write the world file
    lines::DrawingUnit unit = lines::DrawingUnit::Auto; // of the world file
};

// Writes `image` to `fileName` (format by extension) with its real scale
// (the image's width made at `realWidthCm` and `areaPercent`), and on
// request its world file.
RectifiedWrite WriteRectified(pixkit::dib& image, const std::string& fileName, double realWidthCm,
                              int areaPercent, const RectifiedOptions& options);

// Puts `picture`, the pending replacement of `fileName` with a width x
// height image made at `realWidthCm` and `areaPercent` written into it, in
// place, with its world file on request, as WriteRectified does.
RectifiedWrite CommitRectified(fp::PendingFile& picture, const std::string& fileName, int width,
                               int height, double realWidthCm, int areaPercent,
                               const RectifiedOptions& options);

// The same with JPEG at `jpegQuality` and the automatic unit.
RectifiedWrite WriteRectified(pixkit::dib& image, const std::string& fileName, int jpegQuality,
                              double realWidthCm, int areaPercent, bool worldFile);

} // namespace app
