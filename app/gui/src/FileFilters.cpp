#include "gui/FileFilters.h"

#include "pixkit/ImageFormats.h"

#include <QStringList>

namespace gui {

QString qtFilterFromPipes(const QString& pipes) {
    const QStringList parts = pipes.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i].trimmed();
        QStringList patterns;
        for (const QString& pat : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString t = pat.trimmed();
            if (!t.isEmpty())
                patterns << t;
        }
        if (patterns.isEmpty())
            continue;
        const QString joined = patterns.join(QLatin1Char(' '));
        const QString listed = QStringLiteral("(") + joined + QLatin1Char(')');
        if (desc.isEmpty())
            filters << joined;
        else if (desc.endsWith(listed)) // "DXF-Dateien (*.dxf)" names its patterns already
            filters << desc;
        else
            filters << desc + QLatin1Char(' ') + listed;
    }
    return filters.join(QStringLiteral(";;"));
}

QString saveImageFilter() {
    return qtFilterFromPipes(saveImagePipes());
}

QString saveImagePipes() {
    return QString::fromStdString(pixkit::saveFilterPipes());
}

} // namespace gui
