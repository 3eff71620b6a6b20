// Keyboard and layout polish of the main window: the standard shortcuts,
// zooming with Ctrl and the wheel about the mouse, separators drawn as plain
// lines, and the smallest window size that cuts off no label or button.

#include "gui/Mnemonics.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"
#include "gui/ViewMapping.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyleOption>

#include <algorithm>

namespace gui {

namespace {

// Menus keep "-" as the caption of their separators (the translation walk
// meets it), but some styles print a separator's caption as a heading; this
// style draws and sizes every separator as if it had none.
class PlainSeparatorStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (const auto* item = plainSeparator(element == CE_MenuItem, option)) {
            QStyleOptionMenuItem plain(*item);
            plain.text.clear();
            QProxyStyle::drawControl(element, &plain, painter, widget);
            return;
        }
        // The keyboard letter of an item, underlined where the style shows them.
        if (element == CE_MenuItem || element == CE_MenuBarItem) {
            if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
                QStyleOptionMenuItem lettered(*item);
                lettered.text = mnemonicShown(widget, item->text);
                QProxyStyle::drawControl(element, &lettered, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        if (const auto* item = plainSeparator(type == CT_MenuItem, option)) {
            QStyleOptionMenuItem plain(*item);
            plain.text.clear();
            return QProxyStyle::sizeFromContents(type, &plain, size, widget);
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

private:
    static const QStyleOptionMenuItem* plainSeparator(bool menuItem, const QStyleOption* option) {
        if (!menuItem)
            return nullptr;
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (item == nullptr || item->menuItemType != QStyleOptionMenuItem::Separator)
            return nullptr;
        return item;
    }
};

// The scroll box a view sits in (view -> viewport -> scroll box).
ScrollBox* boxOf(PaintBoxView* view) {
    QWidget* viewport = view->parentWidget();
    return viewport != nullptr ? qobject_cast<ScrollBox*>(viewport->parentWidget()) : nullptr;
}

} // namespace

void TMainForm::buildPolish() {
    // The platform's standard keys; the captions stay as they are.
    Bildffnen1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Bild2ffnen1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    EntzerrtesBildspeichern1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Beenden1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Bildneuberechnen1->setShortcut(QKeySequence(Qt::Key_F5));
    ber1->setShortcut(QKeySequence(Qt::Key_F1));

    auto* style = new PlainSeparatorStyle();
    style->setParent(this);
    for (QMenu* m : findChildren<QMenu*>())
        m->setStyle(style);
    menuBar()->setStyle(style);

    applyMinimumSize();
}

void TMainForm::applyMinimumSize() {
    // As wide as the button bar and the control panel need, as high as the
    // menu, both panels at their start heights, a strip of the views and
    // the status bar.
    const int width =
        std::max(Panel2->layout()->minimumSize().width(), Panel1->layout()->minimumSize().width());
    const int height = menuBar()->sizeHint().height() + Panel2->height() +
                       std::max(97, Panel1->layout()->minimumSize().height()) +
                       Splitter2->handleWidth() + 80 + StatusBar1->sizeHint().height();
    setMinimumSize(width, height);
}

bool TMainForm::zoomAtMouse(QObject* watched, QPointF globalPos, int delta) {
    const int z = ZoomEd->value();
    const int next = std::clamp(z + (delta > 0 ? 10 : -10), ZoomEd->minimum(), ZoomEd->maximum());
    if (next == z)
        return true;
    // The view under the mouse, if any: its pixel there stays there.
    PaintBoxView* view = nullptr;
    for (QObject* o = watched; o != nullptr && view == nullptr; o = o->parent()) {
        if (auto* v = qobject_cast<PaintBoxView*>(o))
            view = v;
        else if (auto* b = qobject_cast<ScrollBox*>(o))
            view = qobject_cast<PaintBoxView*>(b->widget());
    }
    ScrollBox* box = view != nullptr ? boxOf(view) : nullptr;
    if (box == nullptr) {
        ZoomEd->setValue(next);
        return true;
    }
    const QPoint global = globalPos.toPoint();
    const QPoint inView = view->mapFromGlobal(global);
    const QPoint inViewport = box->viewport()->mapFromGlobal(global);
    const int px = viewToImage(inView.x(), z);
    const int py = viewToImage(inView.y(), z);
    ZoomEd->setValue(next);
    box->horizontalScrollBar()->setValue(imageToView(px, next) - inViewport.x());
    box->verticalScrollBar()->setValue(imageToView(py, next) - inViewport.y());
    return true;
}

} // namespace gui
