#include "pixkit/dib.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace pixkit {

namespace {

// Large pixel blocks come as untouched zero pages and are usually filled at
// once (a decoded photograph, a rectified image, a turn). Asking for huge pages
// before the first write saves one page fault per 4 KiB: on a 72 MB image that
// is most of the cost of filling it. Advice only; the pixels are the same.
void preferHugePages(void* block, std::uint64_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20;
    if (bytes < 2 * Huge)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + Huge - 1) & ~(Huge - 1);
    const std::uintptr_t last = (begin + static_cast<std::uintptr_t>(bytes)) & ~(Huge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

} // namespace

std::uint64_t rowBytes(std::int64_t width, int bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0 || bitsPerPixel > 32)
        return 0;
    const std::uint64_t bits =
        static_cast<std::uint64_t>(width) * static_cast<unsigned>(bitsPerPixel);
    return ((bits + 31) / 32) * 4;
}

namespace {

// The size checks of newdib: the stored row length and the block size, or
// 0 when the image cannot be made.
std::uint64_t blockBytes(int width, int height, int bitsPerPixel, std::uint64_t& stride) {
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24)
        return 0;
    if (width <= 0 || height <= 0)
        return 0;
    stride = rowBytes(width, bitsPerPixel);
    if (stride == 0 ||
        stride > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return 0;
    const std::uint64_t total = stride * static_cast<std::uint64_t>(height); // < 2^62, no wrap
    if (total > MaxImageBytes || total > std::numeric_limits<std::size_t>::max())
        return 0;
    return total;
}

// Fills a cleared header and the record around `pixels`.
void makeRecord(dib& out, BitmapInfo* info, std::uint8_t* pixels, int width, int height,
                int bitsPerPixel, std::uint64_t stride, std::uint64_t total,
                const BitmapInfo* templ, int colours) {
    BitmapInfoHeader& h = info->bmiHeader;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<std::uint16_t>(bitsPerPixel);
    h.biCompression = 0;
    h.biSizeImage =
        total <= std::numeric_limits<std::uint32_t>::max() ? static_cast<std::uint32_t>(total) : 0;

    const int maxColours = bitsPerPixel <= 8 ? (1 << bitsPerPixel) : 0;
    int n = templ != nullptr ? colours : 0;
    if (n < 0)
        n = 0;
    if (n > 256)
        n = 256;
    if (n > 0)
        std::memcpy(info->bmiColors, templ->bmiColors,
                    static_cast<std::size_t>(n) * sizeof(RgbQuad));
    h.biClrUsed = static_cast<std::uint32_t>(maxColours > 0 ? maxColours : 0);

    out = dib{};
    out.pmi = info;
    out.pmih = reinterpret_cast<Handle>(info);
    out.poi = pixels;
    out.poih = reinterpret_cast<Handle>(pixels);
    out.bytew = static_cast<std::int32_t>(stride);
    out.ispal = maxColours > 0 ? 1 : 0;
    out.pal.palVersion = 0x300;
    out.pal.palNumEntries = static_cast<std::uint16_t>(maxColours);
    for (int i = 0; i < 256; ++i) {
        const RgbQuad& q = info->bmiColors[i];
        out.pal.palPalEntry[i] = PaletteEntry{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
}

} // namespace

void newdib(dib& out, int width, int height, int bitsPerPixel, const BitmapInfo* templ,
            int colours) {
    out = dib{};
    std::uint64_t stride = 0;
    const std::uint64_t total = blockBytes(width, height, bitsPerPixel, stride);
    if (total == 0)
        return;
    auto* info = static_cast<BitmapInfo*>(std::calloc(1, sizeof(BitmapInfo)));
    if (info == nullptr)
        return;
    auto* pixels = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(total), 1));
    if (pixels == nullptr) {
        std::free(info);
        return;
    }
    preferHugePages(pixels, total);
    makeRecord(out, info, pixels, width, height, bitsPerPixel, stride, total, templ, colours);
}

