// Feeds arbitrary bytes as the per-user INI file to the store. Properties:
// - whatever the bytes hold, the text written for the values read reads back
//   to values that write the very same text (nothing is lost or changed by a
//   second round, every line of it is INI text);
// - a stored JPEG quality read is always 1 ... 100;
// - storing a quality into whatever the file held and reading the file again
//   gives that quality back, and every other value as it was.

#include "app/UserStore.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

namespace {

std::map<QString, QVariant> valuesOf(const app::UserStore& store) {
    std::map<QString, QVariant> values;
    for (const QString& key : store.allKeys())
        values[key] = store.value(key);
    return values;
}

void fail(const char* what) {
    std::fprintf(stderr, "broken property: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string written = app::iniText(app::iniValues(bytes).values);
    const app::IniValues reread = app::iniValues(written);
    if (!reread.wellFormed)
        fail("the written text is no INI text");
    if (app::iniText(reread.values) != written)
        fail("the written values do not read back");

    static QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("fassadenplan.ini"));
    {
        std::FILE* f = std::fopen(file.toLocal8Bit().constData(), "wb");
        if (f == nullptr)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
    }
    int quality = 0;
    std::string expected;
    {
        app::UserStore store(file);
        bool unreadable = false;
        const std::optional<int> stored = app::storedJpegQuality(store, &unreadable);
        if (stored && (*stored < 1 || *stored > 100))
            fail("a stored quality beyond 1 ... 100");
        if (stored && unreadable)
            fail("a quality both read and unreadable");
        quality = stored.value_or(90) % 100 + 1; // another value than the one read
        app::writeJpegQuality(store, quality);
        expected = app::iniText(valuesOf(store));
        if (store.sync() != 0)
            return 0; // a file that cannot be rewritten keeps what it had
    }
    const app::UserStore again(file);
    if (app::storedJpegQuality(again) != quality)
        fail("the stored quality does not read back");
    if (app::iniText(valuesOf(again)) != expected)
        fail("the other values do not read back");
    return 0;
}
