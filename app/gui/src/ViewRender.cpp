#include "gui/ViewRender.h"

#include "pixkit/Present.h"
#include "pixkit/QImageDevice.h"

#include <QMessageBox>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gui {

namespace {

bool hasPixels(const pixkit::dib& image) {
    return image.poi != nullptr && image.pmi != nullptr && pixkit::dibwidth(image) > 0 &&
           pixkit::dibheight(image) > 0;
}

// Gives the buffer the size and format of a view part; false without memory.
bool sizeBuffer(QImage& buffer, QSize size) {
    if (size.width() < 1 || size.height() < 1) {
        buffer = QImage();
        return false;
    }
    if (buffer.size() != size || buffer.format() != QImage::Format_RGB32)
        buffer = QImage(size, QImage::Format_RGB32);
    return !buffer.isNull();
}

// The whole image, scaled to w x h, drawn with its top-left corner at
// (xDest, yDest) of the buffer through the same drawing routine every view
// uses; the device drops what falls outside the buffer.
void drawImageAt(QImage& buffer, int xDest, int yDest, int w, int h, const pixkit::dib& image) {
    if (!hasPixels(image)) {
        buffer.fill(Qt::black);
        return;
    }
    pixkit::QImageDevice device(buffer);
    device.setMessageSink([](const std::string& text) {
        QMessageBox::warning(nullptr, QString(), QString::fromStdString(text));
    });
    pixkit::DrawDibOnDevice(device, xDest, yDest, w, h, image, 0, 0, pixkit::dibwidth(image),
                            pixkit::dibheight(image), false, pixkit::SRCCOPY);
}

// Image column or row shown at view position v of a view `viewLength` long:
// the row scalers pick source index length * v / viewLength, truncated.
std::int64_t sourceIndex(std::int64_t length, std::int64_t v, std::int64_t viewLength) {
    return length * v / viewLength;
}

// The view pixels `part` of a view of `viewSize` that shows an image of
// `imageSize`, of which `piece` (24 bits) holds the pixels from `origin` on
// and at least all that `part` shows.
void renderPiece(QImage& buffer, QSize viewSize, const QRect& part, QSize imageSize,
                 const pixkit::dib& piece, QPoint origin) {
    const std::int64_t W = imageSize.width();
    const std::int64_t H = imageSize.height();
    const int pw = part.width();
    std::vector<std::int64_t> offsets(static_cast<std::size_t>(pw));
    for (int i = 0; i < pw; ++i)
        offsets[static_cast<std::size_t>(i)] =
            3 * (sourceIndex(W, part.x() + i, viewSize.width()) - origin.x());
    std::int64_t prevRow = -1;
    for (int r = 0; r < part.height(); ++r) {
        auto* line = reinterpret_cast<QRgb*>(buffer.scanLine(r));
        const std::int64_t row = sourceIndex(H, part.y() + r, viewSize.height());
        if (row == prevRow) { // a zoomed-in row repeats the one above it
            std::memcpy(line, buffer.constScanLine(r - 1), static_cast<std::size_t>(pw) * 4);
            continue;
        }
        prevRow = row;
        const std::uint8_t* src = pixkit::pictureRow(piece, static_cast<int>(row - origin.y()));
        for (int i = 0; i < pw; ++i) {
            const std::uint8_t* p = src + offsets[static_cast<std::size_t>(i)];
            line[i] = 0xFF000000u | (static_cast<QRgb>(p[2]) << 16) |
                      (static_cast<QRgb>(p[1]) << 8) | p[0];
        }
    }
}

} // namespace

void renderImageToBuffer(QImage& buffer, int w, int h, const pixkit::dib& image) {
    if (!sizeBuffer(buffer, QSize(w, h)))
        return; // no memory for the buffer: the view stays as it was
    drawImageAt(buffer, 0, 0, w, h, image);
}

QRect bufferPart(QSize viewSize, const QRect& visible, qint64 wholeLimit) {
    const QRect all(QPoint(0, 0), viewSize);
    if (static_cast<qint64>(viewSize.width()) * viewSize.height() <= wholeLimit)
        return all;
    const QRect seen = visible & all;
    if (seen.isEmpty()) // hidden or not yet laid out: a viewport's worth at the origin
        return QRect(0, 0, 2 * ViewMarginPixels, 2 * ViewMarginPixels) & all;
    return seen.adjusted(-ViewMarginPixels, -ViewMarginPixels, ViewMarginPixels, ViewMarginPixels) &
           all;
}

void renderViewPart(QImage& buffer, QSize viewSize, const QRect& part, const pixkit::dib& image) {
    if (!sizeBuffer(buffer, part.size()))
        return;
    if (!hasPixels(image)) {
        buffer.fill(Qt::black);
        return;
    }
    if (pixkit::dibbits(image) != 24) {
        // Other depths (never a source or rectified image) take the general
        // route, shifted so that the part lands in the buffer.
        drawImageAt(buffer, -part.x(), -part.y(), viewSize.width(), viewSize.height(), image);
        return;
    }
    renderPiece(buffer, viewSize, part, QSize(pixkit::dibwidth(image), pixkit::dibheight(image)),
                image, QPoint(0, 0));
}

