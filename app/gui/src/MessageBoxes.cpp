#include "gui/MessageBoxes.h"

#include "app/Translate.h"
#include "foundation/OutOfMemory.h"
#include "i18n/Dictionary.h"
#include "i18n/Languages.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
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
    // The language of the dictionary's column; Qt's own texts are English.
    const std::string code = i18n::ColumnCode(language);
    if (code.empty() || i18n::SameLanguage(code, "en"))
        return true;
    auto* t = new QTranslator(QCoreApplication::instance());
    // "pt_BR" tries qtbase_pt_BR, then qtbase_pt.
    if (!t->load(QLocale(QString::fromStdString(code)), QStringLiteral("qtbase"),
                 QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    current = t;
    return true;
}

} // namespace gui
