#include "CodecBytes.h"
#include "OwnCodecs.h"

#include <algorithm>

namespace pixkit::codec {

using namespace detail;

namespace {

constexpr std::size_t HeaderBytes = 128;
constexpr std::size_t VgaPaletteBytes = 769; // 0x0C marker and 256 RGB triples
constexpr std::uint8_t VgaMarker = 0x0C;

struct Layout {
    int bitsPerPlane = 0;
    int planes = 0;
    int depth = 0; // of the decoded image
};

// The plane layouts we read, and the depth each becomes.
bool layoutOf(int bitsPerPlane, int planes, Layout& l) {
    l.bitsPerPlane = bitsPerPlane;
    l.planes = planes;
    if (bitsPerPlane == 1 && planes >= 1 && planes <= 4)
        l.depth = planes == 1 ? 1 : 4;
    else if (bitsPerPlane == 4 && planes == 1)
        l.depth = 4;
    else if (bitsPerPlane == 8 && planes == 1)
        l.depth = 8;
    else if (bitsPerPlane == 8 && (planes == 3 || planes == 4))
        l.depth = 24;
    else
        return false;
    return true;
}

// Run-length reader of the scan lines. A run may continue into the next plane
// or even the next line; every step consumes input, so it always ends.
class RunReader {
public:
    RunReader(Bytes data, std::size_t begin, std::size_t end, bool packed)
        : m_data(data), m_pos(begin), m_end(end), m_packed(packed) {}

    bool fill(std::uint8_t* dst, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            while (m_runLeft == 0) {
                if (m_pos >= m_end)
                    return false;
                const std::uint8_t b = m_data[m_pos++];
                if (!m_packed || (b & 0xC0) != 0xC0) {
                    m_runValue = b;
                    m_runLeft = 1;
                } else {
                    if (m_pos >= m_end)
                        return false;
                    m_runValue = m_data[m_pos++];
                    m_runLeft = b & 0x3Fu;
                }
            }
            dst[i] = m_runValue;
            --m_runLeft;
        }
        return true;
    }

private:
    Bytes m_data;
    std::size_t m_pos;
    std::size_t m_end;
    bool m_packed;
    unsigned m_runLeft = 0;
    std::uint8_t m_runValue = 0;
};

void headerPalette(Bytes data, int entries, Palette& pal) {
    for (int i = 0; i < entries; ++i) {
        const std::size_t o = 16 + 3 * static_cast<std::size_t>(i);
        pal[static_cast<std::size_t>(i)] = rgb(data[o], data[o + 1], data[o + 2]);
    }
}

void encodeRuns(const std::uint8_t* src, std::size_t n, std::vector<std::uint8_t>& o) {
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t v = src[i];
        std::size_t run = 1;
        while (i + run < n && run < 63 && src[i + run] == v)
            ++run;
        // A lone byte with both top bits set would read as a run count.
        if (run > 1 || (v & 0xC0) == 0xC0)
            o.push_back(static_cast<std::uint8_t>(0xC0 | run));
        o.push_back(v);
        i += run;
    }
}

} // namespace

bool looksLikePcx(Bytes data) {
    if (data.size() < HeaderBytes || data[0] != 0x0A || data[2] > 1)
        return false;
    const std::uint8_t v = data[1];
    Layout l;
    return (v == 0 || v == 2 || v == 3 || v == 4 || v == 5) && layoutOf(data[3], data[65], l);
}

