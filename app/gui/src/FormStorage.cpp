#include "gui/FormStorage.h"

#include "app/Translate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace gui {

namespace {

// Hears the stored properties' notify signals and the window's moves and
// resizes for a FormStorage, which is no QObject itself.
class StoreWatcher : public QObject {
    Q_OBJECT
public:
    StoreWatcher(QWidget* form, std::function<void()> changed)
        : QObject(form), m_changed(std::move(changed)) {
        form->installEventFilter(this);
    }

public Q_SLOTS:
    void propertyChanged() { m_changed(); }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Move || e->type() == QEvent::Resize ||
            e->type() == QEvent::WindowStateChange)
            m_changed();
        return QObject::eventFilter(watched, e);
    }

private:
    std::function<void()> m_changed;
};

} // namespace

std::unique_ptr<app::UserStore> openFormSettings() {
    return app::openUserStore(app::storeNameOf(QCoreApplication::applicationFilePath()));
}

FormStorage::FormStorage(QWidget* form, QString group) : m_form(form), m_group(std::move(group)) {
    auto* watcher = new StoreWatcher(form, [this] { changed(); });
    m_watcher = watcher;
    m_writeTimer = new QTimer(watcher);
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(WriteDelayMs);
    QObject::connect(m_writeTimer, &QTimer::timeout, watcher, [this] {
        if (m_restored)
            save();
    });
}

FormStorage::~FormStorage() {
    // The watcher must not call into this store while the window goes on
    // being destroyed.
    delete m_watcher;
}

void FormStorage::addProperty(QObject* component, const char* qtProperty,
                              const QString& storedName) {
    m_bindings.push_back({component, QByteArray(qtProperty),
                          component->objectName() + QLatin1Char('_') + storedName});
    const QMetaObject* meta = component->metaObject();
    const int index = meta->indexOfProperty(qtProperty);
    if (index < 0)
        return;
    const QMetaMethod notify = meta->property(index).notifySignal();
    const int slot = m_watcher->metaObject()->indexOfSlot("propertyChanged()");
    if (notify.isValid() && slot >= 0)
        QObject::connect(component, notify, m_watcher, m_watcher->metaObject()->method(slot));
}

void FormStorage::report(const QString& what) const {
    if (onError)
        onError(what);
}

void FormStorage::changed() {
    // Neither before the first restore (never shown: nothing is stored) nor
    // for the values the restore itself puts into the controls.
    if (!m_restored || m_restoring)
        return;
    m_pending = true;
    // Not restarted by further changes: a burst is written WriteDelayMs
    // after its first change, then again after the next.
    if (!m_writeTimer->isActive())
        m_writeTimer->start();
}

void FormStorage::restore() {
    m_restored = true;
    m_pending = true;
    m_restoring = true;
    const auto s = openFormSettings();
    if (s->status() == QSettings::AccessError)
        report(app::Translate(QStringLiteral("Die gespeicherten Einstellungen in %1 sind nicht "
                                             "lesbar; es gelten die Vorgaben."))
                   .arg(s->fileName()));
    s->beginGroup(m_group);
    const QVariant version = s->value(QStringLiteral("FormVersion"));
    if (version.isValid() && version.toInt() != FormVersion) {
        s->endGroup();
        m_restoring = false;
        return;
    }
    const QByteArray placement = s->value(QStringLiteral("Placement")).toByteArray();
    if (!placement.isEmpty() && !m_form->restoreGeometry(placement))
        report(app::Translate(QStringLiteral("%1: Die gespeicherte Fensterlage ist nicht lesbar."))
                   .arg(m_group));
    for (const Binding& b : m_bindings) {
        const QVariant v = s->value(b.key);
        if (!v.isValid())
            continue;
        QVariant typed = v;
        const QVariant current = b.component->property(b.qtProperty.constData());
        if (!typed.convert(current.metaType())) {
            report(app::Translate(QStringLiteral("%1: Der gespeicherte Wert %2 ist nicht lesbar."))
                       .arg(m_group, b.key));
            continue;
        }
        b.component->setProperty(b.qtProperty.constData(), typed);
    }
    s->endGroup();
    m_restoring = false;
}

void FormStorage::save() {
    if (!m_restored)
        return;
    m_pending = false;
    m_writeTimer->stop();
    const auto s = openFormSettings();
    s->beginGroup(m_group);
    s->setValue(QStringLiteral("FormVersion"), FormVersion);
    // A window that was never on the screen has no placement worth keeping.
    if (m_form->windowHandle() != nullptr)
        s->setValue(QStringLiteral("Placement"), m_form->saveGeometry());
    for (const Binding& b : m_bindings)
        s->setValue(b.key, b.component->property(b.qtProperty.constData()));
    s->endGroup();
    if (onSave)
        onSave(*s);
    if (s->sync() != 0 && !m_writeReported) {
        m_writeReported = true;
        report(app::Translate(QStringLiteral("Die Einstellungen konnten nicht in %1 gespeichert "
                                             "werden."))
                   .arg(s->fileName()));
    }
}

void FormStorage::saveIfPending() {
    if (m_pending)
        save();
}

} // namespace gui

#include "FormStorage.moc"
