#include "Resolution.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace pixkit::codec {

namespace {

using Bytes = std::vector<std::uint8_t>;

void putLe32At(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

void putBe16At(Bytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

void appendBe32(Bytes& b, std::uint32_t v) {
    for (int k = 3; k >= 0; --k)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

// BMP info header: biXPelsPerMeter at 38, biYPelsPerMeter at 42.
void stampBmp(Bytes& b, std::int32_t x, std::int32_t y) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return;
    putLe32At(b, 38, static_cast<std::uint32_t>(x));
    putLe32At(b, 42, static_cast<std::uint32_t>(y));
}

// The JFIF segment right after the start of image: units 2 (dots per cm) and
// the densities, whole numbers from 1 to 65535. A file without one gets one.
void stampJpeg(Bytes& b, std::int32_t x, std::int32_t y) {
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return;
    auto perCm = [](std::int32_t ppm) {
        return static_cast<unsigned>(std::clamp(std::lround(ppm / 100.0), 1L, 65535L));
    };
    static const std::uint8_t jfif[5] = {'J', 'F', 'I', 'F', 0};
    const bool has = b.size() >= 20 && b[2] == 0xFF && b[3] == 0xE0 &&
                     std::memcmp(&b[6], jfif, 5) == 0 && ((b[4] << 8) | b[5]) >= 16;
    if (!has) {
        const Bytes segment = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
        b.insert(b.begin() + 2, segment.begin(), segment.end());
    }
    b[13] = 2; // dots per cm
    putBe16At(b, 14, perCm(x));
    putBe16At(b, 16, perCm(y));
}

std::uint32_t crc32(const std::uint8_t* p, std::size_t n) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i)
        c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (static_cast<std::uint32_t>(b[at]) << 24) |
           (static_cast<std::uint32_t>(b[at + 1]) << 16) |
           (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}

// PNG: every pHYs chunk goes, a new one (unit: metre) follows IHDR.
void stampPng(Bytes& b, std::int32_t x, std::int32_t y) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 33 || std::memcmp(b.data(), signature, 8) != 0 ||
        std::memcmp(&b[12], "IHDR", 4) != 0)
        return;
    // Our writer puts the one pHYs chunk right behind IHDR: its values are
    // set in place rather than the whole file copied.
    if (b.size() >= 33 + 21 && be32(b, 33) == 9 && std::memcmp(&b[37], "pHYs", 4) == 0) {
        bool another = false;
        std::size_t at = 33 + 21;
        while (at + 12 <= b.size() && !another) {
            const std::size_t len = be32(b, at);
            if (len > b.size() - at - 12)
                break;
            another = std::memcmp(&b[at + 4], "pHYs", 4) == 0;
            at += 12 + len;
        }
        if (!another && at == b.size()) {
            Bytes chunk;
            for (char c : {'p', 'H', 'Y', 's'})
                chunk.push_back(static_cast<std::uint8_t>(c));
            appendBe32(chunk, static_cast<std::uint32_t>(x));
            appendBe32(chunk, static_cast<std::uint32_t>(y));
            chunk.push_back(1); // per metre
            appendBe32(chunk, crc32(chunk.data(), 13));
            std::copy(chunk.begin(), chunk.end(), b.begin() + 37);
            return;
        }
    }
    Bytes out(b.begin(), b.begin() + 33); // signature and IHDR
    Bytes chunk;
    appendBe32(chunk, 9);
    for (char c : {'p', 'H', 'Y', 's'})
        chunk.push_back(static_cast<std::uint8_t>(c));
    appendBe32(chunk, static_cast<std::uint32_t>(x));
    appendBe32(chunk, static_cast<std::uint32_t>(y));
    chunk.push_back(1); // per metre
    appendBe32(chunk, crc32(chunk.data() + 4, 13));
    out.insert(out.end(), chunk.begin(), chunk.end());
    std::size_t at = 33;
    while (at + 12 <= b.size()) {
        const std::size_t len = be32(b, at);
        if (len > b.size() - at - 12)
            return; // not as our encoder writes it: leave the file alone
        if (std::memcmp(&b[at + 4], "pHYs", 4) != 0)
            out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + 12 + len));
        at += 12 + len;
    }
    if (at != b.size())
        return;
    b.swap(out);
}

// TIFF: the first directory's XResolution and YResolution (rationals) become
// ppm / 100 and the unit centimetres. Only entries that are there change.
void stampTiff(Bytes& b, std::int32_t x, std::int32_t y) {
    if (b.size() < 8)
        return;
    const bool little = b[0] == 'I' && b[1] == 'I';
    if (!little && !(b[0] == 'M' && b[1] == 'M'))
        return;
    auto u16 = [&](std::size_t at) -> unsigned {
        const unsigned first = b[at], second = b[at + 1];
        return little ? first | (second << 8) : (first << 8) | second;
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? (static_cast<std::uint32_t>(u16(at + 2)) << 16) | u16(at)
                      : (static_cast<std::uint32_t>(u16(at)) << 16) | u16(at + 2);
    };
    auto put16 = [&](std::size_t at, unsigned v) {
        b[at + (little ? 0 : 1)] = static_cast<std::uint8_t>(v);
        b[at + (little ? 1 : 0)] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        if (little) {
            put16(at, v & 0xFFFF);
            put16(at + 2, v >> 16);
        } else {
            put16(at, v >> 16);
            put16(at + 2, v & 0xFFFF);
        }
    };
    if (u16(2) != 42)
        return;
    const std::size_t ifd = u32(4);
    if (ifd > b.size() || b.size() - ifd < 2)
        return;
    const unsigned count = u16(ifd);
    if ((b.size() - ifd - 2) / 12 < count)
        return;
    for (unsigned k = 0; k < count; ++k) {
        const std::size_t e = ifd + 2 + 12 * std::size_t{k};
        const unsigned tag = u16(e), type = u16(e + 2);
        if ((tag == 282 || tag == 283) && type == 5 && u32(e + 4) == 1) {
            const std::size_t at = u32(e + 8);
            if (at > b.size() || b.size() - at < 8)
                continue;
            put32(at, static_cast<std::uint32_t>(tag == 282 ? x : y));
            put32(at + 4, 100);
        } else if (tag == 296 && type == 3) {
            put16(e + 8, 3); // centimetres
        }
    }
}

} // namespace

void stampResolution(const std::string& ext, Bytes& bytes, std::int32_t ppmX, std::int32_t ppmY) {
    if (ppmX <= 0 || ppmY <= 0)
        return;
    if (ext == ".bmp" || ext == ".dib" || ext == ".rle")
        stampBmp(bytes, ppmX, ppmY);
    else if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe" || ext == ".jif")
        stampJpeg(bytes, ppmX, ppmY);
    else if (ext == ".png")
        stampPng(bytes, ppmX, ppmY);
    else if (ext == ".tif" || ext == ".tiff")
        stampTiff(bytes, ppmX, ppmY);
}

} // namespace pixkit::codec
