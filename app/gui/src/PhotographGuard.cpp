#include "gui/PhotographGuard.h"

#include "app/OutputGuard.h"
#include "app/Translate.h"

namespace gui {

QString photographReplacedText(const app::Workspace& ws, const QString& file, bool worldFile) {
    const std::string replaced = app::replacedPhotograph(
        file.toStdString(), worldFile, {ws.slot(1).fileName, ws.slot(2).fileName});
    if (replaced.empty())
        return {};
    return app::Translate(QStringLiteral("Das Speichern würde das geöffnete Foto ersetzen. Bitte "
                                         "einen anderen Dateinamen wählen.")) +
           QStringLiteral("\n") + QString::fromStdString(replaced);
}

} // namespace gui
