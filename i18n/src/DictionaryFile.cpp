#include "i18n/DictionaryFile.h"

#include "foundation/ReplaceFile.h"
#include "foundation/StringRecord.h"
#include "i18n/Languages.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace i18n {

namespace {

using foundation::RecordReader;
using foundation::TDynaArray;

constexpr std::u16string_view CodesTag = u"#language-codes";

// Header of translate.dat: the column count C and the number of rows that
// may be read (N, limited); nothing to read for C or N below 1.
struct FileHeader {
    std::int32_t columns = 0;
    std::uint32_t rows = 0;
    bool plausible = true; // C and N make sense (N = 0 is an empty dictionary)
    bool capped = false;   // N was more than may be read
};

FileHeader readHeader(RecordReader& in, std::uint32_t have) {
    FileHeader h;
    h.columns = in.readInt32();
    const std::int32_t n = in.readInt32();
    if (n == 0)
        return h;
    if (h.columns <= 0 || n < 0) {
        h.columns = 0;
        h.plausible = false;
        return h;
    }
    const std::uint32_t room = MaxFileRows - std::min(MaxFileRows, have);
    h.rows = std::min(static_cast<std::uint32_t>(n), room);
    h.capped = h.rows < static_cast<std::uint32_t>(n);
    return h;
}

void readRow(RecordReader& in, std::int32_t columns, tdictrow& row) {
    for (std::int32_t c = 0; c < columns; ++c) {
        if (c < DictColumns)
            row.cell[c] = foundation::ReadStringRecord(in);
        else
            foundation::SkipStringRecord(in);
    }
}

std::string asciiOf(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c > 0x7F)
            return {};
        out.push_back(static_cast<char>(c));
    }
    return out;
}

// The codes after the rows, when the file has them; anything else after the
// rows is ignored. Only codes of the free columns are taken.
void readCodes(RecordReader& in, ColumnCodes& codes) {
    try {
        if (foundation::ReadStringRecord(in) != CodesTag)
            return;
        const std::int32_t k = in.readInt32();
        if (k <= 0)
            return;
        ColumnCodes read;
        for (std::int32_t c = 0; c < k; ++c) {
            const std::u16string code = foundation::ReadStringRecord(in);
            if (c >= KnownColumns && c < DictColumns)
                read[static_cast<std::size_t>(c)] = NormalizeLanguageCode(asciiOf(code));
        }
        codes = std::move(read);
    } catch (const foundation::IoError&) {
        // damaged codes: the columns keep none
    }
}

DictionaryReadResult finish(const FileHeader& h, std::uint32_t read, bool rowsComplete) {
    DictionaryReadResult r;
    r.rowsRead = read;
    r.state = h.plausible && !h.capped && rowsComplete ? DictionaryFileState::Complete
                                                       : DictionaryFileState::Damaged;
    return r;
}

} // namespace

DictionaryReadResult ReadDictionaryBytes(std::string_view bytes, TDynaArray<tdictrow>& rows,
                                         ColumnCodes& codes) {
    codes = ColumnCodes{};
    RecordReader in(bytes.data(), bytes.size());
    FileHeader h;
    try {
        h = readHeader(in, rows.count());
    } catch (const foundation::IoError&) {
        return finish(FileHeader{0, 0, false, false}, 0, false);
    }
    // A first pass finds how many rows are complete, the second reads them
    // straight into the rows, which grow once.
    std::uint32_t complete = 0;
    RecordReader probe = in;
    try {
        for (; complete < h.rows; ++complete)
            for (std::int32_t c = 0; c < h.columns; ++c)
                foundation::SkipStringRecord(probe);
    } catch (const foundation::IoError&) {
        // the file ends early or a length is implausible: rows so far
    }
    if (complete > 0) {
        tdictrow* first = rows.Append(complete);
        if (first == nullptr) // out of memory was reported
            return finish(h, 0, false);
        try {
            for (std::uint32_t i = 0; i < complete; ++i)
                readRow(in, h.columns, first[i]);
        } catch (const foundation::IoError&) {
            // cannot happen after the first pass; the rows stay as read
        }
    }
    const bool allRows = complete == h.rows;
    if (allRows && !h.capped && h.plausible)
        readCodes(in, codes);
    return finish(h, complete, allRows);
}

