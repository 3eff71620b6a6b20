#pragma once
// The DXF drawing of the traced lines: every chain of segments becomes one
// closed polyline on layer 0, scaled to real units from the real width of the
// marked rectangle (BreiteED, cm) and the calculation area (RechenbereichEd,
// percent). Lines end with CR LF; numbers use a full stop in every locale.
//
// Error policy: a file that cannot be created or written comes back as a
// status; the caller shows message 9 with the file name. An existing file of
// that name is replaced only when the new drawing is complete.

#include "lines/Chains.h"
#include "lines/DrawingUnit.h"
#include "lines/Trace.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace lines {

// Number of header lines before the first entity.
inline constexpr std::size_t DxfHeaderLines = 50;

// The one layer of the plain drawing, holding every polyline.
inline constexpr std::string_view DxfLayerName = "0";

// Replaces every comma of a number text by a full stop; every other
// character stays.
std::string DXFNumber(std::string_view text);

// The general number format: at most 15 significant digits, no trailing
// zeros, scientific ("1.5E-5", "1E15") when the decimal exponent is below -4
// or 15 and above; then through DXFNumber.
std::string FormatDxfNumber(double value);

// Drawing unit and scale.
struct DxfScale {
    double m = 1.0; // drawing unit in cm: the marked width is at most 100 units
    double s = 0.0; // drawing units per pixel of the traced image
};

// m: 1, 10, 100 ... until B / m <= 100 (or the fixed unit's centimetres);
// s = (B / m) / (W / r * 100), with B the real width in cm, r the calculation
// area in percent and W the traced image's width in pixels.
DxfScale ComputeDxfScale(double realWidthCm, double areaPercent, int width,
                         DrawingUnit unit = DrawingUnit::Auto);

// Builds the drawing's text: the header at construction, one call of add()
// per line record in list order, the end at finish().
class DxfText {
public:
    DxfText(double realWidthCm, double areaPercent, int width, int height,
            DrawingUnit unit = DrawingUnit::Auto);
    void add(const tlineinf& record);
    // Closes an open polyline and appends the trailer; returns the text.
    std::string finish();

    DxfScale scale() const { return m_scale; }

private:
    void line(std::string_view text);
    void vertex(std::int32_t x, std::int32_t y);

    DxfScale m_scale;
    int m_height;
    bool m_open = false;
    std::string m_text;
};

enum class DxfEnd {
    Written,
    CannotCreate, // no file can be made in the target folder
    WriteFailed,  // writing or renaming failed; nothing of the new drawing stays
};

// The end of a write from its error code (0, an errno or an fp code): no
// temporary file could be made in the folder (missing or closed to us), or
// writing or renaming failed.
DxfEnd DxfEndOf(int errorCode);

// Writes `content` to `fname` through fp::replaceFile, so a failure never
// leaves a cut-off or half-overwritten drawing. `errorCode`, when given,
// receives the reason (an errno or fp::NotRegularFile; 0 when written).
DxfEnd WriteFileReplacing(const std::string& fname, std::string_view content,
                          int* errorCode = nullptr);

// The text of the drawing of `records` for a traced image of width x height
// pixels.
std::string DxfDrawing(std::span<const tlineinf> records, double realWidthCm, double areaPercent,
                       int width, int height);

// Everything a drawing of the traced lines is made from, for both flavours.
struct DrawingRequest {
    std::span<const tlineinf> records; // the traced segments, in list order
    int tracedWidth = 0;               // the traced image (the export's outline image)
    int tracedHeight = 0;
    int pictureWidth = 0;       // the rectified image before the export enlarged it for
    int pictureHeight = 0;      // tracing; 0: the traced size
    double realWidthCm = 0.0;   // BreiteED
    double areaPercent = 100.0; // RechenbereichEd
    DrawingUnit unit = DrawingUnit::Auto;
    // Outlines smaller than this many pixels of the rectified image both
    // across and down are left out; 0 keeps everything.
    int minSizePx = 0;
};

// How many times the traced image enlarges the rectified picture, across and
// down, for the speck size of `request`.
SpeckSize TracedSpeckSize(const DrawingRequest& request);

// The plain drawing of `request`: with the automatic unit and no minimum size
// exactly the text of DxfDrawing above.
std::string DxfDrawing(const DrawingRequest& request);

} // namespace lines
