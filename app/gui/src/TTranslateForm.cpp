#include "gui/TTranslateForm.h"

#include "app/PoCommand.h"
#include "app/ProgramFolder.h"
#include "app/Translate.h"
#include "foundation/ReplaceFile.h"
#include "gui/FileDialog.h"
#include "gui/MessageBoxes.h"
#include "i18n/Dictionary.h"
#include "i18n/Po.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <string>

namespace gui {

namespace {

QString fromU16(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

std::u16string toU16(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.constData()), static_cast<std::size_t>(s.size())};
}

// Only the ASCII letters change: "ü" and "Ü" stay different.
QString asciiUpper(QString s) {
    for (QChar& ch : s)
        if (ch >= QLatin1Char('a') && ch <= QLatin1Char('z'))
            ch = QChar(ch.unicode() - (u'a' - u'A'));
    return s;
}

// The in-place editor hands every change of its text to the form at once.
class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(TTranslateForm* form, QObject* parent)
        : QStyledItemDelegate(parent), m_form(form) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* e = new QLineEdit(parent);
        e->setFrame(false);
        e->setObjectName(QStringLiteral("InplaceEdit"));
        (void)option;
        const int col = index.column();
        const int gridRow = index.row() + 1;
        connect(e, &QLineEdit::textEdited, m_form, [form = m_form, col, gridRow](const QString& t) {
            form->StringGrid1SetEditText(col, gridRow, t);
        });
        return e;
    }

private:
    TTranslateForm* m_form;
};

// The grid tells whether a cell is being edited.
class EditGrid : public QTableWidget {
public:
    EditGrid(int rows, int columns, QWidget* parent) : QTableWidget(rows, columns, parent) {}
    bool editing() const { return state() == QAbstractItemView::EditingState; }
};

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace

QString TTranslateForm::headerName(int column) {
    return app::columnName(column);
}

