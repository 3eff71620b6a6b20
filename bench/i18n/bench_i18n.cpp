// The dictionary: loading a translate.dat of 10,000 rows, and 1,000,000
// lookups of known texts through the indexed lookup next to the plain bucket
// scan it replaces.

#include "foundation/StringRecord.h"
#include "i18n/Dictionary.h"
#include "i18n/DictionaryReference.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int Rows = 10000;
constexpr int Lookups = 1000000;

// German interface texts start mostly with a capital letter, a few with an
// umlaut or a digit; the same word stems recur with different endings.
std::u16string germanText(int i) {
    static const char16_t* const stems[] = {u"Datei",    u"Bild",   u"Breite",  u"Höhe",
                                            u"Zeile",    u"Ecke",   u"Fassade", u"Linie",
                                            u"Schwelle", u"Pinsel", u"Sprache", u"Übersetzen"};
    std::u16string t;
    const int first = i % 30;
    if (first < 26)
        t.push_back(static_cast<char16_t>(u'A' + first));
    else
        t.push_back(first == 26 ? u'Ä' : first == 27 ? u'Ö' : first == 28 ? u'Ü' : u'1');
    t += stems[static_cast<std::size_t>(i / 30 % 12)];
    t += u" ";
    t += stems[static_cast<std::size_t>(i / 360 % 12)];
    t += u" Nr. ";
    for (char c : std::to_string(i))
        t.push_back(static_cast<char16_t>(c));
    if (i % 3 == 0)
        t += u"...";
    return t;
}

struct BenchDictionary {
    std::string progpath;
    std::vector<std::u16string> keys;
    int language = 1;

    BenchDictionary() {
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / "fp-bench-i18n";
        std::filesystem::create_directories(dir);
        progpath = dir.string() + "/";
        std::ofstream f(dir / "translate.dat", std::ios::binary | std::ios::trunc);
        foundation::WriteInt32(f, i18n::DictColumns);
        foundation::WriteInt32(f, Rows);
        for (int i = 0; i < Rows; ++i) {
            keys.push_back(germanText(i));
            foundation::WriteStringRecord(f, keys.back());
            foundation::WriteStringRecord(f, u"English " + keys.back());
            foundation::WriteStringRecord(f, i % 2 ? u"Français" : u"");
            foundation::WriteStringRecord(f, i % 4 ? u"Nederlands" : u"");
            for (int c = 4; c < i18n::DictColumns; ++c)
                foundation::WriteStringRecord(f, u"");
        }
        if (!f)
            std::abort();
    }
};

BenchDictionary& bench() {
    static BenchDictionary b;
    return b;
}

void BM_LoadDictionary(benchmark::State& state) {
    BenchDictionary& b = bench();
    for (auto _ : state) {
        i18n::LoadDictionary(b.progpath, &b.language);
        benchmark::DoNotOptimize(i18n::DictionaryRows().count());
    }
    if (i18n::DictionaryRows().count() != Rows)
        state.SkipWithError("dictionary not read completely");
    state.SetItemsProcessed(state.iterations() * Rows);
}

template <std::u16string (*Lookup)(std::u16string_view)> void lookups(benchmark::State& state) {
    BenchDictionary& b = bench();
    i18n::LoadDictionary(b.progpath, &b.language);
    // Visit the texts in a scattered order, padded now and then.
    std::vector<std::u16string> texts;
    for (int i = 0; i < Rows; ++i) {
        const std::u16string& k = b.keys[static_cast<std::size_t>(i * 7919 % Rows)];
        texts.push_back(i % 5 == 0 ? u" " + k + u" " : k);
    }
    for (auto _ : state) {
        std::size_t total = 0;
        for (int i = 0; i < Lookups; ++i)
            total += Lookup(texts[static_cast<std::size_t>(i % Rows)]).size();
        benchmark::DoNotOptimize(total);
    }
    if (i18n::DictionaryRows().count() != Rows)
        state.SkipWithError("a lookup missed and was learnt");
    state.SetItemsProcessed(state.iterations() * Lookups);
}

void BM_Translate(benchmark::State& state) {
    lookups<&i18n::Translate>(state);
}
void BM_TranslateReference(benchmark::State& state) {
    lookups<&i18n::TranslateReference>(state);
}

} // namespace

BENCHMARK(BM_LoadDictionary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Translate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TranslateReference)->Unit(benchmark::kMillisecond);
