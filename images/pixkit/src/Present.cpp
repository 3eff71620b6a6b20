#include "pixkit/Present.h"

#include "pixkit/Halftone.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace pixkit {

namespace {

using i64 = std::int64_t;

constexpr i64 Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr i64 Int32Max = std::numeric_limits<std::int32_t>::max();

bool fitsInt32(i64 v) {
    return v >= Int32Min && v <= Int32Max;
}

// Round(a * b / c), halves to even, computed exactly in integers: the
// product in 64 bits (callers keep |a|, |b| below 2^31, so it cannot wrap as
// a 32-bit product would), the tie decided on the remainder. Empty when c is
// 0 or the result leaves the int32 range.
std::optional<i64> roundQuotient(i64 a, i64 b, i64 c) {
    if (c == 0)
        return std::nullopt;
    i64 n = a * b;
    if (c < 0) {
        n = -n;
        c = -c;
    }
    i64 q = n / c;
    i64 r = n % c;
    if (r < 0) { // floor division
        q -= 1;
        r += c;
    }
    if (2 * r > c || (2 * r == c && (q & 1) != 0))
        q += 1;
    if (!fitsInt32(q))
        return std::nullopt;
    return q;
}

// The geometry of one call after clipping the source rectangle to the image.
struct Geometry {
    i64 xDest, yDest, destWidth, destHeight;
    i64 xSrc, ySrc, srcWidth, srcHeight;
};

// Clips the source rectangle to the W x H image: right, bottom, top, left,
// in this order. Empty when nothing is left to draw: non-positive sizes on
// entry or after a cut, or a result the 32-bit device interface cannot take.
std::optional<Geometry> clipToImage(Geometry g, i64 w, i64 h) {
    if (g.destWidth <= 0 || g.destHeight <= 0 || g.srcWidth <= 0 || g.srcHeight <= 0)
        return std::nullopt;
    if (g.xSrc + g.srcWidth > w) {
        const i64 t = w - g.xSrc;
        if (t <= 0)
            return std::nullopt;
        const auto d = roundQuotient(g.destWidth, t, g.srcWidth);
        if (!d)
            return std::nullopt;
        g.destWidth = *d;
        g.srcWidth = t;
    }
    if (g.ySrc < 0) {
        // The rows cut off lie at the bottom of the picture: yDest stays.
        const i64 rest = g.srcHeight + g.ySrc;
        if (rest <= 0)
            return std::nullopt;
        const auto d = roundQuotient(rest, g.destHeight, g.srcHeight);
        if (!d)
            return std::nullopt;
        g.destHeight = *d;
        g.srcHeight = rest;
        g.ySrc = 0;
    }
    if (g.ySrc + g.srcHeight > h) {
        const i64 t = h - g.ySrc;
        if (t <= 0)
            return std::nullopt;
        const auto d = roundQuotient(g.destHeight, t, g.srcHeight);
        if (!d)
            return std::nullopt;
        g.yDest += g.destHeight - *d;
        g.destHeight = *d;
        g.srcHeight = t;
    }
    if (g.xSrc < 0) {
        const i64 rest = g.xSrc + g.srcWidth;
        if (rest <= 0)
            return std::nullopt;
        const auto d = roundQuotient(rest, g.destWidth, g.srcWidth);
        if (!d)
            return std::nullopt;
        g.xDest += g.destWidth - *d;
        g.destWidth = *d;
        g.srcWidth = rest;
        g.xSrc = 0;
    }
    if (g.destWidth <= 0 || g.destHeight <= 0 || g.srcWidth <= 0 || g.srcHeight <= 0)
        return std::nullopt;
    for (i64 v :
         {g.xDest, g.yDest, g.destWidth, g.destHeight, g.xSrc, g.ySrc, g.srcWidth, g.srcHeight})
        if (!fitsInt32(v))
            return std::nullopt;
    return g;
}

int to32(i64 v) {
    return static_cast<int>(v);
}

// Byte offsets (or pixel indices for 8 bits) of the source pixel of every
// destination column, and the run of columns whose source lies in the image.
struct ColumnMap {
    std::vector<std::ptrdiff_t> offsets;
    int first = 0;
    int last = -1; // first > last: no valid column
};

ColumnMap makeColumnMap(int destWidth, i64 xSrc, i64 srcWidth, i64 imageWidth, int bytesPerPixel) {
    ColumnMap m;
    m.offsets.resize(static_cast<std::size_t>(destWidth));
    m.first = destWidth;
    m.last = -1;
    for (int i = 0; i < destWidth; ++i) {
        const i64 column = xSrc + (srcWidth * i) / destWidth;
        m.offsets[static_cast<std::size_t>(i)] =
            static_cast<std::ptrdiff_t>(bytesPerPixel * column);
        if (column >= 0 && column < imageWidth) {
            if (m.first == destWidth)
                m.first = i;
            m.last = i;
        }
    }
    return m;
}

// Asks for the source bytes a little ahead of the gather. The address is
// formed as an integer: near the end of the image it lies past the pixels,
// and a prefetch never faults.
inline void prefetchAhead(const std::uint8_t* p) {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + 1024));
}

