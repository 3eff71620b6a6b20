#include "gui/Options.h"

#include "foundation/ReplaceFile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdint>

namespace gui {

namespace {

// options.dat holds 4 bytes; anything far beyond is no options file.
constexpr std::size_t MaxOptionsBytes = 4096;

std::string nativeName(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

} // namespace

QString GetProgramDir(bool create, const QString& progpath) {
    QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (path.isEmpty())
        return progpath;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += QStringLiteral("Velkor/Quadrix/");
    if (create)
        QDir().mkpath(path);
    return path;
}

int languageFromOptions(std::string_view bytes) {
    if (bytes.size() < 4)
        return 0; // too short to hold a language
    const std::uint32_t u = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    const auto v = static_cast<std::int32_t>(u);
    if (v < 0 || v > MaxLanguage)
        return 0; // not a dictionary column
    return v;
}

std::string optionsBytes(int language) {
    const auto u = static_cast<std::uint32_t>(language);
    return {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
            static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
}

std::optional<int> readLanguageFile(const QString& fileName) {
    // A FIFO, folder or device in the file's place is refused at once.
    std::string bytes;
    const int e = fp::readRegularFile(nativeName(fileName), bytes, MaxOptionsBytes);
    if (e == fp::FileTooLarge) {
        // Bytes after the fourth do not count, however many there are.
        QFile f(fileName);
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QByteArray head = f.read(4);
        return languageFromOptions(
            std::string_view(head.constData(), static_cast<std::size_t>(head.size())));
    }
    if (e != 0)
        return std::nullopt;
    return languageFromOptions(bytes);
}

bool writeLanguageFile(const QString& fileName, int language) {
    // An interrupted write keeps the old language.
    return fp::replaceFile(nativeName(fileName), optionsBytes(language)) == 0;
}

} // namespace gui
