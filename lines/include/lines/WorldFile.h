#pragma once
// The scale of a rectified image in its files: the world file beside the
// image, and the pixels per centimetre of the formats' resolution fields.
//
// The world file places the image in the units and with the origin of the
// DXF drawing of the same image (the same drawing unit, origin at the
// bottom-left, Y up),
// so that a CAD or GIS program lays the image and the drawing exactly on top
// of each other: pixel column x spans X = x * s ... (x + 1) * s, pixel row y
// spans Y = (H - y - 1) * s ... (H - y) * s.

#include "lines/Dxf.h"

#include <optional>
#include <string>
#include <vector>

namespace lines {

// The six values of a world file, in file order.
struct WorldFile {
    double pixelWidth = 0.0;  // size of a pixel in X, drawing units
    double rotationY = 0.0;   // 0: the image is not turned
    double rotationX = 0.0;   // 0
    double pixelHeight = 0.0; // minus the size of a pixel in Y (rows run downwards)
    double centreX = 0.0;     // X of the centre of the top-left pixel
    double centreY = 0.0;     // Y of the centre of the top-left pixel
};

// The world file of an image of width x height pixels whose marked rectangle
// is realWidthCm wide at the calculation area areaPercent (the DXF export's
// scale with the image's own width, in `unit`). Empty when the scale is not a
// positive finite number (no real width, no image).
std::optional<WorldFile> ComputeWorldFile(double realWidthCm, double areaPercent, int width,
                                          int height, DrawingUnit unit = DrawingUnit::Auto);

// The six lines, numbers as in the DXF drawing, each ended by a line feed.
std::string WorldFileText(const WorldFile& wf);

// The world file's name beside `imageFile`: the extension becomes its first
// and last letter and "w" (photo.jpg -> photo.jgw, plan.tiff -> plan.tfw,
// a.png -> a.pgw); a WebP picture gets the general name ".wld" (plan.webp ->
// plan.wld), the one GIS programs look for beside formats that have no world
// file name of their own. Empty when the image file has no extension.
std::string WorldFileName(const std::string& imageFile);

// Pixels per centimetre of the real facade: the marked rectangle's width in
// pixels, k = width / areaPercent * 100, over its real width. Empty when not
// a positive finite number.
std::optional<double> PixelsPerCm(double realWidthCm, double areaPercent, int width);

// GDAL reads no world file for some formats (WebP and Targa in GDAL 3.6)
// but takes the placement from its own sidecar beside the picture: the
// sidecar's name ("plan.webp" -> "plan.webp.aux.xml"), empty for formats
// whose world file GDAL reads.
std::string GdalSidecarName(const std::string& imageFile);

// The sidecar's text: the placement as GDAL's geotransform (the top-left
// corner of the top-left pixel and the pixel size), numbers exact to the
// last bit.
std::string GdalSidecarText(const WorldFile& wf);

// Every file WriteWorldFile writes beside `imageFile`: the world file and,
// where GDAL needs it, the sidecar. Empty when the image file has no
// extension.
std::vector<std::string> WorldFileNames(const std::string& imageFile);

// Writes the world file of `imageFile`, and the GDAL sidecar where it needs
// one, each through a temporary file and a rename. Both are prepared before
// either replaces an old one.
DxfEnd WriteWorldFile(const std::string& imageFile, const WorldFile& wf);

} // namespace lines