// Copies the mapped 3-byte pixels first..last of a source row into the row
// buffer. Where the source run is contiguous (no zoom) it is one memcpy;
// otherwise pixels move as 4-byte copies whose surplus byte is overwritten by
// the next pixel, the last pixel (and any whose 4th byte would leave the
// source row's stride) as exactly 3 bytes.
void copyRow24(std::uint8_t* dst, const std::uint8_t* src, const ColumnMap& m, bool contiguous,
               int fastEnd) {
    const std::ptrdiff_t* off = m.offsets.data();
    if (contiguous) {
        std::memcpy(dst + 3 * static_cast<std::ptrdiff_t>(m.first), src + off[m.first],
                    3 * static_cast<std::size_t>(m.last - m.first + 1));
        return;
    }
    int j = m.first;
    for (; j < fastEnd; ++j) {
        prefetchAhead(src + off[j]);
        std::memcpy(dst + 3 * static_cast<std::ptrdiff_t>(j), src + off[j], 4);
    }
    for (; j <= m.last; ++j)
        std::memcpy(dst + 3 * static_cast<std::ptrdiff_t>(j), src + off[j], 3);
}

void copyRow8(std::uint8_t* dst, const std::uint8_t* src, const ColumnMap& m) {
    const std::ptrdiff_t* off = m.offsets.data();
    for (int j = m.first; j <= m.last; ++j)
        dst[j] = src[off[j]];
}

// True when the valid columns read one unbroken run of source pixels.
bool isRun(const ColumnMap& m, int bytesPerPixel) {
    for (int j = m.first + 1; j <= m.last; ++j)
        if (m.offsets[static_cast<std::size_t>(j)] - m.offsets[static_cast<std::size_t>(j - 1)] !=
            bytesPerPixel)
            return false;
    return true;
}

bool usableImage(const dib& image, int bits) {
    return image.poi != nullptr && image.pmi != nullptr && dibbits(image) == bits &&
           dibwidth(image) > 0 && dibheight(image) > 0 && image.bytew > 0;
}

// The shared body of both row scalers.
void drawRows(Device& device, int xDest, int yDest, int destWidth, int destHeight, const dib& image,
              int xSrc, int topRow, int srcWidth, int srcHeight, int bits) {
    if (!usableImage(image, bits) || destWidth <= 0 || destHeight <= 0)
        return;
    const int bytesPerPixel = bits / 8;
    DibHolder rowImage;
    if (bits == 24)
        newdib(rowImage.get(), destWidth, 1, 24, nullptr, 0);
    else
        newdib(rowImage.get(), destWidth, 1, 8, image.pmi, 256);
    if (rowImage.empty())
        return;
    const dib& row = rowImage.get();
    std::uint8_t* buffer = row.poi;

    const i64 w = dibwidth(image);
    const i64 h = dibheight(image);
    const ColumnMap map = makeColumnMap(destWidth, xSrc, srcWidth, w, bytesPerPixel);

    // Contiguous run: every step of the map is exactly one pixel.
    const bool contiguous = isRun(map, bytesPerPixel);
    // Columns before fastEnd may be copied 4 bytes at a time: they are not the
    // last column of the run, and the 4th source byte still lies in the row's
    // stride (so in the image's memory).
    int fastEnd = map.first;
    if (bits == 24)
        while (fastEnd < map.last &&
               map.offsets[static_cast<std::size_t>(fastEnd)] + 4 <= image.bytew)
            ++fastEnd;

    const i64 bytew = image.bytew;
    const i64 maxOffset = (h - 1) * bytew;
    i64 prev = -1;
    for (int r = 0; r < destHeight; ++r) {
        const i64 yRow = static_cast<i64>(yDest) + r;
        if (yRow > Int32Max)
            break; // beyond any addressable device row
        const i64 s = topRow + (static_cast<i64>(srcHeight) * r) / destHeight;
        const i64 offset = (h - 1 - s) * bytew;
        if (offset < 0 || offset > maxOffset) {
            // Outside the image: a black row.
            std::memset(buffer, 0, static_cast<std::size_t>(row.bytew));
            prev = -1;
        } else if (offset != prev) {
            const std::uint8_t* src = image.poi + offset;
            if (map.first <= map.last) {
                if (bits == 24)
                    copyRow24(buffer, src, map, contiguous, fastEnd);
                else
                    copyRow8(buffer, src, map);
            }
            prev = offset;
        }
        // Same source row as the row before: the buffer already holds it.
        device.setDIBitsToDevice(xDest, static_cast<int>(yRow), destWidth, 1, 0, 0, 0, 1, buffer,
                                 row.pmi, DIB_RGB_COLORS);
    }
}

