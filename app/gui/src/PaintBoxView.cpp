#include "gui/PaintBoxView.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <QPainter>
#include <QTimer>
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
    const QRect bufRect =
        m_buffer != nullptr && !m_buffer->isNull() ? QRect(m_origin, m_buffer->size()) : QRect();
    const QRect shown = e->rect() & bufRect;
    if (!shown.isEmpty())
        p.drawImage(shown.topLeft(), *m_buffer, shown.translated(-m_origin));
    // Parts of the widget the buffer does not cover (before the first draw,
    // or a part of a large view the buffer does not hold yet: that part is
    // drawn right after this paint, never from inside it).
    const QRegion rest = QRegion(e->rect()) - QRegion(bufRect);
    for (const QRect& r : rest)
        p.fillRect(r, palette().color(QPalette::Dark));
    if (!rest.isEmpty() && !bufRect.isEmpty())
        QTimer::singleShot(0, this, [this] { visibleAreaChanged(); });
    if (onOverlay)
        onOverlay(p);
}

QRect PaintBoxView::visibleRect() const {
    const QWidget* viewport = parentWidget();
    if (viewport == nullptr)
        return rect();
    return QRect(-pos(), viewport->size()) & rect();
}

void PaintBoxView::visibleAreaChanged() {
    if (!onPaint || m_buffer == nullptr)
        return;
    const QRect seen = visibleRect();
    if (seen.isEmpty() || QRect(m_origin, m_buffer->size()).contains(seen))
        return;
    onPaint();
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

void PaintBoxView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (onDoubleClick)
        onDoubleClick(px(e->position().x()), px(e->position().y()));
    else
        mousePressEvent(e);
}

void PaintBoxView::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (onLeave)
        onLeave();
}

void PaintBoxView::keyPressEvent(QKeyEvent* e) {
    if (onKey && onKey(e->key(), e->modifiers())) {
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

} // namespace gui
