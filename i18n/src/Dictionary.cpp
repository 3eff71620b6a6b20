#include "i18n/Dictionary.h"
#include "i18n/DictionaryFile.h"
#include "i18n/DictionaryReference.h"
#include "i18n/Languages.h"

#include "foundation/ReplaceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include <unistd.h>

namespace i18n {

namespace {

using foundation::TDynaArray;

// Row of an index entry whose row the editor deleted during this run.
constexpr std::int32_t NoRow = std::numeric_limits<std::int32_t>::max();

// Exact-match table over the index: for every key the row of the first
// entry with that key in bucket order, which is what the scan of a bucket
// from its first entry finds. Each key is stored once in an arena together
// with its row; the open-addressed slots hold only a part of the hash and
// the key's place, so a lookup reads the small slot array and one arena
// record.
class KeyTable {
public:
    void clear() {
        m_slots.assign(64, Slot{});
        m_arena.clear();
        m_used = 0;
        m_valid = true;
        m_complete = true;
    }
    bool valid() const { return m_valid; }
    void invalidate() { m_valid = false; }

    // Adds key unless it is present (an earlier entry with the same key wins).
    void insertIfAbsent(std::u16string_view key, std::int32_t row) {
        if (key.size() > std::numeric_limits<std::uint32_t>::max() ||
            m_arena.size() + Header + key.size() >= std::numeric_limits<std::uint32_t>::max()) {
            m_complete = false; // far beyond real dictionaries: lookups scan instead
            return;
        }
        if ((m_used + 1) * 4 > m_slots.size() * 3)
            grow();
        const std::uint64_t h = hashOf(key);
        Slot& s = m_slots[probe(key, h)];
        if (s.offset != 0)
            return;
        s.hash = static_cast<std::uint32_t>(h);
        s.offset = static_cast<std::uint32_t>(m_arena.size() + 1);
        s.row = row;
        const auto length = static_cast<std::uint32_t>(key.size());
        char16_t header[Header];
        std::memcpy(header, &length, sizeof length);
        m_arena.append(header, Header);
        m_arena.append(key);
        ++m_used;
    }

    // Row of key, or -1. touch(row) is called with a likely row before the
    // key is compared, so that the caller's row data can load meanwhile.
    template <class Touch> std::int64_t find(std::u16string_view key, Touch&& touch) const {
        const std::uint64_t h = hashOf(key);
        const std::size_t mask = m_slots.size() - 1;
        const auto h32 = static_cast<std::uint32_t>(h);
        for (std::size_t i = static_cast<std::size_t>(h >> 32) & mask;; i = (i + 1) & mask) {
            const Slot& s = m_slots[i];
            if (s.offset == 0)
                return -1;
            if (s.hash == h32) {
                touch(s.row);
                if (holds(s, key))
                    return s.row;
            }
        }
    }

    // Whether the table stayed complete (no key was left out).
    bool complete() const { return m_complete; }

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t offset = 0; // arena position + 1; 0 is a free slot
        std::int32_t row = 0;
    };
    // Each arena record: the key's length (32 bits), then its code units.
    static constexpr std::size_t Header = sizeof(std::uint32_t) / sizeof(char16_t);

    static std::uint64_t hashOf(std::u16string_view key) {
        return std::hash<std::u16string_view>{}(key);
    }

    std::u16string_view keyOf(const Slot& s) const {
        std::uint32_t length = 0;
        std::memcpy(&length, m_arena.data() + (s.offset - 1), sizeof length);
        return std::u16string_view(m_arena.data() + (s.offset - 1) + Header, length);
    }

    bool holds(const Slot& s, std::u16string_view key) const { return keyOf(s) == key; }

    // The slot holding key, or the free slot where it belongs.
    std::size_t probe(std::u16string_view key, std::uint64_t h) const {
        const std::size_t mask = m_slots.size() - 1;
        const auto h32 = static_cast<std::uint32_t>(h);
        for (std::size_t i = static_cast<std::size_t>(h >> 32) & mask;; i = (i + 1) & mask) {
            const Slot& s = m_slots[i];
            if (s.offset == 0 || (s.hash == h32 && holds(s, key)))
                return i;
        }
    }

