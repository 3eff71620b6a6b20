// Program entry: the batch mode with 10 or more parameters, otherwise the
// window.

#include "app/BatchMode.h"
#include "app/CommandLine.h"
#include "app/ManifestRun.h"
#include "app/PdfOutput.h"
#include "app/PoCommand.h"
#include "app/UserStore.h"
#include "app/Version.h"
#include "gui/InteractiveStart.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The interactive program: the main window and its message loop.
int runInteractive(int argc, char** argv) {
    return gui::runMainWindow(argc, argv);
}

// The batch mode never creates a window, so it runs without a display: a
// .pdf output needs a GUI application for its fonts, which it gets on the
// offscreen platform. The parameters keep the command line's bytes: a file
// name that is no UTF-8 reaches the file system unchanged.
int runBatchMode(int argc, char** argv, const std::vector<std::string>& params,
                 const app::CommandLine& line) {
    if (app::batchPrintsPdf(line.parameters)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The platform's notes (no runtime folder ...) are no concern of the
        // batch, which reports every failure itself.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::cerr << text.toLocal8Bit().constData() << "\n";
        });
        QGuiApplication app(argc, argv);
        QCoreApplication::setApplicationName(QString::fromLatin1(app::ApplicationName));
        return app::runBatch(params, std::cerr, &app::scalePdfOutput());
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(app::ApplicationName));
    return app::runBatch(params, std::cerr, &app::scalePdfOutput());
}

// Many photographs from a manifest, without a window.
int runManifestMode(int argc, char** argv, const std::vector<std::string>& params) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(app::ApplicationName));
    return app::runManifestProgram(params, QCoreApplication::applicationFilePath().toStdString(),
                                   std::cerr);
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
        std::cout << app::batchUsage() << app::manifestUsage() << gui::interactiveUsage();
        return 0;
    }
    if (line.request == app::CommandLine::Request::Version) {
        std::cout << app::VersionLine << "\n";
        return 0;
    }
    // A dictionary column to or from a PO file, without a window.
    if (app::isPoCommand(params))
        return app::runPoProgram(argc, argv, params);
    if (app::isManifestCommand(params))
        return runManifestMode(argc, argv, params);
    const std::size_t count = line.parameters.size();
    if (count >= app::BatchMinParams)
        return runBatchMode(argc, argv, params, line);
    // Without a display Qt would abort, or show the window nowhere and wait.
    if (!app::windowCanShow(environment("QT_QPA_PLATFORM"), environment("DISPLAY"),
                            environment("WAYLAND_DISPLAY"))) {
        std::cerr << app::noDisplayMessage(count) << "\n" << app::batchUsage();
        return static_cast<int>(app::BatchExit::Usage);
    }
    return runInteractive(argc, argv);
}
