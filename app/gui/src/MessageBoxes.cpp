#include "gui/MessageBoxes.h"

#include "app/Translate.h"
#include "foundation/OutOfMemory.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace gui {

namespace {

MessageBoxHook& hook() {
    static MessageBoxHook h;
    return h;
}

} // namespace

int execMessageBox(QMessageBox& box) {
    if (hook())
        return hook()(box);
    return box.exec();
}

void setMessageBoxHook(MessageBoxHook h) {
    hook() = std::move(h);
}

QString defaultCaption() {
    return QGuiApplication::applicationDisplayName();
}

void RestartNotice(QWidget* parent) {
    QMessageBox box(QMessageBox::Information, app::MessageText(3), app::MessageText(2),
                    QMessageBox::Ok, parent);
    execMessageBox(box);
}

void showOutOfMemory(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, defaultCaption(), QString::fromStdString(text),
                    QMessageBox::Ok);
    execMessageBox(box);
}

void installOutOfMemoryHandler() {
    foundation::setOutOfMemoryHandler([](const std::string& text) { showOutOfMemory(text); });
}

bool installQtTranslations(int language) {
    static QPointer<QTranslator> current;
    if (current) {
        QCoreApplication::removeTranslator(current);
        delete current;
    }
    const char* file = nullptr;
    switch (language) {
    case 0:
        file = "qtbase_de";
        break;
    case 2:
        file = "qtbase_fr";
        break;
    case 3:
        file = "qtbase_nl";
        break;
    default:
        return true; // Qt's own texts are English
    }
    auto* t = new QTranslator(QCoreApplication::instance());
    if (!t->load(QString::fromLatin1(file), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    current = t;
    return true;
}

} // namespace gui
