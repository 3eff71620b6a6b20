#include "CodecBytes.h"
#include "OwnCodecs.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace pixkit::codec {

using namespace detail;

namespace {

constexpr std::uint32_t CamgHam = 0x800;
constexpr std::uint32_t CamgHalfBright = 0x80;
constexpr std::uint8_t MaskPlane = 1;

bool idIs(Bytes d, std::size_t o, const char* id) {
    return std::memcmp(d.data() + o, id, 4) == 0;
}

struct Bmhd {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int planes = 0;
    int masking = 0;
    int compression = 0;
};

struct Chunks {
    std::optional<Bmhd> bmhd;
    Palette colours{};
    int colourCount = 0;
    std::uint32_t camg = 0;
    std::size_t bodyBegin = 0;
    std::size_t bodyEnd = 0;
    bool hasBody = false;
    bool chunky = false; // "PBM ": one byte per pixel
};

// Walks the chunks of the FORM. A chunk that claims to run past the end of the
// data makes the file unreadable.
bool readChunks(Bytes data, Chunks& c) {
    if (!looksLikeIlbm(data))
        return false;
    c.chunky = idIs(data, 8, "PBM ");
    const std::uint64_t formEnd =
        std::min<std::uint64_t>(data.size(), 8 + std::uint64_t{be32(data, 4)});
    std::uint64_t p = 12;
    while (p + 8 <= formEnd) {
        const auto at = static_cast<std::size_t>(p);
        const std::uint64_t len = be32(data, at + 4);
        p += 8;
        if (len > formEnd - p)
            return false;
        const auto body = static_cast<std::size_t>(p);
        if (idIs(data, at, "BMHD")) {
            if (len < 20)
                return false;
            Bmhd b;
            b.width = be16(data, body);
            b.height = be16(data, body + 2);
            b.planes = data[body + 8];
            b.masking = data[body + 9];
            b.compression = data[body + 10];
            c.bmhd = b;
        } else if (idIs(data, at, "CMAP")) {
            c.colourCount = static_cast<int>(std::min<std::uint64_t>(256, len / 3));
            for (std::size_t i = 0; i < static_cast<std::size_t>(c.colourCount); ++i)
                c.colours[i] =
                    rgb(data[body + 3 * i], data[body + 3 * i + 1], data[body + 3 * i + 2]);
        } else if (idIs(data, at, "CAMG")) {
            if (len >= 4)
                c.camg = be32(data, body);
        } else if (idIs(data, at, "BODY")) {
            c.bodyBegin = body;
            c.bodyEnd = static_cast<std::size_t>(p + len);
            c.hasBody = true;
        }
        p += len + (len & 1); // chunks are padded to an even length
    }
    return c.bmhd.has_value() && c.hasBody;
}

// ByteRun1 (or plain) reader of one line at a time. A run longer than the
// line is cut at the line end and the rest dropped, so nothing can overflow.
class LineReader {
public:
    LineReader(Bytes data, std::size_t begin, std::size_t end, bool packed)
        : m_data(data), m_pos(begin), m_end(end), m_packed(packed) {}

