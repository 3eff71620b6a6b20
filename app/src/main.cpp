// Program entry: the batch mode with 10 or more parameters, otherwise the
// window.

#include "app/BatchMode.h"
#include "app/Version.h"
#include "gui/InteractiveStart.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* ApplicationTitle = "Fassadenplan";

// The interactive program: the main window and its message loop.
int runInteractive(int argc, char** argv) {
    return gui::runMainWindow(argc, argv);
}

// The batch mode never creates a window or a GUI application, so it runs
// without a display.
int runBatchMode(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(ApplicationTitle);
    const QStringList args = QCoreApplication::arguments();
    std::vector<std::string> params;
    for (qsizetype i = 1; i < args.size(); ++i)
        params.push_back(args[i].toStdString());
    return app::runBatch(params, std::cerr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << app::batchUsage() << gui::interactiveUsage();
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << app::VersionLine << "\n";
        return 0;
    }
    // Options ("--threshold=50") do not count as parameters.
    std::vector<std::string> params(argv + 1, argv + argc);
    if (app::countBatchParameters(params) >= app::BatchMinParams)
        return runBatchMode(argc, argv);
    return runInteractive(argc, argv);
}
