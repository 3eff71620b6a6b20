// The magnifier of the source views: while a corner is placed or dragged, a
// square in the corner of the visible view away from the mouse shows the
// source photograph around the corner at four times the view's zoom (at
// least 100 %), drawn from the photograph itself so it is sharp at any zoom,
// with a cross-hair that frames the corner's image pixel.

#include "gui/Loupe.h"
#include "gui/PaintBoxView.h"
#include "gui/TMainForm.h"
#include "gui/ViewMapping.h"

#include <QPainter>
#include <QSpinBox>

#include <algorithm>
#include <vector>

namespace gui {

namespace {

// Integer division rounding toward minus infinity.
long long floorDiv(long long a, long long b) {
    const long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Image offset from the centre pixel shown by loupe pixel `j`: the loupe
// centre lies in the middle of the corner's pixel, each image pixel spans
// zoom / 100 loupe pixels.
int loupeOffset(int j, int loupeZoom) {
    const long long twice = 2LL * j + 1 - TMainForm::LoupeSize;
    return static_cast<int>(floorDiv(twice * 100 + loupeZoom, 2LL * loupeZoom));
}

} // namespace

QRect TMainForm::loupeRect(int slot) const {
    return m_loupeAt[slot - 1];
}

void TMainForm::hideLoupe(int slot) {
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    if (m_loupeAt[i].isEmpty())
        return;
    const QRect was = m_loupeAt[i];
    m_loupeAt[i] = QRect();
    m_loupe[i] = QImage();
    sourceView(slot)->update(was);
}

QImage loupePicture(const pixkit::dib& image, rectify::TPoint at, int viewZoom, QRgb outside) {
    const int loupeZoom = std::max(4 * viewZoom, 100);
    const int n = TMainForm::LoupeSize;
    QImage loupe(n, n, QImage::Format_RGB32);
    if (loupe.isNull())
        return loupe;
    const bool hasPixels = image.poi != nullptr && image.pmi != nullptr;
    const int w = hasPixels ? pixkit::dibwidth(image) : 0;
    const int h = hasPixels ? pixkit::dibheight(image) : 0;
    std::vector<int> offset(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j)
        offset[static_cast<std::size_t>(j)] = loupeOffset(j, loupeZoom);
    for (int r = 0; r < n; ++r) {
        auto* line = reinterpret_cast<QRgb*>(loupe.scanLine(r));
        const long long y = static_cast<long long>(at.y) + offset[static_cast<std::size_t>(r)];
        for (int c = 0; c < n; ++c) {
            const long long x = static_cast<long long>(at.x) + offset[static_cast<std::size_t>(c)];
            if (x < 0 || y < 0 || x >= w || y >= h) {
                line[c] = outside;
                continue;
            }
            const pixkit::Colour col =
                pixkit::getpixel(image, static_cast<int>(x), static_cast<int>(y));
            line[c] = qRgb(pixkit::redOf(col), pixkit::greenOf(col), pixkit::blueOf(col));
        }
    }
    // The cross-hair: a red frame just outside the corner's pixel and lines
    // from it to the loupe's edges.
    const auto first = std::find(offset.begin(), offset.end(), 0);
    const auto last = std::find_if(first, offset.end(), [](int o) { return o != 0; });
    const int p0 = static_cast<int>(first - offset.begin()) - 1;
    const int p1 = static_cast<int>(last - offset.begin());
    const int mid = n / 2;
    {
        QPainter p(&loupe);
        p.setPen(QColor(255, 0, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(p0, p0), QPoint(p1, p1)));
        p.drawLine(0, mid, p0 - 3, mid);
        p.drawLine(p1 + 3, mid, n - 1, mid);
        p.drawLine(mid, 0, mid, p0 - 3);
        p.drawLine(mid, p1 + 3, mid, n - 1);
        p.setPen(QColor(0, 0, 0));
        p.drawRect(QRect(0, 0, n - 1, n - 1));
    }
    return loupe;
}

QRect loupePlace(const QRect& seen, QPoint mouse) {
    const int n = TMainForm::LoupeSize;
    const int margin = 4;
    const int x =
        mouse.x() < seen.center().x() ? seen.right() - margin - n + 1 : seen.left() + margin;
    const int y =
        mouse.y() < seen.center().y() ? seen.bottom() - margin - n + 1 : seen.top() + margin;
    return QRect(x, y, n, n);
}

void TMainForm::updateLoupe(int slot, rectify::TPoint at) {
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    PaintBoxView* view = sourceView(slot);
    const int z = ZoomEd->value();
    QImage& loupe = m_loupe[i];
    // The magnifier shows what the view shows, where the view shows it.
    at = shownPoint(slot, at);
    loupe = loupePicture(shownSource(slot), at, z, palette().color(QPalette::Dark).rgb());
    if (loupe.isNull())
        return;
    // In the corner of the visible view away from the mouse.
    const QRect was = m_loupeAt[i];
    m_loupeAt[i] =
        loupePlace(view->visibleRect(), QPoint(imageToView(at.x, z), imageToView(at.y, z)));
    view->update(was | m_loupeAt[i]);
}

void TMainForm::drawLoupe(int slot, QPainter& p) {
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    if (!m_loupeAt[i].isEmpty() && !m_loupe[i].isNull())
        p.drawImage(m_loupeAt[i].topLeft(), m_loupe[i]);
}

} // namespace gui
