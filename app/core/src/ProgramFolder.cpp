#include "app/ProgramFolder.h"

#include <QFileInfo>
#include <QString>
#include <QTemporaryFile>

#include <unistd.h>

namespace app {

namespace {

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

std::string resolveProgramFile(const std::string& programPath) {
    if (programPath.empty())
        return programPath;
    // Empty when the file (or a link on the way) does not exist.
    const QString real = QFileInfo(fromUtf8(programPath)).canonicalFilePath();
    return real.isEmpty() ? programPath : real.toStdString();
}

bool programFolderWritable(const std::string& folder) {
    QString dir = fromUtf8(folder.empty() ? std::string(".") : folder);
    const QFileInfo info(dir);
    if (!info.isDir())
        return false;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    // A hidden name that no dictionary file uses; removed when the probe ends.
    QTemporaryFile probe(dir + QStringLiteral(".fassadenplan-probe-XXXXXX"));
    return probe.open();
}

bool dictionarySavable(const std::string& progpath) {
    if (!programFolderWritable(progpath))
        return false;
    std::string file = progpath;
    if (!file.empty() && file.back() != '/')
        file += '/';
    file += "translate.dat";
    return ::access(file.c_str(), F_OK) != 0 || ::access(file.c_str(), W_OK) == 0;
}

} // namespace app
