#pragma once
// Language codes of the dictionary's columns. Columns 0 ... 3 have fixed
// codes (de, en, fr, nl); the free columns 4 ... 19 get theirs from the first
// PO file imported into them, and translate.dat keeps it (DictionaryFile.h).
// A code is what gettext's "Language:" header holds: a two- or three-letter
// language ("pt"), optionally a country ("pt_BR") and a variant
// ("sr@latin").

#include <string>
#include <string_view>

namespace i18n {

// Columns whose code comes from the fixed table.
inline constexpr int KnownColumns = 4;

// "de", "en", "fr", "nl" for columns 0 ... 3; empty for every other column.
std::string_view KnownColumnCode(int column);

// The code in its usual spelling ("pt_BR" for "PT_br"), or empty when `code`
// is none: 2 or 3 ASCII letters, then optionally "_" (or "-") and 2 letters or
// 3 digits, then optionally "@" and 1 to 16 ASCII letters or digits.
std::string NormalizeLanguageCode(std::string_view code);

// The language part of a code ("pt" of "pt_BR"), lower case.
std::string_view PrimaryLanguage(std::string_view code);

// True when two codes name the same language (their primary parts agree).
bool SameLanguage(std::string_view a, std::string_view b);

// gettext's plural rule for the code ("nplurals=2; plural=(n != 1);" where
// the table knows no other).
std::string PluralForms(std::string_view code);

} // namespace i18n
