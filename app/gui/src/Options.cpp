#include "gui/Options.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <array>
#include <cstdint>

namespace gui {

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

std::optional<int> readLanguageFile(const QString& fileName) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::array<char, 4> b{};
    if (f.read(b.data(), 4) != 4)
        return 0; // too short to hold a language
    const std::uint32_t u = static_cast<std::uint32_t>(static_cast<unsigned char>(b[0])) |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(b[1])) << 8 |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(b[2])) << 16 |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(b[3])) << 24;
    const auto v = static_cast<std::int32_t>(u);
    if (v < 0 || v > MaxLanguage)
        return 0; // not a dictionary column
    return v;
}

bool writeLanguageFile(const QString& fileName, int language) {
    const auto u = static_cast<std::uint32_t>(language);
    const std::array<char, 4> b{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                                static_cast<char>((u >> 16) & 0xFF),
                                static_cast<char>((u >> 24) & 0xFF)};
    // Temporary file and rename: an interrupted write keeps the old language.
    QSaveFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(b.data(), 4) != 4) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

} // namespace gui