// Halftone route for 24-bit images on displays of 8 bits or fewer. Returns
// false when no halftone copy could be made, so the caller draws the image
// another way instead of leaving the view blank.
bool drawHalftoned(Device& device, const Geometry& g, const dib& image, std::uint32_t rasterOp) {
    const i64 w = dibwidth(image);
    const i64 h = dibheight(image);
    DibHolder copy;
    if (g.srcWidth > g.destWidth || g.srcHeight > g.destHeight) {
        // Reduced: halftone the whole image at display scale and copy one to one.
        const auto ow = roundQuotient(w, g.destWidth, g.srcWidth);
        const auto oh = roundQuotient(h, g.destHeight, g.srcHeight);
        if (!ow || !oh)
            return false;
        DIBHalftoneDIBXY(copy.get(), image, to32(*ow), to32(*oh));
        if (copy.empty())
            return false;
        const auto x = roundQuotient(dibwidth(copy.get()), g.xSrc, w);
        const auto y = roundQuotient(dibheight(copy.get()), g.ySrc, h);
        if (!x || !y)
            return false;
        device.stretchDIBits(to32(g.xDest), to32(g.yDest), to32(g.destWidth), to32(g.destHeight),
                             to32(*x), to32(*y), to32(g.destWidth), to32(g.destHeight),
                             copy.get().poi, copy.get().pmi, DIB_RGB_COLORS, rasterOp);
    } else {
        DIBHalftoneDIB(copy.get(), image);
        if (copy.empty())
            return false;
        device.stretchDIBits(to32(g.xDest), to32(g.yDest), to32(g.destWidth), to32(g.destHeight),
                             to32(g.xSrc), to32(g.ySrc), to32(g.srcWidth), to32(g.srcHeight),
                             copy.get().poi, copy.get().pmi, DIB_RGB_COLORS, rasterOp);
    }
    return true;
}

// First fallback: resample the source rectangle to the destination size here
// and hand the device unscaled rows. Endpoints map onto endpoints; a
// destination one pixel wide (or high) takes the first source column (row).
// Returns whether the device took the rows.
bool drawResampled(Device& device, const Geometry& g, const dib& image) {
    const int bits = dibbits(image);
    const int dw = to32(g.destWidth);
    const int dh = to32(g.destHeight);
    const int colours = bits <= 8 ? (1 << bits) : 0;
    DibHolder copy;
    newdib(copy.get(), dw, dh, bits, colours > 0 ? image.pmi : nullptr, colours);
    if (copy.empty())
        return false;
    const dib& c = copy.get();
    const i64 h = dibheight(image);

    std::vector<i64> columns(static_cast<std::size_t>(dw));
    for (int x = 0; x < dw; ++x)
        columns[static_cast<std::size_t>(x)] =
            g.xSrc + (dw > 1 ? ((g.srcWidth - 1) * x) / (dw - 1) : 0);

    for (int y = 0; y < dh; ++y) {
        // Rows in stored order, the bottom row first.
        const i64 sy = g.ySrc + (dh > 1 ? ((g.srcHeight - 1) * y) / (dh - 1) : 0);
        const std::uint8_t* src = storedRow(image, static_cast<int>(sy));
        std::uint8_t* dst = storedRow(c, y);
        for (int x = 0; x < dw; ++x) {
            const i64 sx = columns[static_cast<std::size_t>(x)];
            switch (bits) {
            case 1: {
                // getpixel/setpixel count rows from the top.
                const Colour v =
                    getpixel(image, static_cast<int>(sx), static_cast<int>(h - 1 - sy));
                setpixel(c, x, dh - 1 - y, v);
                break;
            }
            case 4: {
                const std::uint8_t b = src[sx / 2];
                const auto nibble = static_cast<std::uint8_t>((sx & 1) ? (b & 0x0F) : (b >> 4));
                dst[x / 2] =
                    static_cast<std::uint8_t>(dst[x / 2] | ((x & 1) ? nibble : nibble << 4));
                break;
            }
            case 8:
                dst[x] = src[sx];
                break;
            case 24:
                std::memcpy(dst + 3 * static_cast<std::ptrdiff_t>(x), src + 3 * sx, 3);
                break;
            default:
                break;
            }
        }
    }
    return device.setDIBitsToDevice(to32(g.xDest), to32(g.yDest), dw, dh, 0, 0, 0,
                                    static_cast<unsigned>(dh), c.poi, c.pmi, DIB_RGB_COLORS) != 0;
}

