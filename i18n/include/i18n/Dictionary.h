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
void LoadDictionary(const std::string& progpath, const int* language);

// Appends the rows of translate.dat (if it can be read) to the rows.
void ReadDictionaryFile();

// Writes all rows to translate.dat through a temporary file in the same
// folder that replaces the old file only when complete. Silently skipped when
// the folder cannot be written.
void SaveDictionary();

// The text in the current language, re-padded with the input's leading and
// trailing blanks. Unknown texts come back unchanged and are learnt.
std::u16string Translate(std::u16string_view text);

// Sorts entries lo ... hi of bucket b by key (ordinal UTF-16 order).
void SortBucket(int b, int lo, int hi);

// The rows in file order, for the translation editor. Its cursor is the
// dictionary's current-row pointer (CurrentDictRow). Editing a row's cells is
// fine; call SaveDictionary afterwards. The index is rebuilt only by
// LoadDictionary.
foundation::TDynaArray<tdictrow>& DictionaryRows();
// The current row (the rows' shared cursor), or null.
tdictrow* CurrentDictRow();

// The index bucket b (0 ... 255), for tests and diagnostics.
const foundation::TDynaArray<tdictkey>& DictionaryBucket(int b);

// progpath + "translate.dat" as given to LoadDictionary (empty before).
std::string DictionaryPath();

// Drops all rows and index entries and forgets the file and the language
// (tests use it between cases). Translate then returns texts unchanged and
// learns nothing until the next LoadDictionary.
void ResetDictionary();

} // namespace i18n
