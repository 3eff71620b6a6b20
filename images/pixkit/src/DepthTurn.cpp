#include "pixkit/DepthTurn.h"

#include <algorithm>
#include <cstddef>

namespace pixkit {

namespace {

bool holdsImage(const dib& d) {
    return d.poi != nullptr && d.pmi != nullptr;
}

// Colour-table size that travels with an image of `bits` per pixel.
int tableEntries(int bits) {
    switch (bits) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

// Writes palette entry `index` as blue, green, red.
inline void putPaletteColour(const dib& src, unsigned index, std::uint8_t* dst) {
    const PaletteEntry& e = src.pal.palPalEntry[index & 0xFFu];
    dst[0] = e.peBlue;
    dst[1] = e.peGreen;
    dst[2] = e.peRed;
}

// Moves the pixels of `src` (width w, height h, PixelBytes per pixel) into
// the turned image `dst` working on stored rows. In stored rows a left turn
// sends (row r, column x) to (row x, column h-1-r) and a right turn to
// (row w-1-x, column r). Blocks keep both images' rows in cache.
template <std::size_t PixelBytes>
void turnRows(const dib& src, const dib& dst, int w, int h, TurnDirection dir) {
    constexpr int Block = 64;
    for (int r0 = 0; r0 < h; r0 += Block) {
        const int r1 = std::min(h, r0 + Block);
        for (int x0 = 0; x0 < w; x0 += Block) {
            const int x1 = std::min(w, x0 + Block);
            for (int r = r0; r < r1; ++r) {
                const std::uint8_t* srcRow = storedRow(src, r);
                for (int x = x0; x < x1; ++x) {
                    std::uint8_t* out;
                    if (dir == TurnDirection::Left) {
                        out = storedRow(dst, x) + static_cast<std::size_t>(h - 1 - r) * PixelBytes;
                    } else {
                        out = storedRow(dst, w - 1 - x) + static_cast<std::size_t>(r) * PixelBytes;
                    }
                    const std::uint8_t* in = srcRow + static_cast<std::size_t>(x) * PixelBytes;
                    for (std::size_t i = 0; i < PixelBytes; ++i)
                        out[i] = in[i];
                }
            }
        }
    }
}

// Makes the turned image's record: width and height exchanged, same depth and
// colour table. Empty record on failure.
dib makeTurned(const dib& image) {
    const int bits = dibbits(image);
    dib turned;
    newdib(turned, dibheight(image), dibwidth(image), bits, image.pmi, tableEntries(bits));
    return turned;
}

void install(dib& image, const dib& made) {
    replaceDib(image, made);
}

} // namespace

void DepthUpTo(int nbpp, dib& image) {
    if (nbpp != 24 || !holdsImage(image))
        return;
    const int b = dibbits(image);
    const int w = dibwidth(image);
    const int h = dibheight(image);
    if (b != 1 && b != 4 && b != 8)
        return;

    dib made;
    newdib(made, w, h, 24, nullptr, 0);
    if (made.poih == 0)
        return;

    if (b == 1) {
        const Colour c0 = tableColour(image, 0);
        const Colour c1 = tableColour(image, 1);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                setpixel(made, x, y, getpixel(image, x, y) == 0 ? c0 : c1);
        }
    } else {
        // Stored order on both sides keeps the picture upright.
        for (int r = 0; r < h; ++r) {
            const std::uint8_t* src = storedRow(image, r);
            std::uint8_t* dst = storedRow(made, r);
            for (int x = 0; x < w; ++x) {
                const auto ux = static_cast<std::size_t>(x);
                unsigned index;
                if (b == 8) {
                    index = src[ux];
                } else {
                    const unsigned byte = src[ux / 2];
                    index = (ux & 1) != 0 ? (byte & 0x0Fu) : (byte >> 4);
                }
                putPaletteColour(image, index, dst + 3 * ux);
            }
        }
    }
    install(image, made);
}

void TurnSourceImageReference(dib& image, TurnDirection dir) {
    if (!holdsImage(image))
        return;
    const int w = dibwidth(image);
    const int h = dibheight(image);
    const dib turned = makeTurned(image);
    if (turned.poi == nullptr)
        return;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Colour v = getpixel(image, x, y);
            if (dir == TurnDirection::Left)
                setpixel(turned, y, w - 1 - x, v);
            else
                setpixel(turned, h - 1 - y, x, v);
        }
    }
    install(image, turned);
}

void TurnSourceImage(dib& image, TurnDirection dir) {
    if (!holdsImage(image))
        return;
    const int b = dibbits(image);
    if (b != 8 && b != 24) {
        TurnSourceImageReference(image, dir);
        return;
    }
    const dib turned = makeTurned(image);
    if (turned.poi == nullptr)
        return;
    if (b == 24)
        turnRows<3>(image, turned, dibwidth(image), dibheight(image), dir);
    else
        turnRows<1>(image, turned, dibwidth(image), dibheight(image), dir);
    install(image, turned);
}

} // namespace pixkit
