#include "gui/FileFilters.h"

#include "pixkit/ImageFormats.h"

#include <QRegularExpression>
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
        // A description that names its own patterns, "Windows-Bitmap
        // (*.bmp;*.dib;*.rle)" or "DXF-Dateien (*.dxf)", lists them once, in
        // Qt's form (separated by blanks, or Qt reads one pattern).
        static const QRegularExpression named(QStringLiteral("\\s*\\(([^()]*)\\)\\s*$"));
        static const QRegularExpression separators(QStringLiteral("[;,\\s]+"));
        const QRegularExpressionMatch m = named.match(desc);
        if (desc.isEmpty())
            filters << joined;
        else if (m.hasMatch() && m.captured(1).split(separators, Qt::SkipEmptyParts) == patterns)
            filters << desc.left(m.capturedStart()) + QLatin1Char(' ') + listed;
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
