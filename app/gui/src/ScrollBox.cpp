#include "gui/ScrollBox.h"

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

} // namespace gui
