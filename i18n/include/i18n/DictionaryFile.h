#pragma once
// The file translate.dat, read and written in one place (the dictionary and
// the build's table tool fp_mkdict share it).
//
// Layout, little-endian: the column count C (written as 20), the row count N,
// then N rows of C string records (foundation/StringRecord.h), German first.
// After the rows may follow the language codes of the columns that the
// fixed table does not name (columns 4 ... 19, learnt from imported PO
// files): the string record "#language-codes", a count K, then K string
// records, the code of column 0 first. It is written only when one of those
// columns has a code, so a dictionary without such codes is exactly the
// plain layout; a reader that stops after N rows never sees the codes, and a
// file without them simply has none.
//
// Error policy: readers never throw; a damaged file gives the rows that were
// read completely before the damage and says so. Writers replace the file
// safely (foundation/ReplaceFile.h) and return an error code, 0 for success.

#include "foundation/DynaArray.h"
#include "i18n/Dictionary.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace i18n {

// The language code of every column; empty where none is known.
using ColumnCodes = std::array<std::string, DictColumns>;

// More rows than any program's texts; keeps a damaged file with a tiny
// column count from turning a few megabytes into gigabytes of rows.
inline constexpr std::uint32_t MaxFileRows = 200000;
// Files up to this size are read as a whole; larger ones record by record.
inline constexpr std::size_t MaxWholeFileBytes = std::size_t{64} << 20;

// What reading a translate.dat found.
enum class DictionaryFileState {
    Missing,    // no file: an empty dictionary, nothing lost
    Complete,   // every row the file declares was read
    Damaged,    // the file ends early, holds an implausible count or record, or
                // more rows than MaxFileRows: the rows before the damage were read
    Unreadable, // a folder, FIFO or device in its place, or a read error: no rows
};

struct DictionaryReadResult {
    DictionaryFileState state = DictionaryFileState::Missing;
    int error = 0;              // the error code for Unreadable (ReplaceFile.h)
    std::uint32_t rowsRead = 0; // rows appended
};

// How the dictionary's last LoadDictionary went: whether the file was
// missing, read completely, damaged (the rows after the damage are missing,
// and the next save drops them) or unreadable.
DictionaryReadResult DictionaryLoadState();

// Appends the rows of the file in `bytes` to `rows` (never more than
// MaxFileRows in all) and reads the stored column codes into `codes`
// (columns without a stored code become empty).
DictionaryReadResult ReadDictionaryBytes(std::string_view bytes,
                                         foundation::TDynaArray<tdictrow>& rows,
                                         ColumnCodes& codes);

// The same from a stream (a file too large to hold in memory).
DictionaryReadResult ReadDictionaryStream(std::istream& in, foundation::TDynaArray<tdictrow>& rows,
                                          ColumnCodes& codes);

// Reads translate.dat at `path`: a missing file is Missing, and a FIFO,
// folder or device in its place is Unreadable at once, without ever waiting
// for a writer.
DictionaryReadResult ReadDictionaryFile(const std::string& path,
                                        foundation::TDynaArray<tdictrow>& rows, ColumnCodes& codes);

// The bytes of a translate.dat holding `count` rows from `rows` and the codes
// of the columns 4 ... 19 (the codes of the table's columns are not stored).
// Throws foundation::IoError for a text longer than a record can hold, and
// std::bad_alloc.
std::string EncodeDictionary(const tdictrow* rows, std::size_t count, const ColumnCodes& codes);

// Replaces the file at `path` by EncodeDictionary(...). 0 or an error code;
// the old file stays as it was on failure.
int WriteDictionaryFile(const std::string& path, const tdictrow* rows, std::size_t count,
                        const ColumnCodes& codes);

} // namespace i18n
