#include "CodecBytes.h"
#include "OwnCodecs.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace pixkit::codec {

using namespace detail;

namespace {

constexpr std::uint32_t BiRgb = 0;
constexpr std::uint32_t BiRle8 = 1;
constexpr std::uint32_t BiRle4 = 2;
constexpr std::uint32_t BiBitfields = 3;
constexpr std::uint32_t BiAlphaBitfields = 6;

constexpr std::size_t FileHeaderBytes = 14;

// Header sizes we read: the OS/2 core header, the classic info header and the
// longer versions that only add fields at the end.
bool knownHeaderSize(std::uint32_t n) {
    return n == 12 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124;
}

struct Header {
    std::int64_t width = 0;
    std::int64_t height = 0; // always positive here
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = BiRgb;
    std::uint32_t coloursUsed = 0;
    std::uint64_t paletteOffset = 0;
    std::size_t paletteEntryBytes = 4;
    std::uint64_t pixelOffset = 0;
};

// One colour channel of a 16/32-bit pixel described by its mask.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0)
            return;
        shift = std::countr_zero(m);
        bits = std::countr_one(m >> shift);
    }
    std::uint8_t value(std::uint32_t px) const {
        if (bits == 0)
            return 0;
        std::uint32_t v = (px & mask) >> shift;
        int n = bits;
        if (n > 8) {
            v >>= (n - 8);
            n = 8;
        }
        v &= (1u << n) - 1;
        // Widen by repeating the bit pattern (5 bits: v << 3 | v >> 2), so
        // full intensity stays full.
        std::uint32_t wide = 0;
        int filled = 0;
        while (filled < 8) {
            wide = (wide << n) | v;
            filled += n;
        }
        return static_cast<std::uint8_t>(wide >> (filled - 8));
    }
};

bool readHeader(Bytes data, Header& h) {
    if (!looksLikeBmp(data))
        return false;
    const std::uint32_t hs = le32(data, 14);
    if (!fits(data, FileHeaderBytes, hs))
        return false;
    h.pixelOffset = le32(data, 10);
    if (hs == 12) {
        h.width = le16(data, 18);
        h.height = le16(data, 20);
        h.bits = le16(data, 24);
        h.paletteEntryBytes = 3;
    } else {
        h.width = static_cast<std::int32_t>(le32(data, 18));
        h.height = static_cast<std::int32_t>(le32(data, 22));
        h.bits = le16(data, 28);
        h.compression = le32(data, 30);
        h.coloursUsed = le32(data, 46);
    }
    if (h.height < 0) {
        h.height = -h.height; // 64 bits: INT32_MIN negates safely
        h.topDown = true;
    }
    if (h.width <= 0 || h.height <= 0)
        return false;

    std::uint64_t afterHeader = FileHeaderBytes + hs;
    // The classic header keeps the bit-field masks just behind it.
    if (hs == 40 && h.compression == BiBitfields)
        afterHeader += 12;
    if (hs == 40 && h.compression == BiAlphaBitfields)
        afterHeader += 16;
    h.paletteOffset = afterHeader;

    switch (h.bits) {
    case 1:
    case 4:
    case 8:
        if (h.compression == BiRgb)
            return true;
        // Run-length bitmaps are bottom-up by definition.
        if (h.topDown)
            return false;
        return (h.compression == BiRle8 && h.bits == 8) || (h.compression == BiRle4 && h.bits == 4);
    case 24:
        return h.compression == BiRgb;
    case 16:
    case 32:
        return h.compression == BiRgb || h.compression == BiBitfields ||
               h.compression == BiAlphaBitfields;
    default:
        return false;
    }
}

bool readPalette(Bytes data, const Header& h, Palette& pal) {
    pal.fill(0);
    const std::uint64_t full = std::uint64_t{1} << h.bits;
    std::uint64_t count = h.coloursUsed != 0 ? std::min<std::uint64_t>(h.coloursUsed, full) : full;
    // Files that store fewer entries than the depth allows say so by where
    // the pixels start; the missing entries stay black.
    if (h.pixelOffset > h.paletteOffset)
        count =
            std::min<std::uint64_t>(count, (h.pixelOffset - h.paletteOffset) / h.paletteEntryBytes);
    if (!fits(data, h.paletteOffset, count * h.paletteEntryBytes))
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t o = static_cast<std::size_t>(h.paletteOffset) + i * h.paletteEntryBytes;
        pal[i] = rgb(data[o + 2], data[o + 1], data[o]);
    }
    return true;
}