// Second fallback: the whole image into a device bitmap, then the device's
// own stretched copy from a memory device.
void drawThroughBitmap(Device& device, const Geometry& g, const dib& image,
                       std::uint32_t rasterOp) {
    const int w = dibwidth(image);
    const int h = dibheight(image);
    const DeviceObject bitmap = device.createCompatibleBitmap(w, h);
    if (bitmap == 0) {
        device.messageBox(MsgNoBitmap);
        return;
    }
    const DeviceObject memoryDc = device.createCompatibleDC();
    if (device.setDIBits(bitmap, 0, static_cast<unsigned>(h), image.poi, image.pmi,
                         DIB_RGB_COLORS) == 0) {
        device.messageBox(MsgNoSetDIBits);
    } else {
        const DeviceObject previous = memoryDc != 0 ? device.selectObject(memoryDc, bitmap) : 0;
        // A device bitmap counts rows from the top, the DIB rectangle from
        // the bottom.
        const i64 top = h - g.ySrc - g.srcHeight;
        const int done =
            previous != 0 ? device.stretchBlt(to32(g.xDest), to32(g.yDest), to32(g.destWidth),
                                              to32(g.destHeight), memoryDc, to32(g.xSrc), to32(top),
                                              to32(g.srcWidth), to32(g.srcHeight), rasterOp)
                          : 0;
        if (done == 0)
            device.messageBox(MsgNoStretchBlt);
        if (previous != 0)
            device.selectObject(memoryDc, previous);
    }
    if (memoryDc != 0)
        device.deleteDC(memoryDc);
    device.deleteObject(bitmap);
}

void drawDirect(Device& device, const Geometry& g, const dib& image, std::uint32_t rasterOp) {
    bool rowsOk = (device.deviceCaps(RASTERCAPS) & RC_DIBTODEV) != 0;
    if (device.stretchDIBits(to32(g.xDest), to32(g.yDest), to32(g.destWidth), to32(g.destHeight),
                             to32(g.xSrc), to32(g.ySrc), to32(g.srcWidth), to32(g.srcHeight),
                             image.poi, image.pmi, DIB_RGB_COLORS, rasterOp) != GDI_ERROR)
        return;
    if (rowsOk)
        rowsOk = drawResampled(device, g, image);
    if (!rowsOk)
        drawThroughBitmap(device, g, image, rasterOp);
}

} // namespace

void DrawDibRows24(Device& device, int xDest, int yDest, int destWidth, int destHeight,
                   const dib& image, int xSrc, int topRow, int srcWidth, int srcHeight) {
    drawRows(device, xDest, yDest, destWidth, destHeight, image, xSrc, topRow, srcWidth, srcHeight,
             24);
}

void DrawDibRows8(Device& device, int xDest, int yDest, int destWidth, int destHeight,
                  const dib& image, int xSrc, int topRow, int srcWidth, int srcHeight) {
    drawRows(device, xDest, yDest, destWidth, destHeight, image, xSrc, topRow, srcWidth, srcHeight,
             8);
}

int ScreenBitsPerPixel(Device& device) {
    return device.screenBitsPerPixel();
}

void DrawDibOnDevice(Device& device, int xDest, int yDest, int destWidth, int destHeight,
                     const dib& image, int xSrc, int ySrc, int srcWidth, int srcHeight,
                     bool halftone, std::uint32_t rasterOp) {
    const bool printer = device.deviceCaps(TECHNOLOGY) == DT_RASPRINTER;
    // Before any transfer: stretched copies drop rows instead of blending.
    device.setStretchBltMode(COLORONCOLOR);

    if (image.poi == nullptr || image.pmi == nullptr)
        return;
    const i64 w = dibwidth(image);
    const i64 h = dibheight(image);
    if (w <= 0 || h <= 0)
        return;
    const auto clipped = clipToImage(
        Geometry{xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight}, w, h);
    if (!clipped)
        return; // nothing of the source rectangle lies in the image
    const Geometry& g = *clipped;
    const int bits = dibbits(image);

    if (bits == 24 && halftone && ScreenBitsPerPixel(device) <= 8 &&
        drawHalftoned(device, g, image, rasterOp))
        return;
    const int topRow = to32(h - g.ySrc - g.srcHeight);
    if (bits == 24 && !printer) {
        DrawDibRows24(device, to32(g.xDest), to32(g.yDest), to32(g.destWidth), to32(g.destHeight),
                      image, to32(g.xSrc), topRow, to32(g.srcWidth), to32(g.srcHeight));
        return;
    }
    if (bits == 8 && !printer) {
        DrawDibRows8(device, to32(g.xDest), to32(g.yDest), to32(g.destWidth), to32(g.destHeight),
                     image, to32(g.xSrc), topRow, to32(g.srcWidth), to32(g.srcHeight));
        return;
    }
    drawDirect(device, g, image, rasterOp);
}

} // namespace pixkit
