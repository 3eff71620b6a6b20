// Feeds arbitrary bytes to the translate.dat reader (and the string records
// and record container under it). Properties, beyond surviving:
// - the reader from memory and the one from a stream agree on the rows, the
//   language codes and whether the file was complete;
// - writing what was read and reading it again gives the same rows and
//   codes, a complete file, and the same bytes once more (the written form
//   is the canonical one).

#include "foundation/DynaArray.h"
#include "i18n/DictionaryFile.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

namespace {

bool sameRows(foundation::TDynaArray<i18n::tdictrow>& a,
              foundation::TDynaArray<i18n::tdictrow>& b) {
    if (a.count() != b.count())
        return false;
    for (std::uint32_t r = 0; r < a.count(); ++r)
        for (int c = 0; c < i18n::DictColumns; ++c)
            if (a[r].cell[c] != b[r].cell[c])
                return false;
    return true;
}

std::string encode(foundation::TDynaArray<i18n::tdictrow>& rows, const i18n::ColumnCodes& codes) {
    return i18n::EncodeDictionary(rows.count() > 0 ? &rows[0] : nullptr, rows.count(), codes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    foundation::TDynaArray<i18n::tdictrow> fromMemory;
    i18n::ColumnCodes codes;
    const i18n::DictionaryReadResult m = i18n::ReadDictionaryBytes(bytes, fromMemory, codes);
    if (m.rowsRead != fromMemory.count() || m.state == i18n::DictionaryFileState::Unreadable ||
        m.state == i18n::DictionaryFileState::Missing)
        std::abort();

    std::istringstream stream{std::string(bytes)};
    foundation::TDynaArray<i18n::tdictrow> fromStream;
    i18n::ColumnCodes streamCodes;
    const i18n::DictionaryReadResult s =
        i18n::ReadDictionaryStream(stream, fromStream, streamCodes);
    if (s.state != m.state || !sameRows(fromMemory, fromStream) || streamCodes != codes)
        std::abort();

    const std::string written = encode(fromMemory, codes);
    foundation::TDynaArray<i18n::tdictrow> again;
    i18n::ColumnCodes againCodes;
    const i18n::DictionaryReadResult a = i18n::ReadDictionaryBytes(written, again, againCodes);
    if (a.state != i18n::DictionaryFileState::Complete || !sameRows(fromMemory, again) ||
        againCodes != codes || encode(again, againCodes) != written)
        std::abort();
    return 0;
}
