// The window translation: the kinds of texts, the language commands, Qt's own
// translations, and the two whole-program walks (shipped dictionary in
// English; empty dictionary learning every text in visiting order).

#include "GuiTestSupport.h"

#include "app/ProgramFolder.h"
#include "app/Translate.h"
#include "foundation/OutOfMemory.h"
#include "gui/FileDialog.h"
#include "gui/TAboutBox.h"
#include "gui/TJPEGQualForm.h"
#include "gui/TMovePicsForm.h"
#include "gui/TTranslateForm.h"
#include "gui/TranslateApplication.h"
#include "i18n/Dictionary.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDialog>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace guitest {
namespace {

// ---------------------------------------------------------------- kinds

struct KindCase {
    const char* name;
    std::function<QObject*(QObject* owner)> make;
    QStringList passed; // texts handed to the translation, in order
};

class TranslateTextsTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(TranslateTextsTest, PassesTheKindsTextsInOrder) {
    const KindCase& c = GetParam();
    QWidget owner;
    QObject* o = c.make(&owner);
    QStringList passed;
    gui::translateTexts(o, [&passed](const QString& t) {
        passed << t;
        return QStringLiteral("<") + t + QStringLiteral(">");
    });
    EXPECT_EQ(passed, c.passed);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TranslateTextsTest,
    ::testing::Values(
        KindCase{"Label",
                 [](QObject* p) { return new QLabel("Zoom in %:", static_cast<QWidget*>(p)); },
                 {"Zoom in %:"}},
        KindCase{"CheckBoxHintFirst",
                 [](QObject* p) {
                     auto* c = new QCheckBox("Jetzt", static_cast<QWidget*>(p));
                     c->setToolTip("Hinweis");
                     return c;
                 },
                 {"Hinweis", "Jetzt"}},
        KindCase{"PushButtonCaptionThenHint",
                 [](QObject* p) {
                     auto* b = new QPushButton("Beenden", static_cast<QWidget*>(p));
                     b->setToolTip("Programm beenden");
                     return b;
                 },
                 {"Beenden", "Programm beenden"}},
        KindCase{"GroupBox",
                 [](QObject* p) { return new QGroupBox("Gruppe", static_cast<QWidget*>(p)); },
                 {"Gruppe"}},
        KindCase{"ActionWithoutOwnHint",
                 [](QObject* p) { return new QAction("Bild öffnen...", p); },
                 {"Bild öffnen..."}},
        KindCase{"ActionCaptionThenHint",
                 [](QObject* p) {
                     auto* a = new QAction("Datei", p);
                     a->setToolTip("Dateibefehle");
                     return a;
                 },
                 {"Datei", "Dateibefehle"}},
        KindCase{"SpinBoxHintOnly",
                 [](QObject* p) {
                     auto* s = new QSpinBox(static_cast<QWidget*>(p));
                     s->setValue(40);
                     s->setToolTip("Zoom");
                     return s;
                 },
                 {"Zoom"}},
        KindCase{"SpinBoxEditorKeepsItsNumber",
                 [](QObject* p) {
                     auto* s = new QSpinBox(static_cast<QWidget*>(p));
                     s->setValue(40);
                     return s->findChild<QLineEdit*>();
                 },
                 {}},
        KindCase{"GridHeaderRow",
                 [](QObject* p) {
                     auto* g = new QTableWidget(2, 3, static_cast<QWidget*>(p));
                     g->setHorizontalHeaderLabels({"Eins", "", "Drei"});
                     g->setItem(0, 0, new QTableWidgetItem("Zelle"));
                     return g;
                 },
                 {"Eins", "Drei"}},
        KindCase{"FileDialogFilter",
                 [](QObject* p) {
                     auto* d = new gui::FileDialog("SaveDialog2", p);
                     d->setFilter("DXF-Dateien (*.dxf)|*.dxf");
                     return d;
                 },
                 {"DXF-Dateien (*.dxf)|*.dxf"}},
        KindCase{"LineEditText",
                 [](QObject* p) { return new QLineEdit("Suchtext", static_cast<QWidget*>(p)); },
                 {"Suchtext"}},
        KindCase{"EmptyTextsStayEmpty",
                 [](QObject* p) { return new QPushButton(QString(), static_cast<QWidget*>(p)); },
                 {}},
        KindCase{"WindowTitle",
                 [](QObject* p) {
                     auto* d = new QDialog(static_cast<QWidget*>(p));
                     d->setWindowTitle("Übersetzen");
                     return d;
                 },
                 {"Übersetzen"}},
        KindCase{"PanelsAreLeftAlone",
                 [](QObject* p) {
                     auto* f = new QFrame(static_cast<QWidget*>(p));
                     f->setToolTip("Tafel");
                     return f;
                 },
                 {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TranslateTexts, StoresTheResults) {
    QWidget owner;
    auto* b = new QPushButton("Beenden", &owner);
    b->setToolTip("Hinweis");
    auto* a = new QAction("Datei", &owner);
    auto* g = new QTableWidget(0, 2, &owner);
    g->setHorizontalHeaderLabels({"German", "English"});
    auto tr = [](const QString& t) { return t.toUpper(); };
    for (QObject* o :
         {static_cast<QObject*>(b), static_cast<QObject*>(a), static_cast<QObject*>(g)})
        gui::translateTexts(o, tr);
    EXPECT_EQ(b->text(), "BEENDEN");
    EXPECT_EQ(b->toolTip(), "HINWEIS");
    EXPECT_EQ(a->text(), "DATEI");
    EXPECT_EQ(a->toolTip(), "DATEI"); // follows the text, no tool tip of its own
    EXPECT_EQ(g->horizontalHeaderItem(1)->text(), "ENGLISH");
}

// ---------------------------------------------------------------- helpers

// Every visible text of every window, found without the translation's own
// kind table: captions, titles, tool tips, menu texts, header cells, filters.
QStringList sweepTexts() {
    QStringList out;
    auto add = [&out](const QString& t) {
        if (!t.isEmpty())
            out << t;
    };
    for (QWidget* w : gui::applicationWindows()) {
        add(w->windowTitle());
        QList<QObject*> all = w->findChildren<QObject*>();
        for (QObject* o : all) {
            if (o->objectName().startsWith("qt_"))
                continue;
            if (auto* x = qobject_cast<QWidget*>(o))
                add(x->toolTip());
            if (auto* x = qobject_cast<QAbstractButton*>(o))
                add(x->text());
            if (auto* x = qobject_cast<QLabel*>(o))
                add(x->text());
            if (auto* x = qobject_cast<QGroupBox*>(o))
                add(x->title());
            if (auto* x = qobject_cast<QMenu*>(o))
                add(x->title());
            if (auto* x = qobject_cast<QAction*>(o)) {
                add(x->text());
                // Qt derives a tool tip from the text when none was set.
                QAction plain;
                plain.setText(x->text());
                if (x->toolTip() != plain.toolTip())
                    add(x->toolTip());
            }
            if (auto* x = qobject_cast<QTableWidget*>(o))
                for (int c = 0; c < x->columnCount(); ++c)
                    if (x->horizontalHeaderItem(c) != nullptr)
                        add(x->horizontalHeaderItem(c)->text());
            if (auto* x = qobject_cast<gui::FileDialog*>(o))
                add(x->filter());
            if (auto* x = qobject_cast<QDialog*>(o))
                add(x->windowTitle());
        }
    }
    return out;
}

// German words and letters that must not survive in the English program.
bool looksGerman(const QString& t) {
    static const QRegularExpression letters(QStringLiteral("[äöüÄÖÜß]"));
    static const QRegularExpression words(QStringLiteral(
        "\\b(Bild|Datei|Dateien|Öffnen|Speichern|Beenden|Bearbeiten|Rotieren|Zeichnen|Hilfe|"
        "Optionen|Sprache|Breite|Höhe|Zurück|Suchen|Zeile|Spalte|Qualität|Alle|Übersetzen|"
        "Einstellen|einstellen|nach|und|der|des|die|mit)\\b"));
    return t.contains(letters) || t.contains(words);
}

// ---------------------------------------------------------------- windows

TEST(ApplicationWindows, MainWindowFirstThenTheOthersInCreationOrder) {
    QWidget main;
    main.setObjectName("Main");
    auto* first = new QDialog(&main);
    first->setObjectName("First");
    auto* panel = new QFrame(&main);
    auto* nested = new QDialog(panel); // made with a panel as parent
    nested->setObjectName("Nested");
    auto* tool = new QWidget(&main, Qt::Tool);
    tool->setObjectName("Tool");
    auto* menu = new QMenu(&main); // a popup, no window of its own
    menu->setObjectName("Menu");
    QStringList names;
    for (QWidget* w : gui::applicationWindows())
        names << w->objectName();
    EXPECT_EQ(names, QStringList({"Main", "First", "Nested", "Tool"}));

    QStringList visited;
    gui::walkApplication([&visited](QObject* o) {
        if (!o->objectName().isEmpty())
            visited << o->objectName();
    });
    // Windows last made first; the menu is one of the main window's components.
    EXPECT_EQ(visited.mid(0, 4), QStringList({"Tool", "Nested", "First", "Main"}));
    EXPECT_TRUE(visited.contains("Menu"));
}

// ---------------------------------------------------------------- language

class TranslationTest : public GuiTest {};

TEST_F(TranslationTest, EnglishWhileGermanSwitchesAtOnceAndAsksForARestart) {
    auto form = shownForm();
    form->English1->trigger();
    EXPECT_EQ(form->language, 1);
    EXPECT_TRUE(form->English1->isChecked());
    EXPECT_FALSE(form->Deutsch1->isChecked());
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const ShownBox& b = m_boxes.boxes[0];
    EXPECT_EQ(b.icon, QMessageBox::Information);
    // The empty dictionary has no English yet: the German texts.
    EXPECT_EQ(b.caption, "Übersetzen");
    EXPECT_EQ(b.text, "Bitte schließen Sie das Program und starten Sie es neu.");
    EXPECT_EQ(b.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    // The windows keep their texts until the next start.
    EXPECT_EQ(form->OpenBtn->text(), "Öffnen Bild 1...");
    EXPECT_EQ(form->Datei1->title(), "Datei");

    form->Deutsch1->trigger();
    EXPECT_EQ(form->language, 0);
    EXPECT_TRUE(form->Deutsch1->isChecked());
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
}

TEST_F(TranslationTest, TheNoticeSpeaksTheChosenLanguage) {
    installShippedDictionary();
    auto form = shownForm();
    form->English1->trigger();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].caption, "Translate");
    EXPECT_EQ(m_boxes.boxes[0].text, "Please close the program and start it again.");
}

TEST_F(TranslationTest, ClosingStoresTheChosenLanguage) {
    auto form = shownForm();
    form->English1->trigger();
    form->close();
    QFile f(optionsFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("\1\0\0\0", 4));
}

TEST_F(TranslationTest, TheCommandsDoNothingWhileTheLoaderSetsTheMarks) {
    auto form = shownForm();
    form->dontchlang = true;
    form->English1Click();
    form->Deutsch1Click();
    EXPECT_EQ(form->language, 0);
    EXPECT_TRUE(form->Deutsch1->isChecked());
    EXPECT_FALSE(form->English1->isChecked());
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(TranslationTest, WindowsAreMadeInTheProgramsOrder) {
    auto form = std::make_unique<TestForm>();
    QList<QWidget*> expected{form.get(), form->AboutBox, form->TranslateForm, form->MovePicsForm,
                             form->JPEGQualForm};
    EXPECT_EQ(gui::applicationWindows(), expected);
}

TEST_F(TranslationTest, GermanStartLooksUpNoWindowTextButRegistersMessagesAndTitle) {
    auto form = shownForm();
    const DictFile d = readDictFile(dictionaryFile());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.columns, 20);
    QStringList german;
    for (const QStringList& row : d.cells)
        german << row[0];
    EXPECT_EQ(german,
              QStringList({"Konte die folgende Datei nicht öffnen:",
                           "Bitte schließen Sie das Program und starten Sie es neu.", "Übersetzen",
                           "Fehler: Nicht genügent Speicher für diese Aktion!",
                           "Konnte folgende Datei nicht erstellen:", "Fassadenplan"}));
}

// The shipped dictionary has Dutch, so the menu offers it and ticks it; a
// column without translations has no item and leaves Deutsch1 ticked
// (SettingsTest).
TEST_F(TranslationTest, ColumnThreeTranslatesTheWindowsWithItsItemChecked) {
    installShippedDictionary();
    writeLanguage(3);
    auto form = shownForm();
    ASSERT_NE(form->languageItem(3), nullptr);
    EXPECT_TRUE(form->languageItem(3)->isChecked());
    EXPECT_FALSE(form->Deutsch1->isChecked());
    EXPECT_EQ(form->language, 3);
    EXPECT_EQ(form->Datei1->title(), "Bestand");
    EXPECT_EQ(form->Hilfe1->title(), "Help");
    // No Dutch for this one: the German text stays.
    EXPECT_EQ(form->OpenBtn->text(), "Öffnen Bild 1...");
}

TEST_F(TranslationTest, QtsOwnTextsFollowTheLanguage) {
    // options.dat's language -> Qt's "Yes" button; 5 has no Qt translation.
    const std::vector<std::pair<int, QString>> cases{
        {0, "&Ja"}, {1, "&Yes"}, {2, "&Oui"}, {5, "&Yes"}, {0, "&Ja"}};
    for (const auto& [language, yes] : cases) {
        writeLanguage(language);
        auto form = std::make_unique<TestForm>();
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), yes) << "language " << language;
    }
}

TEST_F(TranslationTest, OutOfMemoryIsAnErrorBoxWithTheProgramsName) {
    auto form = shownForm();
    foundation::reportOutOfMemory(2, 12345);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(m_boxes.boxes[0].caption, QGuiApplication::applicationDisplayName());
    EXPECT_FALSE(m_boxes.boxes[0].caption.isEmpty());
    EXPECT_EQ(m_boxes.boxes[0].text,
              "Error 2 while trying to allocate 12345 bytes of RAM. Not enough memory.");
}

TEST_F(TranslationTest, OpenDialogGetsTheLibrarysFilterInTheWindowsLanguage) {
    installShippedDictionary();
    writeLanguage(1);
    auto form = shownForm();
    EXPECT_TRUE(form->OpenDialog1->filter().startsWith("All image files|"));
    EXPECT_TRUE(form->OpenDialog1->filter().endsWith("|All files|*.*"));
}

// ---------------------------------------------------------------- whole program

TEST_F(TranslationTest, EnglishStartLeavesNoGermanTextInAnyWindow) {
    installShippedDictionary();
    const DictFile shipped = readDictFile(dictionaryFile());
    ASSERT_TRUE(shipped.ok);
    QHash<QString, QString> english;
    for (const QStringList& row : shipped.cells)
        english.insert(row[0], row[1]);
    writeLanguage(1);

    auto form = shownForm();
    EXPECT_EQ(form->language, 1);
    EXPECT_TRUE(form->English1->isChecked());
    // Setting the check mark at start is no language command: no notice.
    EXPECT_TRUE(m_boxes.boxes.empty());

    // Every text the start met was known: the dictionary learnt at most the
    // about box's line with this year.
    const DictFile after = readDictFile(dictionaryFile());
    ASSERT_TRUE(after.ok);
    const QString yearLine = QStringLiteral("\u00A9 %1 Velkor").arg(QDate::currentDate().year());
    for (std::size_t r = shipped.cells.size(); r < after.cells.size(); ++r)
        EXPECT_EQ(after.cells[r][0], yearLine) << "not in the shipped dictionary";

    const QStringList texts = sweepTexts();
    ASSERT_GT(texts.size(), 80);
    for (const QString& t : texts) {
        EXPECT_FALSE(looksGerman(t)) << t.toStdString();
        const auto it = english.constFind(t);
        if (it != english.cend()) {
            EXPECT_TRUE(*it == t) << "German text left: " << t.toStdString();
        }
    }
    EXPECT_EQ(form->OpenBtn->text(), "Open image 1...");
    EXPECT_EQ(form->Datei1->title(), "File");
    EXPECT_EQ(form->N4->text(), "-");
    EXPECT_EQ(form->windowTitle(), "Velkor Fassadenplan 1.0");
    EXPECT_EQ(form->TranslateForm->DeleteRowBtn->text(), "Delete row");
    EXPECT_EQ(form->TranslateForm->StringGrid1->horizontalHeaderItem(2)->text(), "French");
    EXPECT_EQ(form->JPEGQualForm->windowTitle(), "Set JPEG quality...");
    EXPECT_EQ(form->AboutBox->windowTitle(), "About");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Fassadenplan");
}

TEST_F(TranslationTest, EmptyDictionaryLearnsEveryTextInVisitingOrder) {
    writeLanguage(1);
    auto form = std::make_unique<TestForm>();
    const QStringList before = sweepTexts();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

    // The windows stay German: every text is its own "translation".
    EXPECT_EQ(sweepTexts(), before);

    const DictFile d = readDictFile(dictionaryFile());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.columns, 20);
    EXPECT_EQ(d.rows, static_cast<qint32>(d.cells.size()));
    QStringList rows;
    for (const QStringList& row : d.cells) {
        rows << row[0];
        for (int c = 1; c < 20; ++c)
            EXPECT_TRUE(row[c].isEmpty());
    }
    // Every text of every window was met, and only once.
    for (const QString& t : before)
        EXPECT_TRUE(rows.contains(t.trimmed())) << t.toStdString();
    EXPECT_EQ(rows.removeDuplicates(), 0);

