#include "gui/FaultText.h"

#include "app/Translate.h"
#include "foundation/ReplaceFile.h"

#include <QLocale>

#include <cerrno>

namespace gui {

namespace {

QString t(const char* german) {
    return app::Translate(QString::fromUtf8(german));
}

QString number(int n) {
    return QLocale().toString(n);
}

// The errno values a write meets, worded for the user; any other by its number.
QString fileText(int code) {
    switch (code) {
    case fp::NotRegularFile:
        return t("dort liegt keine gewöhnliche Datei (ein Ordner, eine FIFO oder ein Gerät)");
    case fp::FileTooLarge:
        return t("die Datei ist größer als erlaubt");
    case ENOENT:
        return t("die Datei oder ihr Ordner existiert nicht");
    case EACCES:
        return t("keine Berechtigung, in diesem Ordner eine Datei anzulegen oder zu ändern");
    case EPERM:
        return t("der Vorgang ist nicht erlaubt");
    case EROFS:
        return t("das Dateisystem ist schreibgeschützt");
    case ENOSPC:
        return t("auf dem Datenträger ist kein Platz mehr frei");
    case EDQUOT:
        return t("das Speicherkontingent ist erschöpft");
    case EFBIG:
        return t("die Datei würde zu groß für das Dateisystem");
    case EISDIR:
        return t("dort liegt ein Ordner");
    case ENOTDIR:
        return t("ein Teil des Pfades ist kein Ordner");
    case ENAMETOOLONG:
        return t("der Dateiname ist zu lang");
    case ELOOP:
        return t("zu viele Verknüpfungen im Pfad");
    case EIO:
        return t("Ein-/Ausgabefehler des Datenträgers");
    case EMFILE:
    case ENFILE:
        return t("zu viele offene Dateien");
    case ENOMEM:
        return t("nicht genug Arbeitsspeicher");
    case EBUSY:
    case ETXTBSY:
        return t("die Datei wird gerade benutzt");
    default:
        return t("Fehler %1 des Betriebssystems").arg(code);
    }
}

} // namespace

QString faultText(const fp::Fault& f) {
    switch (f.kind) {
    case fp::FaultKind::None:
        return {};
    case fp::FaultKind::File:
        return f.code == 0 ? QString() : fileText(f.code);
    case fp::FaultKind::NoFolder:
        return t("der Ordner existiert nicht");
    case fp::FaultKind::FolderInTheWay:
        return t("ein Ordner dieses Namens existiert");
    case fp::FaultKind::NoExtension:
        return t("der Dateiname hat keine Endung, die das Bildformat nennt");
    case fp::FaultKind::UnknownFormat:
        return t("unbekanntes Bildformat %1").arg(QString::fromStdString(f.format));
    case fp::FaultKind::NoImage:
        return t("es gibt kein Bild");
    case fp::FaultKind::UnsupportedBits:
        return t("Bilder mit %1 Bit pro Pixel werden nicht unterstützt").arg(f.code);
    case fp::FaultKind::TooLarge:
        return t("das Bild hat %1 × %2 Pixel, mehr als eine %3-Datei fasst (höchstens %4 × %5)")
            .arg(number(f.width), number(f.height), QString::fromStdString(f.format),
                 number(f.maxWidth), number(f.maxHeight));
    case fp::FaultKind::EncoderFailed:
        return t("der %1-Kodierer ist an diesem Bild gescheitert (%2 × %3 Pixel)")
            .arg(QString::fromStdString(f.format).toUpper(), number(f.width), number(f.height));
    case fp::FaultKind::NoMemory:
        return t("nicht genug Arbeitsspeicher, um das Bild als %1 zu kodieren")
            .arg(QString::fromStdString(f.format).toUpper());
    case fp::FaultKind::NoScale:
        return t("das Bild hat keinen wirklichen Maßstab (die wirkliche Breite muss größer als 0 "
                 "sein)");
    case fp::FaultKind::NoWorldFileName:
        return t("die Bilddatei hat keine Endung, nach der ihre Weltdatei benannt werden kann");
    }
    return {};
}

} // namespace gui
