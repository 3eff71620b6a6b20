#include "GuiTestSupport.h"

#include "app/UserStore.h"

#include <QApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace guitest {

BoxRecorder::BoxRecorder() {
    gui::setMessageBoxHook([this](QMessageBox& box) {
        boxes.push_back({box.icon(), box.windowTitle(), box.text(), box.informativeText(),
                         box.standardButtons()});
        if (!answers.empty()) {
            const QMessageBox::StandardButton a = answers.front();
            answers.erase(answers.begin());
            return static_cast<int>(a);
        }
        for (QMessageBox::StandardButton b :
             {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok})
            if (box.standardButtons().testFlag(b))
                return static_cast<int>(b);
        return static_cast<int>(QMessageBox::NoButton);
    });
}

BoxRecorder::~BoxRecorder() {
    gui::setMessageBoxHook({});
}

DictFile readDictFile(const QString& fileName) {
    DictFile d;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return d;
    QDataStream in(&f);
    in.setByteOrder(QDataStream::LittleEndian);
    in >> d.columns >> d.rows;
    for (qint32 r = 0; r < d.rows && in.status() == QDataStream::Ok; ++r) {
        QStringList row;
        for (qint32 c = 0; c < d.columns; ++c) {
            qint32 len = 0;
            in >> len;
            if (len < 0 || len > (f.size() - f.pos()) / 2)
                return d;
            QString text(len, Qt::Uninitialized);
            for (qint32 i = 0; i < len; ++i) {
                quint16 u = 0;
                in >> u;
                text[i] = QChar(u);
            }
            row << text;
        }
        d.cells.push_back(row);
    }
    d.ok = in.status() == QDataStream::Ok && f.atEnd() &&
           static_cast<qint32>(d.cells.size()) == d.rows;
    return d;
}

void writeDictFile(const QString& fileName, const std::vector<QStringList>& rows) {
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    out << qint32{20} << static_cast<qint32>(rows.size());
    for (const QStringList& row : rows)
        for (int c = 0; c < 20; ++c) {
            const QString t = c < row.size() ? row[c] : QString();
            out << static_cast<qint32>(t.size());
            for (QChar ch : t)
                out << static_cast<quint16>(ch.unicode());
        }
}

QString shippedDictionary() {
    return QString::fromUtf8(FP_SHIPPED_DICTIONARY);
}

void GuiTest::writeLanguage(int language) {
    QDir().mkpath(QFileInfo(optionsFile()).path());
    QFile f(optionsFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const char b[4] = {static_cast<char>(language), 0, 0, 0};
    f.write(b, 4);
}

void GuiTest::installShippedDictionary() {
    QFile::remove(dictionaryFile());
    ASSERT_TRUE(QFile::copy(shippedDictionary(), dictionaryFile()));
    QFile(dictionaryFile()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

std::unique_ptr<TestForm> GuiTest::shownForm(QStringList params) {
    auto form = std::make_unique<TestForm>(std::move(params));
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();
    return form;
}

QString samplePath(const char* name) {
    return QString::fromUtf8(FP_TEST_DATA_DIR) + "/" + QString::fromUtf8(name);
}

} // namespace guitest

// The widgets need an application object for the whole test run.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As the program entry does: the application's title.
    QApplication::setApplicationName(QString::fromLatin1(::app::ApplicationName));
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
