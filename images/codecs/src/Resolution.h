#pragma once
// The resolution fields of written files: the encoders write their own
// defaults, and the writer then sets the image's pixels per metre
// (biXPelsPerMeter, biYPelsPerMeter) in the file's own field, where the
// format has one: BMP/DIB headers, the JFIF density (dots per cm), the PNG
// pHYs chunk (per metre) and TIFF X/YResolution (per cm, as the exact
// fraction ppm / 100). Other formats stay as encoded.

#include <cstdint>
#include <string>
#include <vector>

namespace pixkit::codec {

// Sets the resolution in the encoded `bytes` of a file with the lower-case
// extension `ext`. Does nothing when either value is not positive or the
// bytes are not laid out as this program's encoders write them.
void stampResolution(const std::string& ext, std::vector<std::uint8_t>& bytes, std::int32_t ppmX,
                     std::int32_t ppmY);

} // namespace pixkit::codec