    // The messages come first, then the windows in reverse creation order,
    // then their components level by level, each owner's from the last
    // created to the first.
    auto at = [&rows](const char* t) {
        const qsizetype i = rows.indexOf(QString::fromUtf8(t));
        EXPECT_GE(i, 0) << t;
        return i;
    };
    EXPECT_EQ(at("Konte die folgende Datei nicht öffnen:"), 0);
    EXPECT_EQ(at("Konnte folgende Datei nicht erstellen:"), 4);
    EXPECT_EQ(at("JPEG Qualität einstellen..."), 5); // the window made last
    EXPECT_LT(at("JPEG Qualität einstellen..."), at("Info"));
    EXPECT_LT(at("Info"), at("Velkor Fassadenplan 1.0"));
    // The windows' own components before the main window's (made first).
    EXPECT_LT(at("Velkor Fassadenplan 1.0"), at("JPEG Qualität (100=beste Qualität):"));
    EXPECT_LT(at("JPEG Qualität (100=beste Qualität):"), at("https://www.velkor.de"));
    EXPECT_LT(at("https://www.velkor.de"), at("Version 1.0.0"));
    EXPECT_LT(at("Version 1.0.0"), at("Über..."));
    // Menu items belong to the main window: last made first.
    EXPECT_LT(at("Über..."), at("Übersetzen..."));
    EXPECT_LT(at("Übersetzen..."), at("English"));
    EXPECT_LT(at("English"), at("Deutsch"));
    EXPECT_LT(at("Deutsch"), at("Bild öffnen..."));
    // The menus' own texts (titles, separators) one level further down.
    EXPECT_LT(at("Bild öffnen..."), at("Hilfe"));
    EXPECT_LT(at("Hilfe"), at("Sprache"));
    EXPECT_LT(at("Sprache"), at("Datei"));
    // Buttons on the button bar, then the labels of the panel below the
    // splitter, one level deeper still.
    EXPECT_LT(at("Datei"), at("Speichern Bild 2..."));
    EXPECT_LT(at("Speichern Bild 2..."), at("Öffnen Bild 1..."));
    EXPECT_LT(at("Öffnen Bild 1..."), at("Jetzt erstmal nicht gleich rechnen"));
    EXPECT_LT(at("Jetzt erstmal nicht gleich rechnen"), at("Gemessenes Rechteck einzeichnen:"));
    EXPECT_LT(at("Gemessenes Rechteck einzeichnen:"), at("Zoom in %:"));
    // The grid's header row of the translation editor, every column.
    EXPECT_LT(at("German"), at("language19"));
}

