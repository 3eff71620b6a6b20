#include "i18n/Dictionary.h"
#include "i18n/DictionaryReference.h"

#include "foundation/StringRecord.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace i18n {

namespace {

using foundation::TDynaArray;

// More rows than any program's texts; keeps a damaged file with a tiny
// column count from turning a few megabytes into gigabytes of rows.
constexpr std::uint32_t MaxFileRows = 200000;

struct DictState {
    std::string progpath;
    const int* language = nullptr;
    bool loaded = false;

    tdictrow* adictrow = nullptr; // the rows' cursor
    tdictkey* adictkey = nullptr; // shared by all buckets
    TDynaArray<tdictrow> rows{&adictrow};
    std::vector<std::unique_ptr<TDynaArray<tdictkey>>> buckets;
    // Entries 0 ... sorted[b] - 1 of bucket b are in key order; entries
    // learnt later follow unsorted.
    std::uint32_t sorted[DictBuckets] = {};

    DictState() {
        buckets.reserve(DictBuckets);
        for (int b = 0; b < DictBuckets; ++b)
            buckets.push_back(std::make_unique<TDynaArray<tdictkey>>(&adictkey));
    }
};

DictState& dict() {
    static DictState s;
    return s;
}

int bucketOf(std::u16string_view s) {
    return s[0] & 0xFF;
}

int currentColumn() {
    const int* lang = dict().language;
    if (lang == nullptr || *lang < 0 || *lang >= DictColumns)
        return 0;
    return *lang;
}

bool lessThan(std::u16string_view a, std::u16string_view b) {
    return a < b;
}

void sortRange(TDynaArray<tdictkey>& a, std::int32_t lo, std::int32_t hi) {
    // Partition sort with the middle entry as pivot. The larger part is done
    // by the loop and only the smaller one by recursion, so a hostile file
    // cannot drive the recursion deeper than log2 of the bucket size; the
    // resulting order is the same as recursing into both parts.
    while (lo < hi) {
        std::int32_t i = lo;
        std::int32_t j = hi;
        const std::u16string pivot = a[static_cast<std::uint32_t>((std::int64_t{lo} + hi) / 2)].key;
        do {
            while (lessThan(a[static_cast<std::uint32_t>(i)].key, pivot))
                ++i;
            while (lessThan(pivot, a[static_cast<std::uint32_t>(j)].key))
                --j;
            if (i <= j) {
                a.Change(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j)
                sortRange(a, lo, j);
            lo = i;
        } else {
            if (i < hi)
                sortRange(a, i, hi);
            hi = j;
        }
    }
}

// Index of the first entry of the bucket of s whose key equals s, or -1.
std::int64_t findIndexed(std::u16string_view s) {
    DictState& d = dict();
    const int b = bucketOf(s);
    const TDynaArray<tdictkey>& bucket = *d.buckets[static_cast<std::size_t>(b)];
    const tdictkey* first = bucket.begin();
    const tdictkey* sortedEnd = first + d.sorted[b];
    const tdictkey* it = std::lower_bound(
        first, sortedEnd, s, [](const tdictkey& e, std::u16string_view v) { return e.key < v; });
    if (it != sortedEnd && it->key == s)
        return it - first;
    for (const tdictkey* e = sortedEnd; e != bucket.end(); ++e)
        if (e->key == s)
            return e - first;
    return -1;
}

std::int64_t findLinear(std::u16string_view s) {
    const TDynaArray<tdictkey>& bucket = *dict().buckets[static_cast<std::size_t>(bucketOf(s))];
    for (std::uint32_t i = 0; i < bucket.count(); ++i)
        if (bucket[i].key == s)
            return i;
    return -1;
}

bool isControlOrBlank(char16_t c) {
    return c <= u' ';
}

std::u16string lookup(std::u16string_view text, std::int64_t (*find)(std::u16string_view)) {
    if (text.empty())
        return {};
    DictState& d = dict();
    std::size_t p = 0;
    while (p < text.size() && text[p] == u' ')
        ++p;
    std::size_t q = 0;
    while (q < text.size() - p && text[text.size() - 1 - q] == u' ')
        ++q;
    const std::u16string_view s = text.substr(p, text.size() - p - q);
    if (!d.loaded)
        return std::u16string(text);

    if (!s.empty()) {
        const std::int64_t at = find(s);
        if (at >= 0) {
            const int b = bucketOf(s);
            const std::int32_t row =
                (*d.buckets[static_cast<std::size_t>(b)])[static_cast<std::uint32_t>(at)].row;
            // The editor may have deleted rows since the index was built.
            if (row < 0 || static_cast<std::uint32_t>(row) >= d.rows.count())
                return std::u16string(text);
            const std::u16string& t = d.rows[static_cast<std::uint32_t>(row)].cell[currentColumn()];
            if (t.empty())
                return std::u16string(text);
            std::size_t from = 0;
            std::size_t to = t.size();
            while (from < to && isControlOrBlank(t[from]))
                ++from;
            while (to > from && isControlOrBlank(t[to - 1]))
                --to;
            std::u16string out;
            out.reserve(p + (to - from) + q);
            out.append(p, u' ');
            out.append(t, from, to - from);
            out.append(q, u' ');
            return out;
        }
    }

    // Unknown: learn it. Texts of blanks only get a row but no entry and no
    // save.
    tdictrow* r = d.rows.Add();
    if (r == nullptr)
        return std::u16string(text);
    r->cell[0] = std::u16string(s);
    if (!s.empty()) {
        if (tdictkey* k = d.buckets[static_cast<std::size_t>(bucketOf(s))]->Add()) {
            k->key = std::u16string(s);
            k->row = static_cast<std::int32_t>(d.rows.count() - 1);
        }
        SaveDictionary();
    }
    return std::u16string(text);
}

// Mode for a new translate.dat: the old file's, else what the umask allows.
mode_t fileMode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void LoadDictionary(const std::string& progpath, const int* language) {
    ResetDictionary();
    DictState& d = dict();
    d.progpath = progpath;
    d.language = language;
    d.loaded = true;
    ReadDictionaryFile();

    d.rows.First();
    while (d.rows.WhileNext()) {
        const std::u16string& german = d.adictrow->cell[0];
        if (german.empty())
            continue;
        tdictkey* k = d.buckets[static_cast<std::size_t>(bucketOf(german))]->Add();
        if (k == nullptr)
            break; // out of memory was reported; the rest stays unindexed
        k->key = german;
        k->row = d.rows.aobjnr() - 1;
    }
    for (int b = 0; b < DictBuckets; ++b) {
        const std::uint32_t n = d.buckets[static_cast<std::size_t>(b)]->count();
        if (n > 0)
            SortBucket(b, 0, static_cast<int>(n - 1));
    }
}

void ReadDictionaryFile() {
    DictState& d = dict();
    if (!d.loaded)
        return;
    std::vector<char> buffer(1 << 16);
    std::ifstream f;
    f.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    f.open(DictionaryPath(), std::ios::binary | std::ios::in);
    if (!f.is_open())
        return;
    try {
        foundation::RecordReader in(f);
        const std::int32_t columns = in.readInt32();
        const std::int32_t n = in.readInt32();
        if (columns <= 0 || n <= 0)
            return;
        tdictrow row;
        for (std::int32_t i = 0; i < n && d.rows.count() < MaxFileRows; ++i) {
            // A row joins the dictionary only when it was read completely.
            for (std::int32_t c = 0; c < columns; ++c) {
                if (c < DictColumns)
                    row.cell[c] = foundation::ReadStringRecord(in);
                else
                    foundation::SkipStringRecord(in);
            }
            tdictrow* r = d.rows.Add();
            if (r == nullptr)
                return;
            *r = std::move(row);
            row = tdictrow{};
        }
    } catch (const foundation::IoError&) {
        // A damaged or cut-off file: keep the rows read so far.
    } catch (const std::bad_alloc&) {
    }
}

void SaveDictionary() {
    DictState& d = dict();
    if (!d.loaded)
        return;
    try {
        const std::string path = DictionaryPath();
        // A write-protected dictionary stays as it is.
        if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
            return;

        std::ostringstream out;
        foundation::WriteInt32(out, DictColumns);
        foundation::WriteInt32(out, static_cast<std::int32_t>(d.rows.count()));
        for (const tdictrow& r : d.rows)
            for (const std::u16string& cell : r.cell)
                foundation::WriteStringRecord(out, cell);
        const std::string data = std::move(out).str();

        std::string tmp = path + ".XXXXXX";
        const int fd = ::mkstemp(tmp.data());
        if (fd < 0)
            return; // the folder cannot be written: keep the rows in memory
        // mkstemp makes the file private; give it the usual mode (kept
        // private if that fails).
        if (::fchmod(fd, fileMode(path)) != 0) {
        }
        bool ok = writeAll(fd, data);
        ok = (::close(fd) == 0) && ok;
        if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0)
            ::unlink(tmp.c_str());
    } catch (...) {
        // A failed save never ends the lookup or the edit that caused it.
    }
}

std::u16string Translate(std::u16string_view text) {
    return lookup(text, &findIndexed);
}

std::u16string TranslateReference(std::u16string_view text) {
    return lookup(text, &findLinear);
}

void SortBucket(int b, int lo, int hi) {
    if (b < 0 || b >= DictBuckets)
        return;
    DictState& d = dict();
    TDynaArray<tdictkey>& bucket = *d.buckets[static_cast<std::size_t>(b)];
    if (lo < 0 || hi < lo || static_cast<std::uint32_t>(hi) >= bucket.count())
        return;
    sortRange(bucket, lo, hi);
    // The fast lookup relies on a sorted front part; a partial sort from
    // outside may break it, so fall back to the linear search then.
    d.sorted[b] =
        (lo == 0 && static_cast<std::uint32_t>(hi) + 1 == bucket.count()) ? bucket.count() : 0;
}

foundation::TDynaArray<tdictrow>& DictionaryRows() {
    return dict().rows;
}

tdictrow* CurrentDictRow() {
    return dict().adictrow;
}

const foundation::TDynaArray<tdictkey>& DictionaryBucket(int b) {
    return *dict().buckets[static_cast<std::size_t>(b & 0xFF)];
}

std::string DictionaryPath() {
    const DictState& d = dict();
    return d.loaded ? d.progpath + "translate.dat" : std::string();
}

void ResetDictionary() {
    DictState& d = dict();
    d.rows.Clear();
    for (auto& b : d.buckets)
        b->Clear();
    std::fill(std::begin(d.sorted), std::end(d.sorted), 0u);
    d.progpath.clear();
    d.language = nullptr;
    d.loaded = false;
}

} // namespace i18n