// Stored row for file row i (files list rows bottom-up unless top-down).
int targetRow(const Header& h, std::int64_t i) {
    return static_cast<int>(h.topDown ? h.height - 1 - i : i);
}

bool decodeUncompressed(Bytes data, const Header& h, dib& out, std::uint64_t maxPixels) {
    const std::uint64_t w = static_cast<std::uint64_t>(h.width);
    const std::uint64_t bits = static_cast<std::uint64_t>(h.bits);
    const std::uint64_t stride = ((w * bits + 31) / 32) * 4;
    const std::uint64_t used = (w * bits + 7) / 8;
    const auto rows = static_cast<std::uint64_t>(h.height);
    // The last row may lack its padding; everything else must be present.
    if (h.pixelOffset > data.size())
        return false;
    const std::uint64_t avail = data.size() - h.pixelOffset;
    if (!productAtMost(stride, rows - 1, avail) || stride * (rows - 1) + used > avail)
        return false;

    Palette pal{};
    if (h.bits <= 8 && !readPalette(data, h, pal))
        return false;
    makeImage(out, h.width, h.height, h.bits <= 8 ? h.bits : 24, &pal, maxPixels);
    if (out.poi == nullptr)
        return false;

    std::uint32_t masks[3] = {0, 0, 0};
    if (h.bits == 16 || h.bits == 32) {
        if (h.compression == BiRgb) {
            if (h.bits == 16) {
                masks[0] = 0x7C00;
                masks[1] = 0x03E0;
                masks[2] = 0x001F;
            } else {
                masks[0] = 0xFF0000;
                masks[1] = 0x00FF00;
                masks[2] = 0x0000FF;
            }
        } else {
            if (!fits(data, FileHeaderBytes + 40, 12))
                return fail(out);
            for (std::size_t c = 0; c < 3; ++c)
                masks[c] = le32(data, FileHeaderBytes + 40 + 4 * c);
        }
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);

    for (std::uint64_t i = 0; i < rows; ++i) {
        const std::uint8_t* src = data.data() + h.pixelOffset + i * stride;
        std::uint8_t* dst = storedRow(out, targetRow(h, static_cast<std::int64_t>(i)));
        if (h.bits <= 8 || h.bits == 24) {
            std::copy(src, src + used, dst);
            continue;
        }
        for (std::uint64_t x = 0; x < w; ++x) {
            const std::uint32_t px =
                h.bits == 16 ? le16(Bytes(src + 2 * x, 2), 0) : le32(Bytes(src + 4 * x, 4), 0);
            dst[3 * x] = blue.value(px);
            dst[3 * x + 1] = green.value(px);
            dst[3 * x + 2] = red.value(px);
        }
    }
    return true;
}

