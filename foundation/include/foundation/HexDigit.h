#pragma once
// The value of a hexadecimal digit, as the text files the program reads
// (settings, translators' PO files) spell their escapes.

namespace fp {

// 0 ... 15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for any other character.
constexpr int hexDigitValue(char32_t c) {
    if (c >= U'0' && c <= U'9')
        return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f')
        return static_cast<int>(c - U'a') + 10;
    if (c >= U'A' && c <= U'F')
        return static_cast<int>(c - U'A') + 10;
    return -1;
}

} // namespace fp