    void grow() {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        const std::size_t mask = m_slots.size() - 1;
        for (const Slot& s : old) {
            if (s.offset == 0)
                continue;
            std::size_t i = static_cast<std::size_t>(hashOf(keyOf(s)) >> 32) & mask;
            while (m_slots[i].offset != 0)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots = std::vector<Slot>(64);
    std::u16string m_arena;
    std::size_t m_used = 0;
    bool m_valid = false;
    bool m_complete = true;
};

struct DictState {
    std::string progpath;
    const int* language = nullptr;
    bool loaded = false;

    tdictrow* adictrow = nullptr; // the rows' cursor
    tdictkey* adictkey = nullptr; // shared by all buckets
    TDynaArray<tdictrow> rows{&adictrow};
    std::vector<std::unique_ptr<TDynaArray<tdictkey>>> buckets;
    KeyTable table;
    ColumnCodes codes;
    DictionaryReadResult loadState;

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

void rebuildTable() {
    DictState& d = dict();
    d.table.clear();
    for (const auto& bucket : d.buckets)
        for (const tdictkey& e : *bucket)
            d.table.insertIfAbsent(e.key, e.row);
}

// Row of the first entry of the bucket of s whose key equals s, or -1,
// by scanning the bucket from its first entry to its last.
std::int64_t findLinear(std::u16string_view s) {
    const TDynaArray<tdictkey>& bucket = *dict().buckets[static_cast<std::size_t>(bucketOf(s))];
    for (const tdictkey& e : bucket)
        if (e.key == s)
            return e.row;
    return -1;
}

// The same through the key table.
std::int64_t findIndexed(std::u16string_view s) {
    DictState& d = dict();
    if (!d.table.valid())
        rebuildTable();
    if (!d.table.complete())
        return findLinear(s);
    const int column = currentColumn();
    return d.table.find(s, [&](std::int32_t row) {
        if (row >= 0 && static_cast<std::uint32_t>(row) < d.rows.count())
            __builtin_prefetch(d.rows[static_cast<std::uint32_t>(row)].cell[column].data());
    });
}

bool isControlOrBlank(char16_t c) {
    return c <= u' ';
}

// Appends the index entry of row `row` (German text s, not empty).
void addIndexEntry(std::u16string_view s, std::int32_t row) {
    DictState& d = dict();
    if (tdictkey* k = d.buckets[static_cast<std::size_t>(bucketOf(s))]->Add()) {
        k->key = std::u16string(s);
        k->row = row;
        if (d.table.valid())
            d.table.insertIfAbsent(k->key, k->row);
    }
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
        const std::int64_t row = find(s);
        if (row >= 0) {
            // The editor may have deleted rows since the index was built.
            if (static_cast<std::uint64_t>(row) >= d.rows.count())
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
        addIndexEntry(s, static_cast<std::int32_t>(d.rows.count() - 1));
        SaveDictionary();
    }
    return std::u16string(text);
}

} // namespace

void LoadDictionary(const std::string& progpath, const int* language) {
    ResetDictionary();
    DictState& d = dict();
    d.progpath = progpath;
    d.language = language;
    d.loaded = true;
    // Left by a process killed in the middle of a save.
    fp::removeStaleTemporaries(DictionaryPath());
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
    rebuildTable();
}

void ReadDictionaryFile() {
    DictState& d = dict();
    if (!d.loaded)
        return;
    d.loadState = i18n::ReadDictionaryFile(DictionaryPath(), d.rows, d.codes);
}

int SaveDictionary() {
    DictState& d = dict();
    if (!d.loaded)
        return EINVAL;
    const std::string path = DictionaryPath();
    // A write-protected dictionary stays as it is.
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0)
        return EACCES;
    // A failed save never ends the lookup or the edit that caused it.
    return WriteDictionaryFile(path, d.rows.count() > 0 ? &d.rows[0] : nullptr, d.rows.count(),
                               d.codes);
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
    // Another entry with the same key may come first now.
    d.table.invalidate();
}

void DeleteDictionaryRow(std::int32_t r) {
    DictState& d = dict();
    if (r < 0 || static_cast<std::uint32_t>(r) >= d.rows.count())
        return;
    const std::uint32_t before = d.rows.count();
    d.rows.Delete(r);
    if (d.rows.count() == before)
        return; // out of memory was reported; nothing changed
    // The deleted row's entries stay but point at no row, so its text comes
    // back unchanged (and is not learnt again) until the next start; the
    // entries of the rows behind it follow their rows.
    for (auto& bucket : d.buckets) {
        for (tdictkey& e : *bucket) {
            if (e.row == r)
                e.row = NoRow;
            else if (e.row > r && e.row != NoRow)
                --e.row;
        }
    }
    d.table.invalidate();
}

foundation::TDynaArray<tdictrow>& DictionaryRows() {
    return dict().rows;
}

int DictionaryLanguage() {
    return currentColumn();
}

tdictrow* CurrentDictRow() {
    return dict().adictrow;
}

const foundation::TDynaArray<tdictkey>& DictionaryBucket(int b) {
    return *dict().buckets[static_cast<std::size_t>(b & 0xFF)];
}

DictionaryReadResult DictionaryLoadState() {
    return dict().loadState;
}

std::int32_t AddDictionaryRow(std::u16string_view german) {
    DictState& d = dict();
    if (german.empty())
        return -1;
    tdictrow* r = d.rows.Add();
    if (r == nullptr)
        return -1;
    r->cell[0] = std::u16string(german);
    const auto row = static_cast<std::int32_t>(d.rows.count() - 1);
    addIndexEntry(german, row);
    return row;
}

std::string ColumnCode(int c) {
    if (c < 0 || c >= DictColumns)
        return {};
    if (c < KnownColumns)
        return std::string(KnownColumnCode(c));
    return dict().codes[static_cast<std::size_t>(c)];
}

bool SetColumnCode(int c, std::string_view code) {
    const std::string normal = NormalizeLanguageCode(code);
    if (c < KnownColumns || c >= DictColumns || normal.empty())
        return false;
    dict().codes[static_cast<std::size_t>(c)] = normal;
    return true;
}

int ColumnOfCode(std::string_view code) {
    const std::string normal = NormalizeLanguageCode(code);
    if (normal.empty())
        return -1;
    for (int c = 0; c < DictColumns; ++c)
        if (ColumnCode(c) == normal)
            return c;
    for (int c = 0; c < DictColumns; ++c)
        if (SameLanguage(ColumnCode(c), code))
            return c;
    return -1;
}

bool ColumnHasTranslations(int c) {
    if (c < 0 || c >= DictColumns)
        return false;
    for (const tdictrow& r : dict().rows)
        if (!r.cell[c].empty())
            return true;
    return false;
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
    d.table.invalidate();
    d.codes = ColumnCodes{};
    d.loadState = DictionaryReadResult{};
    d.progpath.clear();
    d.language = nullptr;
    d.loaded = false;
}

} // namespace i18n
