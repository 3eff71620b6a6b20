#include "gui/FileDialog.h"

#include "gui/FileFilters.h"

#include <QFileDialog>

namespace gui {

FileDialog::FileDialog(const QString& name, QObject* parent) : QObject(parent) {
    setObjectName(name);
}

QString FileDialog::getOpenFileName(QWidget* parent) const {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFilterFromPipes(m_filter));
}

QString FileDialog::getSaveFileName(QWidget* parent, QString* selectedFilter,
                                    const QString& startName) const {
    return QFileDialog::getSaveFileName(parent, QString(), startName, qtFilterFromPipes(m_filter),
                                        selectedFilter);
}

} // namespace gui
