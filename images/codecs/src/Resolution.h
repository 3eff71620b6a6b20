#pragma once
// The resolution fields of written files. The encoders write their own
// defaults; the writer then puts the picture's real scale into the file's
// own fields, through the format table's stampResolution column:
// - BMP/DIB: biXPelsPerMeter / biYPelsPerMeter (whole pixels per metre);
// - JPEG: EXIF XResolution / YResolution as fractions per centimetre, exact
//   to about nine digits
//   (written with exiv2), and the JFIF density in whole dots per inch for
//   readers that look only there;
// - PNG: the pHYs chunk (whole pixels per metre);
// - TIFF: XResolution / YResolution as exact fractions per centimetre;
// - PCX: the header's dots per inch (whole numbers);
// - JPEG 2000: the capture and the default display resolution boxes (resc,
//   resd), 16-bit fractions per metre.
// Every stamp leaves bytes that are not laid out as our encoders write them
// alone, and does nothing for a density that is not known.

#include "pixkit/PixelDensity.h"

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace pixkit::codec {

using ByteVector = std::vector<std::uint8_t>;

void stampBmp(ByteVector& bytes, const PixelDensity& density);
void stampJpeg(ByteVector& bytes, const PixelDensity& density);
void stampPng(ByteVector& bytes, const PixelDensity& density);
void stampTiff(ByteVector& bytes, const PixelDensity& density);
// The TIFF stamp on a directory at file offset `ifd` of a file whose bytes
// from `base` on are `bytes` (the directory and its values, which a file
// written row by row has at its end), in the file's byte order.
void stampTiffDirectory(std::span<std::uint8_t> bytes, std::size_t base, std::size_t ifd,
                        bool little, const PixelDensity& density);
void stampPcx(ByteVector& bytes, const PixelDensity& density);
void stampJp2(ByteVector& bytes, const PixelDensity& density);

// The fraction n / d nearest to `x` (> 0) with n <= maxNum and 1 <= d <=
// maxDen (best rational approximation by continued fractions).
std::pair<std::uint64_t, std::uint64_t> bestRational(double x, std::uint64_t maxNum,
                                                     std::uint64_t maxDen);

// Adds an EXIF segment holding XResolution, YResolution (per centimetre) and
// ResolutionUnit 3 after the JFIF segment of a JPEG (exiv2 encodes it).
// False, bytes unchanged, when the JPEG has no JFIF segment first or exiv2
// fails.
bool addExifResolution(ByteVector& jpeg, const PixelDensity& density);

} // namespace pixkit::codec
