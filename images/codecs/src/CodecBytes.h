#pragma once
// Small helpers shared by the own codecs: bounds-checked reads of untrusted
// bytes, writers for little- and big-endian fields, and the making of
// palette images. Header-only so each codec file stands on its own.

#include "OwnCodecs.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pixkit::codec::detail {

// True when [offset, offset + length) lies inside the buffer; 64-bit sums
// cannot wrap for any size a span can have.
inline bool fits(Bytes data, std::uint64_t offset, std::uint64_t length) {
    return offset <= data.size() && length <= data.size() - offset;
}

// True when a * b <= limit, without overflowing.
inline bool productAtMost(std::uint64_t a, std::uint64_t b, std::uint64_t limit) {
    return b == 0 || a <= limit / b;
}

inline std::uint16_t le16(Bytes d, std::size_t o) {
    return static_cast<std::uint16_t>(d[o] | (d[o + 1] << 8));
}
inline std::uint32_t le32(Bytes d, std::size_t o) {
    return static_cast<std::uint32_t>(d[o]) | (static_cast<std::uint32_t>(d[o + 1]) << 8) |
           (static_cast<std::uint32_t>(d[o + 2]) << 16) |
           (static_cast<std::uint32_t>(d[o + 3]) << 24);
}
inline std::uint16_t be16(Bytes d, std::size_t o) {
    return static_cast<std::uint16_t>((d[o] << 8) | d[o + 1]);
}
inline std::uint32_t be32(Bytes d, std::size_t o) {
    return (static_cast<std::uint32_t>(d[o]) << 24) | (static_cast<std::uint32_t>(d[o + 1]) << 16) |
           (static_cast<std::uint32_t>(d[o + 2]) << 8) | static_cast<std::uint32_t>(d[o + 3]);
}

inline void putLe16(std::vector<std::uint8_t>& o, std::uint32_t v) {
    o.push_back(static_cast<std::uint8_t>(v & 0xFF));
    o.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
inline void putLe32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    putLe16(o, v & 0xFFFF);
    putLe16(o, v >> 16);
}
inline void putBe16(std::vector<std::uint8_t>& o, std::uint32_t v) {
    o.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    o.push_back(static_cast<std::uint8_t>(v & 0xFF));
}
inline void putBe32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    putBe16(o, v >> 16);
    putBe16(o, v & 0xFFFF);
}

// Colour table of up to 256 entries as colour values (red in the low byte).
// Entries never set stay black.
using Palette = std::array<Colour, 256>;

// Makes an empty image of the given depth; for 1, 4 and 8 bits the colour
// table (and `pal`) receive the first 2^bits entries of `colours`. Nothing is
// made for a picture over `maxPixels`.
inline void makeImage(dib& out, std::int64_t width, std::int64_t height, int bits,
                      const Palette* colours, std::uint64_t maxPixels) {
    out = dib{};
    if (!withinPixelLimit(width, height, maxPixels) || width > INT32_MAX || height > INT32_MAX)
        return;
    if (bits <= 8 && colours != nullptr) {
        BitmapInfo templ{};
        for (std::size_t i = 0; i < 256; ++i) {
            templ.bmiColors[i].rgbRed = redOf((*colours)[i]);
            templ.bmiColors[i].rgbGreen = greenOf((*colours)[i]);
            templ.bmiColors[i].rgbBlue = blueOf((*colours)[i]);
        }
        newdib(out, static_cast<int>(width), static_cast<int>(height), bits, &templ, 1 << bits);
    } else {
        newdib(out, static_cast<int>(width), static_cast<int>(height), bits, nullptr, 0);
    }
}

// Fails a decode: releases whatever was made and leaves `out` empty.
inline bool fail(dib& out) {
    releasedib(out);
    out = dib{};
    return false;
}

// Size and depth of an image the encoders accept: present, 1/4/8/24 bits,
// positive size within the format's limits. Empty when the image cannot be
// written in that format.
struct EncodeShape {
    int bits = 0;
    int w = 0;
    int h = 0;
};
inline std::optional<EncodeShape> encodeShape(const dib& image, int maxWidth, int maxHeight) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return std::nullopt;
    const EncodeShape s{dibbits(image), dibwidth(image), dibheight(image)};
    const bool depthOk = s.bits == 1 || s.bits == 4 || s.bits == 8 || s.bits == 24;
    if (!depthOk || s.w <= 0 || s.h <= 0 || s.w > maxWidth || s.h > maxHeight)
        return std::nullopt;
    return s;
}

// Palette index of pixel x in a stored row of a 1-, 4- or 8-bit image.
inline unsigned indexAt(const std::uint8_t* row, int x, int bits) {
    const auto ux = static_cast<std::size_t>(x);
    switch (bits) {
    case 8:
        return row[ux];
    case 4:
        return (ux & 1) != 0 ? (row[ux / 2] & 0x0Fu) : (row[ux / 2] >> 4u);
    default:
        return (row[ux / 8] >> (7 - (ux & 7))) & 1u;
    }
}

// Writes palette index v of pixel x into a stored row.
inline void putIndex(std::uint8_t* row, std::size_t x, int bits, unsigned v) {
    switch (bits) {
    case 8:
        row[x] = static_cast<std::uint8_t>(v);
        break;
    case 4: {
        std::uint8_t& b = row[x / 2];
        b = (x & 1) != 0 ? static_cast<std::uint8_t>((b & 0xF0u) | (v & 0x0Fu))
                         : static_cast<std::uint8_t>((b & 0x0Fu) | ((v & 0x0Fu) << 4));
        break;
    }
    default: {
        const auto mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
        std::uint8_t& b = row[x / 8];
        b = (v & 1) != 0 ? static_cast<std::uint8_t>(b | mask)
                         : static_cast<std::uint8_t>(b & ~mask);
        break;
    }
    }
}

// Colour-table entry i of an image.
inline Colour imageColour(const dib& image, unsigned i) {
    return tableColour(image, static_cast<int>(i & 0xFFu));
}

// Reverses the order of the stored rows (top-down files into bottom-up rows).
inline void flipRows(const dib& d) {
    const int h = dibheight(d);
    const auto n = static_cast<std::size_t>(d.bytew);
    for (int a = 0, b = h - 1; a < b; ++a, --b) {
        std::uint8_t* ra = storedRow(d, a);
        std::uint8_t* rb = storedRow(d, b);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t t = ra[i];
            ra[i] = rb[i];
            rb[i] = t;
        }
    }
}

// Reverses the pixels of every row (right-to-left files); 24 or 8 bits.
inline void mirrorRows(const dib& d) {
    const int w = dibwidth(d);
    const auto px = static_cast<std::size_t>(dibbits(d) / 8);
    for (int r = 0; r < dibheight(d); ++r) {
        std::uint8_t* row = storedRow(d, r);
        for (std::size_t a = 0, b = static_cast<std::size_t>(w) - 1; a < b; ++a, --b)
            for (std::size_t i = 0; i < px; ++i) {
                const std::uint8_t t = row[a * px + i];
                row[a * px + i] = row[b * px + i];
                row[b * px + i] = t;
            }
    }
}

} // namespace pixkit::codec::detail