TTranslateForm::TTranslateForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TranslateForm"));
    setWindowTitle(QStringLiteral("Übersetzen"));
    setModal(true);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    StatusBar1 = named(new QStatusBar(this), "StatusBar1");

    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFixedHeight(35);
    BackBtn = named(new QPushButton(QStringLiteral("Zurück..."), Panel1), "BackBtn");
    BackBtn->setGeometry(8, 10, 105, 25);
    Button1 = named(new QPushButton(QStringLiteral("Englisch exportieren..."), Panel1), "Button1");
    Button1->setGeometry(121, 10, 145, 25);
    PoExportBtn =
        named(new QPushButton(QStringLiteral("Als .po exportieren..."), Panel1), "PoExportBtn");
    PoExportBtn->setGeometry(274, 10, 145, 25);
    PoImportBtn =
        named(new QPushButton(QStringLiteral(".po importieren..."), Panel1), "PoImportBtn");
    PoImportBtn->setGeometry(427, 10, 145, 25);

    Panel2 = named(new QFrame(this), "Panel2");
    Panel2->setFixedHeight(40);
    FilterEdit = named(new QLineEdit(Panel2), "FilterEdit");
    FilterEdit->setGeometry(8, 8, 153, 21);
    FilterBtn = named(new QPushButton(QStringLiteral("Suchen"), Panel2), "FilterBtn");
    FilterBtn->setGeometry(167, 6, 145, 25);
    DeleteRowBtn = named(new QPushButton(QStringLiteral("Zeile löchen"), Panel2), "DeleteRowBtn");
    DeleteRowBtn->setGeometry(318, 6, 131, 25);
    FixedColCheck =
        named(new QCheckBox(QStringLiteral("Erste Spalte fixieren"), Panel2), "FixedColCheck");
    FixedColCheck->setGeometry(455, 6, 194, 17);
    // No button is the default: Return in the search field must not close
    // the window.
    for (QPushButton* b : {BackBtn, Button1, PoExportBtn, PoImportBtn, FilterBtn, DeleteRowBtn}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto* gridRow = named(new QWidget(this), "GridArea");
    auto* gridLay = new QHBoxLayout(gridRow);
    gridLay->setContentsMargins(0, 0, 0, 0);
    gridLay->setSpacing(0);
    StringGrid1 = named(new EditGrid(0, Columns, gridRow), "StringGrid1");
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    StringGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::AnyKeyPressed |
                                 QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::EditKeyPressed);
    StringGrid1->setItemDelegate(new CellDelegate(this, StringGrid1));
    StringGrid1->setShowGrid(true);
    for (int c = 0; c < Columns; ++c)
        StringGrid1->setColumnWidth(c, ColumnWidth);

    // The German column, shown beside the grid while it is fixed: same model,
    // same selection, rows scrolled together.
    FixedCol = named(new QTableView(gridRow), "FixedCol");
    FixedCol->setModel(StringGrid1->model());
    FixedCol->setSelectionModel(StringGrid1->selectionModel());
    FixedCol->verticalHeader()->hide();
    FixedCol->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // An (idle) scroll bar at the bottom like the grid's, so that both views
    // show the same height of rows.
    FixedCol->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FixedCol->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FixedCol->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FixedCol->setSelectionMode(QAbstractItemView::ContiguousSelection);
    FixedCol->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 1; c < Columns; ++c)
        FixedCol->setColumnHidden(c, true);
    FixedCol->setColumnWidth(0, ColumnWidth);
    FixedCol->setFixedWidth(ColumnWidth + 2 * FixedCol->frameWidth());
    FixedCol->setVisible(false);
    connect(StringGrid1->verticalScrollBar(), &QScrollBar::valueChanged,
            FixedCol->verticalScrollBar(), &QScrollBar::setValue);
    connect(FixedCol->verticalScrollBar(), &QScrollBar::valueChanged,
            StringGrid1->verticalScrollBar(), &QScrollBar::setValue);
    gridLay->addWidget(FixedCol);
    gridLay->addWidget(StringGrid1, 1);

    outer->addWidget(Panel1);
    outer->addWidget(Panel2);
    outer->addWidget(gridRow, 1);
    outer->addWidget(StatusBar1);

    // The start's window translation puts them into the start's language.
    QStringList names;
    for (int c = 0; c < Columns; ++c)
        names << headerName(c);
    writeHeader(names);

    connect(BackBtn, &QPushButton::clicked, this, [this] { BackBtnClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(PoExportBtn, &QPushButton::clicked, this, [this] { PoExportBtnClick(); });
    connect(PoImportBtn, &QPushButton::clicked, this, [this] { PoImportBtnClick(); });
    connect(FilterBtn, &QPushButton::clicked, this, [this] { FilterBtnClick(); });
    connect(DeleteRowBtn, &QPushButton::clicked, this, [this] { DeleteRowBtnClick(); });
    connect(FixedColCheck, &QCheckBox::toggled, this, [this] { FixedColCheckClick(); });
    // A click into the grid ends the marking of a header section.
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    markHeader(-1);
            });
    StringGrid1->installEventFilter(this);
    FixedCol->installEventFilter(this);

    // Client area 705 x 453, centred on the screen.
    resize(705, 453);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TTranslateForm::writeHeader(const QStringList& names) {
    for (int c = 0; c < Columns; ++c) {
        const QString& name = names[c];
        if (QTableWidgetItem* h = StringGrid1->horizontalHeaderItem(c))
            h->setText(name);
        else
            StringGrid1->setHorizontalHeaderItem(c, new QTableWidgetItem(name));
    }
}

int TTranslateForm::gridRowCount() const {
    return StringGrid1->rowCount() + 1;
}

QString TTranslateForm::gridCell(int column, int gridRow) const {
    if (gridRow == 0) {
        const QTableWidgetItem* h = StringGrid1->horizontalHeaderItem(column);
        return h != nullptr ? h->text() : QString();
    }
    const QTableWidgetItem* it = StringGrid1->item(gridRow - 1, column);
    return it != nullptr ? it->text() : QString();
}

int TTranslateForm::currentGridRow() const {
    const QModelIndex cur = StringGrid1->currentIndex();
    return cur.isValid() ? cur.row() + 1 : 0;
}

