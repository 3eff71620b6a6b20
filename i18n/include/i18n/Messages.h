#pragma once
// The program's built-in German messages, fetched by number and translated
// through the dictionary. The numbers are fixed: other parts of the program
// refer to them.

#include <string>

namespace i18n {

struct MessageEntry {
    int number;
    const char16_t* text;
};

// 1, 2, 3, 8 and 9, in ascending order.
extern const MessageEntry MessageTable[5];

// Message n translated into the current language; empty for a number without
// an entry.
std::u16string MessageText(int n);

// Looks up every message once, in ascending order, so that the dictionary
// learns the ones it does not hold yet.
void RegisterMessages();

} // namespace i18n
