#include "gui/FileDialog.h"

#include "gui/FileFilters.h"

#include "gui/FormStorage.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace gui {

FileDialog::FileDialog(const QString& name, QObject* parent) : QObject(parent) {
    setObjectName(name);
}

namespace {
// Kept with the main window's stored values, as Component_Property.
QString folderKey(const QString& name) {
    return QStringLiteral("TMainForm/") + name + QStringLiteral("_InitialDir");
}
} // namespace

QString FileDialog::startFolder() const {
    const QString folder = openFormSettings()->value(folderKey(objectName())).toString();
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

void FileDialog::rememberFolder(const QString& file) const {
    if (file.isEmpty())
        return;
    openFormSettings()->setValue(folderKey(objectName()), QFileInfo(file).absolutePath());
}

QString FileDialog::getOpenFileName(QWidget* parent) const {
    const QString f =
        QFileDialog::getOpenFileName(parent, QString(), startFolder(), qtFilterFromPipes(m_filter));
    rememberFolder(f);
    return f;
}

QString FileDialog::getSaveFileName(QWidget* parent, QString* selectedFilter,
                                    const QString& startName) const {
    QString start = startName;
    const QString folder = startFolder();
    if (!folder.isEmpty() && QFileInfo(startName).isRelative())
        start = QDir(folder).filePath(startName);
    const QString f = QFileDialog::getSaveFileName(parent, QString(), start,
                                                   qtFilterFromPipes(m_filter), selectedFilter);
    rememberFolder(f);
    return f;
}

} // namespace gui
