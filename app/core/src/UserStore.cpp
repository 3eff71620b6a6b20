#include "app/UserStore.h"

#include "app/Fields.h"
#include "foundation/ReplaceFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>

namespace app {

namespace {

// The dialog's group and its value, as the stored window values name them.
const QString QualityKey = QStringLiteral("TJPEGQualForm/QualEd_Value");
const QString QualityVersionKey = QStringLiteral("TJPEGQualForm/FormVersion");
// Values stored under another version of the stored layout are not the dialog's.
const QString StoreVersion = QStringLiteral("0");

// The name of a store no program uses: its file lies in the folder the real
// store's would, found without reading the real one.
const QString ProbeSuffix = QStringLiteral(".folder-probe");

// The per-user INI file of `storeName`, as QSettings would name it (also
// where a test moved the user's folder).
QString userStoreFile(const QString& storeName) {
    const QString probe = QSettings(QSettings::IniFormat, QSettings::UserScope,
                                    QString::fromLatin1(OrganisationName), storeName + ProbeSuffix)
                              .fileName();
    return probe.left(probe.size() - ProbeSuffix.size() - 4) + QStringLiteral(".ini");
}

// Holds the folder of a store that is never kept: it must exist before the
// store is made and go after the store wrote its last values.
struct ThrowawayFolder {
    QTemporaryDir folder;
};

// A store that starts empty and whose values go nowhere lasting: the stand-in
// for a store file that cannot be read without blocking.
class ThrowawayStore : private ThrowawayFolder, public QSettings {
public:
    ThrowawayStore()
        : QSettings(folder.filePath(QStringLiteral("store.ini")), QSettings::IniFormat) {}
};

} // namespace

QString storeNameOf(const QString& programFile) {
    const QString name = QFileInfo(programFile).completeBaseName();
    return name.isEmpty() ? QStringLiteral("fassadenplan") : name;
}

std::unique_ptr<QSettings> openUserStore(const QString& storeName) {
    // A FIFO, device or folder in the file's place would block QSettings or
    // be written over: the values start empty and are not kept.
    if (!fp::missingOrRegular(QFile::encodeName(userStoreFile(storeName)).toStdString()))
        return std::make_unique<ThrowawayStore>();
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QString::fromLatin1(OrganisationName), storeName);
}

std::optional<int> storedJpegQuality(const QSettings& store, bool* unreadable) {
    const QVariant version = store.value(QualityVersionKey);
    if (version.isValid() && version.toString() != StoreVersion)
        return std::nullopt;
    const QVariant value = store.value(QualityKey);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const int q = value.toInt(&ok);
    if (!ok) {
        if (unreadable != nullptr)
            *unreadable = true;
        return std::nullopt;
    }
    return heldWhole(fields::JpegQuality, q);
}

int readJpegQuality(const QSettings& store) {
    return storedJpegQuality(store).value_or(static_cast<int>(fields::JpegQuality.start));
}

void writeJpegQuality(QSettings& store, int quality) {
    store.setValue(QualityVersionKey, StoreVersion.toInt());
    store.setValue(QualityKey, heldWhole(fields::JpegQuality, quality));
}

} // namespace app