void TTranslateForm::FillStringGrid() {
    auto& rows = i18n::DictionaryRows();
    const QSignalBlocker block(StringGrid1);
    StringGrid1->setRowCount(static_cast<int>(rows.count()));
    // The language names in the language chosen now (it may have changed
    // since the start), looked up in the rows: a name the dictionary lacks
    // stays as it is and is not learnt while the rows are shown.
    QStringList names;
    for (int c = 0; c < Columns; ++c)
        names << headerName(c);
    QStringList shown = names;
    const int language = i18n::DictionaryLanguage();
    rows.First();
    while (rows.WhileNext()) {
        const i18n::tdictrow* row = i18n::CurrentDictRow();
        const int gridRow = rows.aobjnr(); // dictionary row aobjnr() - 1
        const QString german = fromU16(row->cell[0]);
        for (int c = 0; c < Columns; ++c)
            if (german == names[c] && !row->cell[language].empty())
                shown[c] = fromU16(row->cell[language]);
        for (int c = 0; c < Columns; ++c) {
            const QString text = fromU16(row->cell[c]);
            QTableWidgetItem* it = StringGrid1->item(gridRow - 1, c);
            if (it == nullptr)
                StringGrid1->setItem(gridRow - 1, c, new QTableWidgetItem(text));
            else
                it->setText(text);
        }
    }
    writeHeader(shown);
}

void TTranslateForm::BackBtnClick() {
    done(QDialog::Accepted);
}

void TTranslateForm::StringGrid1SetEditText(int ACol, int ARow, const QString& Value) {
    auto& rows = i18n::DictionaryRows();
    if (ARow >= 1 && static_cast<std::uint32_t>(ARow) <= rows.count() && ACol >= 0 &&
        ACol < Columns)
        rows[static_cast<std::uint32_t>(ARow - 1)].cell[ACol] = toU16(Value);
    i18n::SaveDictionary();
}

void TTranslateForm::DeleteRowBtnClick() {
    auto& rows = i18n::DictionaryRows();
    const int r = currentGridRow();
    const int column = std::max(0, StringGrid1->currentColumn());
    if (r >= 1 && static_cast<std::uint32_t>(r) <= rows.count()) {
        const auto index = static_cast<std::uint32_t>(r - 1);
        QString caption = app::MessageText(31);
        if (caption.isEmpty())
            caption = app::Translate(QStringLiteral("Zeile löschen"));
        QMessageBox box(QMessageBox::Question, caption, fromU16(rows[index].cell[0]),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
        box.setInformativeText(
            app::Translate(QStringLiteral("Soll diese Zeile aus dem Wörterbuch gelöscht werden?")));
        if (execMessageBox(box) == QMessageBox::Yes)
            i18n::DeleteDictionaryRow(static_cast<std::int32_t>(index)); // its texts go with it
    }
    i18n::SaveDictionary();
    FillStringGrid();
    if (r >= 1 && r <= gridRowCount() - 1)
        StringGrid1->setCurrentCell(r - 1, column);
}

void TTranslateForm::markHeader(int column) {
    if (column == m_markedHeader)
        return;
    auto paint = [this](int c, bool marked) {
        QTableWidgetItem* h = StringGrid1->horizontalHeaderItem(c);
        if (h == nullptr)
            return;
        h->setBackground(marked ? palette().brush(QPalette::Highlight) : QBrush());
        h->setForeground(marked ? palette().brush(QPalette::HighlightedText) : QBrush());
    };
    if (m_markedHeader >= 0)
        paint(m_markedHeader, false);
    m_markedHeader = column;
    if (column >= 0)
        paint(column, true);
}

void TTranslateForm::showCell(int gridRow, int column) {
    if (gridRow == 0) {
        // Header cells cannot be selected: no cell is current, the section
        // is marked instead.
        StringGrid1->clearSelection();
        StringGrid1->setCurrentIndex(QModelIndex());
        markHeader(column);
        StringGrid1->verticalScrollBar()->setValue(0);
    } else {
        StringGrid1->setCurrentCell(gridRow - 1, column, QItemSelectionModel::ClearAndSelect);
        markHeader(-1);
        StringGrid1->verticalScrollBar()->setValue(
            StringGrid1->verticalHeader()->sectionPosition(gridRow - 1));
    }
    // The cell's column becomes the left one (the fixed German column stays
    // where it is).
    if (!(FixedColCheck->isChecked() && column == 0))
        StringGrid1->horizontalScrollBar()->setValue(
            StringGrid1->horizontalHeader()->sectionPosition(column));
}

void TTranslateForm::FilterBtnClick() {
    const QString f = asciiUpper(FilterEdit->text());
    if (f.isEmpty())
        return;
    const int lastRow = gridRowCount() - 1;
    for (int r = 0; r <= lastRow; ++r) {
        for (int c = 0; c < Columns; ++c) {
            if (!asciiUpper(gridCell(c, r)).contains(f))
                continue;
            showCell(r, c);
            QString caption = app::MessageText(29);
            if (caption.isEmpty())
                caption = app::Translate(QStringLiteral("Suchen"));
            QString text = app::MessageText(30);
            if (text.isEmpty())
                text = app::Translate(QStringLiteral("Weitersuchen?"));
            QMessageBox box(QMessageBox::Question, caption, text,
                            QMessageBox::Yes | QMessageBox::No, this);
            if (execMessageBox(box) != QMessageBox::Yes)
                return;
        }
    }
}

void TTranslateForm::FixedColCheckClick() {
    const bool fixed = FixedColCheck->isChecked();
    FixedCol->setVisible(fixed);
    StringGrid1->setColumnHidden(0, fixed);
}

QString TTranslateForm::chooseExportFile() {
    FileDialog dialog(QStringLiteral("ExportDialog"), nullptr);
    dialog.setFilter(app::Translate(QStringLiteral("Textdateien (*.txt)|*.txt")));
    return dialog.getSaveFileName(this, nullptr, QStringLiteral("outtrans.txt"));
}

void TTranslateForm::reportError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, defaultCaption(), text, QMessageBox::Ok, this);
    execMessageBox(box);
}

