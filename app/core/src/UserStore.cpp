#include "app/UserStore.h"

#include "app/Fields.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <algorithm>

namespace app {

namespace {

// The dialog's group and its value, as the stored window values name them.
const QString QualityKey = QStringLiteral("TJPEGQualForm/QualEd_Value");
const QString QualityVersionKey = QStringLiteral("TJPEGQualForm/FormVersion");
// Values stored under another version of the stored layout are not the dialog's.
const QString StoreVersion = QStringLiteral("0");

} // namespace

QString storeNameOf(const QString& programFile) {
    const QString name = QFileInfo(programFile).completeBaseName();
    return name.isEmpty() ? QStringLiteral("fassadenplan") : name;
}

std::unique_ptr<QSettings> openUserStore(const QString& storeName) {
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
