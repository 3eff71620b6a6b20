// Feeds arbitrary bytes as the per-user INI file to the reader of the stored
// JPEG quality. Properties: a quality read is always 1 ... 100; storing a
// quality into whatever the file held and reading the file again gives that
// quality back (the other values, however broken, do not hide it).

#include "app/UserStore.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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
    {
        app::UserStore store(file);
        bool unreadable = false;
        const std::optional<int> stored = app::storedJpegQuality(store, &unreadable);
        if (stored && (*stored < 1 || *stored > 100))
            std::abort();
        if (stored && unreadable)
            std::abort();
        quality = stored.value_or(90) % 100 + 1; // another value than the one read
        app::writeJpegQuality(store, quality);
        if (store.sync() != 0)
            return 0; // a file that cannot be rewritten keeps what it had
    }
    const app::UserStore again(file);
    if (app::storedJpegQuality(again) != quality)
        std::abort();
    return 0;
}