// RLE8/RLE4: pixels that would land past a row end or above the image are
// dropped, so no run can write outside. The stream must reach its end mark,
// or at least cover every row, before the data runs out.
bool decodeRle(Bytes data, const Header& h, dib& out, std::uint64_t maxPixels) {
    if (h.pixelOffset >= data.size())
        return false;
    // End-of-bitmap and delta escapes let a few bytes announce any size. Real
    // encoders spend at least a byte per few hundred pixels; a picture far
    // beyond that is refused before any memory is asked for.
    constexpr std::uint64_t MaxPixelsPerByte = 16384;
    const auto pixels = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
    if (pixels / MaxPixelsPerByte > data.size() - h.pixelOffset)
        return false;
    Palette pal{};
    if (!readPalette(data, h, pal))
        return false;
    makeImage(out, h.width, h.height, h.bits, &pal, maxPixels);
    if (out.poi == nullptr)
        return false;

    const bool four = h.compression == BiRle4;
    const std::int64_t w = h.width;
    const std::int64_t rows = h.height;
    std::int64_t x = 0;
    std::int64_t y = 0;
    auto put = [&](unsigned v) {
        if (x < w && y < rows)
            putIndex(storedRow(out, static_cast<int>(y)), static_cast<std::size_t>(x), h.bits, v);
        ++x;
    };

    std::size_t p = static_cast<std::size_t>(h.pixelOffset);
    const std::size_t end = data.size();
    while (p + 2 <= end) {
        const unsigned count = data[p];
        const unsigned value = data[p + 1];
        p += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i)
                put(four ? ((i & 1) != 0 ? value & 0x0Fu : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return true;
        } else if (value == 2) { // delta
            if (p + 2 > end)
                break;
            x += data[p];
            y += data[p + 1];
            p += 2;
        } else { // absolute run of `value` pixels, padded to 16 bits
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (!fits(data, p, bytes))
                break;
            for (unsigned i = 0; i < value; ++i) {
                const unsigned b = data[p + (four ? i / 2 : i)];
                put(four ? ((i & 1) != 0 ? b & 0x0Fu : b >> 4) : b);
            }
            p += bytes + (bytes & 1);
        }
    }
    if (y >= rows)
        return true;
    return fail(out);
}

// --- writing ---------------------------------------------------------------

void encodeRle8Row(const std::uint8_t* px, int w, std::vector<std::uint8_t>& o) {
    int i = 0;
    while (i < w) {
        int run = 1;
        while (i + run < w && run < 255 && px[i + run] == px[i])
            ++run;
        if (run >= 2) {
            o.push_back(static_cast<std::uint8_t>(run));
            o.push_back(px[i]);
            i += run;
            continue;
        }
        // Literal stretch up to the next run of three or more.
        int j = i;
        while (j < w && j - i < 255 && !(j + 2 < w && px[j] == px[j + 1] && px[j] == px[j + 2]))
            ++j;
        const int n = j - i;
        if (n < 3) {
            for (int k = i; k < j; ++k) {
                o.push_back(1);
                o.push_back(px[k]);
            }
        } else {
            o.push_back(0);
            o.push_back(static_cast<std::uint8_t>(n));
            o.insert(o.end(), px + i, px + j);
            if ((n & 1) != 0)
                o.push_back(0);
        }
        i = j;
    }
}

void encodeRle4Row(const std::uint8_t* px, int w, std::vector<std::uint8_t>& o) {
    int i = 0;
    while (i < w) {
        int run = 1;
        while (i + run < w && run < 255 && px[i + run] == px[i])
            ++run;
        if (run >= 2) {
            o.push_back(static_cast<std::uint8_t>(run));
            o.push_back(static_cast<std::uint8_t>((px[i] << 4) | px[i]));
            i += run;
            continue;
        }
        int j = i;
        while (j < w && j - i < 255 && !(j + 2 < w && px[j] == px[j + 1] && px[j] == px[j + 2]))
            ++j;
        const int n = j - i;
        if (n < 3) {
            for (int k = i; k < j; ++k) {
                o.push_back(1);
                o.push_back(static_cast<std::uint8_t>(px[k] << 4));
            }
        } else {
            o.push_back(0);
            o.push_back(static_cast<std::uint8_t>(n));
            const int bytes = (n + 1) / 2;
            for (int b = 0; b < bytes; ++b) {
                const int k = i + 2 * b;
                const int lo = k + 1 < j ? px[k + 1] : 0;
                o.push_back(static_cast<std::uint8_t>((px[k] << 4) | lo));
            }
            if ((bytes & 1) != 0)
                o.push_back(0);
        }
        i = j;
    }
}

} // namespace

bool looksLikeBmp(Bytes data) {
    return data.size() >= FileHeaderBytes + 4 && data[0] == 'B' && data[1] == 'M' &&
           knownHeaderSize(le32(data, 14));
}

bool decodeBmp(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    Header h;
    if (!readHeader(data, h) || !withinPixelLimit(h.width, h.height, maxPixels))
        return false;
    if (h.compression == BiRle8 || h.compression == BiRle4)
        return decodeRle(data, h, out, maxPixels) || fail(out);
    return decodeUncompressed(data, h, out, maxPixels) || fail(out);
}

