#include "gui/ScrollBox.h"

#include "gui/PaintBoxView.h"

#include <QPalette>
#include <QWheelEvent>

namespace gui {

ScrollBox::ScrollBox(QWidget* parent) : QScrollArea(parent) {
    setWidgetResizable(false);
    setBackgroundRole(QPalette::Dark);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void ScrollBox::wheelEvent(QWheelEvent* e) {
    e->ignore();
}

void ScrollBox::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    tellView();
}

void ScrollBox::resizeEvent(QResizeEvent* e) {
    QScrollArea::resizeEvent(e);
    tellView();
}

void ScrollBox::tellView() {
    if (auto* view = qobject_cast<PaintBoxView*>(widget()))
        view->visibleAreaChanged();
}

} // namespace gui
