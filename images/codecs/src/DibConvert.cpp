#include "LibraryCodecs.h"

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

const dib* as24Bits(const dib& image, DibHolder& keep) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return nullptr;
    if (dibbits(image) == 24)
        return &image;
    dib tmp;
    if (!expandTo24(image, tmp))
        return nullptr;
    keep.install(tmp);
    return &keep.get();
}

} // namespace pixkit::codec
