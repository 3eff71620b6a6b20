// The translation editor on a dictionary of its own: the grid rows, typing
// into cells, deleting rows, the search and its case rules, the fixed German
// column and the export of the English column.

#include "GuiTestSupport.h"

#include "gui/TTranslateForm.h"
#include "i18n/Dictionary.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace guitest {
namespace {

class TestTranslateForm : public gui::TTranslateForm {
public:
    using gui::TTranslateForm::TTranslateForm;
    QStringList exportAnswers;
    QStringList errors;

protected:
    QString chooseExportFile() override {
        return exportAnswers.isEmpty() ? QString() : exportAnswers.takeFirst();
    }
    void reportError(const QString& text) override { errors << text; }
};

// Rows "Datei"/"File", "Hilfe"/"Help", ... loaded as the program's dictionary.
class TranslateFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        load({{"Datei", "File"}, {"Hilfe", "Help"}, {"Über", "About"}});
    }
    void TearDown() override { i18n::ResetDictionary(); }

    void load(const std::vector<QStringList>& rows) {
        writeDictFile(file(), rows);
        i18n::LoadDictionary((m_dir.path() + "/").toStdString(), &m_language);
        form = std::make_unique<TestTranslateForm>();
        form->FillStringGrid();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        QApplication::processEvents();
    }
    QString file() const { return m_dir.filePath("translate.dat"); }
    // The German column of the saved file without the texts of the editor's
    // own questions, which the dictionary learns when they are first shown.
    QStringList germanColumn() const {
        static const QStringList questions{"Zeile löschen",
                                           "Soll diese Zeile aus dem Wörterbuch gelöscht werden?",
                                           "Suchen", "Weitersuchen?"};
        QStringList out;
        for (const QStringList& row : readDictFile(file()).cells)
            if (!questions.contains(row[0]))
                out << row[0];
        return out;
    }
    void select(int gridRow, int column) {
        form->StringGrid1->setCurrentCell(gridRow - 1, column);
        form->StringGrid1->setFocus();
    }

    int m_language = 1;
    QTemporaryDir m_dir;
    BoxRecorder m_boxes;
    std::unique_ptr<TestTranslateForm> form;
};

TEST_F(TranslateFormTest, TheGridShowsTheHeaderAndOneRowPerDictionaryRow) {
    EXPECT_EQ(form->gridRowCount(), 4);
    EXPECT_EQ(form->StringGrid1->columnCount(), 20);
    EXPECT_EQ(form->StringGrid1->columnWidth(7), 250);
    const QStringList header{"German", "English", "Français", "Nederlands", "language4"};
    for (int c = 0; c < header.size(); ++c)
        EXPECT_EQ(form->gridCell(c, 0), header[c]);
    EXPECT_EQ(form->gridCell(19, 0), "language19");
    // Grid row 2 shows dictionary row 1.
    EXPECT_EQ(form->gridCell(0, 2), "Hilfe");
    EXPECT_EQ(form->gridCell(1, 2), "Help");
    EXPECT_EQ(form->gridCell(5, 2), "");
    EXPECT_EQ(form->windowTitle(), "Übersetzen");
    EXPECT_EQ(form->DeleteRowBtn->text(), "Zeile löchen");
}

TEST_F(TranslateFormTest, TypingIntoACellStoresEveryKeystrokeAndSaves) {
    load({{"a"}, {"b"}, {"c"}, {"d"}, {"Bild 1"}});
    select(5, 1);
    QTest::keyClick(form->StringGrid1, Qt::Key_P);
    // The first key opens the in-place editor and goes into it.
    DictFile d = readDictFile(file());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.cells[4][1], "p");
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(qobject_cast<QLineEdit*>(editor) != nullptr);
    QTest::keyClicks(editor, "ic");
    d = readDictFile(file());
    EXPECT_EQ(d.cells[4][1], "pic");
    EXPECT_EQ(i18n::DictionaryRows()[4].cell[1], u"pic");
    // A Delete key while editing belongs to the editor: no question.
    QTest::keyClick(editor, Qt::Key_Home);
    QTest::keyClick(editor, Qt::Key_Delete);
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(readDictFile(file()).cells[4][1], "ic");
}

TEST_F(TranslateFormTest, SetEditTextOutsideTheRowsOnlySaves) {
    QFile::remove(file());
    form->StringGrid1SetEditText(1, 0, "Kopf");  // the header row
    form->StringGrid1SetEditText(1, 4, "weit");  // behind the last row
    form->StringGrid1SetEditText(20, 1, "weit"); // no such column
    const DictFile d = readDictFile(file());
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rows, 3);
    EXPECT_EQ(d.cells[0][1], "File");
}

