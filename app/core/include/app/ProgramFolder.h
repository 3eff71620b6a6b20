#pragma once
// The program's folder: where the program file really lies, and whether the
// dictionary beside it can be saved there. An installed program is started
// through bin/fassadenplan, a symbolic link into lib/fassadenplan/, where the
// dictionary translate.dat lies beside the real program file.

#include <string>

namespace app {

// The program file with every symbolic link resolved, as an absolute path.
// A path that does not exist or cannot be resolved comes back unchanged.
std::string resolveProgramFile(const std::string& programPath);

// True when a new file can be created in `folder` (with or without a
// trailing "/"). The dictionary is saved through a new file beside
// translate.dat, so in a folder that refuses one every learnt text and every
// edit of the translation editor stays in memory only. Probes by creating
// and removing an empty file of a unique name; nothing is left behind.
bool programFolderWritable(const std::string& folder);

// True when the dictionary in `progpath` (the program's folder ending with
// "/") can be saved: the folder takes a new file and an existing
// translate.dat is not write-protected (such a file is left as it is).
bool dictionarySavable(const std::string& progpath);

// What the translation editor says once, through Translate, when the
// program's folder is not writable.
inline constexpr const char* ProgramFolderReadOnlyNotice =
    "Der Programmordner ist schreibgeschützt: Änderungen am Wörterbuch werden nicht "
    "gespeichert.";

} // namespace app
