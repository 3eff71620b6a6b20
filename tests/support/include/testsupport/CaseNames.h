#pragma once
// Readable names of parameterised cases: GoogleTest would number them.

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// "<prefix><value>"; a negative value reads "<prefix>Minus<digits>".
inline std::string numberedName(const std::string& prefix, long long value) {
    return value < 0 ? prefix + "Minus" + std::to_string(-value) : prefix + std::to_string(value);
}

// A text as a case name: its letters and digits, each word starting in
// upper case ("column 3" -> "Column3", "*.bmp;*.jpg" -> "BmpJpg"); "Empty"
// when it has none.
inline std::string identifier(const std::string& text) {
    std::string name;
    bool wordStart = true;
    for (const char c : text) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) {
            wordStart = true;
            continue;
        }
        name += wordStart && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        wordStart = false;
    }
    return name.empty() ? "Empty" : name;
}

// Name generator for integer cases: numbered<int>("Bits") names 24 "Bits24".
template <class T> auto numbered(std::string prefix) {
    return [prefix](const testing::TestParamInfo<T>& p) {
        return numberedName(prefix, static_cast<long long>(p.param));
    };
}

// Name generator for cases that print themselves (PrintTo or <<): the printed
// text as an identifier, with the case's place in the list behind it, since
// two texts may differ only in signs ("10.5" and "10,5").
template <class T> auto printed() {
    return [](const testing::TestParamInfo<T>& p) {
        return identifier(testing::PrintToString(p.param)) + "_" + std::to_string(p.index);
    };
}

} // namespace testsupport
