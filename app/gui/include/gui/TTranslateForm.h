#pragma once
// The translation editor: a grid with one row per dictionary row and one
// column per language, a text search over all cells and the deletion of rows.
// Every change goes into the dictionary and translate.dat at once.
//
// Grid rows are counted as the translators see them: grid row 0 is the header
// row, grid row r >= 1 shows dictionary row r - 1; grid column c shows cell c.

#include <QDialog>
#include <QString>

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableView;
class QTableWidget;

namespace gui {

class TTranslateForm : public QDialog {
    Q_OBJECT
public:
    explicit TTranslateForm(QWidget* parent = nullptr);

    static constexpr int Columns = 20;
    static constexpr int ColumnWidth = 250;
    // "German", "English", "Français", "Nederlands", then the language's own
    // name for a free column that has a language code ("Português"), else
    // "language4" ...
    static QString headerName(int column);

    // Loads the grid from the dictionary: the header row and one grid row per
    // dictionary row.
    void FillStringGrid();
    // Closes the window (accepted).
    void BackBtnClick();
    // Searches every cell, the header row included, for the text of
    // FilterEdit (letters a ... z compared without case, everything else
    // exactly); asks after every match whether to go on.
    void FilterBtnClick();
    // Asks, then deletes the dictionary row of the current grid row; always
    // saves and refills.
    void DeleteRowBtnClick();
    // Takes over a cell's text (every keystroke of the in-place editor) and
    // saves the dictionary.
    void StringGrid1SetEditText(int ACol, int ARow, const QString& Value);
    // Keeps the German column in view when scrolling sideways.
    void FixedColCheckClick();
    // "Englisch exportieren...": asks for the file, then ExportEnglish.
    void Button1Click();
    // Writes grid column 1 of every grid row (the header "English" first) to
    // `fileName` as UTF-8 lines ending with CR LF, line breaks inside a cell
    // turned into blanks. False when the file cannot be written completely;
    // an existing file is then left as it was.
    bool ExportEnglish(const QString& fileName) const;

    // The column the PO commands work on: the column of the current cell,
    // else the one of the language the windows speak.
    int poColumn() const;
    // "Als .po exportieren...": asks for the file and writes the column as
    // a gettext PO file; the status bar says how many texts it holds.
    void PoExportBtnClick();
    // ".po importieren...": asks for a PO file and takes it into the column:
    // a translation fills its cell, an unknown German text becomes a row;
    // the status bar counts what was set, added, skipped and left. A
    // malformed file, or one for another language, is refused with the line
    // and changes nothing.
    void PoImportBtnClick();

    // The current grid row: 0 when no cell is current (the header row), else
    // the dictionary row + 1.
    int currentGridRow() const;
    // The header section a search marked (the header cells cannot be
    // selected), or -1.
    int markedHeaderSection() const { return m_markedHeader; }
    // Grid rows including the header row.
    int gridRowCount() const;
    // The text of grid cell (column, grid row).
    QString gridCell(int column, int gridRow) const;

    QStatusBar* StatusBar1 = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* BackBtn = nullptr;
    QPushButton* Button1 = nullptr; // "Englisch exportieren..."
    QPushButton* PoExportBtn = nullptr;
    QPushButton* PoImportBtn = nullptr;
    QWidget* Panel2 = nullptr;
    QLineEdit* FilterEdit = nullptr;
    QPushButton* FilterBtn = nullptr;
    QPushButton* DeleteRowBtn = nullptr;
    QCheckBox* FixedColCheck = nullptr;
    QTableWidget* StringGrid1 = nullptr;
    // The German column beside the grid while FixedColCheck is checked.
    QTableView* FixedCol = nullptr;

protected:
    // The export file; empty when the user cancels. Tests answer it.
    virtual QString chooseExportFile();
    // The PO file to write (`save`) or to read for `column`; empty when the
    // user cancels. Tests answer it.
    virtual QString choosePoFile(bool save, int column);
    // Shows a failure to the user.
    virtual void reportError(const QString& text);

    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The column names, one per column.
    void writeHeader(const QStringList& names);
    void markHeader(int column);
    void showCell(int gridRow, int column);

    int m_markedHeader = -1;
};

} // namespace gui
