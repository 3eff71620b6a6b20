#pragma once
// One dictionary column as a gettext PO file, for translators who work in
// Poedit, Weblate or any other PO editor: msgid is the German text, msgstr
// its translation in the column (empty where there is none).
//
// The reader takes the PO syntax gettext writes (comments, flags, msgctxt,
// plural forms, obsolete "#~" entries, strings continued over several lines,
// the C escapes) in UTF-8, and refuses anything else with the line number:
// bad quoting or escapes, an unterminated string, a msgid without msgstr,
// bytes that are no UTF-8, a duplicate message, another charset.
//
// Error policy: nothing throws but std::bad_alloc; a malformed file is
// reported through PoError and changes nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace i18n {

// One message. The texts are UTF-8 with the escapes resolved.
struct PoEntry {
    bool hasContext = false;
    std::string context; // msgctxt
    std::string msgid;
    bool plural = false;
    std::string msgidPlural;
    // msgstr, or msgstr[0], msgstr[1] ... of a plural message.
    std::vector<std::string> msgstr;
    bool fuzzy = false;
    bool obsolete = false;
    int line = 0; // the line of its msgid (1-based)

    bool operator==(const PoEntry& o) const {
        return hasContext == o.hasContext && context == o.context && msgid == o.msgid &&
               plural == o.plural && msgidPlural == o.msgidPlural && msgstr == o.msgstr &&
               fuzzy == o.fuzzy && obsolete == o.obsolete;
    }
};

// A PO file's messages in file order, the header entry (msgid "") included.
struct PoCatalog {
    std::vector<PoEntry> entries;
    // The value of the header's "Language:" field, blanks removed; empty
    // without one.
    std::string language;
};

// What is wrong with a malformed PO file, by kind (the window words each in
// its language).
enum class PoFault {
    None,
    NotUtf8,      // bytes that are no UTF-8 (also made by escapes)
    NulByte,      // a NUL byte, or an escape for one
    Unterminated, // a string without its closing quote
    BadEscape,    // an unknown escape
    BadQuoting,   // text outside the quotes, a keyword without its string
    Order,        // keywords out of order: msgstr without msgid, msgid without msgstr ...
    NotPo,        // a line that is neither comment, keyword nor string
    Duplicate,    // the same message twice
    Charset,      // a charset other than UTF-8
};

struct PoError {
    int line = 0; // 1-based; 0 for the file as a whole
    PoFault fault = PoFault::None;
    std::string reason; // English, with the details
};

// The largest PO file the program reads.
inline constexpr std::size_t MaxPoBytes = std::size_t{256} << 20;

// Parses PO text. False, with the first fault in `error`, for a malformed
// file; `out` is then incomplete.
bool ParsePo(std::string_view text, PoCatalog& out, PoError& error);

// Writes `entries` in gettext's form: the comment lines first ("# " before
// each), then every entry with its fuzzy flag, "#~ " before the lines of an
// obsolete one, strings with line breaks continued after every "\n". Parsing
// the result gives the same entries.
std::string WritePo(const std::vector<PoEntry>& entries, std::string_view comment = {});

// The header fields of an exported column.
struct PoHeader {
    std::string projectVersion; // "Fassadenplan 1.0.0"
    std::string revisionDate;   // "2025-03-01 12:00+0000"
    std::string language;       // the column's code; may be empty
};

struct PoExport {
    std::string text;
    std::size_t messages = 0; // exported rows
    std::size_t leftOut = 0;  // rows whose texts hold a NUL or a lone surrogate
};

// Column `column` (0 ... 19) of the loaded dictionary as PO text. One message
// per German text in row order (a text the dictionary holds twice once,
// with the first translation there is); rows without a German text are left
// out. A translation's line breaks at its start and end are given those of
// the German text (the lookup drops them anyway), so that msgfmt --check
// accepts the file. Column 0 exports the German texts as their own msgstr.
PoExport ExportPo(int column, const PoHeader& header);

struct PoImportSummary {
    std::size_t set = 0;       // messages that changed a cell
    std::size_t added = 0;     // messages whose German text became a new row
    std::size_t skipped = 0;   // fuzzy, obsolete, with context or plural, blank msgid
    std::size_t unchanged = 0; // empty msgstr, or the same translation
    std::string codeLearnt;    // the language code the column got, if any
};

enum class PoImportResult {
    Done,
    LanguageMismatch, // the file's language is not the column's; nothing changed
    OutOfMemory,      // some messages were not taken over
};

// Takes the messages of `catalog` into column `column` (0 ... 19) of the
// loaded dictionary; the caller saves. A non-empty msgstr fills the cell of
// its msgid's row (of every row with that German text); a msgid the
// dictionary does not have yet becomes a new row with its index entry; fuzzy
// and obsolete messages, messages with a context and plural ones are
// skipped; an empty msgstr, or one that differs only in the blanks and line
// breaks around it, leaves the cell as it is. Column 0 takes no msgstr that
// differs from its msgid (German texts are the keys). `code` (may be empty)
// is the language the caller names; it and the file's "Language:" must name
// the column's language; a free column without a code learns it, unless
// another column already has that very code. `why` explains a mismatch.
PoImportResult ImportPo(const PoCatalog& catalog, int column, std::string_view code,
                        PoImportSummary& summary, std::string& why);

// UTF-8 <-> UTF-16 for the dictionary's cells. Utf8ToUtf16 expects valid
// UTF-8 (ParsePo checks it); Utf16ToUtf8 is false for a lone surrogate.
std::u16string Utf8ToUtf16(std::string_view text);
bool Utf16ToUtf8(std::u16string_view text, std::string& out);
// True when `text` is valid UTF-8 (no overlong forms, surrogates or values
// beyond U+10FFFF).
bool IsValidUtf8(std::string_view text);

} // namespace i18n
