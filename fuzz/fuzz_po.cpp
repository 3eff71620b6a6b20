// Feeds arbitrary bytes to the PO reader. Properties, beyond surviving:
// - a file that parses, written again and parsed, gives the same messages
//   and language;
// - taken into a dictionary column, exported and taken in again, it leaves
//   the dictionary's bytes as they were (nothing set, nothing added), and
//   the export itself parses and leaves nothing out.

#include "i18n/Dictionary.h"
#include "i18n/DictionaryFile.h"
#include "i18n/Po.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string dictionaryBytes() {
    auto& rows = i18n::DictionaryRows();
    i18n::ColumnCodes codes;
    for (int c = 0; c < i18n::DictColumns; ++c)
        codes[static_cast<std::size_t>(c)] = i18n::ColumnCode(c);
    return i18n::EncodeDictionary(rows.count() > 0 ? &rows[0] : nullptr, rows.count(), codes);
}

void roundTripThroughTheDictionary(const i18n::PoCatalog& catalog, int column) {
    // A folder that does not exist: an empty dictionary that never saves.
    i18n::LoadDictionary("/nonexistent-fassadenplan-fuzz/", nullptr);
    i18n::PoImportSummary summary;
    std::string why;
    if (i18n::ImportPo(catalog, column, {}, summary, why) != i18n::PoImportResult::Done)
        return; // another language than the column's: nothing to compare
    const std::string before = dictionaryBytes();

    i18n::PoHeader header;
    header.projectVersion = "Fassadenplan fuzz";
    header.revisionDate = "2025-01-01 00:00+0000";
    header.language = i18n::ColumnCode(column);
    const i18n::PoExport exported = i18n::ExportPo(column, header);
    i18n::PoCatalog again;
    i18n::PoError error;
    if (exported.leftOut != 0 || !i18n::ParsePo(exported.text, again, error))
        std::abort();
    if (i18n::ImportPo(again, column, {}, summary, why) != i18n::PoImportResult::Done ||
        summary.set != 0 || summary.added != 0 || dictionaryBytes() != before)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    i18n::PoCatalog catalog;
    i18n::PoError error;
    if (!i18n::ParsePo(text, catalog, error)) {
        if (error.line < 0 || error.fault == i18n::PoFault::None || error.reason.empty())
            std::abort();
        return 0;
    }
    const std::string written = i18n::WritePo(catalog.entries, "fuzz");
    i18n::PoCatalog reread;
    if (!i18n::ParsePo(written, reread, error) || reread.entries != catalog.entries ||
        reread.language != catalog.language)
        std::abort();

    roundTripThroughTheDictionary(catalog, 5); // a free column: learns the file's language
    roundTripThroughTheDictionary(catalog, 1); // English, unless the file says otherwise
    return 0;
}
