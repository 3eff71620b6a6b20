// Translators' files in the real windows: the editor's PO buttons, a changed
// translation that reaches the window after a restart, a language imported
// from a PO file that the menu "Sprache" offers and the window speaks, and
// an options.dat that is no regular file.

#include "GuiTestSupport.h"

#include "app/PoCommand.h"
#include "gui/Options.h"
#include "gui/TTranslateForm.h"
#include "i18n/Dictionary.h"
#include "i18n/Po.h"
#include "testsupport/ChildProcess.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace guitest {
namespace {

QByteArray readBytes(const QString& fileName) {
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}

void writeBytes(const QString& fileName, const QByteArray& bytes) {
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The editor with its file choice answered by the test.
class PoEditor : public gui::TTranslateForm {
public:
    using gui::TTranslateForm::TTranslateForm;
    QStringList poAnswers;
    QStringList errors;
    std::vector<std::pair<bool, int>> asked; // (save, column) of every question

protected:
    QString choosePoFile(bool save, int column) override {
        asked.emplace_back(save, column);
        return poAnswers.isEmpty() ? QString() : poAnswers.takeFirst();
    }
    void reportError(const QString& text) override { errors << text; }
};

std::unique_ptr<PoEditor> shownEditor() {
    auto editor = std::make_unique<PoEditor>();
    editor->FillStringGrid();
    editor->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
    return editor;
}

// The grid row of a German text.
int gridRowOf(const gui::TTranslateForm& editor, const QString& german) {
    for (int r = 1; r < editor.gridRowCount(); ++r)
        if (editor.gridCell(0, r) == german)
            return r;
    return -1;
}

class LanguageFilesTest : public GuiTest {
protected:
    QString po(const char* name) const { return m_files.filePath(QString::fromUtf8(name)); }
    QTemporaryDir m_files;
};

// ---------------------------------------------------------------- editor

struct ButtonCase {
    const char* name;
    QByteArray file; // written before ".po importieren..."; empty: export
    QString answer;  // the file chosen; empty: cancelled
    QString errorStart;
    QString status; // start of the status bar's message afterwards
    QString french; // the French cell of "Hilfe" afterwards
};

TEST_F(LanguageFilesTest, TheEditorsButtonsWorkOnTheColumnOfTheCurrentCell) {
    // The shipped dictionary knows every text the editor shows, so that only
    // an import changes translate.dat.
    installShippedDictionary();
    int language = 0;
    i18n::LoadDictionary((programDir() + "/").toStdString(), &language);
    const QString good = po("good.po");
    const std::vector<ButtonCase> cases{
        {"cancelled export", {}, {}, {}, {}, {}},
        {"export", {}, good, {}, "Als .po exportiert: ", {}},
        {"malformed",
         "msgid \"Hilfe\"\nmsgstr \"A\\ide\"\n",
         po("bad.po"),
         "Die .po-Datei ist fehlerhaft, Zeile 2: eine unbekannte Escape-Sequenz",
         {},
         {}},
        {"another language",
         "msgid \"\"\nmsgstr \"Language: de\\n\"\n\nmsgid \"Hilfe\"\nmsgstr \"x\"\n",
         po("de.po"),
         "Die .po-Datei ist für die Sprache de, diese Spalte für Français.",
         {},
         {}},
        {"unreadable", "", po("folder.po"), "Konte die folgende Datei nicht öffnen: ", {}, {}},
        {"import",
         "msgid \"Hilfe\"\nmsgstr \"Secours\"\n\nmsgid \"Neu\"\nmsgstr \"Nouveau\"\n",
         po("fr.po"),
         {},
         ".po importiert: 1 gesetzt, 1 hinzugefügt, 0 übersprungen",
         "Secours"},
    };
    ASSERT_TRUE(QDir().mkpath(po("folder.po")));
    for (const ButtonCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto editor = shownEditor();
        const int hilfe = gridRowOf(*editor, "Hilfe");
        ASSERT_GT(hilfe, 0);
        editor->StringGrid1->setCurrentCell(hilfe - 1, 2); // a French cell
        const QByteArray before = readBytes(dictionaryFile());
        const bool import = !c.file.isNull();
        if (import && !c.file.isEmpty())
            writeBytes(c.answer, c.file);
        editor->poAnswers = {c.answer};
        QTest::mouseClick(import ? editor->PoImportBtn : editor->PoExportBtn, Qt::LeftButton);
        ASSERT_EQ(editor->asked.size(), 1u);
        EXPECT_EQ(editor->asked[0], std::make_pair(!import, 2));
        EXPECT_EQ(editor->errors.isEmpty(), c.errorStart.isEmpty())
            << editor->errors.join('\n').toStdString();
        if (!c.errorStart.isEmpty() && !editor->errors.isEmpty()) {
            EXPECT_TRUE(editor->errors[0].startsWith(c.errorStart))
                << editor->errors[0].toStdString();
        }
        EXPECT_TRUE(editor->StatusBar1->currentMessage().startsWith(c.status))
            << editor->StatusBar1->currentMessage().toStdString();
        if (c.french.isEmpty()) {
            EXPECT_EQ(readBytes(dictionaryFile()), before) << "the dictionary changed";
        } else {
            EXPECT_EQ(editor->gridCell(2, hilfe), c.french);
            EXPECT_EQ(editor->gridCell(0, editor->gridRowCount() - 1), "Neu");
            EXPECT_EQ(readDictFile(dictionaryFile()).cells[static_cast<std::size_t>(hilfe - 1)][2],
                      c.french);
        }
    }
    // The export holds the French column with its language.
    i18n::PoCatalog exported;
    i18n::PoError error;
    ASSERT_TRUE(i18n::ParsePo(readBytes(good).toStdString(), exported, error)) << error.reason;
    EXPECT_EQ(exported.language, "fr");
    i18n::ResetDictionary();
}

// ---------------------------------------------------------------- restart

TEST_F(LanguageFilesTest, AChangedTranslationArrivesInTheWindowAfterARestart) {
    installShippedDictionary();
    writeLanguage(1);
    const QString file = po("en.po");
    {
        auto form = shownForm();
        ASSERT_EQ(form->Datei1->title(), "File");
        auto editor = shownEditor();
        editor->StringGrid1->setCurrentCell(gridRowOf(*editor, "Datei") - 1, 1);
        editor->poAnswers = {file, file};
        QTest::mouseClick(editor->PoExportBtn, Qt::LeftButton);
        QByteArray text = readBytes(file);
        const QByteArray from = "msgid \"Datei\"\nmsgstr \"File\"\n";
        ASSERT_TRUE(text.contains(from));
        text.replace(from, "msgid \"Datei\"\nmsgstr \"Documents\"\n");
        writeBytes(file, text);
        QTest::mouseClick(editor->PoImportBtn, Qt::LeftButton);
        EXPECT_TRUE(editor->errors.isEmpty()) << editor->errors.join('\n').toStdString();
        EXPECT_EQ(form->Datei1->title(), "File"); // until the next start
        form->close();
    }
    auto form = shownForm();
    EXPECT_EQ(form->Datei1->title(), "Documents");
    EXPECT_EQ(form->Hilfe1->title(), "Help");
}

// ---------------------------------------------------------------- menu

struct MenuCase {
    const char* name;
    int column;
    const char* header; // "Language:" of the file
    const char* item;   // the menu's name of the language
    const char* file;   // "Datei" in that language
    const char* yes;    // Qt's own Yes button
};

class LanguageMenuTest : public LanguageFilesTest,
                         public ::testing::WithParamInterface<MenuCase> {};

TEST_P(LanguageMenuTest, ALanguageFromAPoFileIsOfferedAndSpoken) {
    const MenuCase& c = GetParam();
    // A dictionary that has only the German texts the start registers.
    shownForm()->close();
    const QString file = po("lang.po");
    writeBytes(file, QByteArray("msgid \"\"\nmsgstr \"Language: ") + c.header +
                         "\\n\"\n\nmsgid \"Datei\"\nmsgstr \"" + c.file + "\"\n");
    i18n::LoadDictionary((programDir() + "/").toStdString(), nullptr);
    ASSERT_EQ(app::importPoFile(c.column, file.toStdString(), {}).status,
              app::PoOutcome::Status::Done);
    i18n::ResetDictionary();

    {
        auto form = shownForm();
        const QList<QAction*> items = form->Spracge1->actions();
        ASSERT_GE(items.size(), 5);
        EXPECT_EQ(items[0], form->Deutsch1);
        EXPECT_EQ(items[1], form->English1);
        EXPECT_EQ(items[2]->text(), QString::fromUtf8(c.item));
        EXPECT_EQ(items[3], form->N4);
        QAction* item = items[2];
        EXPECT_EQ(item->actionGroup(), form->LanguageGroup);
        EXPECT_TRUE(form->Deutsch1->isChecked());
        item->trigger();
        EXPECT_EQ(form->language, c.column);
        EXPECT_TRUE(item->isChecked());
        EXPECT_FALSE(form->Deutsch1->isChecked());
        EXPECT_EQ(m_boxes.boxes.size(), 1u); // the restart notice
        form->close();
    }
    EXPECT_EQ(readBytes(optionsFile()),
              QByteArray(1, static_cast<char>(c.column)) + QByteArray(3, '\0'));
    auto form = shownForm();
    EXPECT_EQ(form->Datei1->title(), QString::fromUtf8(c.file));
    EXPECT_EQ(form->language, c.column);
    EXPECT_TRUE(form->languageItem(c.column)->isChecked());
    EXPECT_FALSE(form->Deutsch1->isChecked());
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8(c.yes));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LanguageMenuTest,
    ::testing::Values(MenuCase{"French", 2, "fr", "Français", "Fichier", "&Oui"},
                      MenuCase{"SpanishInAFreeColumn", 5, "es", "Español", "Archivo", "&Sí"}),
    [](const ::testing::TestParamInfo<MenuCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------- options.dat

// A FIFO, folder or device in place of options.dat means German at once; in
// a child with an alarm, so that a reader that waits fails instead of hanging.
TEST_F(LanguageFilesTest, OptionsThatAreNoRegularFileAreNotWaitedFor) {
    const std::string path = optionsFile().toStdString();
    QDir().mkpath(QFileInfo(optionsFile()).path());
    struct Case {
        const char* what;
        std::function<bool()> make;
        bool written; // the language written at the close
    };
    const std::vector<Case> cases{
        {"fifo", [&] { return ::mkfifo(path.c_str(), 0600) == 0; }, false},
        {"folder", [&] { return ::mkdir(path.c_str(), 0700) == 0; }, false},
        {"device", [&] { return ::symlink("/dev/zero", path.c_str()) == 0; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(optionsFile());
        QDir().rmdir(optionsFile());
        ASSERT_TRUE(c.make());
        const testsupport::ChildEnd end = testsupport::runLimited(
            [&] {
                ::alarm(10);
                return gui::readLanguageFile(optionsFile()).has_value() ? 1 : 0;
            },
            0, 20);
        EXPECT_TRUE(end.exited && end.code == 0) << end.describe();
        // A FIFO or folder is not replaced by a file; a device takes the
        // bytes as it takes any.
        EXPECT_EQ(gui::writeLanguageFile(optionsFile(), 1), c.written);
    }
}

} // namespace
} // namespace guitest
