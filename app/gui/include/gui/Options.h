#pragma once
// The per-user data folder and the language file options.dat.
//
// options.dat holds exactly 4 bytes: the language as a signed 32-bit
// little-endian number (0 German, 1 English, 2 ... 19 further dictionary
// columns). Reading never fails loudly: a missing, short or unreadable file,
// or a value outside 0 ... 19, means German.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace gui {

// Folder for per-user data files, ending with "/": the user's configuration
// folder + "Velkor/Quadrix/". When the platform names no such folder the
// program folder `progpath` is used and nothing is created. With `create`
// every missing folder of the path is made.
QString GetProgramDir(bool create, const QString& progpath);

// Languages that name a dictionary column.
inline constexpr int MaxLanguage = 19;

// The language in the bytes of an options.dat: German (0) when they are
// fewer than 4 or hold a value outside 0 ... 19; bytes after the fourth are
// ignored.
int languageFromOptions(std::string_view bytes);
// The 4 bytes of an options.dat holding `language`.
std::string optionsBytes(int language);

// The language stored in `fileName`; empty when the file is missing or
// unreadable (also a FIFO, folder or device in its place, which is never
// waited for), German (0) when it is short or holds a value outside 0 ... 19.
std::optional<int> readLanguageFile(const QString& fileName);

// Replaces `fileName` by exactly 4 bytes holding `language`, through a
// hidden temporary file flushed to the disk before it takes the old one's
// place. The old file stays as it was when the new one cannot be written.
// False on failure.
bool writeLanguageFile(const QString& fileName, int language);

} // namespace gui
