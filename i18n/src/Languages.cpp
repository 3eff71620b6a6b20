#include "i18n/Languages.h"

#include <array>
#include <cstddef>

namespace i18n {

namespace {

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

struct PluralRule {
    const char* languages; // primary codes separated by blanks, each followed by one
    const char* rule;
};

// The rules gettext's manual gives for the languages a translator is likely
// to add; everything else counts like German and English.
constexpr std::array<PluralRule, 9> PluralRules{{
    {"ja ko zh vi th id ms lo km my ", "nplurals=1; plural=0;"},
    {"fr oc ", "nplurals=2; plural=(n > 1);"},
    {"ru uk be sr hr bs ",
     "nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || "
     "n%100>=20) ? 1 : 2);"},
    {"pl ",
     "nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);"},
    {"cs sk ", "nplurals=3; plural=(n==1) ? 0 : (n>=2 && n<=4) ? 1 : 2;"},
    {"lt ",
     "nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && (n%100<10 || n%100>=20) ? 1 : 2);"},
    {"lv ", "nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n != 0 ? 1 : 2);"},
    {"ro ", "nplurals=3; plural=(n==1 ? 0 : (n==0 || (n%100 > 0 && n%100 < 20)) ? 1 : 2);"},
    {"sl ", "nplurals=4; plural=(n%100==1 ? 0 : n%100==2 ? 1 : n%100==3 || n%100==4 ? 2 : 3);"},
}};

} // namespace

std::string_view KnownColumnCode(int column) {
    static constexpr std::array<std::string_view, KnownColumns> codes{"de", "en", "fr", "nl"};
    return column >= 0 && column < KnownColumns ? codes[static_cast<std::size_t>(column)]
                                                : std::string_view();
}

std::string NormalizeLanguageCode(std::string_view code) {
    std::string out;
    std::size_t i = 0;
    while (i < code.size() && isLetter(code[i]))
        out.push_back(lower(code[i++]));
    if (out.size() < 2 || out.size() > 3)
        return {};
    if (i < code.size() && (code[i] == '_' || code[i] == '-')) {
        ++i;
        std::size_t n = 0;
        std::string region;
        while (i + n < code.size() && (isLetter(code[i + n]) || isDigit(code[i + n])))
            region.push_back(upper(code[i + n++]));
        const bool letters = n == 2 && isLetter(region[0]) && isLetter(region[1]);
        const bool digits =
            n == 3 && isDigit(region[0]) && isDigit(region[1]) && isDigit(region[2]);
        if (!letters && !digits)
            return {};
        out += '_';
        out += region;
        i += n;
    }
    if (i < code.size() && code[i] == '@') {
        ++i;
        std::size_t n = 0;
        while (i + n < code.size() && (isLetter(code[i + n]) || isDigit(code[i + n])))
            ++n;
        if (n == 0 || n > 16)
            return {};
        out += '@';
        out.append(code.substr(i, n));
        i += n;
    }
    return i == code.size() ? out : std::string();
}

std::string_view PrimaryLanguage(std::string_view code) {
    std::size_t n = 0;
    while (n < code.size() && isLetter(code[n]))
        ++n;
    return code.substr(0, n);
}

bool SameLanguage(std::string_view a, std::string_view b) {
    const std::string_view pa = PrimaryLanguage(a);
    const std::string_view pb = PrimaryLanguage(b);
    if (pa.empty() || pa.size() != pb.size())
        return false;
    for (std::size_t i = 0; i < pa.size(); ++i)
        if (lower(pa[i]) != lower(pb[i]))
            return false;
    return true;
}

std::string PluralForms(std::string_view code) {
    std::string key;
    for (char c : PrimaryLanguage(code))
        key.push_back(lower(c));
    // Brazilian Portuguese counts like French, Portugal's like German.
    if (key == "pt" && code.size() >= 5 && upper(code[3]) == 'B' && upper(code[4]) == 'R')
        return PluralRules[1].rule;
    if (!key.empty()) {
        key.push_back(' ');
        for (const PluralRule& r : PluralRules) {
            const std::string_view list = r.languages;
            for (std::size_t at = 0; at < list.size();) {
                const std::size_t end = list.find(' ', at);
                if (list.substr(at, end - at + 1) == key)
                    return r.rule;
                at = end + 1;
            }
        }
    }
    return "nplurals=2; plural=(n != 1);";
}

} // namespace i18n
