#pragma once
// The CAD drawing of the traced lines: an AutoCAD 2000 DXF (AC1015) that CAD
// programs take at face value. Its header states the unit ($INSUNITS, metric
// $MEASUREMENT) and the real extents; the outlines are lightweight polylines
// on the layer "Umrisse", closed only where the outline really closes; the
// rectified photograph lies under them on the layer "Foto" as a raster image
// (a PNG beside the drawing, referenced by its name alone), its lower left
// corner at (0, 0) and one pixel the picture's pixel size.
//
// Coordinates are those of the plain drawing (X = x * s, Y = (H - y) * s) in
// the unit the header records: the drawing unit when it has a DXF code,
// otherwise the nearest one that has (NearestCadUnit).
//
// Error policy: the text is built in memory (std::bad_alloc goes to the
// caller); writing reports a DxfEnd and never leaves half a drawing or half
// an underlay behind.

#include "lines/Dxf.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lines {

inline constexpr std::string_view CadOutlineLayer = "Umrisse";
inline constexpr std::string_view CadPhotoLayer = "Foto";

// The scale of the CAD drawing of `request`: the unit it records and the
// size of a traced pixel and of a picture pixel in that unit.
struct CadScale {
    CadUnit unit;
    double tracedPixel = 0.0;  // s of the outlines, drawing units per traced pixel
    double picturePixel = 0.0; // drawing units per pixel of the rectified picture
};
CadScale ComputeCadScale(const DrawingRequest& request);

// The drawing's text. With `underlayName` (the PNG's file name, no folder)
// the photograph of request.pictureWidth x request.pictureHeight pixels lies
// under the outlines; with an empty name the drawing holds the outlines only.
std::string CadDrawing(const DrawingRequest& request, std::string_view underlayName = {});

// The underlay beside the drawing `dxfPath`: the same folder and name with
// the extension ".png" ("plan.dxf" -> "plan.png", "plan" -> "plan.png"); a
// drawing that is itself named ".png" gets "<name>.png" appended.
std::string UnderlayPath(const std::string& dxfPath);

// Writes the drawing of `request` to `dxfPath` in `format`. The CAD drawing
// also writes `underlayPng` (the encoded rectified picture) to
// UnderlayPath(dxfPath) and references it; with no bytes it has no underlay.
// Both files are prepared completely before either replaces an old one: a
// failure leaves the old files as they were (only a failed rename of the
// drawing after the underlay's can leave a new underlay beside an old
// drawing). `errorCode` receives the errno or fp code of the failure.
DxfEnd WriteDrawing(const std::string& dxfPath, DxfFormat format, const DrawingRequest& request,
                    std::span<const std::uint8_t> underlayPng = {}, int* errorCode = nullptr);

} // namespace lines
