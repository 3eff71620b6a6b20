#pragma once
// One dictionary column as a gettext PO file, from the command line and for
// the translation editor:
//
//   fassadenplan --export-po=LANG FILE.po [--language-code=CODE]
//   fassadenplan --import-po=LANG FILE.po [--language-code=CODE]
//
// LANG is a column number 0 ... 19 or a language code: de, en, fr, nl, or
// the code a free column learnt from an imported PO file. --language-code
// names the language of a free column that has none yet (an import stores
// it). The dictionary is translate.dat in the program's folder; an import
// replaces it safely (a failure leaves the old file byte for byte).
//
// Error policy: every failure is a status with its reason; the batch prints
// it in English and ends with the exit code below. Nothing throws.

#include "i18n/Po.h"

#include <QString>

#include <iosfwd>
#include <string>
#include <vector>

namespace app {

// Exit codes of the PO commands.
enum class PoExit : int {
    Done = 0,        // the file was written / the column taken over and saved
    Usage = 1,       // parameters that make no PO command
    BadLanguage = 2, // LANG names no column, or the file is for another language
    Unreadable = 3,  // the PO file (or translate.dat) cannot be read or is malformed
    NotWritable = 6, // translate.dat (import) or the PO file (export) cannot be written
};

// True when `params` ask for a PO export or import.
bool isPoCommand(const std::vector<std::string>& params);

// The column LANG names in the loaded dictionary: "0" ... "19", or a code one
// of the columns has ("fr", "pt_BR"; letters in any case); -1 otherwise.
int columnOfLanguage(const std::string& lang);

// What an export or import did.
struct PoOutcome {
    enum class Status {
        Done,
        BadLanguage, // `why` says which languages disagree
        Unreadable,  // the PO file: `error` (fp::fileErrorText)
        Malformed,   // the PO file: `parseError`
        NotWritable, // the PO file (export) or translate.dat (import): `error`
        OutOfMemory, // not every message was taken over; nothing saved
    };
    Status status = Status::Done;
    int error = 0;
    i18n::PoError parseError;
    std::string why;
    i18n::PoImportSummary summary; // import
    std::size_t messages = 0;      // export
    std::size_t leftOut = 0;       // export
    std::string code;              // the language code written or kept
    std::string fileLanguage;      // import: the file's "Language:" header
};

// Writes column `column` of the loaded dictionary to the PO file `path`.
// `code` (may be empty) names the language of a column that has no code;
// for one that has, it must name the same language.
PoOutcome exportPoFile(int column, const std::string& path, const std::string& code);

// Reads the PO file `path` (at most i18n::MaxPoBytes, never waiting on a
// FIFO), takes it into column `column` of the loaded dictionary and saves
// the dictionary. A malformed file, or one for another language, changes
// nothing.
PoOutcome importPoFile(int column, const std::string& path, const std::string& code);

// The batch PO command on the dictionary in `progpath` (the program's folder
// ending with "/"): the outcome on `out` (success) or `err`, and the exit
// code of PoExit.
int runPoCommand(const std::vector<std::string>& params, const std::string& progpath,
                 std::ostream& out, std::ostream& err);

// The program entry's part: runs the PO command on the dictionary beside the
// program file, without a window or a display.
int runPoProgram(int argc, char** argv, const std::vector<std::string>& params);

// The name of column c as the translation editor's header row and the
// "Sprache" menu show it, before translation: "German", "English",
// "Français", "Nederlands" for 0 ... 3; for 4 ... 19 the language's own name
// for the column's code ("Português" for pt), or "language" followed by the
// number where there is no code (or Qt knows no name for it).
QString columnName(int c);

} // namespace app
