#pragma once
// PixKit: the raster image record `dib` and the pixel operations on it.
//
// Every picture of the program (source photographs, rectified images, the
// overlay, work images) is a `dib`: a plain value describing a bottom-up,
// device-independent bitmap. Copies share the pixel memory; exactly one
// holder releases it: an `Image` (below), which owns its record's pixels.
//
// Error policy of this layer: an operation that makes an image reports
// failure only through a nil `poi` (and a zero `poih`) in the record it fills.
// Pixel accesses outside the image are tolerated (read 0, write nothing).
// Broken preconditions (a header reader on a released record) are bugs and
// assert.

#include <cstddef>
#include <cstdint>

namespace pixkit {

// The 40-byte header of a device-independent bitmap (the BMP file's info header).
struct BitmapInfoHeader {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // positive: rows stored bottom row first
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// Colour-table entry in bitmap order: blue, green, red, reserved.
struct RgbQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};

// Header followed by room for a full 256-entry colour table.
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    RgbQuad bmiColors[256];
};
static_assert(offsetof(BitmapInfo, bmiColors) == 40);

// Logical-palette entry: red, green, blue, flags.
struct PaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;
};

struct LogPalette {
    std::uint16_t palVersion = 0;
    std::uint16_t palNumEntries = 0;
    PaletteEntry palPalEntry[256];
};
static_assert(sizeof(LogPalette) == 1028);

// Handles are native-sized; `poih` is nonzero exactly while an image exists.
using Handle = std::uintptr_t;

// The raster image record. A plain value: copying it copies the description,
// not the pixels.
struct dib {
    BitmapInfo* pmi = nullptr;   // header and colour table
    Handle poih = 0;             // handle of the pixel memory
    Handle pmih = 0;             // handle of the bitmap-info block
    std::uint8_t* poi = nullptr; // pixel rows, bottom row first; nil: no image
    std::int32_t bytew = 0;      // bytes per stored row, a multiple of 4
    std::uint8_t ispal = 0;      // 1 when the image carries a palette (1, 4, 8 bits)
    LogPalette pal;              // same colours as the colour table
};

// Colour value: red in the low byte, then green, then blue.
using Colour = std::uint32_t;

constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}
constexpr std::uint8_t redOf(Colour c) {
    return static_cast<std::uint8_t>(c & 0xFF);
}
constexpr std::uint8_t greenOf(Colour c) {
    return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
constexpr std::uint8_t blueOf(Colour c) {
    return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}

// Largest pixel block newdib hands out (16 GiB). Far above any photograph,
// and low enough that an absurd request fails cleanly instead of being
// promised by the kernel's overcommit and killing the program later.
inline constexpr std::uint64_t MaxImageBytes = std::uint64_t{16} << 30;

// Bytes per stored row for `width` pixels of `bitsPerPixel`: the width in bits
// rounded up to 32, in bytes. Computed in 64 bits; 0 for invalid input.
std::uint64_t rowBytes(std::int64_t width, int bitsPerPixel);

// Makes a new image of width x height pixels at 1, 4, 8 or 24 bits per pixel,
// every pixel byte zero (black). The first `colours` entries of the colour
// table are copied from `templ` (nil: none); `pal` receives the same colours.
// On any failure (bad size or depth, size overflow, no memory) `out` is reset
// to an empty record: `poi` nil, `poih` 0. `out` is overwritten, not released.
void newdib(dib& out, int width, int height, int bitsPerPixel, const BitmapInfo* templ,
            int colours);

// Makes `d` a 24-bit image of width x height pixels, as newdib does, for a
// caller that writes every stored byte (each row's padding included) before
// the image is read or saved: the pixels are not cleared, and when `d`
// already holds a 24-bit image of this size its pixel memory is kept (no
// fresh pages to fault in and clear; the header is made anew). Any other
// image in `d` is released. On failure `d` is left as it was and false is
// returned.
bool renewdibForOverwrite(dib& d, int width, int height);

// Releases the memory of an image (header and pixels). Does not touch the record.
void deldib(const dib& d);

// Pixel at picture position (x, y), y from the top row. Palette index for 1,
// 4 and 8 bits, colour value for 24 bits. Positions outside the image, and
// records without an image, read 0.
Colour getpixel(const dib& d, int x, int y);

// Writes the pixel at (x, y), same encoding. Outside the image nothing changes.
void setpixel(const dib& d, int x, int y, Colour value);

// Releases the image through deldib and marks the record empty: `poi` nil and
// the handles and header pointer cleared, so a released record can never
// reach freed memory. Other fields keep their values. No-op on an empty record.
void releasedib(dib& d);

// Header readers; the record must hold an image.
int dibwidth(const dib& d);
int dibheight(const dib& d);
int dibbits(const dib& d);
// 2 to the power of the bits per pixel (16777216 for 24 bits).
std::uint32_t dibcolors(const dib& d);

// Address of stored row r (0 = bottom row as stored). No bounds check.
inline std::uint8_t* storedRow(const dib& d, int r) {
    return d.poi + static_cast<std::ptrdiff_t>(r) * d.bytew;
}
// Address of picture row y (0 = top row as shown). No bounds check.
inline std::uint8_t* pictureRow(const dib& d, int y) {
    return storedRow(d, dibheight(d) - 1 - y);
}

// Colour-table entry i as a colour value (red in the low byte).
Colour tableColour(const dib& d, int i);

// Replaces the image a field owns: releases the old image, then installs
// `fresh`, which the field owns from then on. `fresh` may be empty.
void replaceDib(dib& field, const dib& fresh);

// An image that owns its pixels: move-only, released when it is replaced or
// destroyed. Every image the program keeps (the workspace's photographs and
// rectified images, temporaries, results on their way) lives in one. The
// record inside stays a plain value that the engine's functions take: a
// function that only reads or paints pixels gets `get()` (or the image
// itself, which converts to `const dib&`); one that replaces the record
// (releasing the old image, installing a new one) gets `get()` as `dib&`, and
// the Image owns whatever that leaves in it.
class Image {
public:
    Image() = default;
    // Takes over `d`, which nobody else releases from now on.
    explicit Image(const dib& d) : m_dib(d) {}
    ~Image() { releasedib(m_dib); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    Image(Image&& o) noexcept : m_dib(o.m_dib) { o.m_dib = dib{}; }
    Image& operator=(Image&& o) noexcept {
        if (this != &o) {
            releasedib(m_dib);
            m_dib = o.m_dib;
            o.m_dib = dib{};
        }
        return *this;
    }

    // A new black image (see newdib); empty when it cannot be made.
    static Image blank(int width, int height, int bitsPerPixel = 24) {
        Image image;
        newdib(image.m_dib, width, height, bitsPerPixel, nullptr, 0);
        return image;
    }

    // Installs a new image: releases the old one, then takes the record over.
    void install(const dib& d) { replaceDib(m_dib, d); }
    // Releases the image; the Image is empty afterwards.
    void reset() { releasedib(m_dib); }
    // Gives the record up without releasing it.
    dib take() {
        dib d = m_dib;
        m_dib = dib{};
        return d;
    }

    dib& get() { return m_dib; }
    const dib& get() const { return m_dib; }
    operator const dib&() const { return m_dib; } // NOLINT: the engine takes records
    bool empty() const { return m_dib.poi == nullptr; }
    // Address of the pixels: tells images apart (nil when empty).
    const std::uint8_t* pixels() const { return m_dib.poi; }
    // Size in pixels; 0 x 0 when empty.
    int width() const { return m_dib.pmi != nullptr ? dibwidth(m_dib) : 0; }
    int height() const { return m_dib.pmi != nullptr ? dibheight(m_dib) : 0; }

private:
    dib m_dib;
};

// The former name of Image, kept for the code that still uses it.
using DibHolder = Image;

} // namespace pixkit
