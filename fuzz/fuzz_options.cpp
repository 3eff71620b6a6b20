// Feeds arbitrary bytes to the reader of options.dat. Properties: the
// language is always a dictionary column (0 ... 19); a file whose first four
// bytes hold a column gives exactly that column, anything else German; and
// writing the language read gives 4 bytes that read back the same.

#include "gui/Options.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const int language = gui::languageFromOptions(bytes);
    if (language < 0 || language > gui::MaxLanguage)
        std::abort();
    if (size >= 4) {
        const auto stored =
            static_cast<std::int32_t>(std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                                      std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24);
        const bool column = stored >= 0 && stored <= gui::MaxLanguage;
        if (language != (column ? stored : 0))
            std::abort();
        if (column && gui::optionsBytes(language) != bytes.substr(0, 4))
            std::abort();
    } else if (language != 0) {
        std::abort();
    }
    const std::string written = gui::optionsBytes(language);
    if (written.size() != 4 || gui::languageFromOptions(written) != language)
        std::abort();
    return 0;
}
