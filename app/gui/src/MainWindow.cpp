#include "gui/MainWindow.h"

#include "gui/TMainForm.h"

#include <QApplication>

#include <memory>

namespace gui {

int runMainWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fassadenplan"));
    QStringList params = QApplication::arguments();
    if (!params.isEmpty())
        params.removeFirst();
    auto form = std::make_unique<TMainForm>(params);
    if (form->terminateit)
        return 0;
    form->show();
    const int rc = QApplication::exec();
    // Destroying the window writes its stored values when the loop ended
    // without a close (the quit command).
    form.reset();
    return rc;
}

} // namespace gui
