// The user store writes its INI text itself: QSettings, which wrote the
// stores of earlier versions, must read every kind of value back unchanged,
// and the store must survive files that are no store.

#include "app/UserStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRect>
#include <QSettings>
#include <QSize>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct StoredValue {
    const char* key;
    QVariant value;
};

TEST(UserStore, EveryKindOfValueReadsBackThroughQSettingsAndItself) {
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(static_cast<char>(i));
    const std::vector<StoredValue> values = {
        {"TMainForm/ZoomEd_Value", 70},
        {"TMainForm/RxSpinEdit1_Value", -12.25},
        {"TMainForm/Option_Checked", true},
        {"TMainForm/Placement", binary},
        {"TMainForm/Text", QStringLiteral("@at the start, \"quoted\", back\\slash, tab\there")},
        {"TMainForm/Umlaut", QStringLiteral("Größe ÄÖÜ € 日本 1a\x01"
                                            "F")},
        {"TMainForm/Empty", QString()},
        {"TMainForm/List", QStringList{QStringLiteral("a,b"), QStringLiteral("@c")}},
        {"TMainForm/Rect", QRect(3, 4, 500, 600)},
        {"TMainForm/Size", QSize(7, 8)},
        {"Dialog Folders/Öffnen Bild", QStringLiteral("/home/anna/Fotos, 2024/")},
        {"General/Key", 5},
        {"Ungrouped", QStringLiteral("no group")},
        {"Deep/Group/Key", 9},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.path() + "/Velkor/store.ini";
    {
        app::UserStore store(file);
        for (const StoredValue& v : values)
            store.setValue(QString::fromUtf8(v.key), v.value);
        ASSERT_EQ(store.sync(), 0);
    }
    const QSettings qt(file, QSettings::IniFormat);
    ASSERT_EQ(qt.status(), QSettings::NoError);
    const app::UserStore again(file);
    for (const StoredValue& v : values) {
        const QString key = QString::fromUtf8(v.key);
        QVariant fromQt = qt.value(key);
        QVariant fromStore = again.value(key);
        // Numbers come back as text from an INI file; both readers alike.
        if (v.value.metaType() != QMetaType::fromType<QString>() &&
            v.value.metaType() != QMetaType::fromType<QStringList>()) {
            fromQt.convert(v.value.metaType());
            fromStore.convert(v.value.metaType());
        }
        EXPECT_EQ(fromQt, v.value) << v.key;
        EXPECT_EQ(fromStore, v.value) << v.key;
    }
    EXPECT_EQ(qt.allKeys().size(), static_cast<qsizetype>(values.size()));
}

TEST(UserStore, AFifoInTheStoresPlaceIsNeitherReadNorWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.path() + "/store.ini";
    ASSERT_EQ(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    app::UserStore store(file); // returns at once: nothing waits for a writer
    EXPECT_EQ(store.status(), QSettings::AccessError);
    store.setValue("A/B", 1);
    EXPECT_EQ(store.value("A/B").toInt(), 1); // kept in memory
    EXPECT_NE(store.sync(), 0);
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

} // namespace
