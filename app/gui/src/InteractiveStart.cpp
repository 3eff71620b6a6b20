#include "gui/InteractiveStart.h"

#include "app/Translate.h"
#include "app/UserStore.h"
#include "gui/MessageBoxes.h"
#include "gui/TMainForm.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSize>
#include <QTimer>

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>

namespace gui {

namespace {

// "X0,Y0,...,X3,Y3" in image pixels, stored order; empty unless it holds eight integers.
std::optional<rectify::Corners> parseCorners(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 8)
        return std::nullopt;
    rectify::Corners c{};
    for (qsizetype i = 0; i < 8; ++i) {
        bool ok = false;
        const int v = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
        auto& p = c[static_cast<std::size_t>(i / 2)];
        (i % 2 == 0 ? p.x : p.y) = v;
    }
    return c;
}

// The application whose event dispatch no exception leaves.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        return deliverGuarded([&] { return QApplication::notify(receiver, event); });
    }
};

} // namespace

bool deliverGuarded(const std::function<bool()>& deliver) {
    QString text;
    try {
        return deliver();
    } catch (const std::bad_alloc&) {
        text = app::Translate(
            QStringLiteral("Nicht genug Speicher: der Befehl wurde nicht ausgeführt."));
    } catch (const std::exception&) {
        text = app::Translate(
            QStringLiteral("Ein unerwarteter Fehler: der Befehl wurde nicht ausgeführt."));
    }
    QMessageBox box(QMessageBox::Critical, defaultCaption(), text, QMessageBox::Ok);
    execMessageBox(box);
    return false;
}

QIcon applicationIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/fassadenplan-%1.png").arg(size), QSize(size, size));
    return icon;
}

void prepareApplication() {
    QApplication::setApplicationName(QString::fromLatin1(app::ApplicationName));
    QGuiApplication::setDesktopFileName(QStringLiteral("fassadenplan"));
    QApplication::setWindowIcon(applicationIcon());
}

const char* interactiveUsage() {
    return "Interactive start:\n"
           "  fassadenplan [PHOTO]\n"
           "  fassadenplan PHOTO --demo-corners X0,Y0,X1,Y1,X2,Y2,X3,Y3\n"
           "      demonstration aid: opens PHOTO and sets its four corners (image pixels,\n"
           "      top-left, top-right, bottom-right, bottom-left) as four clicks would\n";
}

int runMainWindow(int argc, char** argv) {
    GuardedApplication app(argc, argv);
    prepareApplication();
    QStringList params = QApplication::arguments();
    if (!params.isEmpty())
        params.removeFirst();
    std::optional<rectify::Corners> demo;
    const qsizetype opt = params.indexOf(QStringLiteral("--demo-corners"));
    if (opt >= 0) {
        if (opt + 1 < params.size())
            demo = parseCorners(params[opt + 1]);
        params.remove(opt, opt + 1 < params.size() ? 2 : 1);
    }
    // "--" ends the options: a photograph named "-x" follows it.
    params.removeOne(QStringLiteral("--"));
    auto form = std::make_unique<TMainForm>(params);
    // The same first parameter as the window's, as bytes: Qt has taken its
    // own options out of argv, --demo-corners goes with its value.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--demo-corners") == 0) {
            ++i;
            continue;
        }
        if (std::strcmp(argv[i], "--") == 0)
            continue;
        form->startFileBytes = argv[i];
        break;
    }
    form->show();
    if (demo)
        QTimer::singleShot(0, form.get(), [&form, &demo] { form->placeCorners(*demo); });
    const int rc = QApplication::exec();
    // Destroying the window writes its stored values when the loop ended
    // without a close (the quit command).
    form.reset();
    return rc;
}

} // namespace gui