struct DeleteCase {
    const char* name;
    int gridRow; // 0: no current cell
    QMessageBox::StandardButton answer;
    QStringList german;
    int currentAfter; // -1: not checked
};

class DeleteRowTest : public TranslateFormTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteRowTest, AsksDeletesSavesAndKeepsTheRowNumber) {
    const DeleteCase& c = GetParam();
    if (c.gridRow > 0)
        select(c.gridRow, 1);
    else
        form->StringGrid1->setCurrentIndex(QModelIndex());
    m_boxes.answers = {c.answer};
    const QString asked = form->gridCell(0, c.gridRow);
    QFile::remove(file());
    QTest::mouseClick(form->DeleteRowBtn, Qt::LeftButton);
    if (c.gridRow > 0) {
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        const ShownBox& b = m_boxes.boxes[0];
        EXPECT_EQ(b.icon, QMessageBox::Question);
        EXPECT_EQ(b.text, asked);
        EXPECT_EQ(b.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    } else {
        EXPECT_TRUE(m_boxes.boxes.empty());
    }
    // Saved in every case.
    EXPECT_EQ(germanColumn(), c.german);
    EXPECT_EQ(form->gridRowCount(), readDictFile(file()).rows + 1);
    if (c.currentAfter >= 0) {
        EXPECT_EQ(form->currentGridRow(), c.currentAfter);
        EXPECT_EQ(form->gridCell(0, c.currentAfter), c.german.value(c.currentAfter - 1));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeleteRowTest,
    ::testing::Values(
        DeleteCase{"HeaderRowOnlySaves", 0, QMessageBox::Yes, {"Datei", "Hilfe", "Über"}, -1},
        DeleteCase{"MiddleRowShowsTheNextOne", 2, QMessageBox::Yes, {"Datei", "Über"}, 2},
        DeleteCase{"FirstRow", 1, QMessageBox::Yes, {"Hilfe", "Über"}, 1},
        DeleteCase{"LastRow", 3, QMessageBox::Yes, {"Datei", "Hilfe"}, -1},
        DeleteCase{"NoKeepsTheRow", 2, QMessageBox::No, {"Datei", "Hilfe", "Über"}, 2},
        DeleteCase{"CancelKeepsTheRow", 2, QMessageBox::Cancel, {"Datei", "Hilfe", "Über"}, 2}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(TranslateFormTest, EscapeAndDeleteStartTheQuestionForTheCurrentRow) {
    select(2, 0);
    QTest::keyClick(form->StringGrid1, Qt::Key_Escape);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, "Hilfe");
    select(3, 1);
    QTest::keyClick(form->StringGrid1, Qt::Key_Delete);
    ASSERT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_EQ(m_boxes.boxes[1].text, "Über");
    // Escape in the search field as well.
    form->FilterEdit->setFocus();
    QTest::keyClick(form->FilterEdit, Qt::Key_Escape);
    EXPECT_EQ(m_boxes.boxes.size(), 3u);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(germanColumn(), QStringList({"Datei", "Hilfe", "Über"}));
}

struct FilterCase {
    const char* name;
    const char* filter;
    std::vector<QMessageBox::StandardButton> answers;
    int questions;
    int row;    // grid row shown at the last question
    int column; // its column
};

class SearchTest : public TranslateFormTest, public ::testing::WithParamInterface<FilterCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // Enough rows behind the texts that each can become the top row.
        std::vector<QStringList> rows{{"Datei", "File"},
                                      {"Übersetzen", "Translate"},
                                      {"über", "about"},
                                      {"Hilfe", "Help", "Aide"},
                                      {"Bild öffnen...", "Open image..."}};
        for (int i = 0; i < 40; ++i)
            rows.push_back({QStringLiteral("q%1").arg(i)});
        load(rows);
    }
};

TEST_P(SearchTest, FindsCellsWithAsciiCaseRules) {
    const FilterCase& c = GetParam();
    m_boxes.answers = c.answers;
    // Typed key by key; umlauts as the keyboard delivers them, as text.
    for (const QChar ch : QString::fromUtf8(c.filter))
        QTest::sendKeyEvent(QTest::Click, form->FilterEdit, Qt::Key_unknown, QString(ch),
                            Qt::NoModifier);
    ASSERT_EQ(form->FilterEdit->text(), QString::fromUtf8(c.filter));
    QTest::mouseClick(form->FilterBtn, Qt::LeftButton);
    ASSERT_EQ(static_cast<int>(m_boxes.boxes.size()), c.questions);
    if (c.questions == 0)
        return;
    EXPECT_EQ(m_boxes.boxes.back().icon, QMessageBox::Question);
    EXPECT_EQ(m_boxes.boxes.back().buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(form->currentGridRow(), c.row);
    if (c.row == 0) {
        EXPECT_EQ(form->markedHeaderSection(), c.column);
        EXPECT_TRUE(form->StringGrid1->selectedItems().isEmpty());
    } else {
        EXPECT_EQ(form->markedHeaderSection(), -1);
        EXPECT_EQ(form->StringGrid1->currentColumn(), c.column);
        ASSERT_EQ(form->StringGrid1->selectedItems().size(), 1);
        // Its row the top one, its column the left one.
        EXPECT_EQ(form->StringGrid1->rowAt(0), c.row - 1);
        EXPECT_EQ(form->StringGrid1->columnAt(0), c.column);
    }
}

using B = QMessageBox::StandardButton;
INSTANTIATE_TEST_SUITE_P(
    Search, SearchTest,
    ::testing::Values(FilterCase{"AsciiLettersIgnoreCase", "dATEI", {}, 1, 1, 0},
                      FilterCase{"UmlautCaseMatters", "Über", {B::Yes, B::Yes}, 1, 2, 0},
                      FilterCase{"LowerUmlautFindsOnlyItself", "über", {B::Yes}, 1, 3, 0},
                      FilterCase{"HeaderCellIsMarked", "english", {}, 1, 0, 1},
                      FilterCase{"NoEndsTheSearch", "e", {B::No}, 1, 0, 0},
                      FilterCase{"YesGoesOnRowByRow", "il", {B::Yes, B::Yes}, 3, 5, 0},
                      FilterCase{"YesAtTheLastMatchEnds", "help", {B::Yes}, 1, 4, 1},
                      FilterCase{"ThirdColumn", "AIDE", {}, 1, 4, 2},
                      FilterCase{"EmptyFindsNothing", "", {}, 0, 0, 0},
                      FilterCase{"UnknownFindsNothing", "xyz", {}, 0, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(TranslateFormTest, FixedColumnKeepsGermanInView) {
    QTest::mouseClick(form->FixedColCheck, Qt::LeftButton);
    ASSERT_TRUE(form->FixedColCheck->isChecked());
    EXPECT_TRUE(form->FixedCol->isVisible());
    EXPECT_TRUE(form->StringGrid1->isColumnHidden(0));
    // Scrolled to the far right, German is still shown beside the grid.
    form->StringGrid1->horizontalScrollBar()->setValue(
        form->StringGrid1->horizontalScrollBar()->maximum());
    EXPECT_NE(form->StringGrid1->columnAt(0), 0);
    EXPECT_EQ(form->FixedCol->model()->index(1, 0).data().toString(), "Hilfe");
    QTest::mouseClick(form->FixedColCheck, Qt::LeftButton);
    EXPECT_FALSE(form->FixedCol->isVisible());
    EXPECT_FALSE(form->StringGrid1->isColumnHidden(0));
}

TEST_F(TranslateFormTest, ExportWritesTheEnglishColumnWithCrLf) {
    load({{"Datei", "File"}, {"Zwei Zeilen", "two\r\nlines"}, {"Leer"}, {"Größe", "Größe\nsize"}});
    QTemporaryDir out;
    form->exportAnswers << out.filePath("outtrans.txt");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    QFile f(out.filePath("outtrans.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QString("English\r\nFile\r\ntwo  lines\r\n\r\nGröße size\r\n").toUtf8());
    EXPECT_TRUE(form->errors.isEmpty());
}

TEST_F(TranslateFormTest, ExportIntoAMissingFolderReportsAndCancelWritesNothing) {
    QTemporaryDir out;
    form->exportAnswers << out.filePath("no/such/folder/outtrans.txt");
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(form->errors.size(), 1);
    QTest::mouseClick(form->Button1, Qt::LeftButton); // cancelled dialog
    EXPECT_EQ(form->errors.size(), 1);
}

TEST_F(TranslateFormTest, BackClosesTheWindowAccepted) {
    QTest::mouseClick(form->BackBtn, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

} // namespace
} // namespace guitest
