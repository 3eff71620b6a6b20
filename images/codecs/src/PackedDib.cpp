// Packed DIBs: a bitmap-info header, the colour table and the pixels without
// the 14-byte file header in front, as the clipboard and some programs write
// .dib files. The file header is made up from the info header (the pixels
// follow the header, the bit-field masks and the colour table directly) and
// the result read like any BMP, with all of that reader's checks.

#include "OwnCodecs.h"

#include <algorithm>

namespace pixkit::codec {

namespace {

std::uint32_t le32(Bytes d, std::size_t at) {
    return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
           (static_cast<std::uint32_t>(d[at + 2]) << 16) |
           (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

unsigned le16(Bytes d, std::size_t at) {
    return static_cast<unsigned>(d[at]) | (static_cast<unsigned>(d[at + 1]) << 8);
}

constexpr std::uint32_t BiBitfields = 3;
constexpr std::uint32_t BiAlphaBitfields = 6;

} // namespace

bool looksLikePackedDib(Bytes data) {
    if (data.size() < 16)
        return false;
    const std::uint32_t hs = le32(data, 0);
    const bool core = hs == 12;
    if (!core && !(hs == 40 || hs == 52 || hs == 56 || hs == 64 || hs == 108 || hs == 124))
        return false;
    if (data.size() < hs)
        return false;
    const unsigned planes = le16(data, core ? 8 : 12);
    const unsigned bits = le16(data, core ? 10 : 14);
    const bool knownBits =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return planes == 1 && knownBits && (core || le32(data, 16) <= BiAlphaBitfields);
}

bool decodePackedDib(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (!looksLikePackedDib(data))
        return false;
    const std::uint32_t hs = le32(data, 0);
    const bool core = hs == 12;
    const unsigned bits = le16(data, core ? 10 : 14);
    const std::uint32_t compression = core ? 0 : le32(data, 16);
    const std::uint64_t used = core ? 0 : le32(data, 32);
    std::uint64_t offset = std::uint64_t{14} + hs;
    if (hs == 40 && compression == BiBitfields)
        offset += 12;
    if (hs == 40 && compression == BiAlphaBitfields)
        offset += 16;
    if (bits <= 8) {
        const std::uint64_t full = std::uint64_t{1} << bits;
        offset += (used != 0 ? std::min(used, full) : full) * (core ? 3 : 4);
    } else {
        offset += used * 4; // a colour table for display, before the pixels
    }
    // Pixels that would start beyond the data: no picture.
    if (offset > std::uint64_t{14} + data.size())
        return false;

    std::vector<std::uint8_t> file;
    file.reserve(data.size() + 14);
    const auto put32 = [&file](std::uint64_t v) {
        for (int k = 0; k < 4; ++k)
            file.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    };
    file.push_back('B');
    file.push_back('M');
    put32(data.size() + 14);
    put32(0);
    put32(offset);
    file.insert(file.end(), data.begin(), data.end());
    return decodeBmp(file, out, maxPixels);
}

} // namespace pixkit::codec