// ---------------------------------------------------------------- editor from the menu

TEST_F(TranslationTest, TranslateCommandFillsTheEditorAndAsksForARestartAfterIt) {
    writeDictFile(dictionaryFile(), {{"Datei", "File"}, {"Hilfe", "Help"}});
    auto form = shownForm();
    int gridRows = -1;
    QTimer::singleShot(0, form.get(), [&form, &gridRows] {
        gridRows = form->TranslateForm->gridRowCount();
        QTest::mouseClick(form->TranslateForm->BackBtn, Qt::LeftButton);
    });
    form->bersetzen1->trigger();
    // Two rows of the file, the six texts the start registered, the header.
    EXPECT_EQ(gridRows, 2 + 6 + 1);
    EXPECT_FALSE(form->TranslateForm->isVisible());
    EXPECT_EQ(form->TranslateForm->result(), QDialog::Accepted);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, "Bitte schließen Sie das Program und starten Sie es neu.");
}

TEST_F(TranslationTest, EditorSaysWhenTheProgramFolderTakesNoDictionary) {
    struct Case {
        bool writable;
        QString status;
    };
    const QString notice = QString::fromUtf8(app::ProgramFolderReadOnlyNotice);
    for (const Case& c : {Case{true, QString()}, Case{false, notice}}) {
        SCOPED_TRACE(c.writable);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        // A folder that does not exist takes no file, even for root.
        const QString folder = c.writable ? dir.path() : dir.path() + "/missing";
        gui::TMainForm::setProgramFile(folder + "/fassadenplan");
        auto form = shownForm();
        QString status = QStringLiteral("unset");
        QTimer::singleShot(0, form.get(), [&form, &status] {
            status = form->TranslateForm->StatusBar1->currentMessage();
            QTest::mouseClick(form->TranslateForm->BackBtn, Qt::LeftButton);
        });
        form->bersetzen1->trigger();
        EXPECT_EQ(status, c.status);
    }
}

