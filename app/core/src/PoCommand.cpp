#include "app/PoCommand.h"

#include "app/ProgramFolder.h"
#include "app/Version.h"
#include "foundation/ReplaceFile.h"
#include "i18n/Dictionary.h"
#include "i18n/DictionaryFile.h"
#include "i18n/Languages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <iostream>
#include <ostream>

namespace app {

namespace {

constexpr std::string_view ExportOption = "--export-po=";
constexpr std::string_view ImportOption = "--import-po=";
constexpr std::string_view CodeOption = "--language-code=";

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// When the dictionary last changed, as gettext writes dates; the time of
// the export when there is no file.
std::string revisionDate() {
    const QFileInfo info(QString::fromStdString(i18n::DictionaryPath()));
    const QDateTime when =
        (info.exists() ? info.lastModified() : QDateTime::currentDateTime()).toUTC();
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm+0000")).toStdString();
}

std::string describeColumn(int column) {
    const std::string code = i18n::ColumnCode(column);
    return "column " + std::to_string(column) + (code.empty() ? "" : " (" + code + ")");
}

} // namespace

bool isPoCommand(const std::vector<std::string>& params) {
    for (const std::string& p : params)
        if (startsWith(p, ExportOption) || startsWith(p, ImportOption))
            return true;
    return false;
}

int columnOfLanguage(const std::string& lang) {
    if (!lang.empty() && lang.size() <= 2 &&
        lang.find_first_not_of("0123456789") == std::string::npos) {
        const int c = std::stoi(lang);
        return c < i18n::DictColumns ? c : -1;
    }
    return i18n::ColumnOfCode(lang);
}

PoOutcome exportPoFile(int column, const std::string& path, const std::string& code) {
    PoOutcome o;
    const std::string columnCode = i18n::ColumnCode(column);
    const std::string named = i18n::NormalizeLanguageCode(code);
    if (!code.empty() && named.empty()) {
        o.status = PoOutcome::Status::BadLanguage;
        o.why = "\"" + code + "\" is no language code";
        return o;
    }
    if (!named.empty() && !columnCode.empty() && !i18n::SameLanguage(named, columnCode)) {
        o.status = PoOutcome::Status::BadLanguage;
        o.why = describeColumn(column) + " is not " + named;
        return o;
    }
    i18n::PoHeader header;
    header.projectVersion = VersionLine;
    header.revisionDate = revisionDate();
    header.language = columnCode.empty() ? named : columnCode;
    o.code = header.language;
    i18n::PoExport e;
    try {
        e = i18n::ExportPo(column, header);
    } catch (const std::bad_alloc&) {
        o.status = PoOutcome::Status::OutOfMemory;
        return o;
    }
    o.messages = e.messages;
    o.leftOut = e.leftOut;
    o.error = fp::replaceFile(path, e.text);
    if (o.error != 0)
        o.status = PoOutcome::Status::NotWritable;
    return o;
}

PoOutcome importPoFile(int column, const std::string& path, const std::string& code) {
    PoOutcome o;
    if (!code.empty() && i18n::NormalizeLanguageCode(code).empty()) {
        o.status = PoOutcome::Status::BadLanguage;
        o.why = "\"" + code + "\" is no language code";
        return o;
    }
    try {
        std::string text;
        o.error = fp::readRegularFile(path, text, i18n::MaxPoBytes);
        if (o.error != 0) {
            o.status = PoOutcome::Status::Unreadable;
            return o;
        }
        i18n::PoCatalog catalog;
        if (!i18n::ParsePo(text, catalog, o.parseError)) {
            o.status = PoOutcome::Status::Malformed;
            return o;
        }
        text = std::string(); // the catalog holds what is needed
        o.fileLanguage = catalog.language;
        switch (i18n::ImportPo(catalog, column, code, o.summary, o.why)) {
        case i18n::PoImportResult::Done:
            break;
        case i18n::PoImportResult::LanguageMismatch:
            o.status = PoOutcome::Status::BadLanguage;
            return o;
        case i18n::PoImportResult::OutOfMemory:
            o.status = PoOutcome::Status::OutOfMemory;
            return o;
        }
    } catch (const std::bad_alloc&) {
        o.status = PoOutcome::Status::OutOfMemory;
        return o;
    }
    o.code = i18n::ColumnCode(column);
    o.error = i18n::SaveDictionary();
    if (o.error != 0)
        o.status = PoOutcome::Status::NotWritable;
    return o;
}

int runPoCommand(const std::vector<std::string>& params, const std::string& progpath,
                 std::ostream& out, std::ostream& err) {
    std::string lang;
    std::string code;
    std::vector<std::string> files;
    bool import = false;
    int commands = 0;
    for (const std::string& p : params) {
        if (startsWith(p, ExportOption) || startsWith(p, ImportOption)) {
            import = startsWith(p, ImportOption);
            lang = p.substr(ExportOption.size());
            ++commands;
        } else if (startsWith(p, CodeOption)) {
            code = p.substr(CodeOption.size());
        } else if (startsWith(p, "--")) {
            err << "unknown option for a PO file: " << p << "\n";
            return static_cast<int>(PoExit::Usage);
        } else {
            files.push_back(p);
        }
    }
    if (commands != 1 || files.size() != 1) {
        err << "usage: fassadenplan --export-po=LANG FILE.po | --import-po=LANG FILE.po "
               "[--language-code=CODE]\n";
        return static_cast<int>(PoExit::Usage);
    }
    const std::string& file = files.front();

    i18n::LoadDictionary(progpath, nullptr);
    const i18n::DictionaryReadResult loaded = i18n::DictionaryLoadState();
    const std::string dictionary = i18n::DictionaryPath();
    const bool broken = loaded.state == i18n::DictionaryFileState::Unreadable ||
                        (import && loaded.state == i18n::DictionaryFileState::Damaged);
    if (broken) {
        err << dictionary << ": cannot be read"
            << (loaded.state == i18n::DictionaryFileState::Damaged
                    ? ": it is damaged after row " + std::to_string(loaded.rowsRead) +
                          "; it is left as it is"
                    : ": " + fp::fileErrorText(loaded.error))
            << "\n";
        return static_cast<int>(PoExit::Unreadable);
    }
    if (loaded.state == i18n::DictionaryFileState::Damaged)
        err << dictionary << ": damaged after row " << loaded.rowsRead
            << "; the rows before it are exported\n";

    const int column = columnOfLanguage(lang);
    if (column < 0) {
        err << "\"" << lang
            << "\" names no column of the dictionary: a column number 0 ... 19 or one of the "
               "codes";
        for (int c = 0; c < i18n::DictColumns; ++c)
            if (!i18n::ColumnCode(c).empty())
                err << " " << i18n::ColumnCode(c);
        err << "\n";
        return static_cast<int>(PoExit::BadLanguage);
    }

    const PoOutcome o =
        import ? importPoFile(column, file, code) : exportPoFile(column, file, code);
    switch (o.status) {
    case PoOutcome::Status::Done:
        break;
    case PoOutcome::Status::BadLanguage:
        err << file << ": " << o.why << "\n";
        return static_cast<int>(PoExit::BadLanguage);
    case PoOutcome::Status::Unreadable:
        err << file << ": cannot be read: " << fp::fileErrorText(o.error) << "\n";
        return static_cast<int>(PoExit::Unreadable);
    case PoOutcome::Status::Malformed:
        err << file << ":" << o.parseError.line << ": " << o.parseError.reason
            << "; the dictionary is left as it is\n";
        return static_cast<int>(PoExit::Unreadable);
    case PoOutcome::Status::NotWritable:
        err << (import ? dictionary : file) << ": cannot be written: " << fp::fileErrorText(o.error)
            << "\n";
        return static_cast<int>(PoExit::NotWritable);
    case PoOutcome::Status::OutOfMemory:
        err << file << ": not enough memory; the dictionary is left as it is\n";
        return static_cast<int>(PoExit::NotWritable);
    }
    if (import) {
        const i18n::PoImportSummary& s = o.summary;
        out << describeColumn(column) << ": " << s.set << " set, " << s.added << " added, "
            << s.skipped << " skipped, " << s.unchanged << " unchanged";
        if (!s.codeLearnt.empty())
            out << "; the column's language is now " << s.codeLearnt;
        out << "; " << dictionary << " saved\n";
    } else {
        out << describeColumn(column) << ": " << o.messages << " texts written to " << file;
        if (o.leftOut > 0)
            out << "; " << o.leftOut
                << " left out (a NUL character or a lone surrogate cannot be written)";
        out << "\n";
    }
    return static_cast<int>(PoExit::Done);
}

int runPoProgram(int argc, char** argv, const std::vector<std::string>& params) {
    QCoreApplication application(argc, argv);
    const std::string program =
        resolveProgramFile(QCoreApplication::applicationFilePath().toStdString());
    std::string folder = program.substr(0, program.find_last_of('/') + 1);
    if (folder.empty())
        folder = "./";
    return runPoCommand(params, folder, std::cout, std::cerr);
}

QString columnName(int c) {
    switch (c) {
    case 0:
        return QStringLiteral("German");
    case 1:
        return QStringLiteral("English");
    case 2:
        return QStringLiteral("Français");
    case 3:
        return QStringLiteral("Nederlands");
    default:
        break;
    }
    const QString fallback = QStringLiteral("language") + QString::number(c);
    const std::string code = i18n::ColumnCode(c);
    if (code.empty())
        return fallback;
    const QLocale locale(QString::fromStdString(code));
    if (locale.language() == QLocale::C)
        return fallback;
    QString name = locale.nativeLanguageName();
    // A code without a country names the language, not one country's form
    // of it ("español", not "español de España"): the shortest of its names.
    if (code.find('_') == std::string::npos)
        for (const QLocale& l :
             QLocale::matchingLocales(locale.language(), QLocale::AnyScript, QLocale::AnyTerritory))
            if (!l.nativeLanguageName().isEmpty() && l.nativeLanguageName().size() < name.size())
                name = l.nativeLanguageName();
    if (name.isEmpty())
        return fallback;
    name[0] = name[0].toUpper();
    return name;
}

} // namespace app
