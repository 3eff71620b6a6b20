#include "Resolution.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace pixkit::codec {

namespace {

using Bytes = ByteVector;

void putLe16At(Bytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32At(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

void putBe16At(Bytes& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

void appendBe16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}

void appendBe32(Bytes& b, std::uint32_t v) {
    for (int k = 3; k >= 0; --k)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (static_cast<std::uint32_t>(b[at]) << 24) |
           (static_cast<std::uint32_t>(b[at + 1]) << 16) |
           (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}

// Whole pixels per metre, 1 ... 2^31 - 1 (BMP and PNG hold signed or
// 31-bit values).
std::uint32_t perMetre(double perCm) {
    const double ppm = std::nearbyint(perCm * 100.0);
    return static_cast<std::uint32_t>(
        std::clamp(ppm, 1.0, static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

// Whole dots per inch, 1 ... 65535 (JFIF and PCX hold 16 bits).
unsigned perInch(double perCm) {
    return static_cast<unsigned>(std::clamp(std::nearbyint(perCm * 2.54), 1.0, 65535.0));
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

// The JFIF segment right after the start of image (as TurboJPEG writes it).
bool hasJfifFirst(const Bytes& b) {
    static const std::uint8_t jfif[5] = {'J', 'F', 'I', 'F', 0};
    return b.size() >= 20 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF && b[3] == 0xE0 &&
           std::memcmp(&b[6], jfif, 5) == 0 && ((b[4] << 8) | b[5]) >= 16;
}

} // namespace

std::pair<std::uint64_t, std::uint64_t> bestRational(double x, std::uint64_t maxNum,
                                                     std::uint64_t maxDen) {
    if (!(x > 0.0) || maxNum == 0 || maxDen == 0)
        return {0, 1};
    if (x >= static_cast<double>(maxNum))
        return {maxNum, 1};
    // Convergents h/k of the continued fraction of x; the last one within
    // the bounds, or the best semiconvergent past it.
    std::uint64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
    double r = x;
    for (int i = 0; i < 64; ++i) {
        const double a = std::floor(r);
        if (a > static_cast<double>(std::max(maxNum, maxDen)))
            break;
        const auto ai = static_cast<std::uint64_t>(a);
        const std::uint64_t h2 = ai * h1 + h0, k2 = ai * k1 + k0;
        if (h2 > maxNum || k2 > maxDen) {
            std::uint64_t t = std::numeric_limits<std::uint64_t>::max();
            if (h1 > 0)
                t = std::min(t, (maxNum - h0) / h1);
            if (k1 > 0)
                t = std::min(t, (maxDen - k0) / k1);
            const std::uint64_t hs = t * h1 + h0, ks = t * k1 + k0;
            if (t > 0 && ks > 0 && k1 > 0 &&
                std::fabs(static_cast<double>(hs) / static_cast<double>(ks) - x) <
                    std::fabs(static_cast<double>(h1) / static_cast<double>(k1) - x))
                return {hs, ks};
            break;
        }
        h0 = h1;
        h1 = h2;
        k0 = k1;
        k1 = k2;
        const double frac = r - a;
        if (frac <= 1e-12 * r)
            break;
        r = 1.0 / frac;
    }
    if (k1 == 0) // x below 1 / maxDen
        return {1, maxDen};
    return {h1, k1};
}

// BMP info header: biXPelsPerMeter at 38, biYPelsPerMeter at 42.
void stampBmp(Bytes& b, const PixelDensity& d) {
    if (!d.known() || b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return;
    putLe32At(b, 38, perMetre(d.xPerCm));
    putLe32At(b, 42, perMetre(d.yPerCm));
}

// The JFIF density in dots per inch (units 1), and the exact values in EXIF.
void stampJpeg(Bytes& b, const PixelDensity& d) {
    if (!d.known() || !hasJfifFirst(b))
        return;
    b[13] = 1; // dots per inch
    putBe16At(b, 14, perInch(d.xPerCm));
    putBe16At(b, 16, perInch(d.yPerCm));
    addExifResolution(b, d);
}

// PNG: every pHYs chunk goes, a new one (unit: metre) follows IHDR.
void stampPng(Bytes& b, const PixelDensity& d) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!d.known() || b.size() < 33 || std::memcmp(b.data(), signature, 8) != 0 ||
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
            appendBe32(chunk, static_cast<std::uint32_t>(perMetre(d.xPerCm)));
            appendBe32(chunk, static_cast<std::uint32_t>(perMetre(d.yPerCm)));
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
    appendBe32(chunk, perMetre(d.xPerCm));
    appendBe32(chunk, perMetre(d.yPerCm));
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
// the exact pixels per centimetre and the unit centimetres. Only entries that
// are there change.
void stampTiff(Bytes& b, const PixelDensity& d) {
    if (!d.known() || b.size() < 8)
        return;
    const bool little = b[0] == 'I' && b[1] == 'I';
    if (!little && !(b[0] == 'M' && b[1] == 'M'))
        return;
    const auto u16 = [&](std::size_t at) -> unsigned {
        const unsigned first = b[at], second = b[at + 1];
        return little ? first | (second << 8) : (first << 8) | second;
    };
    if (u16(2) != 42)
        return;
    const std::uint32_t ifd =
        little ? u16(4) | (std::uint32_t{u16(6)} << 16) : (std::uint32_t{u16(4)} << 16) | u16(6);
    stampTiffDirectory(b, 0, ifd, little, d);
}

void stampTiffDirectory(std::span<std::uint8_t> b, std::size_t base, std::size_t ifd, bool little,
                        const PixelDensity& d) {
    if (!d.known() || ifd < base)
        return;
    // Offsets in the file; `b` holds its bytes from `base` on.
    auto u16 = [&](std::size_t at) -> unsigned {
        const unsigned first = b[at - base], second = b[at - base + 1];
        return little ? first | (second << 8) : (first << 8) | second;
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? (static_cast<std::uint32_t>(u16(at + 2)) << 16) | u16(at)
                      : (static_cast<std::uint32_t>(u16(at)) << 16) | u16(at + 2);
    };
    auto put16 = [&](std::size_t at, unsigned v) {
        b[at - base + (little ? 0 : 1)] = static_cast<std::uint8_t>(v);
        b[at - base + (little ? 1 : 0)] = static_cast<std::uint8_t>(v >> 8);
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
    const std::size_t end = base + b.size();
    if (ifd > end || end - ifd < 2)
        return;
    const unsigned count = u16(ifd);
    if ((end - ifd - 2) / 12 < count)
        return;
    constexpr std::uint64_t Max32 = 0xFFFFFFFFu;
    for (unsigned k = 0; k < count; ++k) {
        const std::size_t e = ifd + 2 + 12 * std::size_t{k};
        const unsigned tag = u16(e), type = u16(e + 2);
        if ((tag == 282 || tag == 283) && type == 5 && u32(e + 4) == 1) {
            const std::size_t at = u32(e + 8);
            if (at < base || at > end || end - at < 8)
                continue;
            const auto [n, den] = bestRational(tag == 282 ? d.xPerCm : d.yPerCm, Max32, Max32);
            put32(at, static_cast<std::uint32_t>(n));
            put32(at + 4, static_cast<std::uint32_t>(den));
        } else if (tag == 296 && type == 3) {
            put16(e + 8, 3); // centimetres
        }
    }
}

// PCX header: horizontal and vertical dots per inch at 12 and 14.
void stampPcx(Bytes& b, const PixelDensity& d) {
    if (!d.known() || b.size() < 128 || b[0] != 0x0A)
        return;
    putLe16At(b, 12, perInch(d.xPerCm));
    putLe16At(b, 14, perInch(d.yPerCm));
}

// JP2: a resolution box ('res ') at the end of the header box ('jp2h'),
// holding the capture resolution ('resc', which Pillow and img2pdf read) and
// the default display resolution ('resd') with the same values. Each is
// N / D * 10^E pixels per metre with 16-bit N and D and an exponent that some
// readers take as unsigned: E is the smallest exponent >= 0 that brings the
// value within 16 bits, the fraction the nearest one.
void stampJp2(Bytes& b, const PixelDensity& d) {
    if (!d.known())
        return;
    std::size_t at = 0;
    while (at + 8 <= b.size()) {
        const std::uint32_t len = be32(b, at);
        if (len < 8 || len > b.size() - at)
            return; // an extended or open-ended box: not our encoder's header
        if (std::memcmp(&b[at + 4], "jp2h", 4) == 0)
            break;
        at += len;
    }
    if (at + 8 > b.size())
        return;
    const std::size_t headerEnd = at + be32(b, at);
    for (std::size_t in = at + 8; in + 8 <= headerEnd;) {
        const std::uint32_t len = be32(b, in);
        if (len < 8 || len > headerEnd - in)
            return;
        if (std::memcmp(&b[in + 4], "res ", 4) == 0)
            return; // the encoder wrote one of its own
        in += len;
    }
    struct Field {
        unsigned n = 0, d = 1;
        int e = 0;
    };
    auto field = [](double perCm) {
        Field f;
        double x = perCm * 100.0;
        while (x > 65535.0 && f.e < 127) {
            x /= 10.0;
            ++f.e;
        }
        const auto [n, den] = bestRational(x, 65535, 65535);
        f.n = static_cast<unsigned>(n);
        f.d = static_cast<unsigned>(den);
        return f;
    };
    const Field v = field(d.yPerCm), h = field(d.xPerCm);
    Bytes box;
    appendBe32(box, 8 + 2 * 18);
    for (char c : {'r', 'e', 's', ' '})
        box.push_back(static_cast<std::uint8_t>(c));
    for (const char* type : {"resc", "resd"}) {
        appendBe32(box, 18);
        for (int k = 0; k < 4; ++k)
            box.push_back(static_cast<std::uint8_t>(type[k]));
        appendBe16(box, v.n);
        appendBe16(box, v.d);
        appendBe16(box, h.n);
        appendBe16(box, h.d);
        box.push_back(static_cast<std::uint8_t>(v.e));
        box.push_back(static_cast<std::uint8_t>(h.e));
    }
    const std::uint32_t newLen = be32(b, at) + static_cast<std::uint32_t>(box.size());
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(headerEnd), box.begin(), box.end());
    b[at] = static_cast<std::uint8_t>(newLen >> 24);
    b[at + 1] = static_cast<std::uint8_t>(newLen >> 16);
    b[at + 2] = static_cast<std::uint8_t>(newLen >> 8);
    b[at + 3] = static_cast<std::uint8_t>(newLen);
}

} // namespace pixkit::codec
