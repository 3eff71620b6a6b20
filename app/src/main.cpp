// Program entry: the batch mode with 10 or more parameters, otherwise the
// window.

#include "app/BatchMode.h"
#include "app/CommandLine.h"
#include "app/PoCommand.h"
#include "app/UserStore.h"
#include "app/Version.h"
#include "gui/InteractiveStart.h"

#include <QCoreApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The interactive program: the main window and its message loop.
int runInteractive(int argc, char** argv) {
    return gui::runMainWindow(argc, argv);
}

// The batch mode never creates a window or a GUI application, so it runs
// without a display. The parameters keep the command line's bytes: a file
// name that is no UTF-8 reaches the file system unchanged.
int runBatchMode(int argc, char** argv, const std::vector<std::string>& params) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(app::ApplicationName));
    return app::runBatch(params, std::cerr);
}

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> params(argv + 1, argv + argc);
    // Options ("--threshold=50", "--threshold 50") do not count as parameters;
    // the batch mode splits the words the same way.
    const app::CommandLine line = app::splitCommandLine(params);
    if (line.request == app::CommandLine::Request::Help) {
        std::cout << app::batchUsage() << gui::interactiveUsage();
        return 0;
    }
    if (line.request == app::CommandLine::Request::Version) {
        std::cout << app::VersionLine << "\n";
        return 0;
    }
    // A dictionary column to or from a PO file, without a window.
    if (app::isPoCommand(params))
        return app::runPoProgram(argc, argv, params);
    const std::size_t count = line.parameters.size();
    if (count >= app::BatchMinParams)
        return runBatchMode(argc, argv, params);
    // Without a display Qt would abort, or show the window nowhere and wait.
    if (!app::windowCanShow(environment("QT_QPA_PLATFORM"), environment("DISPLAY"),
                            environment("WAYLAND_DISPLAY"))) {
        std::cerr << app::noDisplayMessage(count) << "\n" << app::batchUsage();
        return static_cast<int>(app::BatchExit::Usage);
    }
    return runInteractive(argc, argv);
}