bool decodePcx(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (!looksLikePcx(data))
        return false;
    Layout l;
    layoutOf(data[3], data[65], l);
    const std::int64_t width = std::int64_t{le16(data, 8)} - le16(data, 4) + 1;
    const std::int64_t height = std::int64_t{le16(data, 10)} - le16(data, 6) + 1;
    const std::size_t bytesPerLine = le16(data, 66);
    if (!withinPixelLimit(width, height, maxPixels))
        return false;
    // Each plane's line must hold the whole width.
    if (static_cast<std::uint64_t>(bytesPerLine) * 8 <
        static_cast<std::uint64_t>(width) * static_cast<unsigned>(l.bitsPerPlane))
        return false;

    Palette pal{};
    std::size_t end = data.size();
    if (l.depth == 8) {
        if (end < HeaderBytes + VgaPaletteBytes || data[end - VgaPaletteBytes] != VgaMarker)
            return false;
        const std::size_t o = end - VgaPaletteBytes + 1;
        for (std::size_t i = 0; i < 256; ++i)
            pal[i] = rgb(data[o + 3 * i], data[o + 3 * i + 1], data[o + 3 * i + 2]);
        end -= VgaPaletteBytes;
    } else if (l.depth == 1) {
        headerPalette(data, 2, pal);
        // Many writers leave the header palette of two-colour files empty.
        if (pal[0] == pal[1]) {
            pal[0] = rgb(0, 0, 0);
            pal[1] = rgb(255, 255, 255);
        }
    } else if (l.depth == 4) {
        headerPalette(data, 16, pal);
    }

    const bool packed = data[2] == 1;
    const std::size_t lineBytes = bytesPerLine * static_cast<std::size_t>(l.planes);
    // A run pair yields at most 63 bytes: refuse sizes the data cannot hold
    // before asking for the memory.
    const std::uint64_t region = end - HeaderBytes;
    const std::uint64_t maxRatio = packed ? 32 : 1;
    if (!productAtMost(lineBytes, static_cast<std::uint64_t>(height), region * maxRatio))
        return false;

    makeImage(out, width, height, l.depth, &pal, maxPixels);
    if (out.poi == nullptr)
        return false;

    std::vector<std::uint8_t> line(lineBytes);
    RunReader reader(data, HeaderBytes, end, packed);
    const auto w = static_cast<std::size_t>(width);
    for (std::int64_t y = 0; y < height; ++y) {
        if (!reader.fill(line.data(), lineBytes))
            return fail(out);
        std::uint8_t* dst = storedRow(out, static_cast<int>(height - 1 - y));
        switch (l.depth) {
        case 24:
            for (std::size_t x = 0; x < w; ++x) {
                dst[3 * x] = line[2 * bytesPerLine + x];
                dst[3 * x + 1] = line[bytesPerLine + x];
                dst[3 * x + 2] = line[x];
            }
            break;
        case 8:
            std::copy(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(w), dst);
            break;
        default:
            if (l.bitsPerPlane == 4) {
                std::copy(line.begin(), line.begin() + static_cast<std::ptrdiff_t>((w + 1) / 2),
                          dst);
                break;
            }
            for (std::size_t x = 0; x < w; ++x) {
                unsigned index = 0;
                for (std::size_t p = 0; p < static_cast<std::size_t>(l.planes); ++p) {
                    const unsigned bit =
                        (unsigned{line[p * bytesPerLine + x / 8]} >> (7u - (x & 7u))) & 1u;
                    index |= bit << p;
                }
                putIndex(dst, x, l.depth, index);
            }
            break;
        }
    }
    return true;
}

bool encodePcx(const dib& image, std::vector<std::uint8_t>& out) {
    out.clear();
    const auto shape = encodeShape(image, 65534, 65535);
    if (!shape)
        return false;
    const auto [bits, w, h] = *shape;
    const auto uw = static_cast<std::size_t>(w);
    const std::size_t bytesPerLine = uw + (uw & 1); // lines have an even length
    const std::size_t planes = bits == 24 ? 3 : 1;

    out.assign(HeaderBytes, 0);
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    auto set16 = [&](std::size_t o, std::uint32_t v) {
        out[o] = static_cast<std::uint8_t>(v & 0xFF);
        out[o + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    set16(8, static_cast<std::uint32_t>(w - 1));
    set16(10, static_cast<std::uint32_t>(h - 1));
    set16(12, 72);
    set16(14, 72);
    out[65] = static_cast<std::uint8_t>(planes);
    set16(66, static_cast<std::uint32_t>(bytesPerLine));
    set16(68, 1);

    // Palette images of 1 and 4 bits go out as 8-bit indices.
    std::vector<std::uint8_t> plane(bytesPerLine, 0);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = pictureRow(image, y);
        for (std::size_t p = 0; p < planes; ++p) {
            for (std::size_t x = 0; x < uw; ++x)
                plane[x] = bits == 24
                               ? row[3 * x + 2 - p]
                               : static_cast<std::uint8_t>(indexAt(row, static_cast<int>(x), bits));
            encodeRuns(plane.data(), bytesPerLine, out);
        }
    }
    if (bits <= 8) {
        out.push_back(VgaMarker);
        const unsigned colours = 1u << bits;
        for (unsigned i = 0; i < 256; ++i) {
            const Colour c = i < colours ? imageColour(image, i) : 0;
            out.push_back(redOf(c));
            out.push_back(greenOf(c));
            out.push_back(blueOf(c));
        }
    }
    return true;
}

} // namespace pixkit::codec
