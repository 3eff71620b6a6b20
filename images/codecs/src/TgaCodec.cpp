#include "CodecBytes.h"
#include "OwnCodecs.h"

#include <algorithm>
#include <cstring>

namespace pixkit::codec {

using namespace detail;

namespace {

constexpr std::size_t HeaderBytes = 18;
constexpr std::uint8_t TopOrigin = 0x20;
constexpr std::uint8_t RightOrigin = 0x10;
constexpr char Signature[] = "TRUEVISION-XFILE.";

struct Header {
    std::size_t idLength = 0;
    int mapType = 0;
    int type = 0;
    std::size_t mapFirst = 0;
    std::size_t mapLength = 0;
    int mapBits = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bits = 0;
    std::uint8_t descriptor = 0;

    std::size_t mapBytes() const {
        return mapType == 1 ? mapLength * static_cast<std::size_t>((mapBits + 7) / 8) : 0;
    }
    int baseType() const { return type & 7; }
    bool packed() const { return type >= 9; }
};

Header readHeader(Bytes d) {
    Header h;
    h.idLength = d[0];
    h.mapType = d[1];
    h.type = d[2];
    h.mapFirst = le16(d, 3);
    h.mapLength = le16(d, 5);
    h.mapBits = d[7];
    h.width = le16(d, 12);
    h.height = le16(d, 14);
    h.bits = d[16];
    h.descriptor = d[17];
    return h;
}

bool validMapBits(int b) {
    return b == 15 || b == 16 || b == 24 || b == 32;
}

// Colour of a 15/16-, 24- or 32-bit little-endian pixel (blue first).
Colour colourAt(const std::uint8_t* p, int bits) {
    if (bits <= 16) {
        const unsigned v = unsigned{p[0]} | (unsigned{p[1]} << 8);
        auto five = [](unsigned c) { return static_cast<std::uint8_t>((c << 3) | (c >> 2)); };
        return rgb(five((v >> 10) & 0x1F), five((v >> 5) & 0x1F), five(v & 0x1F));
    }
    return rgb(p[2], p[1], p[0]);
}

} // namespace

bool looksLikeTga(Bytes data) {
    if (data.size() < HeaderBytes)
        return false;
    const Header h = readHeader(data);
    if (h.mapType > 1 || h.width == 0 || h.height == 0 || (h.descriptor & 0xC0) != 0)
        return false;
    if (h.mapType == 1 && (!validMapBits(h.mapBits) || h.mapLength == 0))
        return false;
    switch (h.type) {
    case 1:
    case 9:
        if (h.mapType != 1 || h.bits != 8)
            return false;
        break;
    case 2:
    case 10:
        if (h.bits != 15 && h.bits != 16 && h.bits != 24 && h.bits != 32)
            return false;
        break;
    case 3:
    case 11:
        if (h.bits != 8)
            return false;
        break;
    default:
        return false;
    }
    return fits(data, HeaderBytes + h.idLength, h.mapBytes());
}

bool decodeTga(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (!looksLikeTga(data))
        return false;
    const Header h = readHeader(data);
    if (!withinPixelLimit(h.width, h.height, maxPixels))
        return false;
    std::size_t p = HeaderBytes + h.idLength;

    Palette pal{};
    if (h.mapType == 1) {
        const auto entryBytes = static_cast<std::size_t>((h.mapBits + 7) / 8);
        for (std::size_t e = 0; e < h.mapLength; ++e) {
            // Entry e stands for pixel value mapFirst + e; values past 255
            // cannot occur in 8-bit pixels.
            if (h.mapFirst + e < 256)
                pal[h.mapFirst + e] = colourAt(data.data() + p + e * entryBytes, h.mapBits);
        }
        p += h.mapBytes();
    }
    if (h.baseType() == 3) {
        for (unsigned i = 0; i < 256; ++i)
            pal[i] = rgb(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                         static_cast<std::uint8_t>(i));
    }
    const int depth = h.baseType() == 2 ? 24 : 8;
    const auto pixelBytes = static_cast<std::size_t>((h.bits + 7) / 8);
    const auto total = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
    const std::uint64_t region = data.size() - p;
    // A packet of two bytes or more covers at most 128 pixels.
    if (h.packed() ? (total + 127) / 128 > region : total * pixelBytes > region)
        return false;

    makeImage(out, h.width, h.height, depth, &pal, maxPixels);
    if (out.poi == nullptr)
        return false;

    const auto w = static_cast<std::uint64_t>(h.width);
    const bool fromTop = (h.descriptor & TopOrigin) != 0;
    const bool fromRight = (h.descriptor & RightOrigin) != 0;
    // Pixel i of the file, in file order.
    auto put = [&](std::uint64_t i, const std::uint8_t* src) {
        const std::uint64_t fileRow = i / w;
        std::uint64_t x = i % w;
        if (fromRight)
            x = w - 1 - x;
        const auto r = static_cast<int>(fromTop ? static_cast<std::uint64_t>(h.height) - 1 - fileRow
                                                : fileRow);
        std::uint8_t* row = storedRow(out, r);
        if (depth == 8) {
            row[x] = src[0];
        } else {
            const Colour c = colourAt(src, h.bits);
            row[3 * x] = blueOf(c);
            row[3 * x + 1] = greenOf(c);
            row[3 * x + 2] = redOf(c);
        }
    };

    if (!h.packed()) {
        for (std::uint64_t i = 0; i < total; ++i)
            put(i, data.data() + p + i * pixelBytes);
        return true;
    }
    // Packets may run on into the next row; a packet past the last pixel is cut.
    std::uint64_t i = 0;
    while (i < total) {
        if (p >= data.size())
            return fail(out);
        const std::uint8_t head = data[p++];
        const std::uint64_t count = std::min<std::uint64_t>((head & 0x7Fu) + 1, total - i);
        if ((head & 0x80) != 0) {
            if (!fits(data, p, pixelBytes))
                return fail(out);
            for (std::uint64_t k = 0; k < count; ++k)
                put(i + k, data.data() + p);
            p += pixelBytes;
        } else {
            const std::size_t n = ((head & 0x7Fu) + 1) * pixelBytes;
            if (!fits(data, p, n))
                return fail(out);
            for (std::uint64_t k = 0; k < count; ++k)
                put(i + k, data.data() + p + k * pixelBytes);
            p += n;
        }
        i += count;
    }
    return true;
}

bool encodeTga(const dib& image, std::vector<std::uint8_t>& out) {
    out.clear();
    const auto shape = encodeShape(image, 65535, 65535);
    if (!shape)
        return false;
    const auto [bits, w, h] = *shape;
    const bool mapped = bits <= 8;
    // 1- and 4-bit pictures become 8-bit indices into a map of 2 or 16.
    const unsigned colours = mapped ? (1u << bits) : 0;

    out.push_back(0);               // no id
    out.push_back(mapped ? 1 : 0);  // colour map present
    out.push_back(mapped ? 1 : 2);  // uncompressed, mapped or true colour
    putLe16(out, 0);                // first map entry
    putLe16(out, colours);          // map length
    out.push_back(mapped ? 24 : 0); // bits per map entry
    putLe16(out, 0);                // x origin
    putLe16(out, 0);                // y origin
    putLe16(out, static_cast<std::uint32_t>(w));
    putLe16(out, static_cast<std::uint32_t>(h));
    out.push_back(mapped ? 8 : 24);
    out.push_back(0); // rows bottom-up, like the image's stored rows
    for (unsigned i = 0; i < colours; ++i) {
        const Colour c = imageColour(image, i);
        out.push_back(blueOf(c));
        out.push_back(greenOf(c));
        out.push_back(redOf(c));
    }
    const auto uw = static_cast<std::size_t>(w);
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* row = storedRow(image, r);
        if (bits == 24) {
            out.insert(out.end(), row, row + 3 * uw);
        } else {
            for (int x = 0; x < w; ++x)
                out.push_back(static_cast<std::uint8_t>(indexAt(row, x, bits)));
        }
    }
    // Version 2 footer: no extension or developer area.
    for (int i = 0; i < 8; ++i)
        out.push_back(0);
    out.insert(out.end(), Signature, Signature + sizeof(Signature));
    return true;
}

} // namespace pixkit::codec
