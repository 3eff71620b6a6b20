#pragma once
// The translation dictionary: one row per German text, 20 columns (0 German,
// 1 English, 2 French, 3 Dutch, 4 ... 19 free), kept in translate.dat in the
// program folder. Every text the window shows passes through Translate; a
// German text the dictionary does not know yet is appended as a new row and
// the file is saved at once, so translators find every text of the program in
// the file.
//
// Error policy: nothing here throws to the caller and nothing is reported.
// A missing or damaged file gives an empty (or partly read) dictionary, a
// folder that cannot be written keeps the rows in memory only.
// Single-threaded: the UI thread only.

#include "foundation/DynaArray.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace i18n {

inline constexpr int DictColumns = 20;
inline constexpr int DictBuckets = 256;

// One dictionary row: cell 0 the German text, cells 1 ... 19 its translations.
struct tdictrow {
    std::u16string cell[DictColumns];
};

// One index entry: the dictionary's own copy of a row's column-0 text when
// the entry was made, and that row's index.
struct tdictkey {
    std::u16string key;
    std::int32_t row = 0;
};

// Creates the rows and the 256 buckets, reads progpath + "translate.dat" and
// builds the sorted index. progpath is the program folder ending with "/".
// language points at the workspace's current language (the column every
// lookup returns, read anew on each lookup); null or a value outside 0 ... 19
// means German. Calling it again starts over with a fresh dictionary.
// Temporary files that a process killed while saving left beside
// translate.dat are removed first; a FIFO, folder or device in the file's
// place is not read (the dictionary stays empty) and never waited for.
void LoadDictionary(const std::string& progpath, const int* language);
// How the last load went: DictionaryLoadState() in DictionaryFile.h.

// Appends the rows of translate.dat (if it can be read) to the rows.
void ReadDictionaryFile();

// Writes all rows to translate.dat through a hidden temporary file in the
// same folder that replaces the old file only when complete and flushed to
// the disk (foundation/ReplaceFile.h). Returns 0, or the error code when the
// dictionary could not be written (the folder refuses a file, a FIFO or
// folder lies in its place, a write-protected translate.dat is left as it
// is); the rows stay in memory either way, and nothing is reported.
int SaveDictionary();

// The text in the current language, re-padded with the input's leading and
// trailing blanks (U+0020 only); the translation itself is trimmed of every
// character up to U+0020. Unknown texts come back unchanged and are learnt:
// a new row (which becomes the rows' current row) and, unless the text is
// blanks only, an index entry and a save. A found text leaves the cursor
// alone.
std::u16string Translate(std::u16string_view text);

// Sorts entries lo ... hi of bucket b by key (ordinal UTF-16 order).
void SortBucket(int b, int lo, int hi);

// The rows in file order, for the translation editor. Its cursor is the
// dictionary's current-row pointer (CurrentDictRow). Editing a row's cells is
// fine; call SaveDictionary afterwards. The index is rebuilt only by
// LoadDictionary.
foundation::TDynaArray<tdictrow>& DictionaryRows();
// Deletes row r (0-based) for the translation editor; the rows' cursor is
// left without a current row. Until the next start the deleted text comes
// back unchanged, and the index entries of the rows behind it follow their
// rows, so no lookup returns a neighbouring row's translation. Out-of-range r
// is ignored.
void DeleteDictionaryRow(std::int32_t r);
// The column lookups return now: the language the dictionary was loaded
// with, 0 (German) before loading or for a value outside 0 ... 19.
int DictionaryLanguage();
// The current row (the rows' shared cursor), or null.
tdictrow* CurrentDictRow();

// The index bucket b (0 ... 255), for tests and diagnostics.
const foundation::TDynaArray<tdictkey>& DictionaryBucket(int b);

// progpath + "translate.dat" as given to LoadDictionary (empty before).
std::string DictionaryPath();

// Appends a row with the German text `german` and the other cells empty, with
// its index entry, so that lookups find it at once (an imported text). The
// file is not saved. The new row's index, or -1 for an empty text or when
// memory ran out.
std::int32_t AddDictionaryRow(std::u16string_view german);

// The language code of column c: the fixed table's for 0 ... 3 (de, en, fr,
// nl), the one stored in translate.dat for 4 ... 19, empty where there is
// none or c is no column.
std::string ColumnCode(int c);
// Gives the free column c (4 ... 19) the language code `code` (normalised,
// see Languages.h); saved with the next SaveDictionary. False, and nothing
// changes, for a column of the table or a code that is none.
bool SetColumnCode(int c, std::string_view code);
// The column whose code is `code`, else the first whose code names the same
// language ("fr_CA" finds French); -1 when none does.
int ColumnOfCode(std::string_view code);
// True when column c (0 ... 19) has a text in at least one row.
bool ColumnHasTranslations(int c);

// Drops all rows and index entries and forgets the file and the language
// (tests use it between cases). Translate then returns texts unchanged and
// learns nothing until the next LoadDictionary.
void ResetDictionary();

} // namespace i18n
