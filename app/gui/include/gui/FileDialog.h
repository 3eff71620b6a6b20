#pragma once
// A file dialog kept as a component of its window (OpenDialog1, SaveDialog1):
// it holds the filter the program passes to QFileDialog, so that the window
// translation finds and translates that filter like every other window text.

#include <QObject>
#include <QString>

class QWidget;

namespace gui {

class FileDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString filter READ filter WRITE setFilter)
public:
    FileDialog(const QString& name, QObject* parent);

    // "Description|*.a;*.b|Description|*.c"; empty: no filter.
    QString filter() const { return m_filter; }
    void setFilter(const QString& filter) { m_filter = filter; }

    // Runs the dialog; the chosen file, or empty when the user cancels.
    // `selectedFilter` receives the filter entry chosen in a save dialog.
    QString getOpenFileName(QWidget* parent) const;
    QString getSaveFileName(QWidget* parent, QString* selectedFilter = nullptr,
                            const QString& startName = QString()) const;

    // The folder the dialog opens in: the one of the file last chosen in a
    // dialog of this name (kept in the per-user store), else empty.
    QString startFolder() const;
    // Remembers the folder of `file` for the next dialog of this name.
    void rememberFolder(const QString& file) const;

private:
    QString m_filter;
};

} // namespace gui