QRect imagePartShown(QSize viewSize, const QRect& part, QSize imageSize) {
    if (part.isEmpty() || viewSize.isEmpty() || imageSize.isEmpty())
        return {};
    const auto at = [](int length, int v, int viewLength) {
        return static_cast<int>(sourceIndex(length, v, viewLength));
    };
    const QPoint first(at(imageSize.width(), part.left(), viewSize.width()),
                       at(imageSize.height(), part.top(), viewSize.height()));
    const QPoint last(at(imageSize.width(), part.right(), viewSize.width()),
                      at(imageSize.height(), part.bottom(), viewSize.height()));
    return QRect(first, last);
}

void renderViewPartOfPiece(QImage& buffer, QSize viewSize, const QRect& part, QSize imageSize,
                           const pixkit::dib& piece, QPoint pieceOrigin) {
    if (!sizeBuffer(buffer, part.size()))
        return;
    const QRect needed = imagePartShown(viewSize, part, imageSize);
    if (!hasPixels(piece) || pixkit::dibbits(piece) != 24 ||
        !QRect(pieceOrigin, QSize(pixkit::dibwidth(piece), pixkit::dibheight(piece)))
             .contains(needed)) {
        buffer.fill(Qt::black);
        return;
    }
    renderPiece(buffer, viewSize, part, imageSize, piece, pieceOrigin);
}

void renderViewPartReference(QImage& buffer, QSize viewSize, const QRect& part,
                             const pixkit::dib& image) {
    if (!sizeBuffer(buffer, part.size()))
        return;
    buffer.fill(Qt::black);
    if (!hasPixels(image))
        return;
    const int W = pixkit::dibwidth(image);
    const int H = pixkit::dibheight(image);
    for (int r = 0; r < part.height(); ++r)
        for (int i = 0; i < part.width(); ++i) {
            const auto x = static_cast<int>(sourceIndex(W, part.x() + i, viewSize.width()));
            const auto y = static_cast<int>(sourceIndex(H, part.y() + r, viewSize.height()));
            const pixkit::Colour c = pixkit::getpixel(image, x, y);
            buffer.setPixel(i, r, qRgb(pixkit::redOf(c), pixkit::greenOf(c), pixkit::blueOf(c)));
        }
}

namespace {

__extension__ typedef __int128 Wide; // products of two view distances

// a + round((t - aMajor) * dMinor / dMajor), halves away from a.
std::int64_t minorAt(std::int64_t t, std::int64_t aMajor, std::int64_t aMinor, std::int64_t dMajor,
                     std::int64_t dMinor) {
    const Wide num = static_cast<Wide>(t - aMajor) * dMinor;
    const Wide den = dMajor;
    const Wide half = den / 2;
    const Wide q = num >= 0 ? (num + half) / den : -((-num + half) / den);
    return aMinor + static_cast<std::int64_t>(q);
}

void setIfInside(QImage& buffer, std::int64_t x, std::int64_t y, QRgb colour) {
    if (x >= 0 && y >= 0 && x < buffer.width() && y < buffer.height())
        reinterpret_cast<QRgb*>(buffer.scanLine(static_cast<int>(y)))[x] = colour;
}

} // namespace

void drawWideLine(QImage& buffer, QPoint origin, QPoint a, QPoint b, QRgb colour) {
    if (buffer.isNull())
        return;
    const std::int64_t dx = static_cast<std::int64_t>(b.x()) - a.x();
    const std::int64_t dy = static_cast<std::int64_t>(b.y()) - a.y();
    const bool alongX = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    // In (major, minor) terms, a first.
    std::int64_t aM = alongX ? a.x() : a.y();
    std::int64_t am = alongX ? a.y() : a.x();
    std::int64_t bM = alongX ? b.x() : b.y();
    std::int64_t bm = alongX ? b.y() : b.x();
    if (bM < aM) {
        std::swap(aM, bM);
        std::swap(am, bm);
    }
    const std::int64_t dM = bM - aM;
    const std::int64_t dm = bm - am;
    const std::int64_t oM = alongX ? origin.x() : origin.y();
    const std::int64_t om = alongX ? origin.y() : origin.x();
    const std::int64_t lenM = alongX ? buffer.width() : buffer.height();
    // Only the steps that land in the buffer.
    const std::int64_t from = std::max(aM - 1, oM);
    const std::int64_t to = std::min(bM, oM + lenM - 1);
    for (std::int64_t t = from; t <= to; ++t) {
        const std::int64_t m = dM == 0 ? am : minorAt(t, aM, am, dM, dm);
        for (std::int64_t k = m - 1; k <= m; ++k) {
            if (alongX)
                setIfInside(buffer, t - oM, k - om, colour);
            else
                setIfInside(buffer, k - om, t - oM, colour);
        }
    }
}

} // namespace gui
