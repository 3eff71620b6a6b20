#include "i18n/Po.h"

#include "foundation/HexDigit.h"
#include "i18n/Dictionary.h"
#include "i18n/Languages.h"

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <unordered_map>
#include <utility>

namespace i18n {

namespace {

// ---------------------------------------------------------------- UTF-8

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when invalid.
std::size_t sequenceLength(const unsigned char* p, std::size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0; // no overlong forms
        if (c == 0xED)
            hi = 0x9F; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F; // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (n < len || p[1] < lo || p[1] > hi)
        return 0;
    for (std::size_t i = 2; i < len; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return len;
}

// ---------------------------------------------------------------- reading

enum class Stage { None, Context, Id, IdPlural, Str };

class Parser {
public:
    Parser(std::string_view text, PoCatalog& out, PoError& error)
        : m_text(text), m_out(out), m_error(error) {}

    bool run() {
        m_out = PoCatalog{};
        std::size_t at = 0;
        // A byte-order mark is no text.
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF")
            at = 3;
        while (at <= m_text.size()) {
            ++m_lineNo;
            std::size_t end = m_text.find('\n', at);
            if (end == std::string_view::npos)
                end = m_text.size();
            std::string_view line = m_text.substr(at, end - at);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (!checkLine(line) || !parseLine(line))
                return false;
            if (end == m_text.size())
                break;
            at = end + 1;
        }
        if (m_stage == Stage::Str)
            return finishEntry();
        if (m_stage != Stage::None)
            return fail(m_entry.line != 0 ? m_entry.line : m_lineNo, PoFault::Order,
                        "the message ends without a msgstr");
        return true;
    }

private:
    bool fail(int line, PoFault fault, std::string reason) {
        m_error.line = line;
        m_error.fault = fault;
        m_error.reason = std::move(reason);
        return false;
    }

    // The raw bytes of a line: UTF-8, no NUL.
    bool checkLine(std::string_view line) {
        const auto* p = reinterpret_cast<const unsigned char*>(line.data());
        for (std::size_t i = 0; i < line.size();) {
            if (p[i] == 0)
                return fail(m_lineNo, PoFault::NulByte, "a NUL byte");
            const std::size_t n = sequenceLength(p + i, line.size() - i);
            if (n == 0)
                return fail(m_lineNo, PoFault::NotUtf8, "bytes that are no UTF-8");
            i += n;
        }
        return true;
    }

    static std::string_view skipBlanks(std::string_view s) {
        std::size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        return s.substr(i);
    }

    static bool startsWord(std::string_view s, std::string_view word) {
        if (s.substr(0, word.size()) != word)
            return false;
        if (s.size() == word.size())
            return true;
        const char next = s[word.size()];
        return next == ' ' || next == '\t' || next == '"';
    }

    bool parseLine(std::string_view line) {
        std::string_view s = skipBlanks(line);
        bool obsolete = false;
        if (s.substr(0, 2) == "#~") {
            s = s.substr(2);
            if (!s.empty() && s[0] == '|')
                return true; // the previous text of an obsolete message
            obsolete = true;
            s = skipBlanks(s);
            if (s.empty())
                return true;
        } else if (!s.empty() && s[0] == '#') {
            return comment(s);
        }
        if (s.empty()) {
            // A blank line ends a message; inside one gettext allows it.
            if (m_stage == Stage::Str)
                return finishEntry();
            return true;
        }
        if (s[0] == '"') {
            if (m_stage == Stage::None)
                return fail(m_lineNo, PoFault::Order, "a string without msgid or msgstr before it");
            if (!sameKind(obsolete))
                return false;
            return strings(s, *m_field);
        }
        if (startsWord(s, "msgctxt"))
            return keyword(Stage::Context, s.substr(7), obsolete);
        if (startsWord(s, "msgid_plural"))
            return keyword(Stage::IdPlural, s.substr(12), obsolete);
        if (startsWord(s, "msgid"))
            return keyword(Stage::Id, s.substr(5), obsolete);
        if (s.substr(0, 7) == "msgstr[")
            return pluralMsgstr(s.substr(7), obsolete);
        if (startsWord(s, "msgstr"))
            return keyword(Stage::Str, s.substr(6), obsolete);
        return fail(m_lineNo, PoFault::NotPo, "neither a comment, a keyword nor a string");
    }

    bool comment(std::string_view s) {
        // A comment belongs to the next message.
        if (m_stage == Stage::Str && !finishEntry())
            return false;
        if (m_stage != Stage::None)
            return fail(m_lineNo, PoFault::Order, "a comment inside a message");
        if (s.substr(0, 2) == "#,") {
            std::string_view flags = s.substr(2);
            while (!flags.empty()) {
                const std::size_t comma = flags.find(',');
                std::string_view flag = skipBlanks(flags.substr(0, comma));
                while (!flag.empty() && (flag.back() == ' ' || flag.back() == '\t'))
                    flag.remove_suffix(1);
                if (flag == "fuzzy")
                    m_pendingFuzzy = true;
                if (comma == std::string_view::npos)
                    break;
                flags = flags.substr(comma + 1);
            }
        }
        return true;
    }

    // A line of a message in progress must be as obsolete as the message.
    bool sameKind(bool obsolete) {
        if (obsolete == m_entry.obsolete)
            return true;
        return fail(m_lineNo, PoFault::Order, "a message mixes obsolete (#~) and other lines");
    }

    bool keyword(Stage stage, std::string_view rest, bool obsolete) {
        const bool starts =
            stage == Stage::Context || (stage == Stage::Id && m_stage != Stage::Context);
        if (!starts && m_stage != Stage::None && !sameKind(obsolete))
            return false;
        switch (stage) {
        case Stage::Context:
        case Stage::Id:
            if (m_stage == Stage::Str && !finishEntry())
                return false;
            if (stage == Stage::Context && m_stage != Stage::None)
                return fail(m_lineNo, PoFault::Order, "msgctxt inside a message");
            if (stage == Stage::Id && m_stage != Stage::None && m_stage != Stage::Context)
                return fail(m_entry.line, PoFault::Order, "the msgid has no msgstr");
            if (m_stage == Stage::None)
                startEntry(obsolete);
            if (stage == Stage::Context) {
                m_entry.hasContext = true;
                m_field = &m_entry.context;
            } else {
                m_entry.line = m_lineNo;
                m_field = &m_entry.msgid;
            }
            break;
        case Stage::IdPlural:
            if (m_stage != Stage::Id)
                return fail(m_lineNo, PoFault::Order, "msgid_plural without a msgid before it");
            m_entry.plural = true;
            m_field = &m_entry.msgidPlural;
            break;
        case Stage::Str:
            if (m_stage != Stage::Id)
                return fail(m_lineNo, PoFault::Order,
                            m_stage == Stage::IdPlural
                                ? "a plural message needs msgstr[0], msgstr[1] ..."
                                : "msgstr without a msgid before it");
            m_entry.msgstr.emplace_back();
            m_field = &m_entry.msgstr.back();
            break;
        case Stage::None:
            break;
        }
        m_stage = stage;
        return strings(skipBlanks(rest), *m_field, true);
    }

    bool pluralMsgstr(std::string_view s, bool obsolete) {
        if (m_stage != Stage::None && !sameKind(obsolete))
            return false;
        std::size_t digits = 0;
        while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 3 || digits >= s.size() || s[digits] != ']')
            return fail(m_lineNo, PoFault::NotPo, "msgstr[ needs a number and ]");
        std::size_t n = 0;
        for (std::size_t i = 0; i < digits; ++i)
            n = n * 10 + static_cast<std::size_t>(s[i] - '0');
        const bool first = m_stage == Stage::IdPlural && n == 0;
        const bool next = m_stage == Stage::Str && m_entry.plural && n == m_entry.msgstr.size();
        if (!first && !next)
            return fail(m_lineNo, PoFault::Order,
                        m_entry.plural ? "msgstr[" + std::to_string(n) + "] out of order"
                                       : "msgstr[] without msgid_plural");
        m_entry.msgstr.emplace_back();
        m_field = &m_entry.msgstr.back();
        m_stage = Stage::Str;
        const std::string_view rest = s.substr(digits + 1);
        if (!rest.empty() && rest[0] != ' ' && rest[0] != '\t' && rest[0] != '"')
            return fail(m_lineNo, PoFault::BadQuoting,
                        "text after msgstr[" + std::to_string(n) + "]");
        return strings(skipBlanks(rest), *m_field, true);
    }

    // One or more quoted strings, and nothing else, appended to `field`.
    bool strings(std::string_view s, std::string& field, bool required = true) {
        bool any = false;
        while (!s.empty()) {
            if (s[0] != '"')
                return fail(m_lineNo, PoFault::BadQuoting,
                            any ? "text after the string" : "a string must start with \"");
            std::size_t i = 1;
            for (;;) {
                if (i >= s.size())
                    return fail(m_lineNo, PoFault::Unterminated, "the string is not terminated");
                const char c = s[i];
                if (c == '"')
                    break;
                // gettext writes control characters other than the
                // escaped ones as they are.
                if (c != '\\') {
                    field.push_back(c);
                    ++i;
                    continue;
                }
                if (++i >= s.size())
                    return fail(m_lineNo, PoFault::Unterminated, "the string is not terminated");
                if (!escape(s, i, field))
                    return false;
            }
            any = true;
            s = skipBlanks(s.substr(i + 1));
        }
        if (!any && required)
            return fail(m_lineNo, PoFault::BadQuoting, "a keyword without its string");
        return true;
    }

    // The escape whose letter is at s[i]; i moves past it.
    bool escape(std::string_view s, std::size_t& i, std::string& field) {
        const char c = s[i];
        // The escapes gettext reads (not C's \' and \?).
        static constexpr std::string_view letters = "ntrabfv\\\"";
        static constexpr std::string_view values = "\n\t\r\a\b\f\v\\\"";
        if (const std::size_t k = letters.find(c); k != std::string_view::npos) {
            field.push_back(values[k]);
            ++i;
            return true;
        }
        unsigned value = 0;
        if (c >= '0' && c <= '7') {
            for (int n = 0; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n)
                value = value * 8 + static_cast<unsigned>(s[i++] - '0');
        } else if (c == 'x') {
            ++i;
            int n = 0;
            for (;
                 n < 2 && i < s.size() && fp::hexDigitValue(static_cast<unsigned char>(s[i])) >= 0;
                 ++n)
                value = value * 16 + static_cast<unsigned>(
                                         fp::hexDigitValue(static_cast<unsigned char>(s[i++])));
            if (n == 0)
                return fail(m_lineNo, PoFault::BadEscape, "\\x without a hexadecimal digit");
        } else {
            return fail(m_lineNo, PoFault::BadEscape,
                        std::string("an unknown escape \\") + (static_cast<unsigned char>(c) < 0x80
                                                                   ? std::string(1, c)
                                                                   : std::string("...")));
        }
        if (value == 0)
            return fail(m_lineNo, PoFault::NulByte, "an escape for the NUL character");
        if (value > 0xFF)
            return fail(m_lineNo, PoFault::BadEscape, "an octal escape beyond one byte");
        field.push_back(static_cast<char>(value));
        return true;
    }

    void startEntry(bool obsolete) {
        m_entry = PoEntry{};
        m_entry.obsolete = obsolete;
        m_entry.fuzzy = m_pendingFuzzy;
        m_pendingFuzzy = false;
    }

    bool finishEntry() {
        m_stage = Stage::None;
        m_field = nullptr;
        // Escapes may have made bytes that are no UTF-8.
        for (const std::string* f : fields(m_entry))
            if (!IsValidUtf8(*f))
                return fail(m_entry.line, PoFault::NotUtf8,
                            "an escape makes bytes that are no UTF-8");
        if (!m_entry.obsolete) {
            std::string key = m_entry.hasContext ? "1" + m_entry.context : "0";
            key.push_back('\x04');
            key += m_entry.msgid;
            const auto [it, fresh] = m_keys.emplace(std::move(key), m_entry.line);
            if (!fresh)
                return fail(m_entry.line, PoFault::Duplicate,
                            "the message of line " + std::to_string(it->second) + " again");
            if (!m_entry.hasContext && m_entry.msgid.empty() && !header())
                return false;
        }
        m_out.entries.push_back(std::move(m_entry));
        m_entry = PoEntry{};
        return true;
    }

    static std::vector<const std::string*> fields(const PoEntry& e) {
        std::vector<const std::string*> out{&e.context, &e.msgid, &e.msgidPlural};
        for (const std::string& s : e.msgstr)
            out.push_back(&s);
        return out;
    }

    static std::string_view trimmed(std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.remove_suffix(1);
        return s;
    }

    static std::string lower(std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    }

    // The header's fields: the language, and a charset that must be UTF-8.
    bool header() {
        const std::string& h = m_entry.msgstr.front();
        std::size_t at = 0;
        while (at < h.size()) {
            std::size_t end = h.find('\n', at);
            if (end == std::string::npos)
                end = h.size();
            const std::string_view line(h.data() + at, end - at);
            const std::size_t colon = line.find(':');
            if (colon != std::string_view::npos) {
                const std::string name = lower(trimmed(line.substr(0, colon)));
                const std::string_view value = trimmed(line.substr(colon + 1));
                if (name == "language") {
                    m_out.language = std::string(value);
                } else if (name == "content-type") {
                    const std::string v = lower(value);
                    const std::size_t cs = v.find("charset=");
                    if (cs != std::string::npos) {
                        std::string charset = v.substr(cs + 8);
                        charset = std::string(trimmed(charset.substr(0, charset.find(';'))));
                        if (charset != "utf-8" && charset != "utf8" && charset != "charset" &&
                            charset != "us-ascii" && charset != "ascii")
                            return fail(m_entry.line, PoFault::Charset,
                                        "the file is in the charset " + charset +
                                            ", not UTF-8 (msgconv --to-code=UTF-8 converts it)");
                    }
                }
            }
            at = end + 1;
        }
        return true;
    }

    std::string_view m_text;
    PoCatalog& m_out;
    PoError& m_error;
    int m_lineNo = 0;
    Stage m_stage = Stage::None;
    PoEntry m_entry;
    std::string* m_field = nullptr;
    bool m_pendingFuzzy = false;
    std::map<std::string, int> m_keys;
};

// ---------------------------------------------------------------- writing

void appendEscaped(std::string& out, std::string_view s) {
    for (const char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\v':
            out += "\\v";
            break;
        default: {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F) {
                out += '\\';
                out += static_cast<char>('0' + (u >> 6));
                out += static_cast<char>('0' + ((u >> 3) & 7));
                out += static_cast<char>('0' + (u & 7));
            } else {
                out += c;
            }
        }
        }
    }
}

