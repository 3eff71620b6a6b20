#pragma once
// Writing a rectified image: its real scale goes into the resolution fields
// of the file (k / B pixels per cm, k = width / area * 100 pixels for the
// B cm of the marked rectangle), and on request a world file beside it that
// places the image like the DXF drawing of the same image.
//
// Error policy: the result names the file that failed and why; a failed
// world file is a failed write. The world file is written first: when it
// fails, the image is not touched; when the image then fails, the world file
// goes back to what it was. Each file is written through a temporary file.

#include "pixkit/dib.h"

#include <string>

namespace app {

// Sets biXPelsPerMeter and biYPelsPerMeter of `image` from the real width of
// the marked rectangle and the calculation area. Leaves them as they are
// when the scale is no positive finite number.
void SetRealScale(pixkit::dib& image, double realWidthCm, int areaPercent);

struct RectifiedWrite {
    bool ok = false;
    std::string file;  // the file that failed (image or world file)
    std::string error; // why; empty when ok
};

// Writes `image` to `fileName` (format by extension, JPEG at `jpegQuality`)
// with its real scale, and with `worldFile` also the world file.
RectifiedWrite WriteRectified(pixkit::dib& image, const std::string& fileName, int jpegQuality,
                              double realWidthCm, int areaPercent, bool worldFile);

} // namespace app
