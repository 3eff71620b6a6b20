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

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

struct StoredValue {
    const char* key;
    QVariant value;
    bool onlyStore = false; // QSettings cannot write it
};

// Both writers: the store itself, and QSettings as earlier versions wrote the file.
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
                                            "F \U0001F3E0 \xFEFF")},
        {"TMainForm/Lone", QChar(0xD800) + QStringLiteral("1 "), true},
        {"TMainForm/Empty", QString()},
        {"TMainForm/List", QStringList{QStringLiteral("a,b"), QStringLiteral("@c")}},
        {"TMainForm/Rect", QRect(3, 4, 500, 600)},
        {"TMainForm/Size", QSize(7, 8)},
        {"Dialog Folders/Öffnen Bild", QStringLiteral("/home/anna/Fotos, 2024/")},
        {"General/Key", 5},
        {"GENERAL/Key", 6, true},
        {"Ungrouped", QStringLiteral("no group")},
        {"Deep/Group/Key", 9},
    };
    for (const bool byQt : {false, true}) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString file = dir.path() + "/Velkor/store.ini";
        if (byQt) {
            QSettings writer(file, QSettings::IniFormat);
            for (const StoredValue& v : values)
                if (!v.onlyStore)
                    writer.setValue(QString::fromUtf8(v.key), v.value);
            writer.sync();
            ASSERT_EQ(writer.status(), QSettings::NoError);
        } else {
            app::UserStore store(file);
            for (const StoredValue& v : values)
                store.setValue(QString::fromUtf8(v.key), v.value);
            ASSERT_EQ(store.sync(), 0);
        }
        const QSettings qt(file, QSettings::IniFormat);
        ASSERT_EQ(qt.status(), QSettings::NoError);
        const app::UserStore again(file);
        EXPECT_EQ(again.status(), QSettings::NoError);
        qsizetype written = 0;
        for (const StoredValue& v : values) {
            if (byQt && v.onlyStore)
                continue;
            ++written;
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
            EXPECT_EQ(fromStore, v.value) << v.key << (byQt ? " written by QSettings" : "");
        }
        EXPECT_EQ(qt.allKeys().size(), written);
        EXPECT_EQ(again.allKeys().size(), written);
    }
}

// Hand-made and damaged files: the store takes from them what QSettings takes,
// less only the kinds of values it leaves out on purpose.
TEST(UserStore, ReadsDamagedFilesAsQSettingsDoes) {
    struct Case {
        const char* text;
        std::vector<const char*> leftOut; // keys QSettings has and the store drops
    };
    const std::vector<Case> cases = {
        {"[A]\nk=1\n[B]\nk=2\n[A]\nk=3\nj=4\n", {}},
        {"k = \"two\nlines\" ; comment\nm=a\\\n  b\n;k=5\nn= x \\t \nq=\\x41\\101\\x\n", {}},
        {"\xEF\xBB\xBFk=1\n[a]\nj=2\n", {}},
        {"\xEF\xBB\xBF[a]\nj=2\n", {}},
        {"[%47eneral]\nk=1\n[%general]\nk=2\n[ general ]\nk=3\nno equals sign\n", {}},
        {"[x]\n%U00D6%41\\b%4=1\n%+1=2\n\\\\c=3\nd\\=4\n=5\n\f k \v=6\n", {}},
        {"[x]\nl=a , \"b,c\" ,@@d, \nm=@Rect(1 2 3 4)\nn=@Size(1)\no=@Point(5 6)\np=@String(s)\n",
         {}},
        {"[x]\nb=@ByteArray(\\xff\\0\\x100)\ni=@Invalid()\nw=@@Invalid()\nu=@Unknown(1)\n", {}},
        {"[x]\nv=@Variant(\\0\\0\\0\\x13\\0\\0\\0\\0\\x1\\0\\0\\0\\x2\\0\\0\\0\\x3\\0\\0\\0\\x4)\n"
         "s=@Variant(\\0\\0\\0\\n\\0\\0\\0\\0\\x4\\0\\x41\\0\\x42)\n"
         "t=@DateTime(\\0\\0\\0\\x10\\0)\nl=a, @ByteArray(b)\n",
         {"x/s", "x/t", "x/l"}},
        {"[unterminated\nk=1\n[y]\nk=\"open\n[z]\nk=2\n", {}},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int n = 0;
    for (const Case& c : cases) {
        // A new name for every case: QSettings keeps files it has read.
        const QString file = dir.path() + QStringLiteral("/case%1.ini").arg(++n);
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.text);
        }
        const app::UserStore store(file);
        const QSettings qt(file, QSettings::IniFormat);
        QStringList expected;
        for (const QString& key : qt.allKeys()) {
            if (!qt.contains(key))
                continue; // listed, but no lookup reaches it ("x/", "x//y")
            const QVariant v = qt.value(key);
            if (std::find(c.leftOut.begin(), c.leftOut.end(), key.toStdString()) != c.leftOut.end())
                continue;
            expected << key;
            EXPECT_EQ(store.value(key), v) << c.text << "\nkey " << key.toStdString();
            EXPECT_EQ(store.value(key).metaType(), v.metaType()) << key.toStdString();
        }
        EXPECT_EQ(store.allKeys(), expected) << c.text;
        EXPECT_EQ(store.status(), qt.status()) << c.text;
    }
}

// QSettings keeps every file it has read and takes a file of the same name,
// size and time for unchanged: the store must see what the file now holds.
TEST(UserStore, AQualityRewrittenWithTheSameSizeAndTimeIsReadAnew) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.path() + "/store.ini";
    const QByteArray name = QFile::encodeName(file);
    struct stat first {};
    for (const int quality : {75, 42}) {
        {
            app::UserStore store(file);
            app::writeJpegQuality(store, quality);
            ASSERT_EQ(store.sync(), 0);
        }
        struct stat st {};
        ASSERT_EQ(stat(name.constData(), &st), 0);
        if (quality == 75) {
            first = st;
        } else {
            ASSERT_EQ(st.st_size, first.st_size);
            const timespec times[2] = {first.st_atim, first.st_mtim};
            ASSERT_EQ(utimensat(AT_FDCWD, name.constData(), times, 0), 0);
        }
        const QSettings earlier(file, QSettings::IniFormat); // fills QSettings' cache
        EXPECT_EQ(app::storedJpegQuality(app::UserStore(file)), quality);
    }
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