// `keyword "text"`; a text with a line break before its end as gettext
// writes it: an empty first string, then one line per piece.
void appendField(std::string& out, std::string_view prefix, std::string_view keyword,
                 std::string_view text) {
    out += prefix;
    out += keyword;
    const std::size_t firstBreak = text.find('\n');
    if (firstBreak == std::string_view::npos || firstBreak + 1 == text.size()) {
        out += " \"";
        appendEscaped(out, text);
        out += "\"\n";
        return;
    }
    out += " \"\"\n";
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        out += prefix;
        out += '"';
        appendEscaped(out, text.substr(at, end - at));
        out += "\"\n";
        at = end;
    }
}

// ---------------------------------------------------------------- dictionary

std::u16string_view withoutControls(std::u16string_view s) {
    while (!s.empty() && s.front() <= u' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() <= u' ')
        s.remove_suffix(1);
    return s;
}

std::u16string_view withoutBlanks(std::u16string_view s) {
    while (!s.empty() && s.front() == u' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == u' ')
        s.remove_suffix(1);
    return s;
}

// Texts a PO file can carry: valid UTF-16 without NUL.
bool toPoText(std::u16string_view s, std::string& out) {
    return s.find(u'\0') == std::u16string_view::npos && Utf16ToUtf8(s, out);
}

// A translation's line breaks at its ends made to match the German text's,
// which msgfmt --check demands; the lookup trims them anyway.
std::string matchLineBreaks(const std::string& msgid, std::string msgstr) {
    if (msgstr.empty())
        return msgstr;
    const bool idFront = !msgid.empty() && msgid.front() == '\n';
    const bool idBack = !msgid.empty() && msgid.back() == '\n';
    if (!idFront)
        msgstr.erase(0, msgstr.find_first_not_of('\n') == std::string::npos
                            ? msgstr.size()
                            : msgstr.find_first_not_of('\n'));
    if (!idBack)
        while (!msgstr.empty() && msgstr.back() == '\n')
            msgstr.pop_back();
    if (msgstr.empty())
        return msgstr;
    if (idFront && msgstr.front() != '\n')
        msgstr.insert(msgstr.begin(), '\n');
    if (idBack && msgstr.back() != '\n')
        msgstr.push_back('\n');
    return msgstr;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = sequenceLength(p + i, text.size() - i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = sequenceLength(p + i, text.size() - i);
        if (n == 0) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        char32_t cp = n == 1   ? p[i]
                      : n == 2 ? (p[i] & 0x1Fu)
                      : n == 3 ? (p[i] & 0x0Fu)
                               : (p[i] & 0x07u);
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3Fu);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return out;
}

bool Utf16ToUtf8(std::u16string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00u);
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

bool ParsePo(std::string_view text, PoCatalog& out, PoError& error) {
    error = PoError{};
    return Parser(text, out, error).run();
}

std::string WritePo(const std::vector<PoEntry>& entries, std::string_view comment) {
    std::string out;
    std::size_t at = 0;
    while (at < comment.size()) {
        std::size_t end = comment.find('\n', at);
        if (end == std::string_view::npos)
            end = comment.size();
        out += "# ";
        out += comment.substr(at, end - at);
        out += '\n';
        at = end + 1;
    }
    bool first = true;
    for (const PoEntry& e : entries) {
        if (!first || !out.empty())
            out += '\n';
        first = false;
        if (e.fuzzy)
            out += "#, fuzzy\n";
        const std::string_view prefix = e.obsolete ? "#~ " : "";
        if (e.hasContext)
            appendField(out, prefix, "msgctxt", e.context);
        appendField(out, prefix, "msgid", e.msgid);
        if (e.plural) {
            appendField(out, prefix, "msgid_plural", e.msgidPlural);
            for (std::size_t i = 0; i < e.msgstr.size(); ++i)
                appendField(out, prefix, "msgstr[" + std::to_string(i) + "]", e.msgstr[i]);
        } else {
            appendField(out, prefix, "msgstr", e.msgstr.empty() ? std::string() : e.msgstr.front());
        }
    }
    return out;
}

PoExport ExportPo(int column, const PoHeader& header) {
    PoExport result;
    if (column < 0 || column >= DictColumns)
        return result;
    const auto& rows = DictionaryRows();
    // Per German text: the first row, and the first row with a translation.
    struct Pick {
        std::uint32_t first;
        std::uint32_t translated;
    };
    std::unordered_map<std::u16string_view, Pick> picks;
    for (std::uint32_t r = 0; r < rows.count(); ++r) {
        const std::u16string& german = rows[r].cell[0];
        if (german.empty())
            continue;
        auto [it, fresh] = picks.emplace(german, Pick{r, UINT32_MAX});
        if (it->second.translated == UINT32_MAX && !rows[r].cell[column].empty())
            it->second.translated = r;
        (void)fresh;
    }

    std::vector<PoEntry> entries;
    PoEntry head;
    head.msgstr.push_back("Project-Id-Version: " + header.projectVersion +
                          "\n"
                          "PO-Revision-Date: " +
                          header.revisionDate +
                          "\n"
                          "Last-Translator: \n"
                          "Language-Team: \n"
                          "Language: " +
                          header.language +
                          "\n"
                          "MIME-Version: 1.0\n"
                          "Content-Type: text/plain; charset=UTF-8\n"
                          "Content-Transfer-Encoding: 8bit\n"
                          "Plural-Forms: " +
                          PluralForms(header.language) + "\n");
    entries.push_back(std::move(head));
    for (std::uint32_t r = 0; r < rows.count(); ++r) {
        const std::u16string& german = rows[r].cell[0];
        if (german.empty())
            continue;
        const Pick& pick = picks.at(german);
        if (pick.first != r)
            continue; // the text was exported with its first row
        const std::uint32_t from = pick.translated != UINT32_MAX ? pick.translated : r;
        PoEntry e;
        std::string msgstr;
        if (!toPoText(german, e.msgid) || !toPoText(rows[from].cell[column], msgstr)) {
            ++result.leftOut;
            continue;
        }
        e.msgstr.push_back(column == 0 ? e.msgid : matchLineBreaks(e.msgid, std::move(msgstr)));
        entries.push_back(std::move(e));
        ++result.messages;
    }
    std::string comment = "Fassadenplan dictionary, column " + std::to_string(column);
    if (!header.language.empty())
        comment += " (" + header.language + ")";
    comment += ".\nmsgid is the German text; msgstr its translation, empty where there is none.";
    result.text = WritePo(entries, comment);
    return result;
}

PoImportResult ImportPo(const PoCatalog& catalog, int column, std::string_view code,
                        PoImportSummary& summary, std::string& why) {
    summary = PoImportSummary{};
    why.clear();
    if (column < 0 || column >= DictColumns) {
        why = "there is no column " + std::to_string(column);
        return PoImportResult::LanguageMismatch;
    }
    // The language first: nothing changes when it does not fit.
    const std::string fileCode = NormalizeLanguageCode(catalog.language);
    const std::string named = NormalizeLanguageCode(code);
    const std::string columnCode = ColumnCode(column);
    for (const std::string* c : {&fileCode, &named}) {
        if (c->empty())
            continue;
        const std::string& against = columnCode.empty() ? fileCode : columnCode;
        if (!against.empty() && !SameLanguage(*c, against)) {
            why = "the file is for the language " + *c + ", column " + std::to_string(column) +
                  " holds " + against;
            return PoImportResult::LanguageMismatch;
        }
    }
    std::string learn;
    if (columnCode.empty()) {
        learn = !named.empty() ? named : fileCode;
        if (!learn.empty()) {
            const int other = ColumnOfCode(learn);
            if (other >= 0 && ColumnCode(other) == learn) {
                why = "column " + std::to_string(other) + " already holds the language " + learn;
                return PoImportResult::LanguageMismatch;
            }
        }
    }

    auto& rows = DictionaryRows();
    std::unordered_map<std::u16string, std::vector<std::int32_t>> byGerman;
    for (std::uint32_t r = 0; r < rows.count(); ++r)
        if (!rows[r].cell[0].empty())
            byGerman[rows[r].cell[0]].push_back(static_cast<std::int32_t>(r));

    PoImportResult result = PoImportResult::Done;
    for (const PoEntry& e : catalog.entries) {
        if (!e.hasContext && e.msgid.empty() && !e.obsolete)
            continue; // the header
        if (e.fuzzy || e.obsolete || e.hasContext || e.plural || e.msgstr.empty()) {
            ++summary.skipped;
            continue;
        }
        std::u16string german = Utf8ToUtf16(e.msgid);
        auto found = byGerman.find(german);
        if (found == byGerman.end()) {
            // The lookup never sees blanks around a text.
            german = std::u16string(withoutBlanks(german));
            if (german.empty()) {
                ++summary.skipped;
                continue;
            }
            found = byGerman.find(german);
        }
        const std::u16string value = Utf8ToUtf16(e.msgstr.front());
        if (found == byGerman.end()) {
            const std::int32_t r = AddDictionaryRow(german);
            if (r < 0) {
                result = PoImportResult::OutOfMemory;
                ++summary.skipped;
                continue;
            }
            if (column != 0)
                rows[static_cast<std::uint32_t>(r)].cell[column] = value;
            byGerman[german].push_back(r);
            ++summary.added;
            continue;
        }
        if (value.empty()) {
            ++summary.unchanged;
            continue;
        }
        if (column == 0) {
            ++(value == german ? summary.unchanged : summary.skipped);
            continue;
        }
        bool changed = false;
        for (const std::int32_t r : found->second) {
            std::u16string& cell = rows[static_cast<std::uint32_t>(r)].cell[column];
            if (withoutControls(cell) != withoutControls(value)) {
                cell = value;
                changed = true;
            }
        }
        ++(changed ? summary.set : summary.unchanged);
    }
    if (!learn.empty() && SetColumnCode(column, learn))
        summary.codeLearnt = learn;
    return result;
}

} // namespace i18n