void TTranslateForm::Button1Click() {
    const QString f = chooseExportFile();
    if (f.isEmpty())
        return;
    if (!ExportEnglish(f))
        reportError(app::Translate(QStringLiteral("Konnte folgende Datei nicht erstellen:")) + f);
}

bool TTranslateForm::ExportEnglish(const QString& fileName) const {
    QByteArray out;
    for (int r = 0; r < gridRowCount(); ++r) {
        QString line = gridCell(1, r);
        line.replace(QLatin1Char('\r'), QLatin1Char(' '));
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        out += line.toUtf8();
        out += "\r\n";
    }
    return fp::replaceFile(
               QFile::encodeName(fileName).toStdString(),
               std::string_view(out.constData(), static_cast<std::size_t>(out.size()))) == 0;
}

// ---------------------------------------------------------------- PO files

namespace {

QString faultText(i18n::PoFault fault) {
    switch (fault) {
    case i18n::PoFault::NotUtf8:
        return QStringLiteral("Bytes, die kein UTF-8 sind");
    case i18n::PoFault::NulByte:
        return QStringLiteral("ein NUL-Zeichen");
    case i18n::PoFault::Unterminated:
        return QStringLiteral("eine nicht abgeschlossene Zeichenkette");
    case i18n::PoFault::BadEscape:
        return QStringLiteral("eine unbekannte Escape-Sequenz");
    case i18n::PoFault::BadQuoting:
        return QStringLiteral("Text außerhalb der Anführungszeichen");
    case i18n::PoFault::Order:
        return QStringLiteral("Schlüsselwörter in falscher Reihenfolge");
    case i18n::PoFault::NotPo:
        return QStringLiteral("eine Zeile, die kein PO ist");
    case i18n::PoFault::Duplicate:
        return QStringLiteral("ein doppelter Eintrag");
    case i18n::PoFault::Charset:
        return QStringLiteral("ein anderer Zeichensatz als UTF-8");
    case i18n::PoFault::None:
        break;
    }
    return QString();
}

std::string nativeName(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

} // namespace

int TTranslateForm::poColumn() const {
    if (StringGrid1->currentIndex().isValid())
        return StringGrid1->currentColumn();
    if (m_markedHeader >= 0)
        return m_markedHeader;
    return i18n::DictionaryLanguage();
}

QString TTranslateForm::choosePoFile(bool save, int column) {
    FileDialog dialog(QStringLiteral("PoDialog"), nullptr);
    dialog.setFilter(app::Translate(QStringLiteral("PO-Dateien (*.po)|*.po")));
    if (!save)
        return dialog.getOpenFileName(this);
    std::string code = i18n::ColumnCode(column);
    if (code.empty())
        code = std::to_string(column);
    return dialog.getSaveFileName(
        this, nullptr, QStringLiteral("fassadenplan-%1.po").arg(QString::fromStdString(code)));
}

void TTranslateForm::PoExportBtnClick() {
    const int column = poColumn();
    const QString f = choosePoFile(true, column);
    if (f.isEmpty())
        return;
    const app::PoOutcome o = app::exportPoFile(column, nativeName(f), std::string());
    if (o.status != app::PoOutcome::Status::Done) {
        reportError(app::Translate(QStringLiteral("Konnte folgende Datei nicht erstellen:")) + f);
        return;
    }
    StatusBar1->showMessage(app::Translate(QStringLiteral("Als .po exportiert: %1 Texte in %2"))
                                .arg(o.messages)
                                .arg(f));
}

void TTranslateForm::PoImportBtnClick() {
    const int column = poColumn();
    const QString f = choosePoFile(false, column);
    if (f.isEmpty())
        return;
    const app::PoOutcome o = app::importPoFile(column, nativeName(f), std::string());
    using Status = app::PoOutcome::Status;
    switch (o.status) {
    case Status::Done:
    case Status::NotWritable:
        break;
    case Status::Unreadable:
        reportError(app::MessageText(1) + f);
        return;
    case Status::Malformed:
        reportError(app::Translate(QStringLiteral("Die .po-Datei ist fehlerhaft, Zeile %1: %2"))
                        .arg(o.parseError.line)
                        .arg(app::Translate(faultText(o.parseError.fault))));
        return;
    case Status::BadLanguage:
        reportError(
            app::Translate(
                QStringLiteral("Die .po-Datei ist für die Sprache %1, diese Spalte für %2."))
                .arg(QString::fromStdString(o.fileLanguage))
                .arg(app::Translate(headerName(column))));
        return;
    case Status::OutOfMemory:
        reportError(app::MessageText(8));
        break;
    }
    FillStringGrid();
    if (QTableWidgetItem* h = StringGrid1->horizontalHeaderItem(column))
        h->setText(app::Translate(headerName(column)));
    const i18n::PoImportSummary& s = o.summary;
    StatusBar1->showMessage(
        app::Translate(
            QStringLiteral(
                ".po importiert: %1 gesetzt, %2 hinzugefügt, %3 übersprungen, %4 unverändert"))
            .arg(s.set)
            .arg(s.added)
            .arg(s.skipped)
            .arg(s.unchanged));
    if (o.status == Status::NotWritable)
        reportError(app::Translate(QString::fromUtf8(app::ProgramFolderReadOnlyNotice)));
}

void TTranslateForm::keyPressEvent(QKeyEvent* e) {
    // The delete button is the window's cancel button: Escape presses it.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        DeleteRowBtn->click();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool TTranslateForm::eventFilter(QObject* watched, QEvent* e) {
    if ((watched == StringGrid1 || watched == FixedCol) && e->type() == QEvent::KeyPress) {
        const auto* k = static_cast<const QKeyEvent*>(e);
        // Delete removes the current row unless a cell is being edited (the
        // key then reaches the editor, not the grid).
        if (k->key() == Qt::Key_Delete && !static_cast<const EditGrid*>(StringGrid1)->editing()) {
            DeleteRowBtnClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

} // namespace gui
