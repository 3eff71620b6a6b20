#pragma once
// The windows' side of the dictionary: every German text a window shows goes
// through Translate, every built-in message through MessageText. Both work on
// QString and hand the UTF-16 text to the dictionary unchanged.

#include <QString>

namespace app {

// The text in the current language (the dictionary column the workspace's
// `language` names), with the input's leading and trailing blanks kept. A text
// the dictionary does not know comes back unchanged and is learnt (appended
// to translate.dat). An empty text stays empty and is not looked up.
QString Translate(const QString& text);

// Built-in message n, translated; empty for a number without an entry.
QString MessageText(int n);

} // namespace app