namespace {

// The file header and the info header (bottom-up rows, 72 dpi) of a file
// whose colour table of `colours` entries and `pixelBytes` follow.
void putHeaders(std::vector<std::uint8_t>& out, int w, int h, int bits, std::uint32_t compression,
                std::uint64_t pixelBytes, std::uint32_t colours) {
    const std::uint64_t offBits = FileHeaderBytes + 40 + 4 * std::uint64_t{colours};
    out.push_back('B');
    out.push_back('M');
    putLe32(out, static_cast<std::uint32_t>(offBits + pixelBytes));
    putLe32(out, 0);
    putLe32(out, static_cast<std::uint32_t>(offBits));
    putLe32(out, 40);
    putLe32(out, static_cast<std::uint32_t>(w));
    putLe32(out, static_cast<std::uint32_t>(h));
    putLe16(out, 1);
    putLe16(out, static_cast<std::uint32_t>(bits));
    putLe32(out, compression);
    putLe32(out, static_cast<std::uint32_t>(pixelBytes));
    putLe32(out, 2835); // 72 dpi
    putLe32(out, 2835);
    putLe32(out, colours);
    putLe32(out, 0);
}

} // namespace

bool bmpHeader24(int width, int height, std::vector<std::uint8_t>& out) {
    out.clear();
    if (width <= 0 || height <= 0)
        return false;
    const std::uint64_t pixelBytes = rowBytes(width, 24) * static_cast<std::uint64_t>(height);
    if (FileHeaderBytes + 40 + pixelBytes > 0xFFFFFFFFu)
        return false;
    putHeaders(out, width, height, 24, BiRgb, pixelBytes, 0);
    return true;
}

bool encodeBmp(const dib& image, bool rle, std::vector<std::uint8_t>& out) {
    out.clear();
    const auto shape =
        encodeShape(image, std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
    if (!shape)
        return false;
    const auto [bits, w, h] = *shape;
    const bool useRle = rle && (bits == 8 || bits == 4);
    const std::uint32_t colours = bits <= 8 ? (1u << bits) : 0;
    const auto stride = static_cast<std::size_t>(image.bytew);
    const std::size_t used = (static_cast<std::size_t>(w) * static_cast<std::size_t>(bits) + 7) / 8;

    // The rows of an uncompressed file go straight behind the header: the
    // file in memory is then the only copy of the image besides the image.
    std::vector<std::uint8_t> pixels;
    std::uint64_t pixelBytes = std::uint64_t{stride} * static_cast<std::uint64_t>(h);
    if (useRle) {
        std::vector<std::uint8_t> indices(static_cast<std::size_t>(w));
        for (int r = 0; r < h; ++r) {
            const std::uint8_t* row = storedRow(image, r);
            for (int x = 0; x < w; ++x)
                indices[static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>(indexAt(row, x, bits));
            if (bits == 8)
                encodeRle8Row(indices.data(), w, pixels);
            else
                encodeRle4Row(indices.data(), w, pixels);
            pixels.push_back(0); // end of line
            pixels.push_back(0);
        }
        pixels.push_back(0); // end of bitmap
        pixels.push_back(1);
        pixelBytes = pixels.size();
    }

    const std::uint64_t offBits = FileHeaderBytes + 40 + 4 * std::uint64_t{colours};
    const std::uint64_t fileSize = offBits + pixelBytes;
    if (fileSize > 0xFFFFFFFFu)
        return false;

    out.reserve(static_cast<std::size_t>(fileSize));
    putHeaders(out, w, h, bits, useRle ? (bits == 8 ? BiRle8 : BiRle4) : BiRgb, pixelBytes,
               colours);
    for (std::uint32_t i = 0; i < colours; ++i) {
        const Colour c = imageColour(image, i);
        out.push_back(blueOf(c));
        out.push_back(greenOf(c));
        out.push_back(redOf(c));
        out.push_back(0);
    }
    if (useRle) {
        out.insert(out.end(), pixels.begin(), pixels.end());
        return true;
    }
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* row = storedRow(image, r);
        out.insert(out.end(), row, row + used);
        out.insert(out.end(), stride - used, std::uint8_t{0});
    }
    return true;
}

} // namespace pixkit::codec
