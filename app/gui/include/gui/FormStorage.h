#pragma once
// Per-user stored window values: a window's placement and a few of its
// control properties, kept in an INI file of the user's configuration folder
// (app::openUserStore: organisation "Velkor", application = the program
// file's name without extension). One group per window class; a property is stored as
// "<component>_<Property>" (ZoomEd_Value), next to "Placement" and
// "FormVersion".
//
// Values are written when they change, not only when the window closes, so a
// crash or a kill keeps them: a change (a property's notify signal, a move or
// resize of the window) writes the store WriteDelayMs later, and changes
// within that time are written with it. So a value is on the disk at most
// WriteDelayMs after it changed, and a spin held down writes at most
// 1000 / WriteDelayMs files a second. Each write replaces the file safely.
//
// A store that was never restored is never saved, so a run that never shows
// its windows (the batch mode) leaves the stored values alone.

#include "app/UserStore.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class QObject;
class QTimer;
class QWidget;

namespace gui {

// The settings file of the stored window values. Every window of the program
// and the batch mode open the same one.
std::unique_ptr<app::UserStore> openFormSettings();

class FormStorage {
public:
    // The longest time a changed value waits before it is written.
    static constexpr int WriteDelayMs = 250;

    // `group` is the window's class name (TMainForm, TJPEGQualForm).
    FormStorage(QWidget* form, QString group);
    ~FormStorage();
    FormStorage(const FormStorage&) = delete;
    FormStorage& operator=(const FormStorage&) = delete;

    // Stores `qtProperty` of `component` under "<objectName>_<storedName>"
    // and writes it whenever it changes.
    void addProperty(QObject* component, const char* qtProperty, const QString& storedName);

    // Reads the stored values into the controls and places the window.
    // Values of another store version are ignored.
    void restore();
    // Writes the values and the placement back.
    void save();
    // For the window's destruction: saves when restored and not saved since.
    void saveIfPending();
    // Something stored changed: the store is written within WriteDelayMs.
    void changed();

    bool restored() const { return m_restored; }
    // Restored and not saved since.
    bool pending() const { return m_pending; }

    // Where restore and save report trouble (German, translated); the window
    // shows it to the user. A failed write is reported once per window.
    std::function<void(const QString&)> onError;
    // Further values the window writes with its own (the JPEG quality).
    std::function<void(app::UserStore&)> onSave;

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
    bool m_restoring = false;
    bool m_writeReported = false;
    QTimer* m_writeTimer = nullptr; // owned by the watcher
    QObject* m_watcher = nullptr;   // child of the form: notify signals, moves, resizes
};

} // namespace gui
