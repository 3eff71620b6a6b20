#include "pixkit/QImageDevice.h"

#include <QRgb>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

namespace pixkit {

namespace {

using i64 = std::int64_t;

constexpr DeviceObject StockBitmap = 1;

// A DIB handed to a transfer, checked once: bottom-up, uncompressed, RGB
// colour table, a depth we can read.
struct DibSource {
    const std::uint8_t* bits = nullptr;
    i64 width = 0;
    i64 height = 0;
    int bitCount = 0;
    i64 stride = 0;
    const RgbQuad* table = nullptr;

    // Stored row r (0 = bottom), relative to the first row present in `bits`.
    const std::uint8_t* row(i64 r) const { return bits + r * stride; }

    QRgb pixel(const std::uint8_t* rowBytes, i64 x) const {
        switch (bitCount) {
        case 24: {
            const std::uint8_t* p = rowBytes + 3 * x;
            return qRgb(p[2], p[1], p[0]);
        }
        case 32: {
            const std::uint8_t* p = rowBytes + 4 * x;
            return qRgb(p[2], p[1], p[0]);
        }
        case 8:
            return quad(rowBytes[x]);
        case 4: {
            const std::uint8_t b = rowBytes[x / 2];
            return quad((x & 1) ? (b & 0x0F) : (b >> 4));
        }
        case 1:
            return quad((rowBytes[x / 8] >> (7 - (x & 7))) & 1);
        default:
            return qRgb(0, 0, 0);
        }
    }

private:
    QRgb quad(int i) const {
        const RgbQuad& q = table[i];
        return qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
};

std::optional<DibSource> readDib(const void* bits, const BitmapInfo* info, unsigned usage) {
    if (bits == nullptr || info == nullptr || usage != DIB_RGB_COLORS)
        return std::nullopt;
    const BitmapInfoHeader& h = info->bmiHeader;
    if (h.biWidth <= 0 || h.biHeight <= 0 || h.biCompression != 0)
        return std::nullopt;
    if (h.biBitCount != 1 && h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 24 &&
        h.biBitCount != 32)
        return std::nullopt;
    DibSource s;
    s.bits = static_cast<const std::uint8_t*>(bits);
    s.width = h.biWidth;
    s.height = h.biHeight;
    s.bitCount = h.biBitCount;
    s.stride = static_cast<i64>(rowBytes(h.biWidth, h.biBitCount));
    s.table = info->bmiColors;
    return s;
}

// Applies a raster operation to one pixel; empty for operations we do not
// know (the transfer then fails and reports it).
std::optional<QRgb> applyRop(std::uint32_t rop, QRgb src, QRgb dst) {
    const QRgb s = src & 0xFFFFFFu;
    const QRgb d = dst & 0xFFFFFFu;
    QRgb v = 0;
    switch (rop) {
    case SRCCOPY:
        v = s;
        break;
    case SRCPAINT:
        v = s | d;
        break;
    case SRCAND:
        v = s & d;
        break;
    case SRCINVERT:
        v = s ^ d;
        break;
    case NOTSRCCOPY:
        v = ~s;
        break;
    case DSTINVERT:
        v = ~d;
        break;
    case BLACKNESS:
        v = 0;
        break;
    case WHITENESS:
        v = 0xFFFFFFu;
        break;
    default:
        return std::nullopt;
    }
    return 0xFF000000u | (v & 0xFFFFFFu);
}

bool knownRop(std::uint32_t rop) {
    return applyRop(rop, 0, 0).has_value();
}

bool is32(const QImage& image) {
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

QRgb readTarget(const QImage& image, const std::uint8_t* line, int x) {
    if (is32(image))
        return reinterpret_cast<const QRgb*>(line)[x];
    const std::uint8_t* p = line + 3 * x;
    return qRgb(p[0], p[1], p[2]);
}

void writeTarget(const QImage& image, std::uint8_t* line, int x, QRgb v) {
    if (is32(image)) {
        reinterpret_cast<QRgb*>(line)[x] = 0xFF000000u | v;
        return;
    }
    std::uint8_t* p = line + 3 * x;
    p[0] = static_cast<std::uint8_t>(qRed(v));
    p[1] = static_cast<std::uint8_t>(qGreen(v));
    p[2] = static_cast<std::uint8_t>(qBlue(v));
}

// Nearest-neighbour stretch of a source rectangle (top-down coordinates
// xSrc, topSrc) onto the destination rectangle, clipped to the target.
// `pixelAt(x, yTopDown)` returns the source colour or nothing outside the
// source, which leaves the destination pixel as it was.
template <typename PixelAt>
void stretchInto(QImage& target, i64 xDest, i64 yDest, i64 destWidth, i64 destHeight, i64 xSrc,
                 i64 topSrc, i64 srcWidth, i64 srcHeight, std::uint32_t rop, PixelAt pixelAt) {
    const i64 tw = target.width();
    const i64 th = target.height();
    const i64 i0 = std::max<i64>(0, -xDest);
    const i64 i1 = std::min<i64>(destWidth, tw - xDest);
    const i64 r0 = std::max<i64>(0, -yDest);
    const i64 r1 = std::min<i64>(destHeight, th - yDest);
    for (i64 r = r0; r < r1; ++r) {
        const i64 sy = topSrc + (srcHeight * r) / destHeight;
        std::uint8_t* line = target.scanLine(static_cast<int>(yDest + r));
        for (i64 i = i0; i < i1; ++i) {
            const i64 sx = xSrc + (srcWidth * i) / destWidth;
            const std::optional<QRgb> s = pixelAt(sx, sy);
            if (!s)
                continue;
            const int x = static_cast<int>(xDest + i);
            const std::optional<QRgb> v = applyRop(rop, *s, readTarget(target, line, x));
            writeTarget(target, line, x, *v);
        }
    }
}

// One stored 24-bit row onto a 32-bit scanline: the hot path of every view.
// A little-endian word read at a blue byte is 0x??RRGGBB, QRgb's layout, so
// every pixel but the last is one load and one OR; the last is read bytewise
// because its fourth byte may lie beyond the row.
void bgrToRgb32(QRgb* dst, const std::uint8_t* src, i64 count) {
    if (count <= 0)
        return;
    i64 i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i < count - 1; ++i, src += 3) {
            std::uint32_t word;
            std::memcpy(&word, src, 4);
            dst[i] = 0xFF000000u | word;
        }
    }
    for (; i < count; ++i, src += 3)
        dst[i] = 0xFF000000u | (static_cast<QRgb>(src[2]) << 16) |
                 (static_cast<QRgb>(src[1]) << 8) | src[0];
}

} // namespace

struct QImageDevice::Object {
    bool isDc = false;
    QImage bitmap;                       // bitmaps: the pixels, top-down
    DeviceObject selected = StockBitmap; // memory devices: the bitmap selected
};

QImageDevice::QImageDevice(QImage& target, int screenBits)
    : m_target(target), m_screenBits(screenBits) {
    if (!m_target.isNull() && !is32(m_target) && m_target.format() != QImage::Format_RGB888)
        m_target = m_target.convertToFormat(QImage::Format_RGB32);
    m_sink = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
}

QImageDevice::~QImageDevice() = default;

void QImageDevice::setMessageSink(MessageSink sink) {
    m_sink = std::move(sink);
}

QImageDevice::Object* QImageDevice::find(DeviceObject handle, bool wantDc) {
    const auto it = m_objects.find(handle);
    if (it == m_objects.end() || it->second->isDc != wantDc)
        return nullptr;
    return it->second.get();
}

int QImageDevice::deviceCaps(int index) {
    switch (index) {
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case RASTERCAPS:
        return RC_BITBLT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    default:
        return 0;
    }
}

int QImageDevice::setStretchBltMode(int mode) {
    if (mode < BLACKONWHITE || mode > HALFTONE)
        return 0;
    const int previous = m_stretchMode;
    m_stretchMode = mode;
    return previous;
}

int QImageDevice::stretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                                int ySrc, int srcWidth, int srcHeight, const void* bits,
                                const BitmapInfo* info, unsigned usage, std::uint32_t rasterOp) {
    const std::optional<DibSource> src = readDib(bits, info, usage);
    if (!src || destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 ||
        !knownRop(rasterOp) || m_target.isNull())
        return GDI_ERROR;
    // The DIB rectangle's lower-left corner, rows counted up from the bottom.
    const i64 topSrc = src->height - static_cast<i64>(ySrc) - srcHeight;
    stretchInto(m_target, xDest, yDest, destWidth, destHeight, xSrc, topSrc, srcWidth, srcHeight,
                rasterOp, [&](i64 x, i64 yTop) -> std::optional<QRgb> {
                    if (x < 0 || x >= src->width || yTop < 0 || yTop >= src->height)
                        return std::nullopt;
                    return src->pixel(src->row(src->height - 1 - yTop), x);
                });
    return srcHeight;
}