// ---------------------------------------------------------------- the table tool

struct ToolCase {
    const char* name;
    QByteArray table;
    int exitCode;
};

class DictionaryToolTest : public ::testing::TestWithParam<ToolCase> {};

TEST_P(DictionaryToolTest, BuildsOrRefusesTheTable) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile src(dir.filePath("t.tsv"));
    ASSERT_TRUE(src.open(QIODevice::WriteOnly));
    src.write(GetParam().table);
    src.close();
    const QString out = dir.filePath("translate.dat");
    const int rc = QProcess::execute(QString::fromUtf8(FP_MKDICT), {src.fileName(), out});
    EXPECT_EQ(rc, GetParam().exitCode);
    EXPECT_EQ(QFile::exists(out), GetParam().exitCode == 0);
    EXPECT_FALSE(QFile::exists(out + ".tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DictionaryToolTest,
    ::testing::Values(
        ToolCase{"Good", "# c\nGerman\tEnglish\nDatei\tFile\nZeile\\n2\tRow\\t2\n", 0},
        ToolCase{"NoHeader", "Datei\tFile\n", 1},
        ToolCase{"TrailingBlank", "German\tEnglish\nDatei \tFile\n", 1},
        ToolCase{"Twice", "German\tEnglish\nDatei\tFile\nDatei\tData\n", 1},
        ToolCase{"BadEscape", "German\tEnglish\nDa\\xtei\tFile\n", 1},
        ToolCase{"TooManyColumns",
                 "German\tEnglish\nA\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\t13\t14\t15"
                 "\t16\t17\t18\t19\t20\n",
                 1}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DictionaryTool, EscapesBecomeTheirCharacters) {
    QTemporaryDir dir;
    QFile src(dir.filePath("t.tsv"));
    ASSERT_TRUE(src.open(QIODevice::WriteOnly));
    src.write("German\tEnglish\nZeile\\n2\tRow\\t2\\\\\nÜbersetzen\r\n");
    src.close();
    const QString out = dir.filePath("translate.dat");
    ASSERT_EQ(QProcess::execute(QString::fromUtf8(FP_MKDICT), {src.fileName(), out}), 0);
    const DictFile d = readDictFile(out);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.rows, 2);
    EXPECT_EQ(d.cells[0][0], "Zeile\n2");
    EXPECT_EQ(d.cells[0][1], "Row\t2\\");
    EXPECT_EQ(d.cells[1][0], "Übersetzen");
    EXPECT_EQ(d.cells[1][1], "");
}

} // namespace
} // namespace guitest
