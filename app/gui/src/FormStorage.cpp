#include "gui/FormStorage.h"

#include "app/UserStore.h"

#include <QCoreApplication>
#include <QObject>
#include <QSettings>
#include <QWidget>
#include <QWindow>

namespace gui {

std::unique_ptr<QSettings> openFormSettings() {
    return app::openUserStore(app::storeNameOf(QCoreApplication::applicationFilePath()));
}

FormStorage::FormStorage(QWidget* form, QString group) : m_form(form), m_group(std::move(group)) {}

void FormStorage::addProperty(QObject* component, const char* qtProperty,
                              const QString& storedName) {
    m_bindings.push_back({component, QByteArray(qtProperty),
                          component->objectName() + QLatin1Char('_') + storedName});
}

void FormStorage::report(const QString& what) const {
    if (onError)
        onError(what);
}

void FormStorage::restore() {
    m_restored = true;
    m_pending = true;
    const auto s = openFormSettings();
    s->beginGroup(m_group);
    const QVariant version = s->value(QStringLiteral("FormVersion"));
    if (version.isValid() && version.toInt() != FormVersion) {
        s->endGroup();
        return;
    }
    const QByteArray placement = s->value(QStringLiteral("Placement")).toByteArray();
    if (!placement.isEmpty() && !m_form->restoreGeometry(placement))
        report(QStringLiteral("%1: stored placement unreadable").arg(m_group));
    for (const Binding& b : m_bindings) {
        const QVariant v = s->value(b.key);
        if (!v.isValid())
            continue;
        QVariant typed = v;
        const QVariant current = b.component->property(b.qtProperty.constData());
        if (!typed.convert(current.metaType())) {
            report(QStringLiteral("%1: stored value %2 unreadable").arg(m_group, b.key));
            continue;
        }
        b.component->setProperty(b.qtProperty.constData(), typed);
    }
    s->endGroup();
    if (s->status() != QSettings::NoError)
        report(QStringLiteral("%1: stored values unreadable").arg(m_group));
}

void FormStorage::save() {
    if (!m_restored)
        return;
    m_pending = false;
    const auto s = openFormSettings();
    s->beginGroup(m_group);
    s->setValue(QStringLiteral("FormVersion"), FormVersion);
    // A window that was never on the screen has no placement worth keeping.
    if (m_form->windowHandle() != nullptr)
        s->setValue(QStringLiteral("Placement"), m_form->saveGeometry());
    for (const Binding& b : m_bindings)
        s->setValue(b.key, b.component->property(b.qtProperty.constData()));
    s->endGroup();
    s->sync();
    if (s->status() != QSettings::NoError)
        report(QStringLiteral("%1: stored values could not be written").arg(m_group));
}

void FormStorage::saveIfPending() {
    if (m_pending)
        save();
}

} // namespace gui