int QImageDevice::setDIBitsToDevice(int xDest, int yDest, int width, int height, int xSrc, int ySrc,
                                    unsigned startScan, unsigned scanLines, const void* bits,
                                    const BitmapInfo* info, unsigned usage) {
    const std::optional<DibSource> src = readDib(bits, info, usage);
    if (!src || width <= 0 || height <= 0 || scanLines == 0 || m_target.isNull())
        return 0;
    const i64 firstScan = startScan;
    const i64 endScan = std::min<i64>(firstScan + scanLines, src->height);

    // Columns: destination i shows source column xSrc + i; keep those inside
    // both the source and the target.
    const i64 tw = m_target.width();
    const i64 i0 = std::max<i64>({0, -static_cast<i64>(xSrc), -static_cast<i64>(xDest)});
    const i64 i1 = std::min<i64>({width, src->width - xSrc, tw - xDest});
    const bool fast = src->bitCount == 24 && is32(m_target);
    for (i64 r = 0; r < height; ++r) {
        const i64 y = static_cast<i64>(yDest) + r;
        if (y < 0 || y >= m_target.height())
            continue;
        // Destination rows run top-down, DIB rows bottom-up.
        const i64 stored = static_cast<i64>(ySrc) + height - 1 - r;
        if (stored < firstScan || stored >= endScan || i0 >= i1)
            continue;
        const std::uint8_t* row = src->row(stored - firstScan);
        std::uint8_t* line = m_target.scanLine(static_cast<int>(y));
        if (fast) {
            bgrToRgb32(reinterpret_cast<QRgb*>(line) + xDest + i0, row + 3 * (xSrc + i0), i1 - i0);
            continue;
        }
        for (i64 i = i0; i < i1; ++i)
            writeTarget(m_target, line, static_cast<int>(xDest + i), src->pixel(row, xSrc + i));
    }
    return static_cast<int>(scanLines);
}

