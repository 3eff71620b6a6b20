#pragma once
// Per-user stored window values: a window's placement and a few of its
// control properties, kept in an INI file of the user's configuration folder
// (app::openUserStore: organisation "Velkor", application = the program
// file's name without extension). One group per window class; a property is stored as
// "<component>_<Property>" (ZoomEd_Value), next to "Placement" and
// "FormVersion".
//
// A store that was never restored is never saved, so a run that never shows
// its windows (the batch mode) leaves the stored values alone.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class QObject;
class QSettings;
class QWidget;

namespace gui {

// The settings file of the stored window values. Every window of the program
// and the batch mode open the same one.
std::unique_ptr<QSettings> openFormSettings();

class FormStorage {
public:
    // `group` is the window's class name (TMainForm, TJPEGQualForm).
    FormStorage(QWidget* form, QString group);

    // Stores `qtProperty` of `component` under "<objectName>_<storedName>".
    void addProperty(QObject* component, const char* qtProperty, const QString& storedName);

    // Reads the stored values into the controls and places the window.
    // Values of another store version are ignored.
    void restore();
    // Writes the values and the placement back.
    void save();
    // For the window's destruction: saves when restored and not saved since.
    void saveIfPending();

    bool restored() const { return m_restored; }
    // Restored and not saved since.
    bool pending() const { return m_pending; }

    // Where restore and save report trouble; the window shows it to the user.
    std::function<void(const QString&)> onError;

    // The version of the stored layout; values of other versions are ignored.
    static constexpr int FormVersion = 0;

private:
    struct Binding {
        QObject* component;
        QByteArray qtProperty;
        QString key;
    };
    void report(const QString& what) const;

    QWidget* m_form;
    QString m_group;
    std::vector<Binding> m_bindings;
    bool m_restored = false;
    bool m_pending = false;
};

} // namespace gui