DictionaryReadResult ReadDictionaryStream(std::istream& f, TDynaArray<tdictrow>& rows,
                                          ColumnCodes& codes) {
    codes = ColumnCodes{};
    // Rows are collected until the file ends and join the container in one
    // step.
    std::vector<tdictrow> read;
    FileHeader h{0, 0, false, false};
    bool allRows = false;
    try {
        RecordReader in(f);
        h = readHeader(in, rows.count());
        tdictrow row;
        for (std::uint32_t i = 0; i < h.rows; ++i) {
            readRow(in, h.columns, row);
            read.push_back(std::move(row));
            row = tdictrow{};
        }
        allRows = true;
        if (!h.capped && h.plausible)
            readCodes(in, codes);
    } catch (const foundation::IoError&) {
        // A damaged or cut-off file: keep the rows read so far.
    }
    if (!read.empty()) {
        tdictrow* first = rows.Append(static_cast<std::uint32_t>(read.size()));
        if (first == nullptr)
            return finish(h, 0, false);
        std::move(read.begin(), read.end(), first);
    }
    return finish(h, static_cast<std::uint32_t>(read.size()), allRows);
}

DictionaryReadResult ReadDictionaryFile(const std::string& path, TDynaArray<tdictrow>& rows,
                                        ColumnCodes& codes) {
    codes = ColumnCodes{};
    DictionaryReadResult r;
    try {
        std::string whole;
        const int e = fp::readRegularFile(path, whole, MaxWholeFileBytes);
        if (e == ENOENT)
            return r;
        if (e == 0)
            return ReadDictionaryBytes(whole, rows, codes);
        if (e == fp::FileTooLarge) {
            // Known to be a regular file: the stream cannot block.
            std::ifstream f(path, std::ios::binary | std::ios::in);
            if (f.is_open())
                return ReadDictionaryStream(f, rows, codes);
        }
        r.error = e != fp::FileTooLarge ? e : EIO;
    } catch (const std::bad_alloc&) {
        r.error = ENOMEM;
    }
    r.state = DictionaryFileState::Unreadable;
    return r;
}

namespace {

void putInt32(std::string& out, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

// One string record, as foundation::WriteStringRecord writes it.
void putRecord(std::string& out, std::u16string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw foundation::IoError("text too long for a string record");
    putInt32(out, static_cast<std::int32_t>(text.size()));
    for (const char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
}

} // namespace

std::string EncodeDictionary(const tdictrow* rows, std::size_t count, const ColumnCodes& codes) {
    if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw foundation::IoError("too many rows for translate.dat");
    std::size_t bytes = 8;
    for (std::size_t r = 0; r < count; ++r)
        for (const std::u16string& cell : rows[r].cell)
            bytes += 4 + 2 * cell.size();
    std::string out;
    out.reserve(bytes);
    putInt32(out, DictColumns);
    putInt32(out, static_cast<std::int32_t>(count));
    for (std::size_t r = 0; r < count; ++r)
        for (const std::u16string& cell : rows[r].cell)
            putRecord(out, cell);
    const bool freeCodes = std::any_of(codes.begin() + KnownColumns, codes.end(),
                                       [](const std::string& c) { return !c.empty(); });
    if (freeCodes) {
        putRecord(out, CodesTag);
        putInt32(out, DictColumns);
        for (int c = 0; c < DictColumns; ++c) {
            const std::string_view code =
                c < KnownColumns ? KnownColumnCode(c)
                                 : std::string_view(codes[static_cast<std::size_t>(c)]);
            putRecord(out, std::u16string(code.begin(), code.end()));
        }
    }
    return out;
}

int WriteDictionaryFile(const std::string& path, const tdictrow* rows, std::size_t count,
                        const ColumnCodes& codes) {
    std::string bytes;
    try {
        bytes = EncodeDictionary(rows, count, codes);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (const foundation::IoError&) {
        return EOVERFLOW;
    }
    return fp::replaceFile(path, bytes);
}

} // namespace i18n