    bool read(std::uint8_t* dst, std::size_t n) {
        if (!m_packed) {
            if (m_end - m_pos < n)
                return false;
            std::memcpy(dst, m_data.data() + m_pos, n);
            m_pos += n;
            return true;
        }
        std::size_t filled = 0;
        while (filled < n) {
            if (m_pos >= m_end)
                return false;
            const auto c = static_cast<std::int8_t>(m_data[m_pos++]);
            if (c == -128)
                continue; // no-op
            if (c >= 0) {
                const std::size_t count = static_cast<std::size_t>(c) + 1;
                if (m_end - m_pos < count)
                    return false;
                const std::size_t take = std::min(count, n - filled);
                std::memcpy(dst + filled, m_data.data() + m_pos, take);
                m_pos += count;
                filled += take;
            } else {
                if (m_pos >= m_end)
                    return false;
                const std::size_t count = static_cast<std::size_t>(1 - c);
                const std::size_t take = std::min(count, n - filled);
                std::memset(dst + filled, m_data[m_pos++], take);
                filled += take;
            }
        }
        return true;
    }

private:
    Bytes m_data;
    std::size_t m_pos;
    std::size_t m_end;
    bool m_packed;
};

void byteRun1(const std::uint8_t* src, std::size_t n, std::vector<std::uint8_t>& o) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 128 && src[i + run] == src[i])
            ++run;
        if (run >= 2) {
            o.push_back(static_cast<std::uint8_t>(257 - run)); // -(run-1)
            o.push_back(src[i]);
            i += run;
            continue;
        }
        std::size_t j = i;
        while (j < n && j - i < 128 && !(j + 1 < n && src[j] == src[j + 1]))
            ++j;
        o.push_back(static_cast<std::uint8_t>(j - i - 1));
        o.insert(o.end(), src + i, src + j);
        i = j;
    }
}

void putChunkHeader(std::vector<std::uint8_t>& o, const char* id, std::size_t len) {
    o.insert(o.end(), id, id + 4);
    putBe32(o, static_cast<std::uint32_t>(len));
}

} // namespace

bool looksLikeIlbm(Bytes data) {
    return data.size() >= 12 && idIs(data, 0, "FORM") &&
           (idIs(data, 8, "ILBM") || idIs(data, 8, "PBM "));
}

