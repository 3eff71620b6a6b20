#include "gui/PaintBoxView.h"

#include <QMouseEvent>

#include <QPainter>
#include <cmath>

namespace gui {

namespace {
int px(double v) {
    return static_cast<int>(std::floor(v));
}
} // namespace

PaintBoxView::PaintBoxView(const QImage* buffer, QWidget* parent)
    : QWidget(parent), m_buffer(buffer) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void PaintBoxView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (m_buffer != nullptr && !m_buffer->isNull())
        p.drawImage(e->rect().topLeft(), *m_buffer, e->rect());
    // Parts of the widget the buffer does not cover (before the first draw).
    const QRect bufRect = m_buffer != nullptr ? m_buffer->rect() : QRect();
    const QRegion rest = QRegion(e->rect()) - QRegion(bufRect);
    for (const QRect& r : rest)
        p.fillRect(r, palette().color(QPalette::Dark));
}

void PaintBoxView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (onPaint)
        onPaint();
}

void PaintBoxView::mousePressEvent(QMouseEvent* e) {
    if (onMouseDown)
        onMouseDown(px(e->position().x()), px(e->position().y()));
}

void PaintBoxView::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove)
        onMouseMove(px(e->position().x()), px(e->position().y()));
}

void PaintBoxView::mouseReleaseEvent(QMouseEvent* e) {
    if (onMouseUp)
        onMouseUp(px(e->position().x()), px(e->position().y()));
}

} // namespace gui
