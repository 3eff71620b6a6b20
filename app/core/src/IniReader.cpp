// The reader of the per-user INI file. It reads the text QSettings writes (and
// iniText writes) the way QSettings reads it: lines continued inside quotes
// and after a backslash, ';' comments, [sections] merged by name, keys with
// '\' for '/' and %XX / %UXXXX escapes, values with C escapes, quotes and
// comma lists, and the "@ByteArray(...)", "@String(...)", "@Rect(...)",
// "@Size(...)", "@Point(...)", "@Variant(...)" and "@Invalid()" forms.
//
// Where it keeps less than QSettings, on purpose: a "@Variant(...)" is read
// only for the plain geometric types (a stored data stream of any other type
// is not parsed at all), and lists that mix such forms, "@DateTime(...)"
// values and keys no lookup can reach (empty, with a leading, trailing or
// doubled '/') are left out.

#include "app/UserStore.h"
#include "foundation/HexDigit.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QLine>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringDecoder>

#include <array>
#include <cstring>

namespace app {

namespace {

bool isIniSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isIniSpecial(char c) {
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

struct IniLine {
    std::size_t start = 0;
    std::size_t length = 0;
    std::ptrdiff_t equals = -1; // position of the first '=' outside quotes
};

// The next logical line from `pos` on: leading blanks and ';' comment lines
// skipped, a quoted part or a backslash carrying it over line ends. False at
// the end of the text.
bool nextLine(std::string_view data, std::size_t& pos, IniLine& line) {
    const std::size_t n = data.size();
    bool inQuotes = false;
    line.equals = -1;
    std::size_t start = pos;
    while (start < n && isIniSpace(data[start]))
        ++start;
    std::size_t i = start;
    while (i < n) {
        char ch = data[i];
        while (!isIniSpecial(ch)) {
            if (++i == n)
                goto done;
            ch = data[i];
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && line.equals == -1)
                line.equals = static_cast<std::ptrdiff_t>(i - 1);
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        } else if (ch == '\\') {
            if (i < n) {
                const char escaped = data[i++];
                if (i < n) {
                    const char next = data[i];
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else { // ';'
            if (i == start + 1) {
                while (i < n && data[i] != '\n' && data[i] != '\r')
                    ++i;
                while (i < n && isIniSpace(data[i]))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        }
    }
done:
    pos = i;
    line.start = start;
    line.length = i - start;
    return line.length > 0;
}

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A section name or key: '\' is '/', %XX and %UXXXX are characters.
void appendUnescapedKey(std::string_view key, QString& out) {
    const QString decoded = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    const qsizetype size = decoded.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar ch = decoded.at(i);
        if (ch == u'\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == size - 1) {
            out += ch;
            ++i;
            continue;
        }
        int digits = 2;
        qsizetype first = i + 1;
        if (decoded.at(i + 1) == u'U') {
            ++first;
            digits = 4;
        }
        bool ok = false;
        const ushort code =
            first + digits > size ? 0 : QStringView(decoded).mid(first, digits).toUShort(&ok, 16);
        if (!ok) {
            out += u'%';
            ++i;
            continue;
        }
        out += QChar(code);
        i = first + digits;
    }
}

void chopTrailingBlanks(QString& s, qsizetype limit) {
    qsizetype n = s.size() - 1;
    while (n >= limit && (s.at(n) == u' ' || s.at(n) == u'\t'))
        s.truncate(n--);
}

// A value: C escapes, quoted parts, and commas outside quotes separating the
// items of a list. True when it is a list (then in `list`, else in `text`).
bool unescapeValue(std::string_view str, QString& text, QStringList& list) {
    static constexpr std::array<std::array<char, 2>, 11> Escapes = {{{'a', '\a'},
                                                                     {'b', '\b'},
                                                                     {'f', '\f'},
                                                                     {'n', '\n'},
                                                                     {'r', '\r'},
                                                                     {'t', '\t'},
                                                                     {'v', '\v'},
                                                                     {'"', '"'},
                                                                     {'?', '?'},
                                                                     {'\'', '\''},
                                                                     {'\\', '\\'}}};
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    bool chopAtEnd = true; // not after a backslash or number escape that ends the value
    const std::size_t n = str.size();
    std::size_t i = 0;
    QStringDecoder fromUtf8(QStringDecoder::Utf8);

    const auto skipBlanks = [&] {
        while (i < n && (str[i] == ' ' || str[i] == '\t'))
            ++i;
    };
    skipBlanks();
    qsizetype chopLimit = text.size();
    while (i < n) {
        const char ch = str[i];
        if (ch == '\\') {
            ++i;
            if (i >= n) {
                chopAtEnd = false;
                break;
            }
            const char e = str[i++];
            bool simple = false;
            for (const auto& code : Escapes) {
                if (e == code[0]) {
                    text += QLatin1Char(code[1]);
                    simple = true;
                    break;
                }
            }
            if (simple) {
                chopLimit = text.size();
                continue;
            }
            if (e == 'x' || (e >= '0' && e <= '7')) {
                // Every hex (octal) digit that follows belongs to the escape.
                const int base = e == 'x' ? 16 : 8;
                char16_t value = e == 'x' ? 0 : static_cast<char16_t>(e - '0');
                if (e == 'x' &&
                    (i >= n || fp::hexDigitValue(static_cast<unsigned char>(str[i])) < 0)) {
                    if (i >= n) {
                        chopAtEnd = false;
                        break;
                    }
                    chopLimit = text.size();
                    continue; // "\x" without digits stands for nothing
                }
                while (i < n) {
                    const int d = fp::hexDigitValue(static_cast<unsigned char>(str[i]));
                    if (d < 0 || d >= base)
                        break;
                    value = static_cast<char16_t>(value * base + d);
                    ++i;
                }
                text += QChar(value);
                if (i >= n) {
                    chopAtEnd = false;
                    break;
                }
                chopLimit = text.size();
                continue;
            }
            if ((e == '\n' || e == '\r') && i < n && (str[i] == '\n' || str[i] == '\r') &&
                str[i] != e)
                ++i;
            chopLimit = text.size(); // any other escaped character is dropped
        } else if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
                chopLimit = text.size();
            }
        } else if (ch == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingBlanks(text, chopLimit);
            if (!isList) {
                isList = true;
                list.clear();
            }
            list.append(text);
            text.clear();
            quoted = false;
            ++i;
            skipBlanks();
            chopLimit = text.size();
        } else {
            std::size_t j = i + 1;
            while (j < n && str[j] != '\\' && str[j] != '"' && str[j] != ',')
                ++j;
            text += fromUtf8(QByteArrayView(str.data() + i, static_cast<qsizetype>(j - i)));
            i = j;
        }
    }
    if (chopAtEnd && !quoted)
        chopTrailingBlanks(text, chopLimit);
    if (isList)
        list.append(text);
    return isList;
}

// The items of "@Rect(1 2 3 4)": split at blanks from `open` on.
QStringList splitArgs(const QString& s, qsizetype open) {
    QStringList result;
    QString item;
    for (qsizetype i = open + 1; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u')') {
            result.append(item);
        } else if (c == u' ') {
            result.append(item);
            item.clear();
        } else {
            item.append(c);
        }
    }
    return result;
}

// The data streams of the types a store can hold besides text and bytes.
bool isPlainStreamedType(quint32 id) {
    switch (id) {
    case QMetaType::QRect:
    case QMetaType::QRectF:
    case QMetaType::QSize:
    case QMetaType::QSizeF:
    case QMetaType::QLine:
    case QMetaType::QLineF:
    case QMetaType::QPoint:
    case QMetaType::QPointF:
        return true;
    default:
        return false;
    }
}

// A value's text as QSettings takes it; empty for the forms left out.
std::optional<QVariant> textToValue(const QString& s) {
    if (!s.startsWith(u'@'))
        return QVariant(s);
    if (s.endsWith(u')')) {
        if (s.startsWith(QLatin1String("@ByteArray(")))
            return QVariant(QStringView(s).mid(11).chopped(1).toLatin1());
        if (s.startsWith(QLatin1String("@String(")))
            return QVariant(QStringView(s).mid(8).chopped(1).toString());
        if (s.startsWith(QLatin1String("@DateTime(")))
            return std::nullopt;
        if (s.startsWith(QLatin1String("@Variant("))) {
            QByteArray stream = QStringView(s).mid(9).toLatin1();
            if (stream.size() < 4)
                return std::nullopt;
            const auto* b = reinterpret_cast<const unsigned char*>(stream.constData());
            const quint32 id = (quint32{b[0]} << 24) | (quint32{b[1]} << 16) |
                               (quint32{b[2]} << 8) | quint32{b[3]};
            if (!isPlainStreamedType(id))
                return std::nullopt;
            QDataStream ds(&stream, QIODevice::ReadOnly);
            ds.setVersion(QDataStream::Qt_4_0);
            QVariant v;
            ds >> v;
            if (!isPlainStreamedType(static_cast<quint32>(v.metaType().id())))
                return std::nullopt;
            return v;
        }
        if (s.startsWith(QLatin1String("@Rect("))) {
            const QStringList a = splitArgs(s, 5);
            if (a.size() == 4)
                return QVariant(QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()));
        } else if (s.startsWith(QLatin1String("@Size("))) {
            const QStringList a = splitArgs(s, 5);
            if (a.size() == 2)
                return QVariant(QSize(a[0].toInt(), a[1].toInt()));
        } else if (s.startsWith(QLatin1String("@Point("))) {
            const QStringList a = splitArgs(s, 6);
            if (a.size() == 2)
                return QVariant(QPoint(a[0].toInt(), a[1].toInt()));
        } else if (s == QLatin1String("@Invalid()")) {
            return QVariant();
        }
    }
    if (s.startsWith(QLatin1String("@@")))
        return QVariant(s.mid(1));
    return QVariant(s);
}

// A list's items; a list holding any "@" form other than "@@" is left out.
std::optional<QVariant> listToValue(QStringList list) {
    for (QString& item : list) {
        if (!item.startsWith(u'@'))
            continue;
        if (!item.startsWith(QLatin1String("@@")))
            return std::nullopt;
        item.remove(0, 1);
    }
    return QVariant(list);
}

// A key a lookup can reach: not empty, no '/' at either end, none doubled.
bool isReachableKey(const QString& key) {
    return !key.isEmpty() && !key.startsWith(u'/') && !key.endsWith(u'/') &&
           !key.contains(QLatin1String("//"));
}

} // namespace

