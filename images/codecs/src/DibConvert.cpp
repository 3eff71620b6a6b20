#include "LibraryCodecs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace pixkit::codec {

bool expandTo24(const dib& image, dib& out) {
    out = dib{};
    if (image.poi == nullptr || image.pmi == nullptr)
        return false;
    const int w = dibwidth(image), h = dibheight(image), bits = dibbits(image);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return false;
    newdib(out, w, h, 24, nullptr, 0);
    if (out.poi == nullptr)
        return false;
    const auto rowLen = static_cast<std::size_t>(w) * 3;
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* src = storedRow(image, r);
        std::uint8_t* dst = storedRow(out, r);
        if (bits == 24) {
            std::memcpy(dst, src, rowLen);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const RgbQuad& q = image.pmi->bmiColors[paletteIndex(src, x, bits)];
            dst[0] = q.rgbBlue;
            dst[1] = q.rgbGreen;
            dst[2] = q.rgbRed;
            dst += 3;
        }
    }
    return true;
}

void adviseHugePages(const dib& image) {
#ifdef MADV_HUGEPAGE
    if (image.poi == nullptr || image.pmi == nullptr)
        return;
    const std::size_t bytes =
        static_cast<std::size_t>(image.bytew) * static_cast<std::size_t>(dibheight(image));
    if (bytes < (std::size_t{4} << 20))
        return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(image.poi);
    const std::uintptr_t start = first & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(start), bytes + (first - start), MADV_HUGEPAGE);
#else
    (void)image;
#endif
}

} // namespace pixkit::codec
