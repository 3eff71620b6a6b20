// Feeds arbitrary bytes as a photograph to the JPEG row reader of the
// streamed batch, beside the whole-image decoder. Properties:
// - a file the row reader takes (open) is decoded by both or refused by
//   both: the row reader's decode fails exactly when the whole-image decoder
//   refuses the bytes; a file it does not take is no refusal (the batch opens
//   it the whole way then) and is not compared;
// - the reported row counts never go back and never pass the height, and the
//   last one is the height;
// - after a whole decode, every row is, from the moment it was reported done,
//   what the whole-image decoder gives for it: same size, same 24-bit pixels.

#include "pixkit/ImageFile.h"
#include "pixkit/JpegRows.h"
#include "pixkit/dib.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "broken property: %s\n", what);
    std::abort();
}

std::uint64_t rowHash(const std::uint8_t* row, std::size_t bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < bytes; ++i)
        h = (h ^ row[i]) * 1099511628211ull;
    return h;
}

std::string scratchFile() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/fuzz_jpeg_rows." +
           std::to_string(::getpid()) + ".jpg";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string file = scratchFile();
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (f == nullptr)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
    }
    pixkit::JpegRowReader reader;
    if (!reader.open(file))
        return 0;
    const int w = reader.width(), h = reader.height();
    if (w <= 0 || h <= 0)
        fail("a taken file without a size");

    pixkit::Image rows = pixkit::Image::blank(w, h);
    if (rows.get().poi == nullptr)
        return 0; // no memory for it: the batch reports that itself
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    std::vector<std::uint64_t> reported(static_cast<std::size_t>(h));
    int done = 0;
    const bool streamed = reader.decode(rows.get(), [&](int n) {
        if (n < done || n > h)
            fail("row counts go back or pass the height");
        for (int y = done; y < n; ++y)
            reported[static_cast<std::size_t>(y)] =
                rowHash(pixkit::pictureRow(rows.get(), y), rowBytes);
        done = n;
    });
    if (done != h)
        fail("not every row was reported done");

    pixkit::Image whole;
    pixkit::decodeImageBytes({data, size}, whole.get());
    const pixkit::dib& o = whole.get();
    if (streamed && o.poi == nullptr)
        fail("the row reader decodes what the whole-image decoder refuses");
    if (!streamed && o.poi != nullptr)
        fail("the row reader refuses what the whole-image decoder decodes");
    if (!streamed)
        return 0;
    if (pixkit::dibwidth(o) != w || pixkit::dibheight(o) != h || pixkit::dibbits(o) != 24)
        fail("the decoders give pictures of another size or depth");
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* expected = pixkit::pictureRow(o, y);
        if (std::memcmp(pixkit::pictureRow(rows.get(), y), expected, rowBytes) != 0)
            fail("a row differs from the whole-image decode");
        if (reported[static_cast<std::size_t>(y)] != rowHash(expected, rowBytes))
            fail("a row changed after it was reported done");
    }
    return 0;
}