IniValues iniValues(std::string_view data) {
    IniValues result;

    // The lines of each section, the parts of a section named twice joined.
    std::map<QString, std::string> sections;
    QString current;
    std::size_t currentStart = 0;
    // A byte order mark is no section header; it stays in the lines before
    // the first one, where a key right after it reads without it.
    std::size_t pos = data.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    IniLine line;
    const auto flush = [&](std::size_t end) {
        std::string& text = sections[current];
        if (!text.empty())
            text += '\n';
        text.append(data.substr(currentStart, end - currentStart));
    };
    while (nextLine(data, pos, line)) {
        if (data[line.start] != '[')
            continue;
        flush(line.start);
        const std::string_view header = data.substr(line.start, line.length);
        std::size_t close = header.find(']');
        if (close == std::string_view::npos) {
            result.wellFormed = false;
            close = header.size();
        }
        const std::string_view nameText = trimmed(header.substr(1, close - 1));
        const QByteArray name(nameText.data(), static_cast<qsizetype>(nameText.size()));
        current.clear();
        if (name.compare("general", Qt::CaseInsensitive) != 0) {
            if (name.compare("%general", Qt::CaseInsensitive) == 0)
                current = QString::fromLatin1(name.mid(1));
            else
                appendUnescapedKey(nameText, current);
            current += u'/';
        }
        currentStart = pos;
    }
    flush(data.size());

    for (const auto& [section, lines] : sections) {
        const std::string_view body = lines;
        std::size_t at = 0;
        while (nextLine(body, at, line)) {
            if (line.equals < 0) {
                if (body[line.start] != ';')
                    result.wellFormed = false;
                continue;
            }
            const auto equals = static_cast<std::size_t>(line.equals);
            QString key = section;
            appendUnescapedKey(trimmed(body.substr(line.start, equals - line.start)), key);
            const std::string_view raw =
                body.substr(equals + 1, line.start + line.length - equals - 1);
            QString text;
            text.reserve(static_cast<qsizetype>(raw.size())); // "" rather than a null text
            QStringList list;
            const bool isList = unescapeValue(raw, text, list);
            if (!isReachableKey(key))
                continue;
            std::optional<QVariant> value = isList ? listToValue(list) : textToValue(text);
            if (value)
                result.values[key] = *value;
            else
                result.values.erase(key);
        }
    }
    return result;
}

} // namespace app
