// Builds translate.dat from the readable dictionary table i18n/data/translate.tsv.
//
//   fp_mkdict SOURCE.tsv OUTPUT.dat
//
// The table is UTF-8 text, one dictionary row per line, the cells separated by
// tabs: German first, then English, French, Dutch and up to column 19. Empty
// lines and lines starting with "#" are comments; the first other line is the
// header row (German, English, ...) and is not part of the dictionary. Inside
// a cell "\t", "\n", "\r" and "\\" stand for a tab, a line break, a carriage
// return and a backslash.
//
// A German text must be written as the program looks it up: without leading
// or trailing blanks, and only once. Such faults end the tool with exit code 1
// and the line number, so a broken table never reaches the build.

#include "foundation/ReplaceFile.h"
#include "i18n/DictionaryFile.h"

#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Columns = i18n::DictColumns;

bool unescape(const QString& in, QString& out) {
    out.clear();
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in[i];
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i >= in.size())
            return false;
        switch (in[i].unicode()) {
        case u't':
            out += QLatin1Char('\t');
            break;
        case u'n':
            out += QLatin1Char('\n');
            break;
        case u'r':
            out += QLatin1Char('\r');
            break;
        case u'\\':
            out += QLatin1Char('\\');
            break;
        default:
            return false;
        }
    }
    return true;
}

int fail(const char* source, int line, const QString& why) {
    std::fprintf(stderr, "%s:%d: %s\n", source, line, why.toUtf8().constData());
    return 1;
}

std::u16string u16(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.constData()), static_cast<std::size_t>(s.size())};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fp_mkdict SOURCE.tsv OUTPUT.dat\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
        return 1;
    }
    const QStringList lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
    std::vector<i18n::tdictrow> rows;
    QSet<QString> seen;
    bool header = true;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const int lineNo = static_cast<int>(n + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList raw = line.split(QLatin1Char('\t'));
        if (raw.size() > Columns)
            return fail(argv[1], lineNo, QStringLiteral("more than 20 columns"));
        if (header) {
            if (raw.front() != QLatin1String("German"))
                return fail(argv[1], lineNo,
                            QStringLiteral("the header row must start with German"));
            header = false;
            continue;
        }
        QStringList cells;
        for (const QString& r : raw) {
            QString cell;
            if (!unescape(r, cell))
                return fail(argv[1], lineNo, QStringLiteral("unknown escape in: ") + r);
            cells << cell;
        }
        const QString& german = cells.front();
        if (german.trimmed().isEmpty())
            return fail(argv[1], lineNo, QStringLiteral("empty German text"));
        if (german.startsWith(QLatin1Char(' ')) || german.endsWith(QLatin1Char(' ')))
            return fail(argv[1], lineNo,
                        QStringLiteral("German text with leading or trailing blanks (the "
                                       "program looks texts up without them): ") +
                            german);
        if (seen.contains(german))
            return fail(argv[1], lineNo, QStringLiteral("German text listed twice: ") + german);
        seen.insert(german);
        i18n::tdictrow row;
        for (qsizetype c = 0; c < cells.size(); ++c)
            row.cell[c] = u16(cells[c]);
        rows.push_back(std::move(row));
    }

    // The dictionary's own writer: a failed run leaves no cut-off file behind.
    const int e = i18n::WriteDictionaryFile(argv[2], rows.data(), rows.size(), i18n::ColumnCodes{});
    if (e != 0) {
        std::fprintf(stderr, "%s: cannot be written: %s\n", argv[2], fp::fileErrorText(e).c_str());
        return 1;
    }
    return 0;
}