DeviceObject QImageDevice::createCompatibleBitmap(int width, int height) {
    // A device bitmap is 32 bits per pixel; refuse what newdib would refuse.
    if (width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4 > MaxImageBytes)
        return 0;
    auto object = std::make_unique<Object>();
    object->bitmap = QImage(width, height, QImage::Format_RGB32);
    if (object->bitmap.isNull())
        return 0;
    object->bitmap.fill(Qt::black);
    const DeviceObject handle = m_nextHandle++;
    m_objects.emplace(handle, std::move(object));
    return handle;
}

DeviceObject QImageDevice::createCompatibleDC() {
    auto object = std::make_unique<Object>();
    object->isDc = true;
    const DeviceObject handle = m_nextHandle++;
    m_objects.emplace(handle, std::move(object));
    return handle;
}

int QImageDevice::setDIBits(DeviceObject bitmap, unsigned startScan, unsigned scanLines,
                            const void* bits, const BitmapInfo* info, unsigned usage) {
    Object* target = find(bitmap, false);
    const std::optional<DibSource> src = readDib(bits, info, usage);
    if (target == nullptr || !src || scanLines == 0)
        return 0;
    QImage& image = target->bitmap;
    const i64 endScan = std::min<i64>(
        {static_cast<i64>(startScan) + scanLines, src->height, static_cast<i64>(image.height())});
    const i64 columns = std::min<i64>(src->width, image.width());
    int copied = 0;
    for (i64 stored = startScan; stored < endScan; ++stored) {
        const std::uint8_t* row = src->row(stored - startScan);
        auto* line =
            reinterpret_cast<QRgb*>(image.scanLine(image.height() - 1 - static_cast<int>(stored)));
        for (i64 x = 0; x < columns; ++x)
            line[x] = 0xFF000000u | src->pixel(row, x);
        ++copied;
    }
    return copied;
}

