#include "gui/TranslateApplication.h"

#include "app/Translate.h"
#include "gui/FileDialog.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include <algorithm>
#include <deque>

namespace gui {

namespace {

// Objects Qt creates inside its own widgets carry names starting with "qt_"
// (the spin box's line edit, scroll-area viewports and containers).
bool isQtInternal(const QObject* o) {
    return o->objectName().startsWith(QLatin1String("qt_"));
}

void collectChildWindows(QWidget* window, QList<QWidget*>& out) {
    out << window;
    // A window's children in creation order; windows further down in the
    // tree (a dialog made with a panel as parent) count as well.
    std::deque<QObject*> pending(window->children().cbegin(), window->children().cend());
    while (!pending.empty()) {
        QObject* o = pending.front();
        pending.pop_front();
        if (isApplicationWindow(o)) {
            collectChildWindows(static_cast<QWidget*>(o), out);
            continue;
        }
        const QObjectList& kids = o->children();
        pending.insert(pending.begin(), kids.cbegin(), kids.cend());
    }
}

// One text through `tr`; an empty text is never looked up.
template <typename Get, typename Set>
void pass(const std::function<QString(const QString&)>& tr, Get get, Set set) {
    const QString t = get();
    if (!t.isEmpty())
        set(tr(t));
}

// QAction::toolTip() falls back to the text when no tool tip was set; only an
// explicit one is a text of its own.
bool hasOwnToolTip(const QAction* a) {
    QAction plain;
    plain.setText(a->text());
    return a->toolTip() != plain.toolTip();
}

} // namespace

bool isApplicationWindow(const QObject* object) {
    if (!object->isWidgetType())
        return false;
    const auto* w = static_cast<const QWidget*>(object);
    if (!w->isWindow())
        return false;
    switch (w->windowType()) {
    case Qt::Window:
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Drawer:
    case Qt::Tool:
        return true;
    default: // popups (menus), tool tips, splash screens, the desktop
        return false;
    }
}

QList<QWidget*> applicationWindows() {
    // Qt keeps the top-level widgets in no particular order; the program makes
    // exactly one parentless window, the main window, and every other window
    // with it as parent, so the parents' child lists give the creation order.
    // Parentless windows are taken main windows first, then by name, so that
    // the order never depends on the hash order.
    QList<QWidget*> roots;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->parent() == nullptr && isApplicationWindow(w) && !isQtInternal(w))
            roots << w;
    std::stable_sort(roots.begin(), roots.end(), [](const QWidget* a, const QWidget* b) {
        const bool am = a->inherits("QMainWindow");
        const bool bm = b->inherits("QMainWindow");
        if (am != bm)
            return am;
        return a->objectName() < b->objectName();
    });
    QList<QWidget*> out;
    for (QWidget* r : roots)
        collectChildWindows(r, out);
    return out;
}

void walkApplication(const std::function<void(QObject*)>& visit) {
    // The application owns the windows: they are its components, visited
    // from the last created to the first, and queued in that order.
    const QList<QWidget*> windows = applicationWindows();
    std::deque<QObject*> queue;
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        visit(*it);
        queue.push_back(*it);
    }
    while (!queue.empty()) {
        QObject* owner = queue.front();
        queue.pop_front();
        const QObjectList kids = owner->children();
        for (auto it = kids.crbegin(); it != kids.crend(); ++it) {
            QObject* c = *it;
            // A window made with this one as parent belongs to the
            // application's level and was visited there.
            if (isApplicationWindow(c))
                continue;
            visit(c);
            queue.push_back(c);
        }
    }
}

void translateTexts(QObject* object, const std::function<QString(const QString&)>& tr) {
    if (isQtInternal(object))
        return;
    if (auto* c = qobject_cast<QCheckBox*>(object)) {
        pass(
            tr, [c] { return c->toolTip(); }, [c](const QString& t) { c->setToolTip(t); });
        pass(
            tr, [c] { return c->text(); }, [c](const QString& t) { c->setText(t); });
        return;
    }
    if (auto* l = qobject_cast<QLabel*>(object)) {
        pass(
            tr, [l] { return l->text(); }, [l](const QString& t) { l->setText(t); });
        return;
    }
    if (auto* d = qobject_cast<QFileDialog*>(object)) {
        // A dialog kept by the program: its caption, then its filters.
        pass(
            tr, [d] { return d->windowTitle(); }, [d](const QString& t) { d->setWindowTitle(t); });
        QStringList filters = d->nameFilters();
        for (QString& f : filters)
            if (!f.isEmpty())
                f = tr(f);
        d->setNameFilters(filters);
        return;
    }
    if (isApplicationWindow(object)) {
        auto* w = static_cast<QWidget*>(object);
        pass(
            tr, [w] { return w->windowTitle(); }, [w](const QString& t) { w->setWindowTitle(t); });
        return;
    }
    if (auto* b = qobject_cast<QPushButton*>(object)) {
        pass(
            tr, [b] { return b->text(); }, [b](const QString& t) { b->setText(t); });
        pass(
            tr, [b] { return b->toolTip(); }, [b](const QString& t) { b->setToolTip(t); });
        return;
    }
    if (auto* g = qobject_cast<QGroupBox*>(object)) {
        pass(
            tr, [g] { return g->title(); }, [g](const QString& t) { g->setTitle(t); });
        pass(
            tr, [g] { return g->toolTip(); }, [g](const QString& t) { g->setToolTip(t); });
        return;
    }
    if (auto* a = qobject_cast<QAction*>(object)) {
        const bool ownTip = hasOwnToolTip(a);
        pass(
            tr, [a] { return a->text(); }, [a](const QString& t) { a->setText(t); });
        if (ownTip)
            pass(
                tr, [a] { return a->toolTip(); }, [a](const QString& t) { a->setToolTip(t); });
        return;
    }
    if (auto* s = qobject_cast<QAbstractSpinBox*>(object)) {
        pass(
            tr, [s] { return s->toolTip(); }, [s](const QString& t) { s->setToolTip(t); });
        return;
    }
    if (auto* g = qobject_cast<QTableWidget*>(object)) {
        for (int c = 0; c < g->columnCount(); ++c) {
            QTableWidgetItem* h = g->horizontalHeaderItem(c);
            if (h != nullptr)
                pass(
                    tr, [h] { return h->text(); }, [h](const QString& t) { h->setText(t); });
        }
        return;
    }
    if (auto* d = qobject_cast<FileDialog*>(object)) {
        pass(
            tr, [d] { return d->filter(); }, [d](const QString& t) { d->setFilter(t); });
        return;
    }
    if (auto* e = qobject_cast<QLineEdit*>(object)) {
        // The editors inside spin and combo boxes show values, not texts.
        const QObject* p = e->parent();
        if (p != nullptr && (qobject_cast<const QAbstractSpinBox*>(p) != nullptr ||
                             qobject_cast<const QComboBox*>(p) != nullptr))
            return;
        pass(
            tr, [e] { return e->text(); }, [e](const QString& t) { e->setText(t); });
    }
}

void TranslateApplication() {
    walkApplication([](QObject* o) { translateTexts(o, app::Translate); });
}

} // namespace gui