bool decodeIlbm(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    Chunks c;
    if (!readChunks(data, c))
        return false;
    const Bmhd& b = *c.bmhd;
    if (!withinPixelLimit(b.width, b.height, maxPixels) || b.compression > 1)
        return false;
    if ((c.camg & CamgHam) != 0)
        return false; // hold-and-modify pictures are not read
    const bool deep = b.planes == 24;
    if (c.chunky ? b.planes != 8 : !(deep || (b.planes >= 1 && b.planes <= 8)))
        return false;

    const auto w = static_cast<std::size_t>(b.width);
    const std::size_t planeBytes = ((w + 15) / 16) * 2;
    const std::size_t storedPlanes =
        static_cast<std::size_t>(b.planes) + (b.masking == MaskPlane && !c.chunky ? 1 : 0);
    const std::size_t lineBytes = c.chunky ? w + (w & 1) : planeBytes * storedPlanes;
    // ByteRun1 turns two bytes into at most 128.
    const std::uint64_t maxRatio = b.compression == 1 ? 64 : 1;
    if (!productAtMost(lineBytes, static_cast<std::uint64_t>(b.height),
                       std::uint64_t{c.bodyEnd - c.bodyBegin} * maxRatio))
        return false;

    Palette pal = c.colours;
    if (!deep && c.colourCount == 0) {
        // No colour map: a grey ramp over the available indices.
        const unsigned top = (1u << b.planes) - 1;
        for (unsigned i = 0; i <= top; ++i) {
            const auto g = static_cast<std::uint8_t>((i * 255 + top / 2) / top);
            pal[i] = rgb(g, g, g);
        }
    }
    if ((c.camg & CamgHalfBright) != 0 && b.planes == 6) {
        for (std::size_t i = 0; i < 32; ++i)
            pal[32 + i] = rgb(redOf(pal[i]) / 2, greenOf(pal[i]) / 2, blueOf(pal[i]) / 2);
    }
    const int depth = deep ? 24 : (b.planes == 1 ? 1 : (b.planes <= 4 ? 4 : 8));
    makeImage(out, b.width, b.height, depth, &pal, maxPixels);
    if (out.poi == nullptr)
        return false;

    std::vector<std::uint8_t> line(lineBytes);
    LineReader reader(data, c.bodyBegin, c.bodyEnd, b.compression == 1);
    const auto planes = static_cast<std::size_t>(b.planes);
    for (std::int64_t y = 0; y < b.height; ++y) {
        if (!reader.read(line.data(), lineBytes))
            return fail(out);
        std::uint8_t* dst = storedRow(out, static_cast<int>(b.height - 1 - y));
        if (c.chunky) {
            std::memcpy(dst, line.data(), w);
            continue;
        }
        for (std::size_t x = 0; x < w; ++x) {
            const std::size_t byteAt = x / 8;
            const unsigned shift = 7 - static_cast<unsigned>(x & 7);
            std::uint32_t v = 0;
            for (std::size_t p = 0; p < planes; ++p)
                v |= ((static_cast<std::uint32_t>(line[p * planeBytes + byteAt]) >> shift) & 1u)
                     << p;
            if (deep) {
                dst[3 * x] = static_cast<std::uint8_t>(v >> 16);
                dst[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                dst[3 * x + 2] = static_cast<std::uint8_t>(v);
            } else {
                putIndex(dst, x, depth, v);
            }
        }
    }
    return true;
}

bool encodeIlbm(const dib& image, std::vector<std::uint8_t>& out) {
    out.clear();
    const auto shape = encodeShape(image, 65535, 65535);
    if (!shape)
        return false;
    const auto [bits, w, h] = *shape;
    const auto uw = static_cast<std::size_t>(w);
    const std::size_t planes = static_cast<std::size_t>(bits);
    const std::size_t planeBytes = ((uw + 15) / 16) * 2;

    std::vector<std::uint8_t> body;
    std::vector<std::uint8_t> plane(planeBytes);
    std::vector<std::uint32_t> values(uw);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = pictureRow(image, y);
        for (std::size_t x = 0; x < uw; ++x) {
            values[x] =
                bits == 24 ? (std::uint32_t{row[3 * x + 2]} | (std::uint32_t{row[3 * x + 1]} << 8) |
                              (std::uint32_t{row[3 * x]} << 16))
                           : indexAt(row, static_cast<int>(x), bits);
        }
        for (std::size_t p = 0; p < planes; ++p) {
            std::fill(plane.begin(), plane.end(), 0);
            for (std::size_t x = 0; x < uw; ++x)
                if (((values[x] >> p) & 1u) != 0)
                    plane[x / 8] = static_cast<std::uint8_t>(plane[x / 8] | (0x80u >> (x & 7)));
            byteRun1(plane.data(), planeBytes, body);
        }
    }

    const std::size_t colours = bits <= 8 ? (std::size_t{1} << bits) : 0;
    out.insert(out.end(), {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'I', 'L', 'B', 'M'});
    putChunkHeader(out, "BMHD", 20);
    putBe16(out, static_cast<std::uint32_t>(w));
    putBe16(out, static_cast<std::uint32_t>(h));
    putBe32(out, 0); // position
    out.push_back(static_cast<std::uint8_t>(planes));
    out.push_back(0); // no mask
    out.push_back(1); // ByteRun1
    out.push_back(0);
    putBe16(out, 0);  // transparent colour
    out.push_back(1); // square pixels
    out.push_back(1);
    putBe16(out, static_cast<std::uint32_t>(w));
    putBe16(out, static_cast<std::uint32_t>(h));
    if (colours > 0) {
        putChunkHeader(out, "CMAP", 3 * colours);
        for (std::size_t i = 0; i < colours; ++i) {
            const Colour c = imageColour(image, static_cast<unsigned>(i));
            out.push_back(redOf(c));
            out.push_back(greenOf(c));
            out.push_back(blueOf(c));
        }
    }
    putChunkHeader(out, "BODY", body.size());
    out.insert(out.end(), body.begin(), body.end());
    if ((body.size() & 1) != 0)
        out.push_back(0);
    if (out.size() - 8 > 0xFFFFFFFFu) {
        out.clear();
        return false;
    }
    const auto formLen = static_cast<std::uint32_t>(out.size() - 8);
    out[4] = static_cast<std::uint8_t>(formLen >> 24);
    out[5] = static_cast<std::uint8_t>(formLen >> 16);
    out[6] = static_cast<std::uint8_t>(formLen >> 8);
    out[7] = static_cast<std::uint8_t>(formLen);
    return true;
}

} // namespace pixkit::codec
