#pragma once
// Our own small codecs: BMP/DIB (uncompressed, RLE4, RLE8), PCX, IFF/ILBM and
// TGA. Every decoder reads untrusted bytes: it checks each length and offset
// against the buffer, never trusts a header size, and on any fault returns
// false with `out` an empty record (no image allocated, nothing leaked).
// Decoders return palette images at their stored depth (1, 4 or 8 bits, with
// colour table and `pal`), everything else as 24 bits.

#include "pixkit/dib.h"

#include <cstdint>
#include <span>
#include <vector>

namespace pixkit::codec {

using Bytes = std::span<const std::uint8_t>;

// Largest picture any decoder accepts: 2^28 pixels (16384 x 16384), far above
// any photograph of a facade, small enough that a lying header cannot make
// us allocate and touch gigabytes. Every decoder compares the size its header
// declares with the limit before it asks for any memory.
inline constexpr std::uint64_t MaxDecodedPixels = std::uint64_t{1} << 28;

// True when a picture of width x height pixels is positive and within `maxPixels`.
inline bool withinPixelLimit(std::int64_t width, std::int64_t height, std::uint64_t maxPixels) {
    if (width <= 0 || height <= 0)
        return false;
    const auto w = static_cast<std::uint64_t>(width), h = static_cast<std::uint64_t>(height);
    return w <= maxPixels / h;
}

bool looksLikeBmp(Bytes data);
// A packed DIB: a .dib that starts with the bitmap-info header itself.
bool looksLikePackedDib(Bytes data);
bool looksLikePcx(Bytes data);
bool looksLikeIlbm(Bytes data);
// TGA has no signature; this is a plausibility check of the header only and
// is tried last.
bool looksLikeTga(Bytes data);

bool decodeBmp(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);
bool decodePackedDib(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);
bool decodePcx(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);
bool decodeIlbm(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);
bool decodeTga(Bytes data, dib& out, std::uint64_t maxPixels = MaxDecodedPixels);

// Encoders take any image of 1, 4, 8 or 24 bits. `rle`: BMP with RLE8/RLE4
// compression for 8/4-bit images (24-bit images are written uncompressed,
// the format has no RLE for them).
bool encodeBmp(const dib& image, bool rle, std::vector<std::uint8_t>& out);
// The headers encodeBmp writes before the rows of a 24-bit picture (their
// order bottom-up); false when the file would not fit its 4 GB size field.
bool bmpHeader24(int width, int height, std::vector<std::uint8_t>& out);
bool encodePcx(const dib& image, std::vector<std::uint8_t>& out);
bool encodeIlbm(const dib& image, std::vector<std::uint8_t>& out);
bool encodeTga(const dib& image, std::vector<std::uint8_t>& out);

} // namespace pixkit::codec