bool renewdibForOverwrite(dib& d, int width, int height) {
    std::uint64_t stride = 0;
    const std::uint64_t total = blockBytes(width, height, 24, stride);
    if (total == 0)
        return false;
    auto* info = static_cast<BitmapInfo*>(std::calloc(1, sizeof(BitmapInfo)));
    if (info == nullptr)
        return false;
    const bool keep = d.poi != nullptr && d.pmi != nullptr && dibbits(d) == 24 &&
                      dibwidth(d) == width && dibheight(d) == height;
    std::uint8_t* pixels = keep ? d.poi : nullptr;
    if (!keep) {
        pixels = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(total)));
        if (pixels == nullptr) {
            std::free(info);
            return false;
        }
        preferHugePages(pixels, total);
        releasedib(d);
    } else {
        std::free(d.pmi);
    }
    makeRecord(d, info, pixels, width, height, 24, stride, total, nullptr, 0);
    return true;
}

void deldib(const dib& d) {
    std::free(d.poi);
    std::free(d.pmi);
}

void releasedib(dib& d) {
    if (d.poi == nullptr && d.pmi == nullptr)
        return;
    deldib(d);
    d.poi = nullptr;
    d.pmi = nullptr;
    d.poih = 0;
    d.pmih = 0;
}

void replaceDib(dib& field, const dib& fresh) {
    releasedib(field);
    field = fresh;
}

int dibwidth(const dib& d) {
    assert(d.pmi != nullptr);
    return d.pmi->bmiHeader.biWidth;
}

int dibheight(const dib& d) {
    assert(d.pmi != nullptr);
    return d.pmi->bmiHeader.biHeight;
}

int dibbits(const dib& d) {
    assert(d.pmi != nullptr);
    return d.pmi->bmiHeader.biBitCount;
}

std::uint32_t dibcolors(const dib& d) {
    const int b = dibbits(d);
    return b >= 32 ? 0u : (std::uint32_t{1} << b);
}

Colour tableColour(const dib& d, int i) {
    if (d.pmi == nullptr || i < 0 || i > 255)
        return 0;
    const RgbQuad& q = d.pmi->bmiColors[i];
    return rgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

namespace {

// Address of the byte row holding picture row y, or nil outside the image.
inline std::uint8_t* rowFor(const dib& d, int x, int y) {
    if (d.poi == nullptr || d.pmi == nullptr)
        return nullptr;
    const BitmapInfoHeader& h = d.pmi->bmiHeader;
    if (x < 0 || y < 0 || x >= h.biWidth || y >= h.biHeight)
        return nullptr;
    return d.poi + static_cast<std::ptrdiff_t>(h.biHeight - 1 - y) * d.bytew;
}

} // namespace

Colour getpixel(const dib& d, int x, int y) {
    const std::uint8_t* row = rowFor(d, x, y);
    if (row == nullptr)
        return 0;
    const auto ux = static_cast<std::size_t>(x);
    switch (d.pmi->bmiHeader.biBitCount) {
    case 24: {
        const std::uint8_t* p = row + 3 * ux;
        return rgb(p[2], p[1], p[0]);
    }
    case 8:
        return row[ux];
    case 4: {
        const std::uint8_t b = row[ux / 2];
        return (ux & 1) ? (b & 0x0Fu) : (b >> 4);
    }
    case 1:
        // Platform layout: the leftmost pixel is the most significant bit.
        return (row[ux / 8] >> (7 - (ux & 7))) & 1u;
    default:
        return 0;
    }
}

void setpixel(const dib& d, int x, int y, Colour value) {
    std::uint8_t* row = rowFor(d, x, y);
    if (row == nullptr)
        return;
    const auto ux = static_cast<std::size_t>(x);
    switch (d.pmi->bmiHeader.biBitCount) {
    case 24: {
        std::uint8_t* p = row + 3 * ux;
        p[0] = blueOf(value);
        p[1] = greenOf(value);
        p[2] = redOf(value);
        break;
    }
    case 8:
        row[ux] = static_cast<std::uint8_t>(value);
        break;
    case 4: {
        std::uint8_t& b = row[ux / 2];
        const auto v = static_cast<std::uint8_t>(value & 0x0F);
        b = (ux & 1) ? static_cast<std::uint8_t>((b & 0xF0) | v)
                     : static_cast<std::uint8_t>((b & 0x0F) | (v << 4));
        break;
    }
    case 1: {
        std::uint8_t& b = row[ux / 8];
        const auto mask = static_cast<std::uint8_t>(0x80u >> (ux & 7));
        b = (value & 1) ? static_cast<std::uint8_t>(b | mask)
                        : static_cast<std::uint8_t>(b & ~mask);
        break;
    }
    default:
        break;
    }
}

} // namespace pixkit