DeviceObject QImageDevice::selectObject(DeviceObject memoryDc, DeviceObject object) {
    Object* dc = find(memoryDc, true);
    if (dc == nullptr || (object != StockBitmap && find(object, false) == nullptr))
        return 0;
    // A bitmap can be selected into one memory device at a time.
    for (const auto& [handle, other] : m_objects)
        if (other->isDc && other.get() != dc && object != StockBitmap && other->selected == object)
            return 0;
    const DeviceObject previous = dc->selected;
    dc->selected = object;
    return previous;
}

int QImageDevice::stretchBlt(int xDest, int yDest, int destWidth, int destHeight,
                             DeviceObject sourceDc, int xSrc, int ySrc, int srcWidth, int srcHeight,
                             std::uint32_t rasterOp) {
    Object* dc = find(sourceDc, true);
    if (dc == nullptr || destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 ||
        !knownRop(rasterOp) || m_target.isNull())
        return 0;
    static const QImage stock = [] {
        QImage one(1, 1, QImage::Format_RGB32);
        one.fill(Qt::black);
        return one;
    }();
    const Object* selected = find(dc->selected, false);
    const QImage& source = selected != nullptr ? selected->bitmap : stock;
    stretchInto(m_target, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight,
                rasterOp, [&](i64 x, i64 y) -> std::optional<QRgb> {
                    if (x < 0 || x >= source.width() || y < 0 || y >= source.height())
                        return std::nullopt;
                    return reinterpret_cast<const QRgb*>(
                               source.constScanLine(static_cast<int>(y)))[x] &
                           0xFFFFFFu;
                });
    return 1;
}

int QImageDevice::deleteDC(DeviceObject memoryDc) {
    if (find(memoryDc, true) == nullptr)
        return 0;
    m_objects.erase(memoryDc);
    return 1;
}

int QImageDevice::deleteObject(DeviceObject object) {
    if (find(object, false) == nullptr)
        return 0;
    for (const auto& [handle, other] : m_objects)
        if (other->isDc && other->selected == object)
            return 0; // still selected into a memory device
    m_objects.erase(object);
    return 1;
}

int QImageDevice::screenBitsPerPixel() {
    return m_screenBits;
}

void QImageDevice::messageBox(const std::string& text) {
    if (m_sink)
        m_sink(text);
}

void drawDibRowsReference(QImage& target, int xDest, int yDest, int destWidth, int destHeight,
                          const dib& image, int xSrc, int topRow, int srcWidth, int srcHeight) {
    if (image.poi == nullptr || image.pmi == nullptr || dibbits(image) != 24 || destWidth <= 0 ||
        destHeight <= 0)
        return;
    const i64 w = dibwidth(image);
    const i64 h = dibheight(image);
    for (int r = 0; r < destHeight; ++r) {
        const i64 s = topRow + (static_cast<i64>(srcHeight) * r) / destHeight;
        for (int i = 0; i < destWidth; ++i) {
            const i64 c = xSrc + (static_cast<i64>(srcWidth) * i) / destWidth;
            Colour v = 0;
            if (s >= 0 && s < h && c >= 0 && c < w)
                v = getpixel(image, static_cast<int>(c), static_cast<int>(s));
            const int x = xDest + i;
            const int y = yDest + r;
            if (target.valid(x, y))
                target.setPixel(x, y, qRgb(redOf(v), greenOf(v), blueOf(v)));
        }
    }
}

} // namespace pixkit
